// QIndividual: a chromosome (a vector of genes held by its concrete class) plus its fitness.
#pragma once

#include <cstdint>
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
    const QEAParameters* _params = nullptr;  // not owned

    virtual ~QIndividual() = default;

    // Brings the chromosome to that many genes (value encodings keep existing genes).
    virtual int initialize(int genesNumber) = 0;
    // Copies everything from an individual of the same class; returns 1.
    virtual int copy(const QIndividual& other) = 0;
    virtual std::unique_ptr<QIndividual> clone() const = 0;
    virtual Encoding getEncoding() const = 0;
    // Phenotype as reals / as integers: 1, or 0 where the encoding has no such reading.
    virtual int decode(std::vector<double>& out) const = 0;
    virtual int decode(std::vector<int>& out) const = 0;
    virtual int print(std::ostream& out) const = 0;
    virtual int getGenesNumber() const = 0;
    // Appends the given gene's contents as a new last gene; returns the new count. A foreign gene
    // appends the encoding's default value (networks: appends nothing).
    virtual int addGene(const QGene& gene) = 0;
    virtual int deleteGene(int index) = 0;
    // A copy of the gene at index: the value encodings keep no gene objects to point into, and
    // a copy cannot be left dangling by a later change of the chromosome.
    virtual std::unique_ptr<QGene> getGene(int index) const = 0;
    // The gene at index performs assign from the given gene; returns 1 whatever assign returned.
    virtual int setGene(int index, const QGene& gene) = 0;
    virtual int deleteGenes() = 0;
    virtual bool equalsTo(const QIndividual& other) const = 0;
    // A summary of the chromosome for finding equal ones quickly: individuals that equalsTo each
    // other have the same hash (the converse need not hold). An encoding without a hash of its own
    // gives every chromosome the same one, so that only equalsTo tells them apart.
    virtual std::uint64_t chromosomeHash() const { return 0; }
    // Stores params, then initialize(params->chromosomeLength).
    virtual int setParameters(const QEAParameters* params);
    // Makes an individual let go by a population equal to a new one bound to params: base fields
    // as new, then (unless keepValues) deleteGenes, then initialize(chromosomeLength). With
    // keepValues the value encodings keep the gene values they hold, for a caller that
    // overwrites them all.
    void renew(const QEAParameters* params, bool keepValues);

protected:
    QIndividual() = default;
    QIndividual(const QIndividual&) = default;
    // Copies the base fields: _params, fitness, fitnessComponents, nicheNumber.
    QIndividual& operator=(const QIndividual&) = default;
};

}  // namespace Valdrin
