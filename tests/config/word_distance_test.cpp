// Tests of the edit distance and of the suggested words.
#include "config/word_distance.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace Valdrin {
namespace {

TEST(EditDistance, CountsEachKindOfEditOnceAndIgnoresCase) {
    EXPECT_EQ(editDistance("", ""), 0U);
    EXPECT_EQ(editDistance("", "abc"), 3U);
    EXPECT_EQ(editDistance("abc", ""), 3U);
    EXPECT_EQ(editDistance("sharing", "Sharing"), 0U);
    EXPECT_EQ(editDistance("Population Size", "population size"), 0U);
    EXPECT_EQ(editDistance("tournement", "tournament"), 1U);  // substitution
    EXPECT_EQ(editDistance("2point", "2-point"), 1U);          // insertion
    EXPECT_EQ(editDistance("Arrity", "Arity"), 1U);            // deletion
    EXPECT_EQ(editDistance("nmae", "name"), 1U);               // swap of neighbours
    EXPECT_EQ(editDistance("gaussain", "gaussian"), 1U);
    EXPECT_EQ(editDistance("abc", "cba"), 2U);
    EXPECT_EQ(editDistance("kitten", "sitting"), 3U);
    EXPECT_EQ(editDistance("sitting", "kitten"), 3U);
}

TEST(NearWords, SuggestsOnlyLikelySlips) {
    const std::vector<std::string_view> niching{"no niching", "sharing", "deterministic crowding"};
    EXPECT_EQ(nearWords("Sharing", niching), (std::vector<std::string_view>{"sharing"}));
    EXPECT_EQ(nearWords("determinstic crowdng", niching),
              (std::vector<std::string_view>{"deterministic crowding"}));
    EXPECT_TRUE(nearWords("crowding", niching).empty());
    // One edit per three letters of the candidate, at least one: short words take one slip.
    const std::vector<std::string_view> algorithms{"GA", "SARN", "SARN2"};
    EXPECT_EQ(nearWords("ga", algorithms), (std::vector<std::string_view>{"GA"}));
    EXPECT_EQ(nearWords("GAS", algorithms), (std::vector<std::string_view>{"GA"}));
    EXPECT_TRUE(nearWords("ES", algorithms).empty());
    EXPECT_EQ(nearWords("SARN3", algorithms), (std::vector<std::string_view>{"SARN", "SARN2"}));
    // A difference of case wins over a nearer-looking edit.
    const std::vector<std::string_view> crossovers{"BLX", "SBX"};
    EXPECT_EQ(nearWords("sbx", crossovers), (std::vector<std::string_view>{"SBX"}));
    // At most three edits, however long the word.
    const std::vector<std::string_view> longWord{"deterministic crowding"};
    EXPECT_TRUE(nearWords("determinism crowds", longWord).empty());
}

TEST(NearWords, WritesTheSuggestionAndTheAcceptedWords) {
    const std::vector<std::string_view> words{"SARN", "SARN2", "GA"};
    EXPECT_EQ(didYouMean("ga", words), " (did you mean \"GA\"?)");
    EXPECT_EQ(didYouMean("SARN3", words), " (did you mean \"SARN\" or \"SARN2\"?)");
    const std::vector<std::string_view> three{"ab", "ac", "ad"};
    EXPECT_EQ(didYouMean("aa", three), " (did you mean \"ab\", \"ac\" or \"ad\"?)");
    EXPECT_EQ(didYouMean("Evolution strategy", words), "");
    EXPECT_EQ(joinWords(words), "SARN, SARN2, GA");
    EXPECT_EQ(joinWords({}), "");
}

}  // namespace
}  // namespace Valdrin
