// Tests of the breeding strategies: the pairing step (the two-parent rule, the inclusive
// crossover-rate test, clone removal, the pairing under deterministic crowding), the mating
// pool, the mutation of the offspring and which strategy judges children at birth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <type_traits>
#include <vector>

#include "algorithms/breeding.h"
#include "core/random.h"
#include "operators/mutations.h"
#include "operators/niching.h"
#include "operators/selection.h"
#include "problems/problem.h"
#include "registry/parts_maker.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

// Hands out the parents in population order, wrapping round.
class InOrderSelector final : public QParentSelector {
public:
    int calls = 0;
    QIndividual* selectParent(const QPopulation& parents) override {
        return parents.getIndividual(calls++ % parents.size());
    }
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
    Encoding getEncoding() const override { return Encoding::Integer; }
    std::unique_ptr<QCrossoverOperator> clone() const override { return std::make_unique<MarkingCrossover>(*this); }
};

// Fitness = sum of the gene values.
class GeneSum final : public QProblem {
public:
    GeneSum() : QProblem(testing::testEngine()) {}
    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& x) override {
        x.fitness = 0;
        for (const auto& gene : static_cast<QIntegerIndividual&>(x).genes) x.fitness += gene;
        return 1;
    }
    int printName(std::ostream&) const override { return 1; }
};

void fill(QIndividual& x, int value) {
    for (auto& gene : static_cast<QIntegerIndividual&>(x).genes) gene = value;
}
const std::vector<std::int32_t>& genesOf(const QIndividual& x) { return static_cast<const QIntegerIndividual&>(x).genes; }
int geneOf(const QPopulation& population, int index) { return genesOf(*population.getIndividual(index))[0]; }
std::vector<int> firstGenes(const QPopulation& population, int from = 0) {
    std::vector<int> values;
    for (int i = from; i < population.size(); ++i) values.push_back(geneOf(population, i));
    return values;
}

// Four two-gene parents holding 1, 2, 102 and 103, the last with fitness 11; both the current
// population and the mating pool hold them, so either strategy pairs the same individuals.
class BreedingFixture : public ::testing::Test {
protected:
    QEAParameters params;
    AlgorithmParts parts;
    GeneSum problem;
    InOrderSelector* selector = nullptr;
    MarkingCrossover* crossover = nullptr;
    const std::unique_ptr<Breeding> selective = makeBreeding(Niching::None, testing::testEngine());
    const std::unique_ptr<Breeding> crowding = makeBreeding(Niching::DeterministicCrowding, testing::testEngine());

    void SetUp() override {
        params.chromosomeLength = 2;
        params.populationSize = 4;
        for (auto* population : {&parts.currentPopulation, &parts.matingPool}) {
            *population = std::make_unique<QIntegerPopulation>();
            (*population)->setParameters(&params);
            for (int i = 0; i < 4; ++i) fill(*(*population)->getIndividual(i), i < 2 ? i + 1 : 100 + i);
            (*population)->getIndividual(3)->fitness = 11.0;
        }
        parts.offspringPopulation = std::make_unique<QIntegerPopulation>();
        parts.offspringPopulation->_params = &params;

        auto inOrder = std::make_unique<InOrderSelector>();
        selector = inOrder.get();
        parts.parentSelector = std::move(inOrder);
        auto marking = std::make_unique<MarkingCrossover>();
        crossover = marking.get();
        parts.crossover = std::move(marking);
        parts.mutation = std::make_unique<QIntegerMutationBitFlip>();
        parts.niching = std::make_unique<QDeterministicCrowding>();
        parts.selection = std::make_unique<QNeutralSelection>();
        parts.parentSelector->setParameters(params);
        parts.crossover->setParameters(params);
        parts.mutation->setParameters(params);
        parts.niching->setParameters(params);
        parts.selection->setParameters(params);
        useEngine(parts, testing::testEngine());
    }

    QPopulation& current() { return *parts.currentPopulation; }
    QPopulation& pool() { return *parts.matingPool; }
    QPopulation& offspring() { return *parts.offspringPopulation; }

    void pair(const Breeding& breeding) { breeding.pair(parts, problem, params); }
};

using BothBreedings = BreedingFixture;
using SelectiveBreeding = BreedingFixture;
using CrowdingBreeding = BreedingFixture;

TEST(MakeBreeding, OnlyDeterministicCrowdingJudgesChildrenAtBirth) {
    EXPECT_FALSE(makeBreeding(Niching::None, testing::testEngine())->judgesAtBirth());
    EXPECT_FALSE(makeBreeding(Niching::Sharing, testing::testEngine())->judgesAtBirth());
    EXPECT_TRUE(makeBreeding(Niching::DeterministicCrowding, testing::testEngine())->judgesAtBirth());
}

TEST_F(BothBreedings, AnythingButTwoParentsWarnsAndDoesNothing) {
    for (const Breeding* breeding : {selective.get(), crowding.get()}) {
        for (int parentsNumber : {3, 1}) {
            params.parentsNumber = parentsNumber;
            testing::seedForTest(3);
            const auto state = testing::testEngine().random.word();
            ::testing::internal::CaptureStderr();
            pair(*breeding);
            EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                      "!!! QIntegerCrossover2::operate warning:\t"
                      "Parents number is unequal to 2. No crossing is performed !!!\n");
            EXPECT_EQ(offspring().size(), 0);
            EXPECT_EQ(selector->calls, 0);
            EXPECT_EQ(crossover->crosses, 0);
            EXPECT_EQ(testing::testEngine().random.word(), state);
        }
    }
}

TEST_F(BothBreedings, TheCrossoverRefusesFewerThanTwoChildren) {
    // Each pairing writes two children.
    params.childrenNumber = 1;
    EXPECT_FAILURE(crossover->setParameters(params),
                   "\\[QCrossoverOperator::setParameters\\] error:\n\tA crossover needs at least two children");
}

TEST_F(SelectiveBreeding, RateTestIsInclusiveWithOneDrawPerPair) {
    testing::seedForTest(11);
    const double u = uniform();
    const auto afterOneDraw = testing::testEngine().random.word();
    for (double rate : {u, std::nextafter(u, 0.0)}) {
        testing::seedForTest(11);
        params.xRate = rate;
        pair(*selective);
        EXPECT_EQ(testing::testEngine().random.word(), afterOneDraw);
    }
    EXPECT_EQ(crossover->crosses, 1);
    EXPECT_EQ(selector->calls, 4);
    ASSERT_EQ(offspring().size(), 4);
    EXPECT_EQ(geneOf(offspring(), 0), 7);
    EXPECT_EQ(geneOf(offspring(), 1), 8);
    // Below the draw the children are full copies of the two parents drawn from the pool.
    EXPECT_TRUE(offspring().getIndividual(2)->equalsTo(*pool().getIndividual(2)));
    EXPECT_TRUE(offspring().getIndividual(3)->equalsTo(*pool().getIndividual(3)));
    EXPECT_EQ(offspring().getIndividual(3)->fitness, 11.0);
}

TEST_F(SelectiveBreeding, ClonesOfEarlierOffspringAreRemoved) {
    params.removeClones = true;
    params.xRate = 1.0;
    struct Case { int mark0, mark1, children; std::vector<int> added; };
    // The earlier offspring hold 7 and 9. Children equal only to each other stay; with three
    // children child 0 is compared with itself, so child 1 goes, and child 2 stays as created.
    const std::vector<Case> cases = {{1, 2, 2, {1, 2}}, {7, 2, 2, {2}}, {1, 9, 2, {1}}, {7, 9, 2, {}},
                                     {3, 3, 2, {3, 3}}, {1, 2, 3, {1, 0}}};
    for (const Case& c : cases) {
        params.childrenNumber = c.children;
        offspring().clear();
        for (int mark : {7, 9}) fill(*offspring().getIndividual(offspring().addNewIndividual() - 1), mark);
        crossover->mark0 = c.mark0;
        crossover->mark1 = c.mark1;
        pair(*selective);
        EXPECT_EQ(firstGenes(offspring(), 2), c.added) << "children " << c.mark0 << ", " << c.mark1;
    }
}

// Children drawn from a small alphabet by the test's own generator, so that many are clones of
// earlier offspring or of each other; the last two written are kept.
template <class Individual>
class AlphabetCrossover final : public QCrossoverOperator {
public:
    using Value = typename Individual::Value;
    std::vector<Value> alphabet;
    std::mt19937 draws{29};
    std::vector<Value> written[2];
    int cross(const ParentPair&, const ChildPair& children) override {
        for (std::size_t k = 0; k < 2; ++k) {
            auto& genes = static_cast<Individual&>(*children[k]).genes;
            for (auto& gene : genes) gene = alphabet[draws() % alphabet.size()];
            written[k] = genes;
        }
        return 1;
    }
    Encoding getEncoding() const override { return Individual::kEncoding; }
    std::unique_ptr<QCrossoverOperator> clone() const override { return std::make_unique<AlphabetCrossover>(*this); }
};

// The chromosomes' bits, so that a zero's sign and not-a-number genes count in a comparison.
template <class Value>
std::vector<std::uint64_t> bitsOf(const std::vector<std::vector<Value>>& chromosomes) {
    std::vector<std::uint64_t> bits;
    for (const auto& genes : chromosomes) {
        for (const Value gene : genes) {
            std::uint64_t word = 0;
            std::memcpy(&word, &gene, sizeof gene);
            bits.push_back(word);
        }
    }
    return bits;
}

// The old rule compared each child with every earlier individual up to index size - 3; the
// offspring kept must be exactly those, in the same order, generation after generation (the
// offspring objects mutated, let go and reused as in a run).
class CloneRemoval : public BreedingFixture {
protected:
    template <class Population, class Individual>
    void keepsWhatEveryComparisonKeeps(const std::vector<typename Individual::Value>& alphabet) {
        using Value = typename Individual::Value;
        params.chromosomeLength = 3;
        params.removeClones = true;
        params.xRate = 1.0;
        auto drawn = std::make_unique<AlphabetCrossover<Individual>>();
        AlphabetCrossover<Individual>& crossover = *drawn;
        crossover.alphabet = alphabet;
        parts.crossover = std::move(drawn);
        parts.offspringPopulation = std::make_unique<Population>();
        QPopulation& offspring = *parts.offspringPopulation;
        offspring._params = &params;
        int removed = 0;
        bool signedZeroClone = false;
        for (int children : {2, 3}) {
            params.childrenNumber = children;
            for (int generation = 0; generation < 4; ++generation) {
                selective->fillMatingPool(parts);
                for (auto& x : offspring.individuals) static_cast<Individual&>(*x).genes[0] = alphabet[0];
                offspring.clear();
                std::vector<std::vector<Value>> kept;
                for (int elite = 0; elite < 2; ++elite) {
                    auto& genes = static_cast<Individual&>(*offspring.getIndividual(offspring.addNewIndividual() - 1)).genes;
                    genes = {alphabet[1], alphabet[static_cast<std::size_t>(elite)], alphabet[1]};
                    kept.push_back(genes);
                }
                while (offspring.size() < 70) {
                    selective->pair(parts, problem, params);
                    kept.push_back(crossover.written[0]);
                    kept.push_back(crossover.written[1]);
                    for (int k = 2; k < children; ++k) kept.emplace_back(3, Value());
                    const int last = static_cast<int>(kept.size()) - 3;
                    bool clones[2] = {false, false};
                    for (int i = 0; i <= last; ++i) {
                        for (std::size_t c = 0; c < 2; ++c) {
                            const bool equal = crossover.written[c] == kept[static_cast<std::size_t>(i)];
                            clones[c] = clones[c] || equal;
                            signedZeroClone = signedZeroClone || (equal && bitsOf<Value>({crossover.written[c]}) !=
                                                                               bitsOf<Value>({kept[static_cast<std::size_t>(i)]}));
                        }
                    }
                    if (clones[0]) kept.erase(kept.end() - 2);
                    if (clones[1]) kept.erase(kept.end() - 1);
                    removed += clones[0] + clones[1];
                }
                std::vector<std::vector<Value>> actual;
                for (const auto& x : offspring.individuals) actual.push_back(static_cast<const Individual&>(*x).genes);
                ASSERT_EQ(bitsOf(actual), bitsOf(kept)) << children << " children, generation " << generation;
            }
        }
        EXPECT_GT(removed, 100);
        if constexpr (std::is_floating_point_v<Value>) {
            EXPECT_TRUE(signedZeroClone);
        }
    }
};

TEST_F(CloneRemoval, KeepsWhatComparingWithEveryEarlierOffspringKeeps) {
    keepsWhatEveryComparisonKeeps<QIntegerPopulation, QIntegerIndividual>({0, 1, 2, 3, 4});
    // Zeros of both signs are equal; a not-a-number gene makes a chromosome equal to nothing.
    keepsWhatEveryComparisonKeeps<QRCPopulation, QRCIndividual>({0.0, -0.0, 1.5, std::nan(""), 2.5});
}

TEST_F(SelectiveBreeding, TheMatingPoolIsWhatTheSelectionChooses) {
    QIntegerPopulation expected;
    testing::seedForTest(5);
    parts.selection->select(current(), expected);
    const auto afterSelection = testing::testEngine().random.word();

    // The pool's earlier contents do not matter.
    for (int i = 0; i < 3; ++i) fill(*pool().getIndividual(pool().addNewIndividual() - 1), 50);
    testing::seedForTest(5);
    selective->fillMatingPool(parts);
    EXPECT_EQ(testing::testEngine().random.word(), afterSelection);
    ASSERT_EQ(pool().size(), expected.size());
    for (int i = 0; i < pool().size(); ++i) {
        EXPECT_TRUE(pool().getIndividual(i)->equalsTo(*expected.getIndividual(i))) << "slot " << i;
        EXPECT_EQ(pool().getIndividual(i)->fitness, expected.getIndividual(i)->fitness) << "slot " << i;
    }
    EXPECT_EQ(firstGenes(current()), (std::vector<int>{1, 2, 102, 103}));
}

TEST_F(SelectiveBreeding, EveryOffspringIsMutatedAndNothingElse) {
    params.mRate = 1.0;  // every bit flips
    params.geneSize = 4;
    for (int mark : {0, 5, 15}) fill(*offspring().getIndividual(offspring().addNewIndividual() - 1), mark);
    selective->mutateOffspring(parts, 0);
    EXPECT_EQ(firstGenes(offspring()), (std::vector<int>{15, 10, 0}));
    for (const auto& child : offspring().individuals) EXPECT_EQ(genesOf(*child)[1], genesOf(*child)[0]);
    EXPECT_EQ(firstGenes(current()), (std::vector<int>{1, 2, 102, 103}));
    EXPECT_EQ(firstGenes(pool()), (std::vector<int>{1, 2, 102, 103}));
}

TEST_F(SelectiveBreeding, KeptEliteTakeNoDrawAndTheOthersMutateAsTheyWouldAlone) {
    params.mRate = 0.5;
    params.geneSize = 4;
    for (int mark : {3, 12, 5, 9}) fill(*offspring().getIndividual(offspring().addNewIndividual() - 1), mark);
    // The two individuals after the elite, alone in a population, mutated from the same seed.
    std::unique_ptr<QPopulation> alone = std::make_unique<QIntegerPopulation>();
    alone->_params = &params;
    for (int i = 2; i < 4; ++i) alone->appendIndividual(*offspring().getIndividual(i));
    std::swap(parts.offspringPopulation, alone);
    testing::seedForTest(21);
    selective->mutateOffspring(parts, 0);
    const auto afterAlone = testing::testEngine().random.word();
    std::swap(parts.offspringPopulation, alone);
    ASSERT_NE(firstGenes(*alone), (std::vector<int>{5, 9})) << "the seed must mutate something";

    testing::seedForTest(21);
    selective->mutateOffspring(parts, 2);
    EXPECT_EQ(testing::testEngine().random.word(), afterAlone);
    EXPECT_EQ(firstGenes(offspring(), 0), (std::vector<int>{3, 12, geneOf(*alone, 0), geneOf(*alone, 1)}));
    for (int i = 2; i < 4; ++i) EXPECT_TRUE(offspring().getIndividual(i)->equalsTo(*alone->getIndividual(i - 2)));

    // More kept than individuals (a sizer cut the population): nothing is drawn or changed.
    const std::vector<int> before = firstGenes(offspring());
    selective->mutateOffspring(parts, 9);
    EXPECT_EQ(testing::testEngine().random.word(), afterAlone);
    EXPECT_EQ(firstGenes(offspring()), before);
}

// Crowding setting: evaluated parents, one elite already in the offspring population, no
// mutation and no crossover rate.
class CrowdingPairs : public BreedingFixture {
protected:
    void SetUp() override {
        BreedingFixture::SetUp();
        params.nichingType = Niching::DeterministicCrowding;
        params.eliteCount = 1;
        params.mRate = 0.0;
        params.xRate = 0.0;
        for (auto& x : current().individuals) problem.evaluateIndividual(*x);
        offspring().appendIndividual(*current().getIndividual(0));  // the elite
    }
};

TEST_F(CrowdingPairs, TheCurrentPopulationIsWalkedInConsecutivePairs) {
    // Children 7 and 8 lose to parents 1 and 2; with equal distance sums the crossed pairing
    // holds. The generator moves by the mutation's draws only: no crossover-rate draw.
    testing::seedForTest(7);
    for (int k = 0; k < 2 * 2 * params.geneSize; ++k) uniform();
    const auto afterMutation = testing::testEngine().random.word();
    testing::seedForTest(7);
    pair(*crowding);
    EXPECT_EQ(testing::testEngine().random.word(), afterMutation);
    // The next pair, individuals 2 and 3, lose to their children.
    pair(*crowding);
    EXPECT_EQ(firstGenes(offspring(), 1), (std::vector<int>{2, 1, 7, 8}));
    EXPECT_EQ(crossover->crosses, 2);
    EXPECT_EQ(selector->calls, 0);
    // The children were judged as they were made.
    EXPECT_EQ(offspring().getIndividual(3)->fitness, 14.0);
    EXPECT_EQ(offspring().getIndividual(4)->fitness, 16.0);
    // A third pair would start past the current population.
    EXPECT_FAILURE(pair(*crowding),
                   "\\[QPopulation::getIndividual\\] error:\n\tIndex is out of population bounds \\(i = 4\\)");
}

TEST_F(CrowdingPairs, ClonesAreRecognisedAfterTheChildrenCompeted) {
    params.removeClones = true;
    // The children 7 and 8 lose and become copies of parents 2 and 1; the copy of parent 1 is
    // a clone of the elite and goes.
    pair(*crowding);
    EXPECT_EQ(firstGenes(offspring()), (std::vector<int>{1, 2}));
}

TEST(CrowdingWithRegistryParts, NoChildEndsWorseThanItsParents) {
    // One-bit genes: the gene sum counts the ones. Two-point crossover, bit-flip mutation.
    QEAParameters params;
    params.encoding = Encoding::Integer;
    params.geneSize = 1;
    params.chromosomeLength = 8;
    params.populationSize = 10;
    params.nichingType = Niching::DeterministicCrowding;
    params.selectionType = Selection::Tournament;
    params.xType = Crossover::TwoPoint;
    params.mutationType = Mutation::BitFlip;
    params.mRate = 0.2;
    params.eliteCount = 0;
    AlgorithmParts parts = RegistryPartsMaker().make(params);
    useEngine(parts, testing::testEngine());
    ASSERT_NE(dynamic_cast<QDeterministicCrowding*>(parts.niching.get()), nullptr);
    for (QPopulation* population : {parts.currentPopulation.get(), parts.matingPool.get(),
                                    parts.offspringPopulation.get()}) {
        population->setParameters(&params);
    }
    parts.offspringPopulation->clear();
    parts.initializer->setParameters(params);
    parts.crossover->setParameters(params);
    parts.mutation->setParameters(params);
    parts.niching->setParameters(params);
    GeneSum problem;
    testing::seedForTest(17);
    parts.initializer->initialize(*parts.currentPopulation);
    problem.evaluatePopulation(*parts.currentPopulation);

    const auto breeding = makeBreeding(params.nichingType, testing::testEngine());
    for (int k = 0; k < params.populationSize / 2; ++k) breeding->pair(parts, problem, params);
    const QPopulation& parents = *parts.currentPopulation;
    const QPopulation& children = *parts.offspringPopulation;
    ASSERT_EQ(children.size(), params.populationSize);
    for (int i = 0; i < children.size(); i += 2) {
        const double parent0 = parents.getIndividual(i)->fitness;
        const double parent1 = parents.getIndividual(i + 1)->fitness;
        const double child0 = children.getIndividual(i)->fitness;
        const double child1 = children.getIndividual(i + 1)->fitness;
        // Each child beat or replaced one of the two parents, a different one each.
        EXPECT_LE(child0 + child1, parent0 + parent1) << "pair " << i / 2;
        EXPECT_LE(std::max(child0, child1), std::max(parent0, parent1)) << "pair " << i / 2;
        // Judged at birth: the fitness each child holds is that of its genes.
        for (int j : {i, i + 1}) {
            QIntegerIndividual judged = static_cast<const QIntegerIndividual&>(*children.getIndividual(j));
            problem.evaluateIndividual(judged);
            EXPECT_EQ(children.getIndividual(j)->fitness, judged.fitness) << "child " << j;
        }
    }
}

TEST_F(CrowdingBreeding, ThePoolHoldsTheCurrentPopulationEachAtTheFrontOrTheBack) {
    std::vector<std::vector<int>> orders;
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        pool().clear();
        for (int i = 0; i < 2; ++i) fill(*pool().getIndividual(pool().addNewIndividual() - 1), 50);  // stale
        testing::seedForTest(seed);
        crowding->fillMatingPool(parts);
        // One coin flip per individual.
        const auto afterFill = testing::testEngine().random.word();
        testing::seedForTest(seed);
        for (int i = 0; i < current().size(); ++i) coinFlip();
        EXPECT_EQ(testing::testEngine().random.word(), afterFill) << "seed " << seed;

        // Copies of every current individual: those put at the front in reverse order, then those
        // put at the back in order.
        std::vector<int> order = firstGenes(pool());
        ASSERT_EQ(order.size(), 4u) << "seed " << seed;
        const auto lowest = std::min_element(order.begin(), order.end());
        EXPECT_TRUE(std::is_sorted(order.begin(), lowest, std::greater<>())) << "seed " << seed;
        EXPECT_TRUE(std::is_sorted(lowest, order.end())) << "seed " << seed;
        std::vector<int> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, (std::vector<int>{1, 2, 102, 103})) << "seed " << seed;
        for (const auto& copy : pool().individuals) {
            for (const auto& original : current().individuals) EXPECT_NE(copy.get(), original.get());
        }
        orders.push_back(order);
    }
    // The flips matter: the seeds do not all give one order.
    std::sort(orders.begin(), orders.end());
    EXPECT_GT(std::unique(orders.begin(), orders.end()) - orders.begin(), 1);
}

TEST_F(CrowdingBreeding, TheOffspringAreNotMutatedAgain) {
    params.mRate = 1.0;
    for (int mark : {0, 5}) fill(*offspring().getIndividual(offspring().addNewIndividual() - 1), mark);
    testing::seedForTest(9);
    const auto state = testing::testEngine().random.word();
    for (int kept : {0, 1}) crowding->mutateOffspring(parts, kept);
    EXPECT_EQ(firstGenes(offspring()), (std::vector<int>{0, 5}));
    EXPECT_EQ(testing::testEngine().random.word(), state);
}

}  // namespace
}  // namespace Valdrin
