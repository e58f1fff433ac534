// Real-coded encoding: what is its own, the readings of the reals and their printing (the rest is
// value_encoding.h).
#include "representation/real.h"

#include <ostream>
#include <vector>

#include "core/number_text.h"

namespace Valdrin {

int QRCIndividual::decode(std::vector<double>& out) const {
    out.assign(genes.begin(), genes.end());
    return 1;
}

int QRCIndividual::decode(std::vector<int>& /*out*/) const { return 0; }

int QRCIndividual::print(std::ostream& out) const {
    printFitness(out);
    for (const double gene : genes) {
        writeNumber(out, gene);
        out << ' ';
    }
    return 1;
}

}  // namespace Valdrin
