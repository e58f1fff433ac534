// How far a written word is from the words a configuration accepts, and the likely intended
// word when the distance is small.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Valdrin {

// Edits that turn one text into the other, letters compared without regard to case: each
// insertion, deletion, substitution and swap of two neighbouring characters counts 1.
std::size_t editDistance(std::string_view a, std::string_view b);

// The candidates nearest to written, when near enough to be a slip of the keyboard: a
// difference of case only always is, otherwise at most one edit per three characters of the
// candidate (at least one edit, at most three). Candidates at the same distance all count, in
// their order; none when nothing is near.
std::vector<std::string_view> nearWords(std::string_view written, std::span<const std::string_view> candidates);

// " (did you mean "a"?)" or " (did you mean "a" or "b"?)" for the near words; empty when none.
std::string didYouMean(std::string_view written, std::span<const std::string_view> candidates);

// The words joined by ", ".
std::string joinWords(std::span<const std::string_view> words);

}  // namespace Valdrin
