// What every concrete individual does to its vector of genes held by value, and what every
// concrete population does that differs only by the class of its individuals.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/failure.h"
#include "representation/population.h"

namespace Valdrin::geneVector {

// Ends the process with the class's header and the index message unless 0 <= index < size.
template <class Gene>
void checkIndex(const std::vector<Gene>& genes, int index, const char* header) {
    if (index < 0 || static_cast<std::size_t>(index) >= genes.size()) {
        fail(std::string(header) + "\tIndex is out of genes array bounds\n\n");
    }
}

template <class Gene>
int erase(std::vector<Gene>& genes, int index, const char* header) {
    checkIndex(genes, index, header);
    genes.erase(genes.begin() + index);
    return static_cast<int>(genes.size());
}

template <class Gene>
Gene* at(std::vector<Gene>& genes, int index, const char* header) {
    checkIndex(genes, index, header);
    return &genes[static_cast<std::size_t>(index)];
}

template <class Gene>
const Gene* at(const std::vector<Gene>& genes, int index, const char* header) {
    checkIndex(genes, index, header);
    return &genes[static_cast<std::size_t>(index)];
}

// Appends a default gene that then takes the given gene's value (assign refuses a foreign one).
template <class Gene>
int appendAssigned(std::vector<Gene>& genes, const QGene& gene) {
    Gene added;
    added.assign(gene);
    genes.push_back(added);
    return static_cast<int>(genes.size());
}

template <class Individual>
int createIndividuals(QPopulation& population, int count) {
    population.individuals.clear();
    for (int i = 0; i < count; ++i) population.individuals.push_back(std::make_unique<Individual>());
    return 1;
}

template <class Population>
std::unique_ptr<QPopulation> clonePopulation(const QPopulation& population) {
    auto copy = std::make_unique<Population>();
    copy->individuals.reserve(population.individuals.size());
    for (const auto& individual : population.individuals) copy->individuals.push_back(individual->clone());
    return copy;
}

// Appends an individual bound to the population's record, with that record's default genes.
template <class Individual>
int appendNewIndividual(QPopulation& population) {
    auto individual = std::make_unique<Individual>();
    individual->_params = population._params;
    individual->initialize(population._params != nullptr ? population._params->chromosomeLength : 0);
    population.individuals.push_back(std::move(individual));
    return population.size();
}

}  // namespace Valdrin::geneVector
