// Real-coded encoding: one double per gene, used directly as the phenotype. Encoding 3.
#pragma once

#include "representation/population.h"

namespace Valdrin {

// The generic face of one stored real; a chromosome holds the reals themselves.
class QRCGene final : public QGene {
public:
    using Value = double;
    Value value = 0.0;

    QRCGene() = default;
    explicit QRCGene(Value v) : value(v) {}
    std::unique_ptr<QGene> clone() const override;
    Encoding getEncoding() const override { return Encoding::Real; }
    bool equalsTo(const QGene& other) const override;
    int assign(const QGene& other) override;
    Value getValue() const { return value; }
    int setValue(Value v) { value = v; return 1; }
};

class QRCIndividual final : public QIndividual {
public:
    // One real per gene, contiguous, so that the operators walk plain doubles.
    std::vector<QRCGene::Value> genes;

    QRCIndividual() = default;
    QRCIndividual(const QRCIndividual&) = default;
    QRCIndividual& operator=(const QRCIndividual&) = default;

    int initialize(int genesNumber) override;
    int copy(const QIndividual& other) override;
    std::unique_ptr<QIndividual> clone() const override;
    Encoding getEncoding() const override { return Encoding::Real; }
    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;  // not supported: returns 0
    int print(std::ostream& out) const override;
    int getGenesNumber() const override { return static_cast<int>(genes.size()); }
    int addGene(const QGene& gene) override;
    int deleteGene(int index) override;
    std::unique_ptr<QGene> getGene(int index) const override;  // a QRCGene copy
    int setGene(int index, const QGene& gene) override;
    int deleteGenes() override;
    bool equalsTo(const QIndividual& other) const override;

    QRCGene::Value getGeneValue(int index) const { return genes[static_cast<std::size_t>(index)]; }
    int setGeneValue(int index, QRCGene::Value value);  // bound-checked
};

class QRCPopulation final : public QPopulation {
public:
    Encoding getEncoding() const override { return Encoding::Real; }
    std::unique_ptr<QPopulation> clone() const override;

protected:
    std::unique_ptr<QIndividual> makeIndividual() const override;
};

}  // namespace Valdrin
