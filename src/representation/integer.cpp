// Integer encoding: what is its own, the readings of the codes and their printing (the rest is
// value_encoding.h).
#include "representation/integer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <vector>

#include "core/number_text.h"

namespace Valdrin {

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
    printFitness(out);
    // Negative values show their 32-bit two's-complement form.
    writeHexList(out, genes);
    // Integers are written in decimal afterwards, whatever base the stream had before.
    out << std::dec;
    return 1;
}

}  // namespace Valdrin
