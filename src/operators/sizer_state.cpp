// What the population sizers carry from one generation to the next, in a saved state. Their
// bounds and steps come from the record again when the experiment is set up; the targets,
// directions, last best fitness and Fibonacci terms are the state.
#include "core/state_io.h"
#include "operators/population_sizers.h"

namespace Valdrin {

void QSteadyPopulationSizer::saveState(StateWriter& out) const {
    out.i32(targetSize);
    out.i32(direction);
    out.i32(step);
}

void QSteadyPopulationSizer::restoreState(StateReader& in) {
    targetSize = in.i32();
    direction = in.i32();
    step = in.i32();
}

void QSimplePopulationSizer::saveState(StateWriter& out) const {
    out.i32(targetSize);
    out.i32(direction);
    out.i32(lowerBound);
    out.real(lastBest);
}

void QSimplePopulationSizer::restoreState(StateReader& in) {
    targetSize = in.i32();
    direction = in.i32();
    lowerBound = in.i32();
    lastBest = in.real();
}

void QSimplePopulationSizerFibonacci::saveState(StateWriter& out) const {
    QSimplePopulationSizer::saveState(out);
    out.i32(sequence.beforePrevious);
    out.i32(sequence.previous);
    out.i32(sequence.current);
    out.i32(sequence.advances);
}

void QSimplePopulationSizerFibonacci::restoreState(StateReader& in) {
    QSimplePopulationSizer::restoreState(in);
    sequence.beforePrevious = in.i32();
    sequence.previous = in.i32();
    sequence.current = in.i32();
    sequence.advances = in.i32();
}

}  // namespace Valdrin
