// Real-coded encoding: one double per gene, used directly as the phenotype. Encoding 3.
#pragma once

#include "representation/value_encoding.h"

namespace Valdrin {

// The generic face of one stored real; a chromosome holds the reals themselves.
class QRCGene final : public QValueGene<QRCGene, double, Encoding::Real> {
public:
    using QValueGene::QValueGene;
};

class QRCIndividual final : public QValueIndividual<QRCIndividual, QRCGene> {
public:
    static constexpr const char* kName = "QRCIndividual";
    QRCIndividual() {}  // defined here: see QValueIndividual

    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;  // not supported: returns 0
    int print(std::ostream& out) const override;
};

using QRCPopulation = QValuePopulation<QRCIndividual>;

}  // namespace Valdrin
