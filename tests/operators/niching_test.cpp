// Tests of fitness sharing, the niching helpers (niche numbers, distance matrix) and deterministic
// crowding.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

#include "core/random.h"
#include "operators/mutations.h"
#include "operators/niching.h"
#include "problems/problem.h"
#include "representation/distance.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

// Fitness = sum of the gene values (the number of ones of a one-bit-per-gene chromosome).
class GeneSumProblem final : public QProblem {
public:
    GeneSumProblem() : QProblem(testing::testEngine()) {}
    int evaluations = 0;
    std::vector<const QIndividual*> evaluated;  // in evaluation order
    int adjustParameters(QEAParameters*) override { return 1; }
    int evaluateIndividual(QIndividual& individual) override {
        ++evaluations;
        evaluated.push_back(&individual);
        double sum = 0.0;
        for (const auto& gene : static_cast<QIntegerIndividual&>(individual).genes) sum += gene;
        individual.fitness = sum;
        individual.fitnessComponents.clear();
        return 1;
    }
    int printName(std::ostream& out) const override {
        out << "gene sum\n";
        return 1;
    }
};

// One individual per chromosome, with the given fitness values.
std::unique_ptr<QIntegerPopulation> bitStrings(QEAParameters& params, const std::vector<std::vector<int>>& chromosomes,
                                               const std::vector<double>& fitness) {
    params.populationSize = static_cast<int>(chromosomes.size());
    params.chromosomeLength = static_cast<int>(chromosomes.front().size());
    auto population = std::make_unique<QIntegerPopulation>();
    population->setParameters(&params);
    for (std::size_t i = 0; i < chromosomes.size(); ++i) {
        auto& individual = static_cast<QIntegerIndividual&>(*population->individuals[i]);
        for (std::size_t k = 0; k < chromosomes[i].size(); ++k) individual.genes[k] = chromosomes[i][k];
        individual.fitness = fitness[i];
        individual.fitnessComponents = {1.0, 2.0};
    }
    return population;
}

std::vector<double> fitnessOf(const QPopulation& population) {
    std::vector<double> values;
    for (const auto& individual : population.individuals) values.push_back(individual->fitness);
    return values;
}

// Shares the population's fitness with the niche radius sigma (taken from the record) and the
// shape alpha.
void share(QEAParameters& params, QPopulation& population, double sigma, double alpha = 1.0) {
    params.sharingSigma = sigma;
    QFitnessSharing sharing;
    testing::bound(sharing);
    sharing.setParameters(params);
    sharing.setAlpha(alpha);
    sharing.share(population);
}

TEST(FitnessSharing, SigmaAtMostEveryDistanceLeavesFitnessButEmptiesComponents) {
    QEAParameters params;
    params.geneSize = 1;
    auto population = bitStrings(params, {{0, 0, 0}, {1, 1, 0}, {0, 1, 1}}, {3.0, 5.0, 7.0});
    share(params, *population, 2.0);  // every distance is 2
    EXPECT_EQ(fitnessOf(*population), (std::vector<double>{3.0, 5.0, 7.0}));
    for (const auto& individual : population->individuals) EXPECT_TRUE(individual->fitnessComponents.empty());
}

TEST(FitnessSharing, IdenticalIndividualsShareEquallyAndNearOnesPartly) {
    QEAParameters params;
    params.geneSize = 1;
    auto same = bitStrings(params, {{1, 0}, {1, 0}, {1, 0}, {1, 0}}, {8.0, 4.0, 2.0, 1.0});
    share(params, *same, 0.5);
    EXPECT_EQ(fitnessOf(*same), (std::vector<double>{2.0, 1.0, 0.5, 0.25}));

    // Distances a-b 1, a-c 2, b-c 1 with sigma 2: niche counts 1.5, 2, 1.5.
    auto near = bitStrings(params, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}}, {3.0, 3.0, 3.0});
    share(params, *near, 2.0);
    EXPECT_EQ(fitnessOf(*near), (std::vector<double>{2.0, 1.5, 2.0}));

    // alpha shapes the share: (1/2)^2 leaves 3/4 for each neighbour at distance 1.
    auto shaped = bitStrings(params, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}}, {3.0, 3.0, 3.0});
    share(params, *shaped, 2.0, 2.0);
    EXPECT_DOUBLE_EQ(shaped->individuals[1]->fitness, 3.0 / 2.5);
}

TEST(FitnessSharing, GeneValueSumsSeparatePairsBeforeTheyAreMeasured) {
    // 512 and 0 differ in one bit, but their sums of gene values (519 and 7) are sigma or more
    // apart, so the pair counts as outside each other's niche.
    QEAParameters params;
    params.geneSize = 10;
    auto population = bitStrings(params, {{512, 7}, {0, 7}, {1023, 0}}, {6.0, 6.0, 6.0});
    share(params, *population, 2.0);
    EXPECT_EQ(fitnessOf(*population), (std::vector<double>{6.0, 6.0, 6.0}));

    // Sums 8 and 7 lie within sigma: the pair is measured (Hamming distance 1) and shares.
    auto close = bitStrings(params, {{1, 7}, {0, 7}}, {6.0, 6.0});
    share(params, *close, 2.0);
    EXPECT_EQ(fitnessOf(*close), (std::vector<double>{4.0, 4.0}));
}

TEST(FitnessSharing, StringsUseSymbolSumsAndRealVectorsEuclideanDistance) {
    QEAParameters params;
    params.populationSize = 3;
    params.chromosomeLength = 2;
    QStringPopulation strings;
    strings.setParameters(&params);
    // Symbol sums 6, 1, 0: only the last two lie within sigma of each other (distance 1).
    const int symbols[3][2] = {{5, 1}, {0, 1}, {0, 0}};
    for (int i = 0; i < 3; ++i) {
        auto& individual = static_cast<QStringIndividual&>(*strings.individuals[static_cast<std::size_t>(i)]);
        individual.genes[0] = symbols[i][0];
        individual.genes[1] = symbols[i][1];
        individual.fitness = 6.0;
    }
    share(params, strings, 2.0);
    EXPECT_EQ(fitnessOf(strings), (std::vector<double>{6.0, 4.0, 4.0}));

    QRCPopulation reals;
    reals.setParameters(&params);
    const double points[3][2] = {{0.0, 0.0}, {3.0, 4.0}, {30.0, 40.0}};
    for (int i = 0; i < 3; ++i) {
        auto& individual = static_cast<QRCIndividual&>(*reals.individuals[static_cast<std::size_t>(i)]);
        individual.genes[0] = points[i][0];
        individual.genes[1] = points[i][1];
        individual.fitness = 3.0;
    }
    share(params, reals, 10.0);  // 5 apart: each counts the other as half
    EXPECT_EQ(fitnessOf(reals), (std::vector<double>{2.0, 2.0, 3.0}));
}

TEST(FitnessSharing, SigmaComesFromTheRecordAndOneOperatorServesSuccessivePopulations) {
    QEAParameters params;
    params.geneSize = 1;
    params.sharingSigma = 2.0;
    QFitnessSharing sharing;
    testing::bound(sharing);
    sharing.setSigma(5.0);
    sharing.setParameters(params);
    EXPECT_EQ(sharing.getSigma(), 2.0);

    // Populations of other sizes in between leave nothing behind for the next one.
    auto near = bitStrings(params, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}}, {3.0, 3.0, 3.0});
    sharing.share(*near);
    EXPECT_EQ(fitnessOf(*near), (std::vector<double>{2.0, 1.5, 2.0}));
    auto apart = bitStrings(params, {{0, 0, 0}, {1, 1, 1}}, {4.0, 4.0});
    sharing.share(*apart);
    EXPECT_EQ(fitnessOf(*apart), (std::vector<double>{4.0, 4.0}));
    auto again = bitStrings(params, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {1, 1, 1}}, {3.0, 3.0, 3.0, 3.0});
    sharing.share(*again);
    EXPECT_EQ(fitnessOf(*again), (std::vector<double>{2.0, 1.5, 1.5, 2.0}));
}

// The genes of an integer or string chromosome (both 32-bit values).
std::vector<std::int32_t>& codesOf(QIndividual& individual) {
    if (individual.getEncoding() == Encoding::String) return static_cast<QStringIndividual&>(individual).genes;
    return static_cast<QIntegerIndividual&>(individual).genes;
}

// Fitness sharing as it was first computed: every distance stored in an n x n matrix, then each
// niche count summed over its row in index order. Each distance is measured with the lower
// index first, as sharing measures it.
std::vector<double> sharedThroughTheMatrix(const QPopulation& population, double sigma, double alpha) {
    const auto& members = population.individuals;
    const std::size_t n = members.size();
    std::vector<double> matrix(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            double d = 0.0;
            if (population.getEncoding() == Encoding::Real) {
                const auto& a = static_cast<const QRCIndividual&>(*members[i]).genes;
                const auto& b = static_cast<const QRCIndividual&>(*members[j]).genes;
                for (std::size_t k = 0; k < a.size(); ++k) d += (a[k] - b[k]) * (a[k] - b[k]);
                d = std::sqrt(d);
            } else {
                long long units[2] = {0, 0};
                for (int side = 0; side < 2; ++side) {
                    for (const auto gene : codesOf(*members[side == 0 ? i : j])) units[side] += gene;
                }
                const double gap = std::fabs(static_cast<double>(units[0] - units[1]));
                d = sigma > gap ? QDistance().measure(*members[i], *members[j]) : sigma + 1.0;
            }
            matrix[i * n + j] = matrix[j * n + i] = d;
        }
    }
    std::vector<double> shared;
    for (std::size_t i = 0; i < n; ++i) {
        double count = 1.0;
        for (std::size_t j = 0; j < n; ++j) {
            const double d = matrix[i * n + j];
            if (j != i && sigma > d) count += 1.0 - std::pow(d / sigma, alpha);
        }
        shared.push_back(members[i]->fitness / count);
    }
    return shared;
}

TEST(FitnessSharing, GivesTheMatrixMethodsValuesToTheLastBit) {
    // Random populations of each encoding, many individuals repeated and most pairs within the
    // niche radius, so that every niche count sums many terms: adding them in any other order
    // than the row's would show in the last bits.
    std::mt19937 draws(31);
    auto uniformIn = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(draws); };
    for (const Encoding encoding : {Encoding::Integer, Encoding::String, Encoding::Real}) {
        for (const double alpha : {1.0, 0.7, 2.0}) {
            QEAParameters params;
            params.geneSize = 3;
            params.populationSize = 150;
            params.chromosomeLength = 8;
            std::unique_ptr<QPopulation> population;
            if (encoding == Encoding::Integer) population = std::make_unique<QIntegerPopulation>();
            if (encoding == Encoding::String) population = std::make_unique<QStringPopulation>();
            if (encoding == Encoding::Real) population = std::make_unique<QRCPopulation>();
            population->setParameters(&params);
            const double reals[] = {0.0, -0.0, 0.3, 1.0 / 3.0};
            for (std::size_t i = 0; i < population->individuals.size(); ++i) {
                QIndividual& individual = *population->individuals[i];
                if (i % 3 == 2) {
                    individual.copy(*population->individuals[i - 1]);  // a clone
                } else if (encoding == Encoding::Real) {
                    for (double& gene : static_cast<QRCIndividual&>(individual).genes) {
                        gene = draws() % 2 ? reals[draws() % 4] : uniformIn(-1, 1);
                    }
                } else {
                    for (auto& gene : codesOf(individual)) gene = static_cast<int>(draws() % 8);
                }
                individual.fitness = uniformIn(1, 100);
            }
            const double sigma = encoding == Encoding::Real ? 2.5 : 20.0;
            const std::vector<double> expected = sharedThroughTheMatrix(*population, sigma, alpha);
            share(params, *population, sigma, alpha);
            const std::vector<double> actual = fitnessOf(*population);
            ASSERT_EQ(actual.size(), expected.size());
            for (std::size_t i = 0; i < actual.size(); ++i) {
                EXPECT_EQ(std::bit_cast<std::uint64_t>(actual[i]), std::bit_cast<std::uint64_t>(expected[i]))
                    << "encoding " << number(encoding) << ", alpha " << alpha << ", individual " << i;
            }
        }
    }
}

TEST(FitnessSharing, NetworksHaveNoChromosomeDistance) {
    QEAParameters params;
    QRNPopulation networks;
    networks.createIndividuals(2);
    EXPECT_FAILURE(share(params, networks, 1.0),
                "\\[QFitnessSharing::operate\\] error:\n\tFitness sharing needs integer, string or real-coded "
                "chromosomes \\(encoding ID = 5\\)");
}

TEST(NichingHelpers, NicheNumbersGoToTheUnnumberedInPopulationOrder) {
    QEAParameters params;
    params.geneSize = 1;
    auto population = bitStrings(params, {{0}, {1}, {0}, {1}, {1}}, {0.0, 0.0, 0.0, 0.0, 0.0});
    const std::vector<int> before = {0, 5, 0, 1, 0};
    for (std::size_t i = 0; i < before.size(); ++i) population->individuals[i]->nicheNumber = before[i];
    QNichingOperator::assignNiches(*population);
    std::vector<int> after;
    for (const auto& individual : population->individuals) after.push_back(individual->nicheNumber);
    // Numbers already given are kept, even where a new one repeats them.
    EXPECT_EQ(after, (std::vector<int>{1, 5, 2, 1, 3}));
}

TEST(NichingHelpers, DistanceMatrixIsSymmetricWithAZeroDiagonal) {
    QEAParameters params;
    params.geneSize = 1;
    auto population = bitStrings(params, {{0, 0, 0}, {0, 1, 1}, {1, 1, 1}}, {0.0, 0.0, 0.0});
    std::vector<std::vector<double>> matrix(7, std::vector<double>(1, -1.0));  // stale contents
    QNichingOperator::computeDistanceMatrix(*population, matrix);
    EXPECT_EQ(matrix, (std::vector<std::vector<double>>{{0.0, 2.0, 3.0}, {2.0, 0.0, 1.0}, {3.0, 1.0, 0.0}}));
}

struct CrowdingFixture : ::testing::Test {
    QEAParameters params;
    GeneSumProblem problem;
    QIntegerMutationBitFlip mutation = testing::boundOperator<QIntegerMutationBitFlip>();
    QDeterministicCrowding crowding = testing::boundOperator<QDeterministicCrowding>();
    std::unique_ptr<QIntegerPopulation> parents;
    std::unique_ptr<QIntegerPopulation> children;

    void prepare(const std::vector<std::vector<int>>& parentGenes, const std::vector<std::vector<int>>& childGenes,
                 double mutationRate = 0.0) {
        params.geneSize = 1;
        params.mRate = mutationRate;
        testing::seedForTest(11);
        mutation.setParameters(params);
        parents = bitStrings(params, parentGenes, {0.0, 0.0});
        for (auto& parent : parents->individuals) problem.evaluateIndividual(*parent);
        children = bitStrings(params, childGenes, {-1.0, -1.0});
        problem.evaluations = 0;
        problem.evaluated.clear();
        crowding.setParameters(params);
    }

    void compete() {
        crowding.compete({parents->getIndividual(0), parents->getIndividual(1)},
                         {children->getIndividual(0), children->getIndividual(1)}, mutation, problem);
    }

    std::vector<int> genesOf(int child) const {
        std::vector<int> values;
        for (const auto& gene : static_cast<const QIntegerIndividual&>(*children->getIndividual(child)).genes)
            values.push_back(gene);
        return values;
    }
};

TEST_F(CrowdingFixture, EqualSumsUseTheCrossedPairing) {
    // S1 = d(p0,c0) + d(p1,c1) = 2 and S2 = d(p0,c1) + d(p1,c0) = 2: c0 meets p1, c1 meets p0.
    prepare({{0, 0, 0, 1}, {1, 0, 0, 0}}, {{1, 0, 0, 1}, {0, 0, 0, 0}});
    compete();
    EXPECT_EQ(problem.evaluations, 2);
    EXPECT_EQ(genesOf(0), (std::vector<int>{1, 0, 0, 0}));  // worse than p1: replaced by it
    EXPECT_EQ(children->getIndividual(0)->fitness, 1.0);
    EXPECT_EQ(genesOf(1), (std::vector<int>{0, 0, 0, 0}));  // better than p0: kept
    EXPECT_EQ(children->getIndividual(1)->fitness, 0.0);
    // The parents only lend their genes.
    EXPECT_EQ(parents->getIndividual(0)->fitness, 1.0);
    EXPECT_EQ(static_cast<const QIntegerIndividual&>(*parents->getIndividual(0)).genes, (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(static_cast<const QIntegerIndividual&>(*parents->getIndividual(1)).genes, (std::vector<int>{1, 0, 0, 0}));
}

TEST_F(CrowdingFixture, ALargerCrossedSumUsesTheStraightPairingAndTiesKeepTheChild) {
    // S1 = 2 < S2 = 6: c0 meets p0 and loses (3 > 2), c1 meets p1 and wins.
    prepare({{1, 1, 0, 0}, {0, 0, 1, 1}}, {{1, 1, 1, 0}, {0, 0, 0, 1}});
    compete();
    EXPECT_EQ(genesOf(0), (std::vector<int>{1, 1, 0, 0}));
    EXPECT_EQ(genesOf(1), (std::vector<int>{0, 0, 0, 1}));

    // S1 = 3 < S2 = 5: c0 ties with p0 and stays.
    prepare({{1, 1, 0, 0}, {0, 0, 0, 1}}, {{1, 0, 1, 0}, {0, 0, 0, 0}});
    compete();
    EXPECT_EQ(genesOf(0), (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(genesOf(1), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(CrowdingFixture, ChildrenAreMutatedBeforeTheyAreEvaluated) {
    prepare({{1, 1, 1, 1}, {1, 1, 1, 1}}, {{1, 1, 1, 1}, {1, 1, 1, 0}}, 1.0);  // every bit flips
    compete();
    EXPECT_EQ(genesOf(0), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(genesOf(1), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(children->getIndividual(1)->fitness, 1.0);
}

TEST_F(CrowdingFixture, ChildZeroIsMutatedAndEvaluatedFirst) {
    // Parents of all ones never beat a child, so the children show their mutations.
    prepare({{1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}}, {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}}, 0.5);
    compete();

    testing::seedForTest(11);
    std::vector<std::vector<int>> expected(2, std::vector<int>(6, 0));
    for (auto& genes : expected) {
        for (int& bit : genes) bit = 0.5 > uniform() ? 1 : 0;
    }
    ASSERT_NE(expected[0], expected[1]) << "the seed must tell the two children apart";
    EXPECT_EQ(genesOf(0), expected[0]);
    EXPECT_EQ(genesOf(1), expected[1]);
    ASSERT_EQ(problem.evaluated.size(), 2u);
    EXPECT_EQ(problem.evaluated[0], children->getIndividual(0));
    EXPECT_EQ(problem.evaluated[1], children->getIndividual(1));
}

}  // namespace
}  // namespace Valdrin
