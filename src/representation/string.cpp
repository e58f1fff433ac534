// String encoding: QStringGene, QStringIndividual and QStringPopulation.
#include "representation/string.h"

#include <cstdint>
#include <ostream>
#include <string>

#include "core/failure.h"
#include "core/number_text.h"
#include "representation/gene_vector.h"

namespace Valdrin {

// --- gene ---

std::unique_ptr<QGene> QStringGene::clone() const { return std::make_unique<QStringGene>(*this); }

bool QStringGene::equalsTo(const QGene& other) const {
    if (other.getEncoding() != Encoding::String) {
        fail("\n\n[QStringGene::equalsTo] error:\n\tCan't compare genes with different encodings\n\n");
    }
    return static_cast<const QStringGene&>(other).value == value;
}

int QStringGene::assign(const QGene& other) {
    const Encoding encoding = other.getEncoding();
    if (encoding != Encoding::String) {
        fail("\n\n[QStringGene::assign] error:\n\tEncoding mismatch! (encoding ID: " + std::to_string(number(encoding)) +
             ")\n\n");
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
    if (other.getEncoding() == Encoding::String) {
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
        out[i] = static_cast<double>(static_cast<std::uint32_t>(genes[i]));
    }
    return 1;
}

int QStringIndividual::decode(std::vector<int>& out) const {
    out.assign(genes.begin(), genes.end());
    return 1;
}

int QStringIndividual::print(std::ostream& out) const {
    out << "(";
    writeNumber(out, fitness);
    out << ")\t";
    const std::ios_base::fmtflags saved = out.flags();
    out << std::dec;
    for (const QStringGene::Value gene : genes) out << static_cast<std::uint32_t>(gene) << " ";
    out.flags(saved);
    return 1;
}

int QStringIndividual::addGene(const QGene& gene) { return geneVector::appendAssigned<QStringGene>(genes, gene); }

int QStringIndividual::deleteGene(int index) { return geneVector::erase(genes, index, "\n\n[QStringIndividual::deleteGene] error:\n"); }

std::unique_ptr<QGene> QStringIndividual::getGene(int index) const {
    return geneVector::copyOut<QStringGene>(genes, index, "\n\n[QStringIndividual::getGene] error:\n");
}

int QStringIndividual::setGene(int index, const QGene& gene) {
    if (index < 0 || index >= getGenesNumber()) {
        fail("\n\n[QStringIndividual::setGene] error:\n\tIndex is out of genes array bounds (index = " +
              std::to_string(index) + ")\n\n");
    }
    geneVector::assignInto<QStringGene>(genes[static_cast<std::size_t>(index)], gene);
    return 1;
}

int QStringIndividual::deleteGenes() {
    genes.clear();
    return 1;
}

bool QStringIndividual::equalsTo(const QIndividual& other) const {
    if (other.getEncoding() != Encoding::String) return false;
    return genes == static_cast<const QStringIndividual&>(other).genes;
}

int QStringIndividual::setGeneValue(int index, QStringGene::Value value) {
    geneVector::checkIndex(genes, index, "\n\nQStringIndividual::setGeneValue error:\n");
    genes[static_cast<std::size_t>(index)] = value;
    return 1;
}

// --- population ---

std::unique_ptr<QPopulation> QStringPopulation::clone() const { return geneVector::clonePopulation<QStringPopulation>(*this); }

std::unique_ptr<QIndividual> QStringPopulation::makeIndividual() const { return std::make_unique<QStringIndividual>(); }

}  // namespace Valdrin
