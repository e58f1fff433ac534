// Real-coded encoding: QRCGene, QRCIndividual and QRCPopulation.
#include "representation/real.h"

#include <ostream>
#include <string>

#include "core/failure.h"
#include "representation/gene_vector.h"

namespace Valdrin {

namespace {

}  // namespace

// --- gene ---

std::unique_ptr<QGene> QRCGene::clone() const { return std::make_unique<QRCGene>(*this); }

bool QRCGene::equalsTo(const QGene& other) const {
    return other.getEncoding() == kRealEncoding && static_cast<const QRCGene&>(other).value == value;
}

int QRCGene::assign(const QGene& other) {
    if (other.getEncoding() != kRealEncoding) return 0;
    value = static_cast<const QRCGene&>(other).value;
    return 1;
}

// --- individual ---

int QRCIndividual::initialize(int genesNumber) {
    genes.resize(genesNumber > 0 ? static_cast<std::size_t>(genesNumber) : 0);
    return 1;
}

int QRCIndividual::copy(const QIndividual& other) {
    if (other.getEncoding() == kRealEncoding) {
        *this = static_cast<const QRCIndividual&>(other);
    } else {
        QIndividual::operator=(other);
    }
    return 1;
}

std::unique_ptr<QIndividual> QRCIndividual::clone() const { return std::make_unique<QRCIndividual>(*this); }

int QRCIndividual::decode(std::vector<double>& out) const {
    out.resize(genes.size());
    for (std::size_t i = 0; i < genes.size(); ++i) out[i] = genes[i].value;
    return 1;
}

int QRCIndividual::decode(std::vector<int>& /*out*/) const { return 0; }

int QRCIndividual::print(std::ostream& out) const {
    out << "(" << fitness << ")\t";
    for (const QRCGene& gene : genes) out << gene.value << " ";
    return 1;
}

int QRCIndividual::addGene(const QGene& gene) { return geneVector::appendAssigned(genes, gene); }

int QRCIndividual::deleteGene(int index) { return geneVector::erase(genes, index, "\n\n[QRCIndividual::deleteGene] error:\n"); }

QGene* QRCIndividual::getGene(int index) { return geneVector::at(genes, index, "\n\n[QRCIndividual::getGene] error:\n"); }

const QGene* QRCIndividual::getGene(int index) const {
    return geneVector::at(genes, index, "\n\n[QRCIndividual::getGene] error:\n");
}

int QRCIndividual::setGene(int index, const QGene& gene) {
    geneVector::at(genes, index, "\n\n[QRCIndividual::setGene] error:\n")->assign(gene);
    return 1;
}

int QRCIndividual::deleteGenes() {
    genes.clear();
    return 1;
}

// Exact comparison: a not-a-number gene equals nothing, not even itself.
bool QRCIndividual::equalsTo(const QIndividual& other) const {
    if (other.getEncoding() != kRealEncoding) return false;
    const auto& otherGenes = static_cast<const QRCIndividual&>(other).genes;
    if (otherGenes.size() != genes.size()) return false;
    for (std::size_t i = 0; i < genes.size(); ++i) {
        if (!(genes[i].value == otherGenes[i].value)) return false;
    }
    return true;
}

int QRCIndividual::setGeneValue(int index, double value) {
    geneVector::checkIndex(genes, index, "\n\nQRCIndividual::setGeneValue error:\n");
    return genes[static_cast<std::size_t>(index)].setValue(value);
}

// --- population ---

int QRCPopulation::createIndividuals(int count) { return geneVector::createIndividuals<QRCIndividual>(*this, count); }

std::unique_ptr<QPopulation> QRCPopulation::clone() const { return geneVector::clonePopulation<QRCPopulation>(*this); }

int QRCPopulation::addNewIndividual() { return geneVector::appendNewIndividual<QRCIndividual>(*this); }

}  // namespace Valdrin
