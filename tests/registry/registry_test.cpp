// Tests of the registry's rows: words unique, makers consistent with the encodings they claim,
// and every key able to show the value it reads.
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "algorithms/algorithm.h"
#include "driver/command_line.h"
#include "operators/operator.h"
#include "problems/problem.h"
#include "representation/population.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

template <class Row>
std::set<std::string_view> uniqueWords(std::span<const Row> rows) {
    std::set<std::string_view> words;
    for (const Row& row : rows) {
        EXPECT_TRUE(words.insert(row.word).second) << "word defined twice: " << row.word;
        EXPECT_FALSE(row.description.empty()) << row.word;
    }
    return words;
}

TEST(Registry, EveryTableDefinesEachWordOnceWithADescription) {
    uniqueWords(algorithmRows());
    uniqueWords(problemRows());
    uniqueWords(encodingRows());
    uniqueWords(crossoverRows());
    uniqueWords(mutationRows());
    uniqueWords(selectionRows());
    uniqueWords(parentSelectionRows());
    uniqueWords(sizerRows());
    uniqueWords(nichingRows());
    uniqueWords(initializationRows());
    uniqueWords(encodingOrderRows());
    uniqueWords(sizingDirectionRows());
    std::set<std::string_view> keys;
    for (const KeyRow& key : keyRows()) {
        EXPECT_TRUE(keys.insert(key.key).second) << key.key;
        EXPECT_EQ(findKey(key.key), &key);
    }
    EXPECT_EQ(findKey("population size"), nullptr);  // keys are compared exactly
}

TEST(Registry, MakersBuildObjectsOfTheEncodingTheyClaim) {
    // Algorithms open their logs in the working folder; the submatrix task reads its matrix.
    testing::ScratchDir scratch;
    testing::writeFile("matrix.txt", testing::readFile(VALDRIN_SOURCE_DIR "/examples/submatrix-mask/matrix.txt"));
    for (const EncodingRow& row : encodingRows()) {
        EXPECT_EQ(row.makePopulation()->getEncoding(), row.id) << row.word;
        EXPECT_EQ(row.makeInitializer()->getEncoding(), row.id) << row.word;
        // Only networks recombine without crossover.
        EXPECT_EQ(row.crossoverTable == nullptr, row.id == Encoding::Network) << row.word;
    }
    for (const CrossoverRow& row : crossoverRows()) {
        ASSERT_FALSE(row.makers.empty()) << row.word;
        for (const auto& maker : row.makers) EXPECT_EQ(maker.make()->getEncoding(), maker.encoding) << row.word;
    }
    for (const MutationRow& row : mutationRows()) {
        ASSERT_FALSE(row.makers.empty()) << row.word;
        for (const auto& maker : row.makers) {
            // Integer genes are perturbed by the real-coded gaussian mutation, which says so.
            const Encoding made = maker.make()->getEncoding();
            EXPECT_TRUE(made == maker.encoding || row.id == Mutation::Gaussian) << row.word;
        }
    }
    for (const AlgorithmRow& row : algorithmRows()) EXPECT_NE(row.make(testing::testEngine()), nullptr) << row.word;
    for (const ProblemRow& row : problemRows()) {
        EXPECT_NE(row.make(testing::testEngine()), nullptr) << row.word;
        EXPECT_FALSE(row.encodings.empty()) << row.word;
    }
    for (const NichingRow& row : nichingRows()) EXPECT_EQ(row.make == nullptr, row.id == Niching::None) << row.word;
}

TEST(Registry, EveryKeyShowsWhatItReads) {
    for (const KeyRow& key : keyRows()) {
        QEAParameters params;
        const auto words = key.words();
        if (key.kind == KeyKind::Word || key.kind == KeyKind::Flag) {
            ASSERT_FALSE(words.empty()) << key.key;
            for (std::string_view word : words) {
                key.apply(params, std::string(word));
                // "string" after "permutation" keeps the permutation mark, so it shows as permutation.
                if (key.key == "Encoding") params.permutation = word == "permutation" || word == "regulatory network";
                EXPECT_EQ(key.shown(params), word) << key.key;
            }
        } else if (key.kind == KeyKind::Text) {
            key.apply(params, "plugins/my problem.so");
            EXPECT_EQ(key.shown(params), "plugins/my problem.so") << key.key;
        } else if (key.kind == KeyKind::Integer || key.kind == KeyKind::Seed) {
            key.apply(params, "37");
            EXPECT_EQ(key.shown(params), "37") << key.key;
        } else {
            key.apply(params, "0.25");
            EXPECT_EQ(key.shown(params), "0.25") << key.key;
        }
    }
}

TEST(Registry, DefaultsShowAsWordsWhereTheRecordHoldsOne) {
    const QEAParameters defaults;
    EXPECT_EQ(findKey("Crossover type")->shown(defaults), "2-point");
    EXPECT_EQ(findKey("Mutation type")->shown(defaults), "bit-flip");
    EXPECT_EQ(findKey("Population sizer type")->shown(defaults), "constant");
    EXPECT_EQ(findKey("Niching type")->shown(defaults), "no niching");
    EXPECT_EQ(findKey("Selection type")->shown(defaults), "(none)");  // no default: it must be chosen
    EXPECT_EQ(findKey("Encoding")->shown(defaults), "(none)");
    EXPECT_EQ(findKey("Population size")->shown(defaults), "50");
    EXPECT_EQ(findKey("Until first hit")->shown(defaults), "no");
}

// Where a word builds another operator than it names, its row says what runs and why, and the
// help says it under the word; the help also states the defaults that surprise.
TEST(Registry, TheHelpSaysWhereAWordRunsAnotherOperator) {
    const std::string help = vocabularyHelp();
    int notes = 0;
    const auto judge = [&](const auto& row) {
        for (const auto& entry : row.makers) {
            const std::string instead = runsInstead(row, entry.encoding);
            if (entry.runsAs.empty()) {
                EXPECT_EQ(instead, "") << row.word;
                continue;
            }
            ++notes;
            EXPECT_FALSE(entry.because.empty()) << row.word;
            EXPECT_NE(help.find(" encoding it " + instead + "\n"), std::string::npos) << instead;
        }
    };
    for (const CrossoverRow& row : crossoverRows()) judge(row);
    for (const MutationRow& row : mutationRows()) judge(row);
    EXPECT_EQ(notes, 2);  // uniform crossover and gaussian mutation on bit strings
    EXPECT_NE(help.find("on the integer encoding it runs the 2-point crossover (bit strings have no uniform crossover)"),
              std::string::npos);
    for (const char* note : {"each starting at 10 + (the sum of 12 uniform draws - 6) / 6",
                             "mean 0, standard deviation 1/6, never beyond -1 or 1); genes have no bounds",
                             "(GA runs, and runs under deterministic crowding, always go on)", "is a variance"}) {
        EXPECT_NE(help.find(note), std::string::npos) << note;
    }
}

}  // namespace
}  // namespace Valdrin
