// Integer encoding: QIntegerGene, QIntegerIndividual and QIntegerPopulation.
#include "representation/integer.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdint>
#include <ostream>
#include <string>

#include "core/failure.h"
#include "core/number_text.h"
#include "representation/gene_vector.h"

namespace Valdrin {

// --- gene ---

std::unique_ptr<QGene> QIntegerGene::clone() const { return std::make_unique<QIntegerGene>(*this); }

bool QIntegerGene::equalsTo(const QGene& other) const {
    return other.getEncoding() == Encoding::Integer && static_cast<const QIntegerGene&>(other).value == value;
}

int QIntegerGene::assign(const QGene& other) {
    if (other.getEncoding() != Encoding::Integer) return 0;
    value = static_cast<const QIntegerGene&>(other).value;
    return 1;
}

// --- individual ---

int QIntegerIndividual::initialize(int genesNumber) {
    genes.resize(genesNumber > 0 ? static_cast<std::size_t>(genesNumber) : 0);
    return 1;
}

int QIntegerIndividual::copy(const QIndividual& other) {
    if (other.getEncoding() == Encoding::Integer) {
        *this = static_cast<const QIntegerIndividual&>(other);
    } else {
        QIndividual::operator=(other);
    }
    return 1;
}

std::unique_ptr<QIndividual> QIntegerIndividual::clone() const {
    return std::make_unique<QIntegerIndividual>(*this);
}

int QIntegerIndividual::decode(std::vector<double>& out) const {
    const double precision = _params->genePrecision;
    const double offset = _params->geneOffset;
    out.resize(genes.size());
    for (std::size_t i = 0; i < genes.size(); ++i) {
        out[i] = static_cast<double>(genes[i]) * precision + offset;
    }
    return 1;
}

int QIntegerIndividual::decode(std::vector<int>& out) const {
    const double offset = _params->geneOffset;
    if (_params->genePrecision != 1.0) return 0;
    // Also refuses offsets that are not numbers or lie beyond the int range.
    if (!(offset >= static_cast<double>(INT_MIN) && offset <= static_cast<double>(INT_MAX)) ||
        std::trunc(offset) != offset) {
        return 0;
    }
    // value + offset is exact in double and, the offset being whole, equals this integer sum;
    // truncation then only clamps to the int range.
    const auto shift = static_cast<long long>(offset);
    if (shift == 0) {
        // The codes themselves, which are ints already.
        out.assign(genes.begin(), genes.end());
        return 1;
    }
    out.resize(genes.size());
    for (std::size_t i = 0; i < genes.size(); ++i) {
        out[i] = static_cast<int>(std::clamp<long long>(genes[i] + shift, INT_MIN, INT_MAX));
    }
    return 1;
}

int QIntegerIndividual::print(std::ostream& out) const {
    out << "(";
    writeNumber(out, fitness);
    out << ")\t";
    // Negative values show their 32-bit two's-complement form.
    writeHexList(out, genes);
    // Integers are written in decimal afterwards, whatever base the stream had before.
    out << std::dec;
    return 1;
}

int QIntegerIndividual::addGene(const QGene& gene) { return geneVector::appendAssigned<QIntegerGene>(genes, gene); }

int QIntegerIndividual::deleteGene(int index) { return geneVector::erase(genes, index, "\n\n[QIntegerIndividual::deleteGene] error:\n"); }

std::unique_ptr<QGene> QIntegerIndividual::getGene(int index) const {
    return geneVector::copyOut<QIntegerGene>(genes, index, "\n\n[QIntegerIndividual::getGene] error:\n");
}

int QIntegerIndividual::setGene(int index, const QGene& gene) {
    geneVector::checkIndex(genes, index, "\n\n[QIntegerIndividual::setGene] error:\n");
    geneVector::assignInto<QIntegerGene>(genes[static_cast<std::size_t>(index)], gene);
    return 1;
}

int QIntegerIndividual::deleteGenes() {
    genes.clear();
    return 1;
}

bool QIntegerIndividual::equalsTo(const QIndividual& other) const {
    if (other.getEncoding() != Encoding::Integer) return false;
    return genes == static_cast<const QIntegerIndividual&>(other).genes;
}

int QIntegerIndividual::setGeneValue(int index, QIntegerGene::Value value) {
    geneVector::checkIndex(genes, index, "\n\nQIntegerIndividual::setGeneValue error:\n");
    genes[static_cast<std::size_t>(index)] = value;
    return 1;
}

// --- population ---

std::unique_ptr<QPopulation> QIntegerPopulation::clone() const { return geneVector::clonePopulation<QIntegerPopulation>(*this); }

std::unique_ptr<QIndividual> QIntegerPopulation::makeIndividual() const { return std::make_unique<QIntegerIndividual>(); }

}  // namespace Valdrin
