// Individuals and populations in a saved state (a checkpoint): every field that a run carries
// from one generation to the next, read back through the classes' public fields. docs/checkpoint.md
// gives the layout.
#pragma once

#include <functional>
#include <memory>

#include "core/parameters.h"
#include "core/state_io.h"
#include "representation/population.h"

namespace Valdrin {

// The record an individual read back is bound to (its _params), by its encoding: the owner of
// the individuals knows which record it binds each kind to.
using RecordForEncoding = std::function<const QEAParameters*(Encoding)>;

// An individual of any encoding: its encoding, niche number, fitness and fitness components,
// then its chromosome.
void writeIndividual(StateWriter& out, const QIndividual& individual);
// Reads an individual into slot: the object already there is reused when it has the encoding
// read, else a new one of that encoding is made. Throws StateError for an unknown encoding.
void readIndividual(StateReader& in, std::unique_ptr<QIndividual>& slot, const RecordForEncoding& recordFor);

// An individual that may be absent (a run record's best or solution copy).
void writeOptionalIndividual(StateWriter& out, const QIndividual* individual);
void readOptionalIndividual(StateReader& in, std::unique_ptr<QIndividual>& slot, const RecordForEncoding& recordFor);

// A population: its encoding, then its individuals in order. Reading refuses a population of
// another encoding than the one given, and leaves it holding exactly the individuals read.
void writePopulation(StateWriter& out, const QPopulation& population);
void readPopulation(StateReader& in, QPopulation& population, const RecordForEncoding& recordFor);

}  // namespace Valdrin
