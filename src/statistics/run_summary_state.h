// A run record in a saved state (a checkpoint): the record of the run in progress and those of
// the finished runs, with every series, count, clock reading and individual copy they hold.
#pragma once

#include "core/state_io.h"
#include "representation/state.h"
#include "statistics/run_summary.h"

namespace Valdrin {

void writeRunSummary(StateWriter& out, const QRunSummary& record);
// Replaces everything the record holds by what was saved; its individuals are bound as
// recordFor says.
void readRunSummary(StateReader& in, QRunSummary& record, const RecordForEncoding& recordFor);

}  // namespace Valdrin
