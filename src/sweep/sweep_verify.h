// valdrin-sweep --verify DIR --sample K: a sample of a sweep's experiments re-run and checked.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace Valdrin {

// The places (from 0) of the experiments a sample of `sample` out of `count` checks: spread evenly
// over them, the first always among them (place i * count / sample for i from 0); every one when
// the sample is as large as the count.
std::vector<std::size_t> samplePlaces(std::size_t count, std::size_t sample);

// Re-runs the sample of the experiments of the sweep in folder (every one with a manifest.json,
// in the order of their folders' names; all of them without a sample) with the sweep's copy of
// valdrin, saying on out, experiment by experiment and file by file, whether each reproduces.
// Returns 0 when every one does, 1 when one does not, and 2 when the folder holds no sweep or no
// experiment with a manifest.
int verifySweep(const std::string& folder, std::optional<int> sample, std::ostream& out, std::ostream& err);

}  // namespace Valdrin
