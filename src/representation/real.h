// Real-coded encoding: one double per gene, used directly as the phenotype. Encoding 3.
#pragma once

#include "representation/population.h"

namespace Valdrin {

class QRCGene final : public QGene {
public:
    double value = 0.0;

    QRCGene() = default;
    explicit QRCGene(double v) : value(v) {}
    std::unique_ptr<QGene> clone() const override;
    int getEncoding() const override { return kRealEncoding; }
    bool equalsTo(const QGene& other) const override;
    int assign(const QGene& other) override;
    double getValue() const { return value; }
    int setValue(double v) { value = v; return 1; }
};

class QRCIndividual final : public QIndividual {
public:
    std::vector<QRCGene> genes;

    QRCIndividual() = default;
    QRCIndividual(const QRCIndividual&) = default;
    QRCIndividual& operator=(const QRCIndividual&) = default;

    int initialize(int genesNumber) override;
    int copy(const QIndividual& other) override;
    std::unique_ptr<QIndividual> clone() const override;
    int getEncoding() const override { return kRealEncoding; }
    int decode(std::vector<double>& out) const override;
    int decode(std::vector<int>& out) const override;  // not supported: returns 0
    int print(std::ostream& out) const override;
    int getGenesNumber() const override { return static_cast<int>(genes.size()); }
    int addGene(const QGene& gene) override;
    int deleteGene(int index) override;
    QGene* getGene(int index) override;
    const QGene* getGene(int index) const override;
    int setGene(int index, const QGene& gene) override;
    int deleteGenes() override;
    bool equalsTo(const QIndividual& other) const override;

    double getGeneValue(int index) const { return genes[static_cast<std::size_t>(index)].value; }
    int setGeneValue(int index, double value);  // bound-checked
};

class QRCPopulation final : public QPopulation {
public:
    int createIndividuals(int count) override;
    int getEncoding() const override { return kRealEncoding; }
    std::unique_ptr<QPopulation> clone() const override;
    int addNewIndividual() override;
};

}  // namespace Valdrin
