// QPopulation: ownership, copying, lookup, deletion, best-individual search and printing.
#include "representation/population.h"

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>

#include "core/failure.h"

namespace Valdrin {

namespace {

[[noreturn]] void populationIndexError(const char* operation, const std::string& text) {
    std::ostringstream message;
    message << "\n\n[QPopulation::" << operation << "] error:\n\t" << text << "\n\n";
    fail(message.str());
}

}  // namespace

int QPopulation::createIndividuals(int count) {
    // The new individuals stand in for every earlier one, spares included.
    spares_.clear();
    individuals.clear();
    for (int i = 0; i < count; ++i) individuals.push_back(makeIndividual());
    return 1;
}

int QPopulation::addNewIndividual() {
    individuals.push_back(freshIndividual(false));
    return size();
}

int QPopulation::addIndividualToOverwrite() {
    individuals.push_back(freshIndividual(true));
    return size();
}

std::unique_ptr<QIndividual> QPopulation::freshIndividual(bool keepValues) {
    if (renewsIndividuals()) {
        if (auto spare = takeSpare(getEncoding())) {
            spare->renew(_params, keepValues);
            return spare;
        }
    }
    auto individual = makeIndividual();
    individual->_params = _params;
    individual->initialize(_params != nullptr ? _params->chromosomeLength : 0);
    return individual;
}

void QPopulation::letGo(std::unique_ptr<QIndividual> individual) {
    if (individual != nullptr) spares_.push_back(std::move(individual));
}

std::unique_ptr<QIndividual> QPopulation::takeSpare(Encoding encoding) {
    if (spares_.empty() || spares_.back()->getEncoding() != encoding) return nullptr;
    std::unique_ptr<QIndividual> spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

std::unique_ptr<QIndividual> QPopulation::copyOf(const QIndividual& individual) {
    if (auto spare = takeSpare(individual.getEncoding())) {
        spare->copy(individual);
        return spare;
    }
    return individual.clone();
}

int QPopulation::copy(const QPopulation& other) {
    if (this == &other) return 1;
    if (individuals.size() == other.individuals.size()) {
        for (std::size_t i = 0; i < individuals.size(); ++i) individuals[i]->copy(*other.individuals[i]);
        return 1;
    }
    // Another size: the own individuals take copies of the first ones where they are of the
    // same class, those beyond other's size become spares, and the missing ones are copies in a
    // spare's storage (new clones when there is none), so that a population copied every
    // generation keeps a bounded number of individuals alive.
    const std::size_t count = other.individuals.size();
    while (individuals.size() > count) {
        letGo(std::move(individuals.back()));
        individuals.pop_back();
    }
    for (std::size_t i = 0; i < individuals.size(); ++i) {
        const QIndividual& source = *other.individuals[i];
        if (individuals[i]->getEncoding() == source.getEncoding()) {
            individuals[i]->copy(source);
        } else {
            letGo(std::move(individuals[i]));
            individuals[i] = copyOf(source);
        }
    }
    individuals.reserve(count);
    for (std::size_t i = individuals.size(); i < count; ++i) individuals.push_back(copyOf(*other.individuals[i]));
    return 1;
}

int QPopulation::setParameters(const QEAParameters* params) {
    _params = params;
    if (createIndividuals(params->populationSize) == 1) {
        for (auto& individual : individuals) individual->setParameters(params);
    }
    return 1;
}

// An empty population counts as uniform: no individual differs from another.
int QPopulation::checkUniformity() const {
    if (individuals.empty()) return 2;
    const QIndividual& first = *individuals.front();
    for (std::size_t i = 1; i < individuals.size(); ++i) {
        if (!individuals[i]->equalsTo(first)) return 1;
    }
    return 2;
}

int QPopulation::print(std::ostream& out) const {
    out << "\nPrinting population (" << size() << " individuals):\n"
        << "-------------------------\n";
    int number = 1;
    for (const auto& individual : individuals) {
        out << "Individual " << number++ << ":\t";
        individual->print(out);
        out << "\n";
    }
    return 1;
}

QIndividual* QPopulation::getIndividual(int index) const {
    if (index < 0 || index >= size()) {
        populationIndexError("getIndividual",
                             "Index is out of population bounds (i = " + std::to_string(index) + ")");
    }
    return individuals[static_cast<std::size_t>(index)].get();
}

int QPopulation::deleteIndividual(int index) {
    if (index < 0 || index >= size()) {
        populationIndexError("deleteIndividual",
                             "Index (" + std::to_string(index) + ") is out of population bounds");
    }
    letGo(std::move(individuals[static_cast<std::size_t>(index)]));
    individuals.erase(individuals.begin() + index);
    return size();
}

int QPopulation::deleteIndividuals(int start, int count) {
    if (start < 0 || start >= size()) {
        populationIndexError("deleteIndividuals",
                             "Index (" + std::to_string(start) + ") is out of population bounds");
    }
    // 64-bit end so that a huge count cannot wrap around; a negative count deletes nothing.
    std::int64_t end = static_cast<std::int64_t>(start) + (count > 0 ? count : 0);
    if (end > size()) end = size();
    for (auto k = static_cast<std::size_t>(start); k < static_cast<std::size_t>(end); ++k) letGo(std::move(individuals[k]));
    individuals.erase(individuals.begin() + start, individuals.begin() + static_cast<std::ptrdiff_t>(end));
    return size();
}

int QPopulation::insertIndividual(const QIndividual& individual) {
    individuals.insert(individuals.begin(), copyOf(individual));
    return size();
}

int QPopulation::appendIndividual(const QIndividual& individual) {
    individuals.push_back(copyOf(individual));
    return size();
}

int QPopulation::clear() {
    for (auto& individual : individuals) letGo(std::move(individual));
    individuals.clear();
    return 1;
}

// Once the running minimum is at or below the threshold the scan keeps its choice; starting
// at 1e9 makes fitness values of 1e9 and above count as "no result".
int QPopulation::getBestIndex(double threshold) const {
    double minimum = 1e9;
    int best = -1;
    for (int i = 0; i < size(); ++i) {
        const double fitness = individuals[static_cast<std::size_t>(i)]->fitness;
        if (fitness < minimum && minimum > threshold) {
            minimum = fitness;
            best = i;
        }
    }
    return best;
}

QIndividual* QPopulation::getBestIndividual(double threshold) const {
    const int best = getBestIndex(threshold);
    return best < 0 ? nullptr : individuals[static_cast<std::size_t>(best)].get();
}

}  // namespace Valdrin
