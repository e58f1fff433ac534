// Integer (bit-string) encoding: genes holding geneSize-bit codes, read as reals through
// value * genePrecision + geneOffset or as integers. Encoding 2.
#pragma once

#include <cstdint>

#include "representation/value_encoding.h"

namespace Valdrin {

// The generic face of one stored code; a chromosome holds the codes themselves.
class QIntegerGene final : public QValueGene<QIntegerGene, std::int32_t, Encoding::Integer> {
public:
    using QValueGene::QValueGene;
};

class QIntegerIndividual final : public QValueIndividual<QIntegerIndividual, QIntegerGene> {
public:
    static constexpr const char* kName = "QIntegerIndividual";
    QIntegerIndividual() {}  // defined here: see QValueIndividual

    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;
    int print(std::ostream& out) const override;

    int getGeneSize() const { return _params->geneSize; }
};

using QIntegerPopulation = QValuePopulation<QIntegerIndividual>;

}  // namespace Valdrin
