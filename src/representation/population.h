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

    // Deletes all individuals and spares, then creates count empty individuals of the
    // population's class.
    int createIndividuals(int count);
    virtual Encoding getEncoding() const = 0;
    // New population of the same class with clones of all individuals; no parameter record.
    virtual std::unique_ptr<QPopulation> clone() const = 0;
    // Appends an individual bound to _params with chromosomeLength default genes; new size.
    int addNewIndividual();
    // Same size: each own individual copies the one at the same index. Another size: the same
    // result as rebuilding from clones, made in the storage of own individuals and spares where
    // they are of the class copied, the own individuals beyond other's size becoming spares.
    // _params is not copied. Returns 1.
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
    // Inserts a copy at the front; returns the new size.
    int insertIndividual(const QIndividual& individual);
    // Appends a copy at the back; returns the new size.
    int appendIndividual(const QIndividual& individual);
    // Appends an individual bound to _params with chromosomeLength genes whose values the caller
    // overwrites in full before anything reads them (a crossover's child); its other fields are
    // those of a new individual. Returns the new size.
    int addIndividualToOverwrite();
    int clear();

    // Individuals let go by clear, the deletions and a copy from a smaller population are kept as
    // spares, and individuals added or copied later take a spare's storage instead of allocating:
    // a population refilled every generation allocates nothing once it has reached its size. A
    // taken spare is made equal to what it stands for (a copy, or a new individual), so reuse
    // changes no result.
    int sparesCount() const { return static_cast<int>(spares_.size()); }
    // Least fitness by the running-minimum rule (starts at 1e9); null / -1 when none.
    QIndividual* getBestIndividual(double threshold) const;
    int getBestIndex(double threshold) const;

protected:
    QPopulation() = default;
    // A new, empty individual of the population's class.
    virtual std::unique_ptr<QIndividual> makeIndividual() const = 0;
    // Whether a let-go individual becomes equal to a new one through QIndividual::renew (true for
    // the value encodings; a network keeps its mutation parameters through initialize).
    virtual bool renewsIndividuals() const { return true; }

    QPopulation(const QPopulation&) = delete;
    QPopulation& operator=(const QPopulation&) = delete;

private:
    // Moves an individual to the spares (drops it when it is null).
    void letGo(std::unique_ptr<QIndividual> individual);
    // The last spare when it is of the given encoding, else null.
    std::unique_ptr<QIndividual> takeSpare(Encoding encoding);
    // A copy of individual, in a spare's storage when there is one.
    std::unique_ptr<QIndividual> copyOf(const QIndividual& individual);
    // An individual bound to _params with chromosomeLength genes: a renewed spare (its gene values
    // kept when keepValues) or a new one.
    std::unique_ptr<QIndividual> freshIndividual(bool keepValues);

    std::vector<std::unique_ptr<QIndividual>> spares_;
};

}  // namespace Valdrin
