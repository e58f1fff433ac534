// Real-coded encoding: QRCGene, QRCIndividual and QRCPopulation.
#include "representation/real.h"

#include <ostream>
#include <string>

#include "core/failure.h"
#include "core/number_text.h"
#include "representation/gene_vector.h"

namespace Valdrin {

// --- gene ---

std::unique_ptr<QGene> QRCGene::clone() const { return std::make_unique<QRCGene>(*this); }

bool QRCGene::equalsTo(const QGene& other) const {
    return other.getEncoding() == Encoding::Real && static_cast<const QRCGene&>(other).value == value;
}

int QRCGene::assign(const QGene& other) {
    if (other.getEncoding() != Encoding::Real) return 0;
    value = static_cast<const QRCGene&>(other).value;
    return 1;
}

// --- individual ---

int QRCIndividual::initialize(int genesNumber) {
    genes.resize(genesNumber > 0 ? static_cast<std::size_t>(genesNumber) : 0);
    return 1;
}

int QRCIndividual::copy(const QIndividual& other) {
    if (other.getEncoding() == Encoding::Real) {
        *this = static_cast<const QRCIndividual&>(other);
    } else {
        QIndividual::operator=(other);
    }
    return 1;
}

std::unique_ptr<QIndividual> QRCIndividual::clone() const { return std::make_unique<QRCIndividual>(*this); }

int QRCIndividual::decode(std::vector<double>& out) const {
    out.assign(genes.begin(), genes.end());
    return 1;
}

int QRCIndividual::decode(std::vector<int>& /*out*/) const { return 0; }

int QRCIndividual::print(std::ostream& out) const {
    out << "(";
    writeNumber(out, fitness);
    out << ")\t";
    for (const double gene : genes) {
        writeNumber(out, gene);
        out << ' ';
    }
    return 1;
}

int QRCIndividual::addGene(const QGene& gene) { return geneVector::appendAssigned<QRCGene>(genes, gene); }

int QRCIndividual::deleteGene(int index) { return geneVector::erase(genes, index, "\n\n[QRCIndividual::deleteGene] error:\n"); }

std::unique_ptr<QGene> QRCIndividual::getGene(int index) const {
    return geneVector::copyOut<QRCGene>(genes, index, "\n\n[QRCIndividual::getGene] error:\n");
}

int QRCIndividual::setGene(int index, const QGene& gene) {
    geneVector::checkIndex(genes, index, "\n\n[QRCIndividual::setGene] error:\n");
    geneVector::assignInto<QRCGene>(genes[static_cast<std::size_t>(index)], gene);
    return 1;
}

int QRCIndividual::deleteGenes() {
    genes.clear();
    return 1;
}

// Exact comparison with ==, element by element: a not-a-number gene equals nothing, not even
// itself.
bool QRCIndividual::equalsTo(const QIndividual& other) const {
    if (other.getEncoding() != Encoding::Real) return false;
    return genes == static_cast<const QRCIndividual&>(other).genes;
}

int QRCIndividual::setGeneValue(int index, QRCGene::Value value) {
    geneVector::checkIndex(genes, index, "\n\nQRCIndividual::setGeneValue error:\n");
    genes[static_cast<std::size_t>(index)] = value;
    return 1;
}

// --- population ---

std::unique_ptr<QPopulation> QRCPopulation::clone() const { return geneVector::clonePopulation<QRCPopulation>(*this); }

std::unique_ptr<QIndividual> QRCPopulation::makeIndividual() const { return std::make_unique<QRCIndividual>(); }

}  // namespace Valdrin
