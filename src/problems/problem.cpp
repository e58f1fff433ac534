// The shared population loop of every problem and its decoding-failure message.
#include "problems/problem.h"

#include <ostream>

namespace Valdrin {

int QProblem::reportDecodingFailure(const char* header, const QIndividual& individual) const {
    engine().err() << header << "\tIncorrect encoding type or encoding parameters! (encoding ID = "
              << number(individual.getEncoding()) << ")\n\n";
    return 0;
}

int QProblem::reportWrongEncoding(const char* header, Encoding encoding) const {
    engine().err() << header << "\tIncorrect encoding type! (encoding ID = " << number(encoding) << ")\n\n";
    return 0;
}

int QProblem::evaluatePopulation(QPopulation& population) {
    for (int i = 0; i < population.size(); ++i) evaluateIndividual(*population.getIndividual(i));
    return 1;
}

void QProblem::evaluateAll(std::span<QIndividual* const> individuals, int /*threads*/) {
    for (QIndividual* individual : individuals) evaluateIndividual(*individual);
}

}  // namespace Valdrin
