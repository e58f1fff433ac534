// QIndividual: a chromosome (a vector of genes held by its concrete class) plus its fitness.
#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "core/parameters.h"
#include "representation/gene.h"

namespace Valdrin {

class QIndividual {
public:
    int nicheNumber = 0;
    double fitness = 0.0;
    std::vector<double> fitnessComponents;
    QEAParameters* _params = nullptr;  // not owned

    virtual ~QIndividual() = default;

    // Brings the chromosome to that many genes (value encodings keep existing genes).
    virtual int initialize(int genesNumber) = 0;
    // Copies everything from an individual of the same class; returns 1.
    virtual int copy(const QIndividual& other) = 0;
    virtual std::unique_ptr<QIndividual> clone() const = 0;
    virtual int getEncoding() const = 0;
    // Phenotype as reals / as integers: 1, or 0 where the encoding has no such reading.
    virtual int decode(std::vector<double>& out) const = 0;
    virtual int decode(std::vector<int>& out) const = 0;
    virtual int print(std::ostream& out) const = 0;
    virtual int getGenesNumber() const = 0;
    virtual int addGene(const QGene& gene) = 0;
    virtual int deleteGene(int index) = 0;
    virtual QGene* getGene(int index) = 0;
    virtual const QGene* getGene(int index) const = 0;
    // The gene at index performs assign from the given gene; returns 1 whatever assign returned.
    virtual int setGene(int index, const QGene& gene) = 0;
    virtual int deleteGenes() = 0;
    virtual bool equalsTo(const QIndividual& other) const = 0;
    // Stores params, then initialize(params->chromosomeLength).
    virtual int setParameters(QEAParameters* params);

protected:
    QIndividual() = default;
    QIndividual(const QIndividual&) = default;
    // Copies the base fields: _params, fitness, fitnessComponents, nicheNumber.
    QIndividual& operator=(const QIndividual&) = default;
};

}  // namespace Valdrin
