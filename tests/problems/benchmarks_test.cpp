// Tests of the benchmark problems: values at known points, decoding failures and the random draw.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <sstream>

#include "core/random.h"
#include "problems/benchmarks.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

template <class Individual, class Value>
Individual make(QEAParameters& params, std::initializer_list<Value> values) {
    Individual individual;
    individual._params = &params;
    individual.genes.assign(values.begin(), values.end());
    return individual;
}
auto reals = make<QRCIndividual, double>;
auto integers = make<QIntegerIndividual, int>;
auto symbols = make<QStringIndividual, int>;

double evaluate(QProblem& problem, QIndividual&& individual) {
    individual.fitnessComponents = {1.0, 2.0};
    EXPECT_EQ(problem.evaluateIndividual(individual), 1);
    EXPECT_TRUE(individual.fitnessComponents.empty());
    return individual.fitness;
}

TEST(Benchmarks, NamesAndParameterOverrides) {
    const std::pair<std::unique_ptr<QProblem>, const char*> problems[] = {
        {std::make_unique<QSphereFunction>(testing::testEngine()), "Sphere function\n"},
        {std::make_unique<QRastriginFunction>(testing::testEngine()), "Rastrigin's function\n"},
        {std::make_unique<QSchwefelFunction>(testing::testEngine()), "Schwefel's function\n"},
        {std::make_unique<QRosenbrockFunction>(testing::testEngine()), "Rosenbrock's function\n"},
        {std::make_unique<QOneMaxProblem>(testing::testEngine()), "Onemax problem\n"},
        {std::make_unique<QDeceptiveProblem>(testing::testEngine()), "4-ugly deceptive problem\n"},
        {std::make_unique<QPointlessProblem>(testing::testEngine()), "Pointless problem\n"},
        {std::make_unique<QMixingTimeResearch>(testing::testEngine()), "Mixing-time research\n"},
    };
    for (const auto& [problem, name] : problems) {
        std::ostringstream out;
        EXPECT_EQ(problem->printName(out), 1);
        EXPECT_EQ(out.str(), name);
    }

    QEAParameters bits;
    QOneMaxProblem(testing::testEngine()).adjustParameters(&bits);
    EXPECT_EQ(bits.geneSize, 1);
    EXPECT_EQ(bits.geneOffset, 0.0);
    EXPECT_EQ(bits.genePrecision, 1.0);
    QDeceptiveProblem(testing::testEngine()).adjustParameters(&bits);
    EXPECT_EQ(bits.geneSize, 4);
    QEAParameters mixing;
    mixing.arity = 7;
    QMixingTimeResearch(testing::testEngine()).adjustParameters(&mixing);
    EXPECT_EQ(mixing.geneSize + mixing.chromosomeLength + mixing.populationSize, 21);
    EXPECT_EQ(mixing.genePrecision, 1.0);
}

TEST(Benchmarks, NumericFunctionsAtKnownPoints) {
    QEAParameters params;
    params.chromosomeLength = 3;
    QSphereFunction sphere{testing::testEngine()};
    QRastriginFunction rastrigin{testing::testEngine()};
    QSchwefelFunction schwefel{testing::testEngine()};
    QRosenbrockFunction rosenbrock{testing::testEngine()};
    for (QProblem* problem : std::initializer_list<QProblem*>{&sphere, &rastrigin, &schwefel, &rosenbrock}) {
        problem->setParameters(&params);
    }
    EXPECT_EQ(evaluate(sphere, reals(params, {0.0, 0.0, 0.0})), 0.0);
    EXPECT_EQ(evaluate(rastrigin, reals(params, {0.0, 0.0, 0.0})), 0.0);
    // n comes from the record: the fourth gene is not read.
    EXPECT_EQ(evaluate(sphere, reals(params, {1.0, -2.0, 3.0, 100.0})), 14.0);
    EXPECT_NEAR(evaluate(rastrigin, reals(params, {1.0, -2.0, 3.0})), 14.0, 1e-9);
    EXPECT_NEAR(evaluate(schwefel, reals(params, {420.9687, 420.9687, 420.9687})), 0.0, 1e-3);
    EXPECT_EQ(evaluate(rosenbrock, reals(params, {1.0, 1.0, 1.0})), 0.0);
    EXPECT_EQ(evaluate(rosenbrock, reals(params, {0.0, 1.0, 1.0})), 101.0);  // 100 (1 - 0)^2 + 1, then 0
    params.chromosomeLength = 1;
    EXPECT_EQ(evaluate(rosenbrock, reals(params, {-3.5})), 0.0);
}

// The order of the additions is part of a run's exact repeatability: each function must give
// the value of its own order to the last bit, and each set of points is chosen so that a
// neighbouring order gives a different double.
TEST(Benchmarks, NumericFunctionsKeepTheirSummationOrder) {
    QEAParameters params;
    params.chromosomeLength = 3;

    QRastriginFunction rastrigin{testing::testEngine()};
    rastrigin.setParameters(&params);
    const double r[] = {0.2, 0.9, 0.1};
    double expected = 10.0 * 3;
    double termsFirst = 0.0;
    double fullAngle = 10.0 * 3;
    for (double x : r) {
        expected += x * x - 10.0 * std::cos(6.2831853 * x);
        termsFirst += x * x - 10.0 * std::cos(6.2831853 * x);
        fullAngle += x * x - 10.0 * std::cos(2.0 * std::acos(-1.0) * x);
    }
    ASSERT_NE(expected, 10.0 * 3 + termsFirst);
    ASSERT_NE(expected, fullAngle);
    EXPECT_EQ(evaluate(rastrigin, reals(params, {r[0], r[1], r[2]})), expected);

    QSchwefelFunction schwefel{testing::testEngine()};
    schwefel.setParameters(&params);
    const double s[] = {5.0, -170.0, 130.0};
    expected = 418.9829 * 3;
    termsFirst = 0.0;
    for (double x : s) {
        expected -= x * std::sin(std::sqrt(std::fabs(x)));
        termsFirst += x * std::sin(std::sqrt(std::fabs(x)));
    }
    ASSERT_NE(expected, 418.9829 * 3 - termsFirst);
    EXPECT_EQ(evaluate(schwefel, reals(params, {s[0], s[1], s[2]})), expected);

    QRosenbrockFunction rosenbrock{testing::testEngine()};
    rosenbrock.setParameters(&params);
    const double b[] = {-1.7, -0.4, 0.2};
    expected = 0.0;
    double separately = 0.0;
    for (int i = 0; i < 2; ++i) {
        const double t = b[i + 1] - b[i] * b[i];
        const double v = 1.0 - b[i];
        expected += 100.0 * (t * t) + v * v;
        separately += 100.0 * (t * t);
        separately += v * v;
    }
    ASSERT_NE(expected, separately);
    EXPECT_EQ(evaluate(rosenbrock, reals(params, {b[0], b[1], b[2]})), expected);

    // The term is 100 times the square of t: at (5.11, 5.11) the product taken as (100 t) t lands
    // one unit in the last place lower.
    params.chromosomeLength = 2;
    const double x = 5.11;
    const double t = x - x * x;
    const double squareFirst = 100.0 * (t * t) + (1.0 - x) * (1.0 - x);
    ASSERT_NE(squareFirst, 100.0 * t * t + (1.0 - x) * (1.0 - x));
    EXPECT_EQ(evaluate(rosenbrock, reals(params, {x, x})), squareFirst);
    EXPECT_EQ(squareFirst, 44125.71254100001);
}

TEST(Benchmarks, OneMaxAndDeceptive) {
    QEAParameters params;
    QOneMaxProblem onemax{testing::testEngine()};
    onemax.adjustParameters(&params);
    onemax.setParameters(&params);
    params.chromosomeLength = 5;
    EXPECT_EQ(evaluate(onemax, integers(params, {1, 1, 1, 1, 1})), 0.0);
    EXPECT_EQ(evaluate(onemax, integers(params, {0, 0, 0, 0, 0})), 5.0);
    EXPECT_EQ(evaluate(onemax, integers(params, {1, 0, 1, 1, 0})), 2.0);
    // The codes are read as the individual's own record decodes them: with an offset of 1 each
    // gene counts one more.
    QEAParameters shifted = params;
    shifted.geneOffset = 1.0;
    EXPECT_EQ(evaluate(onemax, integers(shifted, {1, 0, 1, 1, 0})), 5.0 - 8.0);

    QDeceptiveProblem deceptive{testing::testEngine()};
    deceptive.adjustParameters(&params);
    deceptive.setParameters(&params);
    params.chromosomeLength = 4;
    EXPECT_EQ(evaluate(deceptive, integers(params, {15, 15, 15, 15})), 0.0);
    EXPECT_EQ(evaluate(deceptive, integers(params, {0, 0, 0, 0})), 2.0 * 4);
    // Positions 0 .. 3L-1 set and 3L .. 4L-1 clear: every block has u = 7, the worst score.
    EXPECT_EQ(evaluate(deceptive, integers(params, {15, 15, 15, 0})), 30.0 * 4);
    // Bit 0 of every gene forms block 0 alone (positions 0, L, 2L, 3L): 30 - 30 plus 3 x (30 - 28).
    EXPECT_EQ(evaluate(deceptive, integers(params, {1, 1, 1, 1})), 6.0);
}

// n is the record's chromosome length at evaluation time; Deceptive alone counts its blocks over
// the individual's own genes.
TEST(Benchmarks, LengthComesFromTheRecord) {
    QEAParameters params;
    QOneMaxProblem onemax{testing::testEngine()};
    onemax.adjustParameters(&params);
    onemax.setParameters(&params);
    params.chromosomeLength = 3;
    EXPECT_EQ(evaluate(onemax, integers(params, {1, 0, 1, 0, 0})), 1.0);

    QDeceptiveProblem deceptive{testing::testEngine()};
    deceptive.adjustParameters(&params);
    deceptive.setParameters(&params);
    params.chromosomeLength = 5;
    // Four optimal blocks; the constant term still counts five.
    EXPECT_EQ(evaluate(deceptive, integers(params, {15, 15, 15, 15})), 30.0);
    params.chromosomeLength = 2;
    // Bit 0 of gene 0 is the low bit of block 0 (u = 1); the other blocks stay at u = 0.
    EXPECT_EQ(evaluate(deceptive, integers(params, {1, 0, 0, 0})), 60.0 - (26 + 28 * 3));

    // The expected count n / a is a real: n = 3 over a = 2 symbols gives 1.5.
    QMixingTimeResearch mixing{testing::testEngine()};
    params.arity = 3;
    mixing.adjustParameters(&params);
    mixing.setParameters(&params);
    params.arity = 2;
    EXPECT_EQ(evaluate(mixing, symbols(params, {0, 0, 1, 0})), (0.25 + 0.25) / 2);
}

TEST(Benchmarks, MixingTimeCountsSymbols) {
    QEAParameters params;
    params.arity = 3;
    QMixingTimeResearch mixing{testing::testEngine()};
    mixing.adjustParameters(&params);
    mixing.setParameters(&params);
    EXPECT_DOUBLE_EQ(evaluate(mixing, symbols(params, {0, 0, 2})), 2.0 / 3);
    EXPECT_EQ(evaluate(mixing, symbols(params, {2, 0, 1})), 0.0);
    // Symbols outside the alphabet count for none of its symbols: counts (1, 0, 0).
    EXPECT_DOUBLE_EQ(evaluate(mixing, symbols(params, {0, 5, -1})), 2.0 / 3);
}

TEST(Benchmarks, DecodingFailuresLeaveFitnessAndGoOn) {
    QEAParameters params;
    params.chromosomeLength = 2;
    QOneMaxProblem onemax{testing::testEngine()};
    onemax.adjustParameters(&params);
    onemax.setParameters(&params);
    params.genePrecision = 0.5;  // changed after the overrides: no integer reading any more

    QIntegerIndividual coded = integers(params, {1, 0});
    coded.fitness = 7.5;
    const std::string message =
        "\n\n[QOneMaxProblem::evaluatePopulation] error:\n"
        "\tIncorrect encoding type or encoding parameters! (encoding ID = 2)\n\n";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(onemax.evaluateIndividual(coded), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), message);
    EXPECT_EQ(coded.fitness, 7.5);

    // The population loop reports every failing individual and still succeeds.
    QIntegerPopulation population;
    population.appendIndividual(coded);
    population.appendIndividual(coded);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(onemax.evaluatePopulation(population), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), message + message);

    // Every class names its own operation in the header; a network has neither reading.
    QRNIndividual network;
    network._params = &params;
    network.fitness = 2.5;
    QSphereFunction sphere{testing::testEngine()};
    QRastriginFunction rastrigin{testing::testEngine()};
    QSchwefelFunction schwefel{testing::testEngine()};
    QRosenbrockFunction rosenbrock{testing::testEngine()};
    QDeceptiveProblem deceptive{testing::testEngine()};
    QMixingTimeResearch mixingNetwork{testing::testEngine()};
    const std::pair<QProblem*, const char*> headers[] = {
        {&sphere, "QSphereFunction::evaluatePopulation"},
        {&rastrigin, "QRastriginFunction::evaluatePopulation"},
        {&schwefel, "QSchwefelFunction::evaluatePopulation"},
        {&rosenbrock, "QRosenbrockFunction::evaluatePopulation"},
        {&onemax, "QOneMaxProblem::evaluatePopulation"},
        {&deceptive, "QDeceptiveProblem::evaluatePopulation"},
        {&mixingNetwork, "QMixingTimeResearch::evaluateIndividual"},
    };
    for (const auto& [problem, header] : headers) {
        problem->setParameters(&params);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(problem->evaluateIndividual(network), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  std::string("\n\n[") + header +
                      "] error:\n\tIncorrect encoding type or encoding parameters! (encoding ID = 5)\n\n");
        EXPECT_EQ(network.fitness, 2.5);
    }

    // Mixing-time refuses a population of another encoding without evaluating it.
    QMixingTimeResearch mixing{testing::testEngine()};
    mixing.setParameters(&params);
    population.getIndividual(0)->fitness = 3.0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(mixing.evaluatePopulation(population), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QMixingTimeResearch::evaluatePopulation] error:\n"
              "\tIncorrect encoding type! (encoding ID = 2)\n\n");
    EXPECT_EQ(population.getIndividual(0)->fitness, 3.0);
}

TEST(Benchmarks, PointlessDrawsOneUniformPerEvaluation) {
    QEAParameters params;
    QPointlessProblem pointless{testing::testEngine()};
    pointless.setParameters(&params);
    testing::seedForTest(12345);
    const double first = evaluate(pointless, symbols(params, {1, 2}));
    const double second = evaluate(pointless, symbols(params, {1, 2}));
    const double next = uniform();
    testing::seedForTest(12345);
    EXPECT_EQ(first, uniform());
    EXPECT_EQ(second, uniform());
    EXPECT_EQ(next, uniform());
    EXPECT_NE(first, second);
}

TEST(Benchmarks, ChromosomeShorterThanRecordStops) {
    QEAParameters params;
    params.chromosomeLength = 4;
    QSphereFunction sphere{testing::testEngine()};
    sphere.setParameters(&params);
    QRCIndividual shortOne = reals(params, {1.0, 2.0});
    EXPECT_FAILURE(sphere.evaluateIndividual(shortOne),
                "QSphereFunction::evaluatePopulation. error:\n\tThe chromosome holds 2 genes, fewer than the "
                "chromosome length .4.");
    params.arity = 0;
    QMixingTimeResearch mixing{testing::testEngine()};
    mixing.setParameters(&params);
    QStringIndividual three = symbols(params, {0, 1, 2});
    EXPECT_FAILURE(mixing.evaluateIndividual(three), "at least one symbol .arity = 0.");
}

}  // namespace
}  // namespace Valdrin
