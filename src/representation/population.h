// QPopulation: an owned list of individuals of one encoding (abstract).
#pragma once

#include <iosfwd>
#include <memory>
#include <vector>

#include "core/parameters.h"
#include "representation/individual.h"

namespace Valdrin {

class QPopulation {
public:
    std::vector<std::unique_ptr<QIndividual>> individuals;  // owned
    const QEAParameters* _params = nullptr;                       // not owned

    virtual ~QPopulation() = default;

    // Deletes all individuals, then creates count empty individuals of the population's class.
    virtual int createIndividuals(int count) = 0;
    virtual Encoding getEncoding() const = 0;
    // New population of the same class with clones of all individuals; no parameter record.
    virtual std::unique_ptr<QPopulation> clone() const = 0;
    // Appends an individual bound to _params with chromosomeLength default genes; new size.
    virtual int addNewIndividual() = 0;
    // Same size: each own individual copies the one at the same index; otherwise rebuilt from
    // clones. _params is not copied. Returns 1.
    virtual int copy(const QPopulation& other);
    // Stores params, creates populationSize individuals and binds each of them. Returns 1.
    virtual int setParameters(const QEAParameters* params);
    // 2 when every individual equalsTo the first one, otherwise 1.
    virtual int checkUniformity() const;
    virtual int print(std::ostream& out) const;

    int size() const { return static_cast<int>(individuals.size()); }
    QIndividual* getIndividual(int index) const;
    int deleteIndividual(int index);
    int deleteIndividuals(int start, int count);
    // Inserts a clone at the front; returns the new size.
    int insertIndividual(const QIndividual& individual);
    // Appends a clone at the back; returns the new size.
    int appendIndividual(const QIndividual& individual);
    int clear();
    // Least fitness by the running-minimum rule (starts at 1e9); null / -1 when none.
    QIndividual* getBestIndividual(double threshold) const;
    int getBestIndex(double threshold) const;

protected:
    QPopulation() = default;
    QPopulation(const QPopulation&) = delete;
    QPopulation& operator=(const QPopulation&) = delete;
};

}  // namespace Valdrin
