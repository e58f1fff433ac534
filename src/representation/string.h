// String encoding: genes holding symbols 0 .. arity-1 (permutations included). Encoding 1.
#pragma once

#include "representation/population.h"

namespace Valdrin {

class QStringGene final : public QGene {
public:
    int value = 0;

    QStringGene() = default;
    explicit QStringGene(int v) : value(v) {}
    std::unique_ptr<QGene> clone() const override;
    int getEncoding() const override { return kStringEncoding; }
    bool equalsTo(const QGene& other) const override;  // reports an encoding mismatch
    int assign(const QGene& other) override;           // reports an encoding mismatch
    int getValue() const { return value; }
    int setValue(int v) { value = v; return 1; }
};

class QStringIndividual final : public QIndividual {
public:
    std::vector<QStringGene> genes;

    QStringIndividual() = default;
    QStringIndividual(const QStringIndividual&) = default;
    QStringIndividual& operator=(const QStringIndividual&) = default;

    int initialize(int genesNumber) override;
    int copy(const QIndividual& other) override;
    std::unique_ptr<QIndividual> clone() const override;
    int getEncoding() const override { return kStringEncoding; }
    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;
    int print(std::ostream& out) const override;
    int getGenesNumber() const override { return static_cast<int>(genes.size()); }
    int addGene(const QGene& gene) override;
    int deleteGene(int index) override;
    QGene* getGene(int index) override;
    const QGene* getGene(int index) const override;
    int setGene(int index, const QGene& gene) override;
    int deleteGenes() override;
    bool equalsTo(const QIndividual& other) const override;

    int getGeneValue(int index) const { return genes[static_cast<std::size_t>(index)].value; }
    int setGeneValue(int index, int value);  // bound-checked
};

class QStringPopulation final : public QPopulation {
public:
    int createIndividuals(int count) override;
    int getEncoding() const override { return kStringEncoding; }
    std::unique_ptr<QPopulation> clone() const override;
    int addNewIndividual() override;
};

}  // namespace Valdrin
