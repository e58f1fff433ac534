// Tests of the regulatory network: running it, path analysis, degrees, gene-vector operations,
// reports, and the network population.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <tuple>

#include "representation/network.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

QRNGene node(std::vector<int> reads, std::vector<int> writes, int type = 2) {
    QRNGene gene;
    gene.typeID = type;
    for (int s : reads) gene.addInput({s, 0.0}, 1.0);
    for (int s : writes) gene.addOutput({s, 0.0}, 0.0);
    return gene;
}

QRNIndividual network(int inputs, int outputs, std::vector<QRNGene> nodes) {
    QRNIndividual individual;
    individual.inputsNumber = inputs;
    individual.outputsNumber = outputs;
    individual.genes = std::move(nodes);
    return individual;
}

// (result, inputToOutputSteps, settlingSteps)
using Paths = std::tuple<int, int, int>;

Paths analyse(const QRNIndividual& individual) {
    int inputToOutput = -1;
    int settling = -1;
    NetworkScratch scratch;
    const int result = individual.analyseSignalPaths(inputToOutput, settling, scratch);
    return {result, inputToOutput, settling};
}

// Signal 1 -> node -> 3 -> node -> output 2.
QRNIndividual chain() { return network(1, 1, {node({1}, {3}), node({3}, {2})}); }

TEST(QRNIndividualTest, SignalPathsOfUsableNetworks) {
    EXPECT_EQ(analyse(network(1, 1, {node({1}, {2})})), Paths(1, 1, 1));
    EXPECT_EQ(analyse(chain()), Paths(1, 2, 2));
    // A self-loop on the inner signal makes successive powers equal: the settling count doubles.
    QRNIndividual looped = chain();
    looped.genes.push_back(node({3}, {3}));
    EXPECT_EQ(analyse(looped), Paths(1, 2, 4));
    // The loop 3 -> 4 -> 3 shows on the diagonal before the input reaches the output; only a
    // later diagonal entry ends the analysis.
    EXPECT_EQ(analyse(network(1, 1, {node({1}, {3}), node({3}, {4}), node({4}, {3, 2})})), Paths(1, 3, 6));
}

TEST(QRNIndividualTest, SignalPathsOfUnusableNetworks) {
    EXPECT_EQ(analyse(network(1, 1, {node({1}, {1})})), Paths(0, 0, 0));
    QRNIndividual disabledOnly = chain();
    disabledOnly.genes[0].enabled = false;
    EXPECT_EQ(analyse(disabledOnly), Paths(0, 0, 0));
    // The input feeds a loop that never reaches the output.
    EXPECT_EQ(analyse(network(1, 1, {node({1}, {3}), node({3}, {3}), node({4}, {2})})), Paths(0, 0, 1));
    EXPECT_EQ(std::get<0>(analyse(network(0, 1, {node({1}, {2})}))), 0);
}

TEST(QRNIndividualTest, PathCountsWrapAt256) {
    // Eight diamonds in a row (each splits a signal in two and joins it again) give 2^8 = 256
    // paths of length 16 from input 1 to output 2, and no others. The count wraps to 0, so the
    // last power is all zero and no input-to-output path is recorded.
    std::vector<QRNGene> nodes;
    int join = 1;
    int next = 3;
    for (int diamond = 0; diamond < 8; ++diamond) {
        const int a = next++;
        const int b = next++;
        const int target = diamond == 7 ? 2 : next++;
        nodes.push_back(node({join}, {a, b}));
        nodes.push_back(node({a, b}, {target}));
        join = target;
    }
    EXPECT_EQ(analyse(network(1, 1, nodes)), Paths(1, 0, 15));
    // With seven diamonds (128 paths) the path is found after 14 layers.
    nodes.erase(nodes.begin(), nodes.begin() + 2);
    nodes.front().inputs[0].ID = 1;
    EXPECT_EQ(analyse(network(1, 1, nodes)), Paths(1, 14, 14));
}

TEST(QRNIndividualTest, CalculateNetworkAccumulatesAndHoldsInputs) {
    // The tanh node reads input 1 and its own output 2; a second node writes 1.0 onto the input
    // signal every step, which the next step must not see.
    QRNIndividual individual = network(1, 1, {node({1, 2}, {2}), node({}, {1}, 3)});
    individual.genes[1].bias = 1.0;
    NetworkScratch scratch;
    std::vector<double> out;
    EXPECT_EQ(individual.calculateNetwork({0.0, 0.5}, out, 2, scratch, std::cout), 1);
    const double y1 = std::tanh(0.5);
    const double y2 = std::tanh(0.5 + y1);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1], 2.0);
    EXPECT_NEAR(out[2], y1 + y2, 1e-12);
    EXPECT_NEAR(individual.signalChange, (y1 + y2) / 2, 1e-12);

    std::vector<double> before = out;
    individual.calculateNetwork({0.0, 0.5}, out, 0, scratch, std::cout);
    EXPECT_EQ(out, before);
    EXPECT_TRUE(std::isnan(individual.signalChange));

    // A short input vector holds the missing inputs at 0.0.
    out.clear();
    individual.calculateNetwork({}, out, 1, scratch, std::cout);
    EXPECT_EQ(out[2], 0.0);

    // One vector passed as both IN and OUT: the inputs stay at their values on entry although
    // the second node keeps adding onto signal 1 of that vector.
    std::vector<double> shared{0.0, 0.5};
    std::vector<double> separate = shared;
    QRNIndividual twin = individual;
    individual.calculateNetwork(shared, shared, 3, scratch, std::cout);
    twin.calculateNetwork(std::vector<double>{0.0, 0.5}, separate, 3, scratch, std::cout);
    EXPECT_EQ(shared, separate);
    EXPECT_EQ(individual.signalChange, twin.signalChange);
}

TEST(QRNIndividualTest, InitializeFollowsTheParameters) {
    QEAParameters params;
    params.inputsNumber = 2;
    params.outputsNumber = 1;
    QRNIndividual individual = network(5, 5, {node({1}, {2}), node({2}, {3}), node({3}, {4})});
    individual.mutationParameters[4] = 0.5;
    individual.historyCounters[2] = 7;
    individual._params = &params;
    EXPECT_EQ(individual.initialize(99), 1);
    ASSERT_EQ(individual.genes.size(), 1u);
    EXPECT_TRUE(individual.genes[0].hasOutput(2));
    EXPECT_EQ(individual.mutationParameters[4], 0.5);
    EXPECT_EQ(individual.historyCounters, std::vector<int>(kMutationKinds, 0));
    EXPECT_EQ(individual.inputsNumber, 2);
    EXPECT_EQ(individual.outputsNumber, 1);

    params.outputsNumber = 3;
    individual.initialize(0);
    ASSERT_EQ(individual.genes.size(), 3u);
    EXPECT_TRUE(individual.genes[2].equalsTo(QRNGene()));
}

TEST(QRNIndividualTest, SignalAndNodeDegrees) {
    std::vector<int> consumers{5};
    std::vector<int> producers;
    network(2, 1, {}).getSignalDegrees(consumers, producers);
    EXPECT_EQ(producers, (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(consumers, (std::vector<int>{0, 0, 0, 1}));

    QRNIndividual looped = chain();
    looped.genes.push_back(node({3}, {3}));
    looped.genes.push_back(node({0, 9}, {0}));  // unconnected links and a signal nobody writes
    looped.getSignalDegrees(consumers, producers);
    EXPECT_EQ(consumers, (std::vector<int>{0, 1, 1, 2, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(producers, (std::vector<int>{0, 1, 1, 2}));
    std::vector<int> degrees{1, 1, 1, 1, 1, 1};
    looped.getNodeDegrees(degrees);
    EXPECT_EQ(degrees, (std::vector<int>{3, 3, 4, 0}));
}

TEST(QRNIndividualTest, GeneVectorOperationsAndCopies) {
    QRNIndividual individual = chain();
    QRNGene replacement = node({1}, {2});
    replacement.enabled = false;
    EXPECT_EQ(individual.addGene(replacement), 3);
    EXPECT_EQ(individual.setGene(0, replacement), 1);
    EXPECT_FALSE(individual.node(0).enabled);
    EXPECT_EQ(individual.deleteGene(0), 2);
    EXPECT_TRUE(individual.node(0).hasInput(3));

    individual.fitness = 0.5;
    individual.historyCounters[1] = 4;
    individual.mutationParameters[0] = 0.25;
    individual.signalChange = 1.5;
    QRNIndividual other;
    EXPECT_EQ(other.copy(*individual.clone()), 1);
    EXPECT_TRUE(other.equalsTo(individual));
    EXPECT_EQ(other.fitness, 0.5);
    EXPECT_EQ(other.inputsNumber, 1);
    EXPECT_EQ(other.historyCounters[1], 4);
    EXPECT_EQ(other.mutationParameters[0], 0.25);
    EXPECT_EQ(other.signalChange, 1.5);
    other.mutationParameters[3] = 9.0;
    EXPECT_TRUE(other.equalsTo(individual));  // self-adaptation state is not compared
    other.node(0).inputWeights[0] = -1.0;
    EXPECT_FALSE(other.equalsTo(individual));
}

TEST(QRNIndividual, GeneIndexOutOfBounds) {
    QRNIndividual individual = chain();
    EXPECT_FAILURE(individual.getGene(2),
                "\n\n\\[QRNIndividual::getGene\\] error:\n\tIndex is out of genes array bounds\n\n");
    EXPECT_FAILURE(individual.deleteGene(-1),
                "\\[QRNIndividual::deleteGene\\] error:\n\tIndex is out of genes array bounds");
    EXPECT_FAILURE(individual.setGene(5, QRNGene()),
                "\\[QRNIndividual::setGene\\] error:\n\tIndex is out of genes array bounds");
}

// The number printed right after the label (strtod reads "nan", "-nan" and "inf" too).
double valueAfter(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    return at == std::string::npos ? 0.0 : std::strtod(text.c_str() + at + label.size(), nullptr);
}

QRNIndividual printedNetwork() {
    QRNIndividual individual = network(1, 1, {node({1}, {2})});
    individual.node(0).inputWeights[0] = 2.0;
    individual.fitness = 1.5;
    individual.fitnessComponents = {0.25, 2.0};
    individual.mutationParameters[0] = 0.5;
    individual.historyCounters[1] = 3;
    return individual;
}

TEST(QRNIndividualTest, PrintText) {
    QRNIndividual individual = printedNetwork();
    std::ostringstream out;
    EXPECT_EQ(individual.print(out), 1);
    EXPECT_EQ(out.str(),
              "(1.5 [0.25][2])\t1 inputs : 1 outputs\n"
              "Genes number:\t1\n"
              "Gene 0:\tType ID:\t2\n\tEnabled:\t1\n\tBias:\t0\n\tA:\t1\n"
              "\tInputs (1):\t(1, 0:2)\t\n\tOutputs (1):\t(2, 0:0)\t\n"
              "Mutation parameters:\t 0.5 0 0 0 0 0 0 0 0 0 0\n"
              "Total number of signals:\t2\n"
              "History events counters:\t 0 3 0 0 0 0 0 0 0 0 0\n"
              "Average degree:\t2\n"
              "Nodes degrees:\t 2\n"
              "Input signals degrees:\t 0 1 1\n"
              "Output signals degrees:\t 0 1 1\n");

    // Without nodes the average degree is 0/0, written as the stream writes a NaN.
    out.str("");
    QRNIndividual().print(out);
    EXPECT_TRUE(std::isnan(valueAfter(out.str(), "Average degree:\t")));
    EXPECT_NE(out.str().find("Nodes degrees:\t\nInput signals degrees:\t 0\nOutput signals degrees:\t 0\n"),
              std::string::npos);
}

TEST(QRNPopulationTest, CreationCloningAndNewIndividuals) {
    QEAParameters params;
    params.populationSize = 3;
    params.inputsNumber = 2;
    params.outputsNumber = 2;
    QRNPopulation population;
    population.setParameters(&params);
    ASSERT_EQ(population.size(), 3);
    const auto& first = static_cast<const QRNIndividual&>(*population.getIndividual(0));
    EXPECT_EQ(first.getGenesNumber(), 2);
    EXPECT_EQ(first.inputsNumber, 2);

    static_cast<QRNIndividual&>(*population.getIndividual(1)).node(0).addInput({1, 0.0}, 1.0);
    std::unique_ptr<QPopulation> copy = population.clone();
    EXPECT_EQ(copy->_params, nullptr);
    EXPECT_TRUE(copy->getIndividual(1)->equalsTo(*population.getIndividual(1)));
    EXPECT_FALSE(copy->getIndividual(0)->equalsTo(*population.getIndividual(1)));

    params.outputsNumber = 4;
    EXPECT_EQ(population.addNewIndividual(), 4);
    EXPECT_EQ(population.getIndividual(3)->getGenesNumber(), 4);

    // A network let go is not renewed in place (initialize keeps its mutation parameters): a new
    // network is made, with the parameters of a new one.
    auto& changed = static_cast<QRNIndividual&>(*population.getIndividual(3));
    changed.mutationParameters.assign(kMutationKinds, 0.5);
    population.deleteIndividual(3);
    population.addNewIndividual();
    const auto& renewed = static_cast<const QRNIndividual&>(*population.getIndividual(3));
    EXPECT_EQ(renewed.mutationParameters, std::vector<double>(kMutationKinds, 0.0));
    // Copies do reuse it, and equal their original.
    population.appendIndividual(*population.getIndividual(1));
    EXPECT_TRUE(population.getIndividual(4)->equalsTo(*population.getIndividual(1)));
}

TEST(QRNPopulationTest, PrintAddsGeneStatisticsAndDegreeDistribution) {
    QRNPopulation population;
    population.individuals.push_back(printedNetwork().clone());
    QRNIndividual looped = chain();
    looped.genes.push_back(node({3}, {3}));
    population.individuals.push_back(looped.clone());

    std::ostringstream out;
    EXPECT_EQ(population.print(out), 1);
    std::ostringstream expectedHead;
    expectedHead << "\nPrinting population (2 individuals):\n-------------------------\nIndividual 1:\t";
    printedNetwork().print(expectedHead);
    expectedHead << "\nIndividual 2:\t";
    looped.print(expectedHead);
    expectedHead << "\n";
    EXPECT_EQ(out.str(), expectedHead.str() +
                             "\n-------------------------------------------\nPopulation specific information:\n"
                             "Average number of genes:\t2\n"
                             "Deviation of the number of genes:\t2\n"
                             "Distribution of nodes degrees over the whole population:\t 0 0 1 2 1\n");

    // One individual: the unbiased variance divides by zero.
    population.deleteIndividual(1);
    out.str("");
    population.print(out);
    EXPECT_EQ(valueAfter(out.str(), "Average number of genes:\t"), 1.0);
    EXPECT_TRUE(std::isnan(valueAfter(out.str(), "Deviation of the number of genes:\t")));
}

}  // namespace
}  // namespace Valdrin
