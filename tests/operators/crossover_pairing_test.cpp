// Tests of the crossover pairing step: the two-parent rule, the inclusive crossover-rate test,
// clone removal and the pairing under deterministic crowding.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "algorithms/algorithm.h"
#include "core/random.h"
#include "operators/mutations.h"
#include "operators/niching.h"
#include "problems/problem.h"
#include "representation/integer.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

class InOrderSelector final : public QParentSelector {
public:
    int calls = 0;
    QIndividual* selectParent() override { return population->getIndividual(calls++ % population->size()); }
    std::unique_ptr<QParentSelector> clone() const override { return std::make_unique<InOrderSelector>(*this); }
};

// Fills child 0 with mark0 and child 1 with mark1, so that each outcome is recognisable.
class MarkingCrossover final : public QCrossoverOperator {
public:
    int crosses = 0, mark0 = 7, mark1 = 8;
    int cross(const ParentPair&, const ChildPair& children) override {
        ++crosses;
        for (auto& gene : static_cast<QIntegerIndividual&>(*children[0]).genes) gene = mark0;
        for (auto& gene : static_cast<QIntegerIndividual&>(*children[1]).genes) gene = mark1;
        return 1;
    }
    int getEncoding() const override { return kIntegerEncoding; }
    std::unique_ptr<QCrossoverOperator> clone() const override { return std::make_unique<MarkingCrossover>(*this); }
};

void fill(QIndividual& x, int value) {
    for (auto& gene : static_cast<QIntegerIndividual&>(x).genes) gene = value;
}
int geneOf(const QPopulation& population, int index) {
    return static_cast<const QIntegerIndividual&>(*population.getIndividual(index)).genes[0];
}

class Pairing : public ::testing::Test {
protected:
    QEAParameters params;
    QIntegerPopulation parents, offspring;
    InOrderSelector selector;
    MarkingCrossover crossover;

    void SetUp() override {
        params.chromosomeLength = 2;
        params.populationSize = 4;
        parents.setParameters(&params);
        for (int i = 0; i < 4; ++i) fill(*parents.getIndividual(i), i < 2 ? i + 1 : 100 + i);
        parents.getIndividual(3)->fitness = 11.0;
        offspring._params = &params;
        crossover.setParameters(&params);
        crossover.setParentSelector(&selector);
        crossover.setPopulations(&parents, &offspring);
    }
};

TEST_F(Pairing, AnythingButTwoParentsWarnsAndDoesNothing) {
    params.parentsNumber = 3;
    testing::seedForTest(3);
    const auto state = rng::state;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(crossover.operate(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "!!! QIntegerCrossover2::operate warning:\t"
              "Parents number is unequal to 2. No crossing is performed !!!\n");
    EXPECT_EQ(offspring.size(), 0);
    EXPECT_EQ(selector.calls, 0);
    EXPECT_EQ(rng::state, state);
}

TEST_F(Pairing, RateTestIsInclusiveWithOneDrawPerPair) {
    testing::seedForTest(11);
    const double u = uniform();
    const auto afterOneDraw = rng::state;
    for (double rate : {u, std::nextafter(u, 0.0)}) {
        testing::seedForTest(11);
        params.xRate = rate;
        crossover.operate();
        EXPECT_EQ(rng::state, afterOneDraw);
    }
    EXPECT_EQ(crossover.crosses, 1);
    ASSERT_EQ(offspring.size(), 4);
    EXPECT_EQ(geneOf(offspring, 0), 7);
    // Below the draw the children are full copies of the two selected parents.
    EXPECT_TRUE(offspring.getIndividual(2)->equalsTo(*parents.getIndividual(2)));
    EXPECT_TRUE(offspring.getIndividual(3)->equalsTo(*parents.getIndividual(3)));
    EXPECT_EQ(offspring.getIndividual(3)->fitness, 11.0);
}

TEST_F(Pairing, ClonesOfEarlierOffspringAreRemoved) {
    params.removeClones = true;
    params.xRate = 1.0;
    struct Case { int mark0, mark1, children; std::vector<int> added; };
    // The earlier offspring hold 7 and 9. Children equal only to each other stay; with three
    // children child 0 is compared with itself, so child 1 goes, and child 2 stays as created.
    const std::vector<Case> cases = {{1, 2, 2, {1, 2}}, {7, 2, 2, {2}}, {1, 9, 2, {1}}, {7, 9, 2, {}},
                                     {3, 3, 2, {3, 3}}, {1, 2, 3, {1, 0}}};
    for (const Case& c : cases) {
        params.childrenNumber = c.children;
        offspring.clear();
        for (int mark : {7, 9}) fill(*offspring.getIndividual(offspring.addNewIndividual() - 1), mark);
        crossover.mark0 = c.mark0;
        crossover.mark1 = c.mark1;
        crossover.operate();
        std::vector<int> added;
        for (int i = 2; i < offspring.size(); ++i) added.push_back(geneOf(offspring, i));
        EXPECT_EQ(added, c.added) << "children " << c.mark0 << ", " << c.mark1;
    }
}

class Host final : public QEvolutionaryAlgorithm {
public:
    int printName(std::ostream&) const override { return 1; }
    int reportStatistics(const std::vector<QRunSummary>&, std::ostream&) override { return 1; }
    int run() override { return 1; }
    std::unique_ptr<QEvolutionaryAlgorithm> clone() const override { return nullptr; }
};

class GeneSum final : public QProblem {
public:
    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& x) override {
        x.fitness = 0;
        for (const auto& gene : static_cast<QIntegerIndividual&>(x).genes) x.fitness += gene;
        return 1;
    }
    int printName(std::ostream&) const override { return 1; }
};

TEST_F(Pairing, CrowdingWalksTheCurrentPopulationInPairs) {
    Host host;
    GeneSum problem;
    params.nichingType = Niching::DeterministicCrowding;
    params.eliteCount = 1;
    params.mRate = 0.0;
    params.xRate = 0.0;
    params.problem = &problem;
    for (auto& x : parents.individuals) problem.evaluateIndividual(*x);
    QDeterministicCrowding crowding(&host);
    QIntegerMutationBitFlip mutation(&host);
    crowding.setParameters(&params);
    mutation.setParameters(&params);
    host.currentPopulation = &parents;
    host.niching = &crowding;
    host.mutation = &mutation;
    crossover.owner = &host;
    offspring.addNewIndividual();  // the elite

    // Children 7 and 8 lose to parents 1 and 2; with equal distance sums the crossed pairing
    // holds. The generator moves by the mutation's draws only: no crossover-rate draw.
    testing::seedForTest(7);
    for (int k = 0; k < 2 * 2 * params.geneSize; ++k) uniform();
    const auto afterMutation = rng::state;
    testing::seedForTest(7);
    crossover.operate();
    EXPECT_EQ(rng::state, afterMutation);
    // The next pair, individuals 2 and 3, lose to their children.
    crossover.operate();
    std::vector<int> genes;
    for (int i = 1; i < offspring.size(); ++i) genes.push_back(geneOf(offspring, i));
    EXPECT_EQ(genes, (std::vector<int>{2, 1, 7, 8}));
    EXPECT_EQ(selector.calls, 0);
    EXPECT_FAILURE(crossover.operate(),
                "\\[QPopulation::getIndividual\\] error:\n\tIndex is out of population bounds \\(i = 4\\)");
}

TEST(PairingBindings, UnusableBindingsEndTheRun) {
    QEAParameters params;
    MarkingCrossover crossover;
    EXPECT_FAILURE(crossover.setPopulations(nullptr, nullptr),
                "^\nQCrossoverOperator::setPopulations error:\n\tQParentSelector object is NULL!\n\n$");
    params.childrenNumber = 1;
    EXPECT_FAILURE(crossover.setParameters(&params),
                "\\[QCrossoverOperator::setParameters\\] error:\n\tA crossover needs at least two children");
}

}  // namespace
}  // namespace Valdrin
