// What every concrete individual does to its vector of genes (plain values, or nodes for
// networks), and what every concrete population does that differs only by the class of its
// individuals.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/failure.h"
#include "representation/population.h"

namespace Valdrin::geneVector {

// Ends the process with the class's header and the index message unless 0 <= index < size.
template <class Stored>
void checkIndex(const std::vector<Stored>& genes, int index, const char* header) {
    if (index < 0 || static_cast<std::size_t>(index) >= genes.size()) {
        fail(std::string(header) + "\tIndex is out of genes array bounds\n\n");
    }
}

template <class Stored>
int erase(std::vector<Stored>& genes, int index, const char* header) {
    checkIndex(genes, index, header);
    genes.erase(genes.begin() + index);
    return static_cast<int>(genes.size());
}

// A copy of the gene at index, built from what the chromosome stores there (a plain value, or
// a whole node for networks).
template <class Gene, class Stored>
std::unique_ptr<QGene> copyOut(const std::vector<Stored>& genes, int index, const char* header) {
    checkIndex(genes, index, header);
    return std::make_unique<Gene>(genes[static_cast<std::size_t>(index)]);
}

// The stored value takes the given gene's value exactly as a gene of the encoding would assign
// it, so a foreign gene leaves it unchanged and is reported (or not) by the gene class alone.
template <class Gene>
void assignInto(typename Gene::Value& stored, const QGene& gene) {
    Gene local(stored);
    local.assign(gene);
    stored = local.value;
}

// Appends a default value that then takes the given gene's value (assign refuses a foreign one).
template <class Gene>
int appendAssigned(std::vector<typename Gene::Value>& genes, const QGene& gene) {
    Gene added;
    added.assign(gene);
    genes.push_back(added.value);
    return static_cast<int>(genes.size());
}

template <class Population>
std::unique_ptr<QPopulation> clonePopulation(const QPopulation& population) {
    auto copy = std::make_unique<Population>();
    copy->individuals.reserve(population.individuals.size());
    for (const auto& individual : population.individuals) copy->individuals.push_back(individual->clone());
    return copy;
}

}  // namespace Valdrin::geneVector
