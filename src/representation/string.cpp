// String encoding: what is its own, the reported gene mismatches, the readings of the symbols,
// their printing and the index message of setGene (the rest is value_encoding.h).
#include "representation/string.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/number_text.h"
#include "representation/gene_vector.h"

namespace Valdrin {

// --- gene ---

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
    printFitness(out);
    const std::ios_base::fmtflags saved = out.flags();
    out << std::dec;
    for (const QStringGene::Value gene : genes) out << static_cast<std::uint32_t>(gene) << " ";
    out.flags(saved);
    return 1;
}

int QStringIndividual::setGene(int index, const QGene& gene) {
    if (index < 0 || index >= getGenesNumber()) {
        fail("\n\n[QStringIndividual::setGene] error:\n\tIndex is out of genes array bounds (index = " +
              std::to_string(index) + ")\n\n");
    }
    geneVector::assignInto<QStringGene>(genes[static_cast<std::size_t>(index)], gene);
    return 1;
}

}  // namespace Valdrin
