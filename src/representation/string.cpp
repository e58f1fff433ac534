// String encoding: QStringGene, QStringIndividual and QStringPopulation.
#include "representation/string.h"

#include <cstdint>
#include <iostream>
#include <string>

#include "driver/fatal.h"

namespace Valdrin {

namespace {

[[noreturn]] void geneIndexError(const char* header) {
    fatal(std::string(header) + "\tIndex is out of genes array bounds\n\n");
}

bool outsideGenes(int index, const std::vector<QStringGene>& genes) {
    return index < 0 || static_cast<std::size_t>(index) >= genes.size();
}

}  // namespace

// --- gene ---

std::unique_ptr<QGene> QStringGene::clone() const { return std::make_unique<QStringGene>(*this); }

bool QStringGene::equalsTo(const QGene& other) const {
    if (other.getEncoding() != kStringEncoding) {
        std::cerr << "\n\n[QStringGene::equalsTo] error:\n"
                  << "\tCan't compare genes with different encodings\n\n";
        return false;
    }
    return static_cast<const QStringGene&>(other).value == value;
}

int QStringGene::assign(const QGene& other) {
    const int encoding = other.getEncoding();
    if (encoding != kStringEncoding) {
        std::cerr << "\n\n[QStringGene::assign] error:\n"
                  << "\tEncoding mismatch! (encoding ID: " << encoding << ")\n\n";
        return 0;
    }
    value = static_cast<const QStringGene&>(other).value;
    return 1;
}

// --- individual ---

int QStringIndividual::initialize(int genesNumber) {
    genes.resize(genesNumber > 0 ? static_cast<std::size_t>(genesNumber) : 0);
    return 1;
}

int QStringIndividual::copy(const QIndividual& other) {
    if (other.getEncoding() == kStringEncoding) {
        *this = static_cast<const QStringIndividual&>(other);
    } else {
        QIndividual::operator=(other);
    }
    return 1;
}

std::unique_ptr<QIndividual> QStringIndividual::clone() const {
    return std::make_unique<QStringIndividual>(*this);
}

int QStringIndividual::decode(std::vector<double>& out) const {
    out.resize(genes.size());
    for (std::size_t i = 0; i < genes.size(); ++i) {
        out[i] = static_cast<double>(static_cast<std::uint32_t>(genes[i].value));
    }
    return 1;
}

int QStringIndividual::decode(std::vector<int>& out) const {
    out.resize(genes.size());
    for (std::size_t i = 0; i < genes.size(); ++i) out[i] = genes[i].value;
    return 1;
}

int QStringIndividual::print(std::ostream& out) const {
    out << "(" << fitness << ")\t";
    const std::ios_base::fmtflags saved = out.flags();
    out << std::dec;
    for (const QStringGene& gene : genes) out << static_cast<std::uint32_t>(gene.value) << " ";
    out.flags(saved);
    return 1;
}

int QStringIndividual::addGene(const QGene& gene) {
    QStringGene added;
    added.assign(gene);
    genes.push_back(added);
    return getGenesNumber();
}

int QStringIndividual::deleteGene(int index) {
    if (outsideGenes(index, genes)) geneIndexError("\n\n[QStringIndividual::deleteGene] error:\n");
    genes.erase(genes.begin() + index);
    return getGenesNumber();
}

QGene* QStringIndividual::getGene(int index) {
    if (outsideGenes(index, genes)) geneIndexError("\n\n[QStringIndividual::getGene] error:\n");
    return &genes[static_cast<std::size_t>(index)];
}

const QGene* QStringIndividual::getGene(int index) const {
    if (outsideGenes(index, genes)) geneIndexError("\n\n[QStringIndividual::getGene] error:\n");
    return &genes[static_cast<std::size_t>(index)];
}

int QStringIndividual::setGene(int index, const QGene& gene) {
    if (outsideGenes(index, genes)) {
        fatal("\n\n[QStringIndividual::setGene] error:\n\tIndex is out of genes array bounds (index = " +
              std::to_string(index) + ")\n\n");
    }
    genes[static_cast<std::size_t>(index)].assign(gene);
    return 1;
}

int QStringIndividual::deleteGenes() {
    genes.clear();
    return 1;
}

bool QStringIndividual::equalsTo(const QIndividual& other) const {
    if (other.getEncoding() != kStringEncoding) return false;
    const auto& otherGenes = static_cast<const QStringIndividual&>(other).genes;
    if (otherGenes.size() != genes.size()) return false;
    for (std::size_t i = 0; i < genes.size(); ++i) {
        if (genes[i].value != otherGenes[i].value) return false;
    }
    return true;
}

int QStringIndividual::setGeneValue(int index, int value) {
    if (outsideGenes(index, genes)) geneIndexError("\n\nQStringIndividual::setGeneValue error:\n");
    return genes[static_cast<std::size_t>(index)].setValue(value);
}

// --- population ---

int QStringPopulation::createIndividuals(int count) {
    individuals.clear();
    for (int i = 0; i < count; ++i) individuals.push_back(std::make_unique<QStringIndividual>());
    return 1;
}

std::unique_ptr<QPopulation> QStringPopulation::clone() const {
    auto copy = std::make_unique<QStringPopulation>();
    copy->individuals.reserve(individuals.size());
    for (const auto& individual : individuals) copy->individuals.push_back(individual->clone());
    return copy;
}

int QStringPopulation::addNewIndividual() {
    auto individual = std::make_unique<QStringIndividual>();
    individual->setParameters(_params);
    individuals.push_back(std::move(individual));
    return size();
}

}  // namespace Valdrin
