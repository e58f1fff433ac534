// String encoding: genes holding symbols 0 .. arity-1 (permutations included). Encoding 1.
#pragma once

#include <cstdint>

#include "representation/value_encoding.h"

namespace Valdrin {

// The generic face of one stored symbol; a chromosome holds the symbols themselves.
class QStringGene final : public QValueGene<QStringGene, std::int32_t, Encoding::String> {
public:
    using QValueGene::QValueGene;
    bool equalsTo(const QGene& other) const override;  // a gene of another encoding ends the experiment
    int assign(const QGene& other) override;           // a gene of another encoding ends the experiment
};

class QStringIndividual final : public QValueIndividual<QStringIndividual, QStringGene> {
public:
    static constexpr const char* kName = "QStringIndividual";
    QStringIndividual() {}  // defined here: see QValueIndividual

    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;
    int print(std::ostream& out) const override;
    int setGene(int index, const QGene& gene) override;  // its index message shows the index
};

using QStringPopulation = QValuePopulation<QStringIndividual>;

}  // namespace Valdrin
