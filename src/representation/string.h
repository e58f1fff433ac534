// String encoding: genes holding symbols 0 .. arity-1 (permutations included). Encoding 1.
#pragma once

#include <cstdint>

#include "representation/population.h"

namespace Valdrin {

// The generic face of one stored symbol; a chromosome holds the symbols themselves.
class QStringGene final : public QGene {
public:
    using Value = std::int32_t;
    Value value = 0;

    QStringGene() = default;
    explicit QStringGene(Value v) : value(v) {}
    std::unique_ptr<QGene> clone() const override;
    Encoding getEncoding() const override { return Encoding::String; }
    bool equalsTo(const QGene& other) const override;  // a gene of another encoding ends the experiment
    int assign(const QGene& other) override;           // a gene of another encoding ends the experiment
    Value getValue() const { return value; }
    int setValue(Value v) { value = v; return 1; }
};

class QStringIndividual final : public QIndividual {
public:
    // One symbol per gene, contiguous, so that the operators walk plain integers.
    std::vector<QStringGene::Value> genes;

    QStringIndividual() = default;
    QStringIndividual(const QStringIndividual&) = default;
    QStringIndividual& operator=(const QStringIndividual&) = default;

    int initialize(int genesNumber) override;
    int copy(const QIndividual& other) override;
    std::unique_ptr<QIndividual> clone() const override;
    Encoding getEncoding() const override { return Encoding::String; }
    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;
    int print(std::ostream& out) const override;
    int getGenesNumber() const override { return static_cast<int>(genes.size()); }
    int addGene(const QGene& gene) override;
    int deleteGene(int index) override;
    std::unique_ptr<QGene> getGene(int index) const override;  // a QStringGene copy
    int setGene(int index, const QGene& gene) override;
    int deleteGenes() override;
    bool equalsTo(const QIndividual& other) const override;

    QStringGene::Value getGeneValue(int index) const { return genes[static_cast<std::size_t>(index)]; }
    int setGeneValue(int index, QStringGene::Value value);  // bound-checked
};

class QStringPopulation final : public QPopulation {
public:
    Encoding getEncoding() const override { return Encoding::String; }
    std::unique_ptr<QPopulation> clone() const override;

protected:
    std::unique_ptr<QIndividual> makeIndividual() const override;
};

}  // namespace Valdrin
