// QDistance: the distance between two chromosomes of one encoding, used by niching.
#pragma once

#include "representation/individual.h"

namespace Valdrin {

class QDistance {
public:
    virtual ~QDistance();
    // Hamming distance for integer and string chromosomes, 0.0 for real-coded ones and -1.0
    // for any other encoding; chromosomes of different encodings end the process.
    virtual double measure(const QIndividual& a, const QIndividual& b) const;
    // Differing bits (integer genes, low geneSize bits) or differing genes over a's length.
    double measureHamming(const QIndividual& a, const QIndividual& b) const;
};

}  // namespace Valdrin
