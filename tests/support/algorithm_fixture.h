// The common ground of the algorithm tests: a small valid record per encoding, two simple
// problems, a parts maker that watches what it is asked for, and a bench that sets an algorithm
// up with the registry's parts maker inside a scratch folder.
#pragma once

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "algorithms/parts.h"
#include "core/failure.h"
#include "core/parameters.h"
#include "problems/problem.h"
#include "registry/parts_maker.h"
#include "representation/integer.h"
#include "support/test_support.h"

namespace Valdrin::testing {

// A small record that the registry makes every part of, for the string, integer, real or
// network encoding: 6 individuals, 5 generations, tournament selection, random parents, one
// elite individual, the encoding's own crossover and mutation, the record's defaults
// elsewhere. Bit strings have 4 one-bit genes, symbol strings 6 genes over 3 symbols, real
// vectors 13 genes (enough to carry the network mutation's parameters), networks 2 inputs and
// 1 output. Any other encoding is a mistake of the test.
QEAParameters smallRecord(Encoding encoding);

// A GA on real vectors of 3 genes (SBX, gaussian mutation), 12 individuals, 30 generations, whose
// error level 130 on the sphere function some runs reach and some do not.
QEAParameters sphereRecord();

// Every individual gets the same fitness; counts the evaluations and remembers what the run's
// final test was given.
class FixedProblem final : public QProblem {
public:
    FixedProblem() : QProblem(testing::testEngine()) {}
    double value = 1.0;
    int evaluations = 0;
    int tests = 0;
    Encoding testedEncoding = Encoding::Unspecified;
    const QIndividual* tested = nullptr;

    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& individual) override {
        ++evaluations;
        individual.fitness = value;
        individual.fitnessComponents.clear();
        return 1;
    }
    int testIndividual(QIndividual& individual) override {
        ++tests;
        testedEncoding = individual.getEncoding();
        tested = &individual;
        return 1;
    }
    int printName(std::ostream& out) const override {
        out << "fixed\n";
        return 1;
    }
};

// Bit strings: fitness = offset + the sum of the gene values (the number of ones of one-bit
// genes); counts the evaluations.
class GeneSumProblem final : public QProblem {
public:
    GeneSumProblem() : QProblem(testing::testEngine()) {}
    double offset = 0.0;
    int evaluations = 0;

    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& individual) override {
        ++evaluations;
        double sum = offset;
        for (const auto gene : static_cast<const QIntegerIndividual&>(individual).genes) sum += gene;
        individual.fitness = sum;
        return 1;
    }
    int printName(std::ostream& out) const override {
        out << "gene sum\n";
        return 1;
    }
};

// Makes what the registry makes, and remembers how often it was asked and for what.
class RecordingPartsMaker final : public PartsMaker {
public:
    mutable int calls = 0;
    mutable QEAParameters lastRecord;

    AlgorithmParts make(const QEAParameters& params) const override {
        ++calls;
        lastRecord = params;
        return RegistryPartsMaker{}.make(params);
    }
};

// An algorithm set up inside a scratch folder (the working directory while the bench lives, so
// that the algorithm's log lands there), with a problem the bench keeps as long as the
// algorithm that borrows it.
template <class Algorithm>
class AlgorithmBench {
public:
    AlgorithmBench() = default;
    AlgorithmBench(const AlgorithmBench&) = delete;
    AlgorithmBench& operator=(const AlgorithmBench&) = delete;

    // Makes the problem that the next set-ups lend to the algorithm, and returns it for the test
    // to adjust and inspect. The current algorithm, which borrows the problem being replaced,
    // goes with it.
    template <class Problem, class... Arguments>
    Problem& useProblem(Arguments&&... arguments) {
        algorithm_.reset();
        std::unique_ptr<Problem> made;
        if constexpr (std::is_constructible_v<Problem, Engine&, Arguments...>) {
            made = std::make_unique<Problem>(testEngine(), std::forward<Arguments>(arguments)...);
        } else {
            made = std::make_unique<Problem>(std::forward<Arguments>(arguments)...);
        }
        Problem& problem = *made;
        problem_ = std::move(made);
        return problem;
    }

    // A fresh algorithm set up from the record with the given maker (the registry's by default)
    // and the bench's problem (a FixedProblem when none was chosen). The generator restarts at
    // the record's seed first, quietly, so that the set-up draws from there.
    Algorithm& setUp(const QEAParameters& params) { return setUp(params, RegistryPartsMaker{}); }
    Algorithm& setUp(const QEAParameters& params, const PartsMaker& maker) {
        if (problem_ == nullptr) useProblem<FixedProblem>();
        algorithm_.reset();  // the previous algorithm closes its log before the next one empties it
        seedForTest(params.rngSeed);
        algorithm_ = std::make_unique<Algorithm>(testEngine());
        algorithm_->setUp(params, maker, *problem_);
        return *algorithm_;
    }

    // The same algorithm set up again from another record, with the registry's maker and the
    // bench's problem; the generator goes on where it is.
    Algorithm& setUpAgain(const QEAParameters& params) {
        algorithm().setUp(params, RegistryPartsMaker{}, *problem_);
        return *algorithm_;
    }

    Algorithm& algorithm() {
        if (algorithm_ == nullptr) throw std::logic_error("AlgorithmBench: no algorithm was set up");
        return *algorithm_;
    }
    QProblem& problem() { return *problem_; }

    // One run that the algorithm accepts; returns what it wrote to standard output.
    std::string runCapturingOutput() {
        Algorithm& running = algorithm();
        ::testing::internal::CaptureStdout();
        const int status = running.run();
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 1) << "the run was refused";
        return out;
    }

    // One run that the algorithm refuses; returns the message that ends the experiment.
    std::string refusedRunMessage() {
        Algorithm& refusing = algorithm();
        try {
            refusing.run();
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.stream(), MessageStream::Error);
            return failure.message();
        }
        ADD_FAILURE() << "the run was not refused";
        return "";
    }

    // The algorithm's log file (in the scratch folder) as written so far.
    std::string log(const std::string& fileName) {
        algorithm().log().flush();
        return readFile(fileName);
    }

private:
    ScratchDir scratch_;  // declared first: removed last, once the log is closed
    std::unique_ptr<QProblem> problem_;
    std::unique_ptr<Algorithm> algorithm_;
};

}  // namespace Valdrin::testing
