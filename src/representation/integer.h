// Integer (bit-string) encoding: genes holding geneSize-bit codes, read as reals through
// value * genePrecision + geneOffset or as integers. Encoding 2.
#pragma once

#include <cstdint>

#include "representation/population.h"

namespace Valdrin {

// The generic face of one stored code; a chromosome holds the codes themselves.
class QIntegerGene final : public QGene {
public:
    using Value = std::int32_t;
    Value value = 0;

    QIntegerGene() = default;
    explicit QIntegerGene(Value v) : value(v) {}
    std::unique_ptr<QGene> clone() const override;
    Encoding getEncoding() const override { return Encoding::Integer; }
    bool equalsTo(const QGene& other) const override;
    int assign(const QGene& other) override;
    Value getValue() const { return value; }
    int setValue(Value v) { value = v; return 1; }
};

class QIntegerIndividual final : public QIndividual {
public:
    // One code per gene, contiguous, so that the operators walk plain integers.
    std::vector<QIntegerGene::Value> genes;

    QIntegerIndividual() = default;
    QIntegerIndividual(const QIntegerIndividual&) = default;
    QIntegerIndividual& operator=(const QIntegerIndividual&) = default;

    int initialize(int genesNumber) override;
    int copy(const QIndividual& other) override;
    std::unique_ptr<QIndividual> clone() const override;
    Encoding getEncoding() const override { return Encoding::Integer; }
    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;
    int print(std::ostream& out) const override;
    int getGenesNumber() const override { return static_cast<int>(genes.size()); }
    int addGene(const QGene& gene) override;
    int deleteGene(int index) override;
    std::unique_ptr<QGene> getGene(int index) const override;  // a QIntegerGene copy
    int setGene(int index, const QGene& gene) override;
    int deleteGenes() override;
    bool equalsTo(const QIndividual& other) const override;

    int getGeneSize() const { return _params->geneSize; }
    QIntegerGene::Value getGeneValue(int index) const { return genes[static_cast<std::size_t>(index)]; }
    int setGeneValue(int index, QIntegerGene::Value value);  // bound-checked
};

class QIntegerPopulation final : public QPopulation {
public:
    Encoding getEncoding() const override { return Encoding::Integer; }
    std::unique_ptr<QPopulation> clone() const override;

protected:
    std::unique_ptr<QIndividual> makeIndividual() const override;
};

}  // namespace Valdrin
