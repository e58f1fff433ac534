// Tests of the self-adaptive regulatory-network mutation: the event loop, the parameter
// re-draw and the change kinds, replayed draw by draw on a small hand-built network.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "core/failure.h"
#include "core/random.h"
#include "operators/mutations.h"
#include "representation/network.h"
#include "representation/real.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using Links = std::vector<SignalLink>;

QRNGene makeNode(const Links& in, const std::vector<double>& weights, const Links& out,
                 const std::vector<double>& offsets, int type) {
    QRNGene node;
    node.inputs = in;
    node.inputWeights = weights;
    node.outputs = out;
    node.outputOffsets = offsets;
    node.typeID = type;
    return node;
}

bool sameNode(const QRNGene& a, const QRNGene& b) {
    return a.equalsTo(b) && a.typeID == b.typeID && a.bias == b.bias && a.A == b.A &&
           a.enabled == b.enabled;
}

bool hasSignal(const Links& links, int s) {
    return std::any_of(links.begin(), links.end(), [s](const SignalLink& l) { return l.ID == s; });
}

// One input (signal 1), one output (signal 2), internal signals 3 and 4:
//   node 0 reads 1, writes 3; node 1 reads 3, 1 and (unconnected) 0, writes 2 and 3;
//   node 2 reads 3 and 4, writes 4.
// Consumers by signal (0, 2, 1, 2, 1), producers (0, 1, 1, 2, 1), node degrees (3, 6, 4).
struct SmallNetwork : ::testing::Test {
    QEAParameters params;
    QRNIndividual net;
    QRNMutationBasic mutation = testing::boundOperator<QRNMutationBasic>();
    const std::vector<int> degrees{3, 6, 4};
    const std::vector<int> invertedDegrees{3, 0, 2};

    SmallNetwork() {
        params.inputsNumber = 1;
        params.outputsNumber = 1;
        net.inputsNumber = 1;
        net.outputsNumber = 1;
        net.genes.push_back(makeNode({{1, 0}}, {0.5}, {{3, 0}}, {0.0}, 1));
        net.genes.push_back(makeNode({{3, 0}, {1, 0}, {0, 0}}, {-0.5, 0.25, 0.7}, {{2, 0}, {3, 0}}, {0.1, 0.2}, 2));
        net.genes.push_back(makeNode({{3, 0}, {4, 0}}, {1.0, 0.3}, {{4, 0}}, {0.0}, 3));
        mutation.setParameters(params);
    }
};

TEST_F(SmallNetwork, ZeroParametersOnlyRedrawFromTheCounters) {
    net.historyCounters = {0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    const QRNIndividual before = net;
    params.mRate = 1.0;
    testing::seedForTest(7);
    EXPECT_EQ(mutation.mutate(net), 1);

    testing::seedForTest(7);
    for (int i = 0; i < 3; ++i) uniform();  // one event test per node, none succeeds
    for (int k = 0; k < kMutationKinds; ++k) {
        const double base = 1.0 / 11 + before.historyCounters[k] / 3.0;
        EXPECT_EQ(net.mutationParameters[k], gaussian() * base) << "parameter " << k;
    }
    EXPECT_EQ(net.historyCounters, before.historyCounters);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(sameNode(net.node(k), before.node(k)));

    // Without nodes there is no event test at all, whatever the parameters.
    QRNIndividual empty;
    empty.mutationParameters.assign(kMutationKinds, 1.0);
    testing::seedForTest(8);
    mutation.mutate(empty);
    testing::seedForTest(8);
    for (int k = 0; k < kMutationKinds; ++k) EXPECT_EQ(empty.mutationParameters[k], gaussian() * (1.0 / 11));
    EXPECT_TRUE(empty.genes.empty());
}

TEST_F(SmallNetwork, EventsPickKindsByRunningSumAndShrinkTheTotal) {
    const std::vector<double> r{0.3, -0.2, 0.1, -0.4, 0.2, 0.25, -0.1, 0.3, -0.3, 0.2, 0.15};
    params.mRate = 4.0;
    for (unsigned seed : {3u, 11u, 29u}) {
        QRNIndividual mutated = net;
        QRNIndividual replayed = net;
        mutated.mutationParameters = r;
        testing::seedForTest(seed);
        mutation.mutate(mutated);

        testing::seedForTest(seed);
        double total = 0;
        for (double x : r) total += std::abs(x);
        const double p = total / 11 * params.mRate;
        for (int i = 0; i < 3; ++i) {
            if (!(p > uniform())) continue;
            const double h = uniform() * total;
            int kind = 0;
            for (double partial = 0; kind < 11; ++kind) {
                partial += std::abs(r[kind]);
                if (h - partial <= 0) break;
            }
            if (kind == 11) kind = 0;
            total -= uniform() * total;
            mutation.applyChange(replayed, kind, r[kind]);
            ++replayed.historyCounters[kind];
        }
        EXPECT_EQ(mutated.historyCounters, replayed.historyCounters) << "seed " << seed;
        ASSERT_EQ(mutated.genes.size(), replayed.genes.size());
        for (std::size_t k = 0; k < mutated.genes.size(); ++k) {
            EXPECT_TRUE(sameNode(mutated.genes[k], replayed.genes[k])) << "seed " << seed;
        }
        int events = 0;
        for (int c : replayed.historyCounters) events += c;
        ASSERT_GT(events, 0);
        for (int k = 0; k < 11; ++k) {
            const double base = 1.0 / 11 + static_cast<double>(replayed.historyCounters[k]) / events;
            EXPECT_EQ(mutated.mutationParameters[k], gaussian() * base) << "seed " << seed;
        }
    }
}

TEST_F(SmallNetwork, LastNodeIsNeverRemovedButTheEventIsCounted) {
    net.genes.resize(1);
    params.mRate = 11.0;  // p = 1: an event for every node
    testing::seedForTest(5);
    for (int round = 1; round <= 20; ++round) {
        net.mutationParameters.assign(kMutationKinds, 0.0);
        net.mutationParameters[10] = -1.0;
        mutation.mutate(net);
        ASSERT_EQ(net.genes.size(), 1u);
        EXPECT_EQ(net.historyCounters[10], round);
    }
}

TEST_F(SmallNetwork, LinkChangesFollowTheirWeightedDraws) {
    const std::vector<std::vector<int>> reads{{1}, {0, 1, 3}, {3, 4}};
    const std::vector<std::vector<int>> inputConsumers{{2}, {2, 2, 0}, {2, 1}};
    const std::vector<std::vector<int>> inputConsumersInverted{{0}, {0, 0, 2}, {0, 1}};
    // Kind 7 removal: max producers (2) - consumers + 1 over the signals read, in signal order;
    // the unconnected signal 0 weighs nothing.
    const std::vector<std::vector<int>> removalWeights{{}, {0, 1, 1}, {1, 2}};

    for (unsigned seed = 1; seed <= 12; ++seed) {
        for (double r : {1.0, 0.0}) {
            // Kind 0: one input weight moves by U(-0.1, 0.1).
            QRNIndividual n0 = net;
            testing::seedForTest(seed);
            mutation.applyChange(n0, 0, r);
            testing::seedForTest(seed);
            int k = rouletteIndex(degrees);
            const int e = rouletteIndex(r > 0 ? inputConsumers[k] : inputConsumersInverted[k]);
            EXPECT_EQ(n0.node(k).inputWeights[e], net.node(k).inputWeights[e] + (uniform() * 0.2 - 0.1));

            // Kind 4: the inputs on one signal move to another, never onto the external output 2.
            QRNIndividual n4 = net;
            testing::seedForTest(seed);
            mutation.applyChange(n4, 4, r);
            testing::seedForTest(seed);
            k = rouletteIndex(degrees);
            std::vector<int> w = r > 0 ? std::vector<int>{0, 1, 1, 2, 1} : std::vector<int>{2, 1, 1, 0, 1};
            int old = 0;
            do old = rouletteIndex(w);
            while (std::find(reads[k].begin(), reads[k].end(), old) == reads[k].end());
            w[old] = -1;
            w[2] = -1;
            int fresh = 0;
            do fresh = rouletteIndex(w);
            while (fresh == old);
            Links expected = net.node(k).inputs;
            for (SignalLink& link : expected) {
                if (link.ID == old) link.ID = fresh;
            }
            EXPECT_NE(fresh, 2);
            EXPECT_TRUE(n4.node(k).equalsTo(makeNode(expected, net.node(k).inputWeights, net.node(k).outputs,
                                                     net.node(k).outputOffsets, 2)));
        }

        // Kind 7, r > 0: a new input, weighted by producers + 1, never on the external output.
        QRNIndividual added = net;
        testing::seedForTest(seed);
        mutation.applyChange(added, 7, 1.0);
        testing::seedForTest(seed);
        int k = rouletteIndex(degrees);
        int f = static_cast<int>(uniform() * 8 + 0.5);
        int s = 0;
        for (int weight : {1, 2, 0, 3, 2}) {
            if ((f -= weight) <= 0) break;
            ++s;
        }
        QRNGene grown = net.node(k);
        grown.addInput({s, 0.0}, uniform() * 0.2 - 0.1);
        EXPECT_TRUE(sameNode(added.node(k), grown)) << "seed " << seed;

        // Kind 7, r <= 0: node 0 has a single input and keeps it.
        QRNIndividual removed = net;
        testing::seedForTest(seed);
        mutation.applyChange(removed, 7, 0.0);
        testing::seedForTest(seed);
        k = rouletteIndex(degrees);
        QRNGene shrunk = net.node(k);
        if (k > 0) {
            const auto& weights = removalWeights[k];
            const int sum = std::accumulate(weights.begin(), weights.end(), 0);
            int left = static_cast<int>(uniform() * sum + 0.5);
            std::size_t i = 0;
            while ((left -= weights[i]) >= 1) ++i;
            shrunk.removeInputs(reads[k][i]);
        }
        EXPECT_TRUE(sameNode(removed.node(k), shrunk)) << "seed " << seed;
    }
}

TEST_F(SmallNetwork, NodeChangesFollowTheirWeightedDraws) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        for (double r : {0.5, 0.0}) {
            // Kind 2: the node is chosen before the bias perturbation is drawn.
            QRNIndividual biased = net;
            testing::seedForTest(seed);
            mutation.applyChange(biased, 2, r);
            testing::seedForTest(seed);
            const int chosen = rouletteIndex(r > 0 ? degrees : invertedDegrees);
            EXPECT_EQ(biased.node(chosen).bias, 0.0 + gaussian() * r);

            // Kind 9: the node writes a fresh signal 5, read by a copy that writes the old outputs.
            QRNIndividual split = net;
            testing::seedForTest(seed);
            mutation.applyChange(split, 9, r);
            testing::seedForTest(seed);
            const int k = rouletteIndex(r > 0 ? degrees : invertedDegrees);
            ASSERT_EQ(split.genes.size(), 4u);
            QRNGene head = net.node(k);
            head.outputs = {{5, 0.0}};
            head.outputOffsets = {1.0};
            QRNGene tail = net.node(k);
            tail.inputs = {{5, 0.0}};
            tail.inputWeights = {uniform() * 0.2 - 0.1};
            EXPECT_TRUE(sameNode(split.node(k), head));
            EXPECT_TRUE(sameNode(split.node(3), tail));
        }

        // Kind 10, r > 0: outputs weighted (1, 0, 2, 3, 2) / 8, inputs (1, 2, 0, 3, 2) / 8.
        QRNIndividual grown = net;
        testing::seedForTest(seed);
        mutation.applyChange(grown, 10, 1.0);
        testing::seedForTest(seed);
        const std::vector<int> a{1, 0, 2, 3, 2};
        const std::vector<int> b{1, 2, 0, 3, 2};
        QRNGene node;
        for (int s = 0; s < 5; ++s) {
            if (a[s] / 8.0 > uniform()) node.addOutput({s, 0.0}, 0.0);
            if (b[s] / 8.0 > uniform()) node.addInput({s, 0.0}, 0.0);
        }
        if (node.inputs.empty()) {
            const int s = static_cast<int>(uniform() * 5 + 0.5);
            node.addInput({s == 2 ? 0 : s, 0.0}, 0.0);
        }
        if (node.outputs.empty()) {
            const int s = static_cast<int>(uniform() * 5 + 0.5);
            node.addOutput({s <= 1 ? 0 : s, 0.0}, 0.0);
        }
        for (double& w : node.inputWeights) w = uniform() * 0.2 - 0.1;
        for (double& o : node.outputOffsets) o = uniform() * 0.2 - 0.1;
        node.bias = uniform() * 0.2 - 0.1;
        node.typeID = static_cast<int>(uniform() * 4 + 1);
        node.A = 10 * gaussian();
        ASSERT_EQ(grown.genes.size(), 4u);
        EXPECT_TRUE(sameNode(grown.node(3), node)) << "seed " << seed;
        EXPECT_FALSE(hasSignal(grown.node(3).inputs, 2));
        EXPECT_FALSE(hasSignal(grown.node(3).outputs, 1));

        // Kind 10, r <= 0: removal weights max degree - degree + 1 = (4, 1, 3).
        QRNIndividual pruned = net;
        testing::seedForTest(seed);
        mutation.applyChange(pruned, 10, -1.0);
        testing::seedForTest(seed);
        double v = uniform() * 8;
        int gone = 0;
        for (int w : {4, 1, 3}) {
            if ((v -= w) < 0) break;
            ++gone;
        }
        ASSERT_EQ(pruned.genes.size(), 2u);
        QRNIndividual expected = net;
        expected.genes.erase(expected.genes.begin() + gone);
        for (int k = 0; k < 2; ++k) EXPECT_TRUE(sameNode(pruned.node(k), expected.node(k)));
    }
}

TEST_F(SmallNetwork, OutputChangesMirrorTheInputSide) {
    const std::vector<std::vector<int>> writes{{3}, {2, 3}, {4}};
    const std::vector<std::vector<int>> outputProducers{{2}, {1, 2}, {1}};
    const std::vector<std::vector<int>> outputProducersInverted{{0}, {1, 0}, {0}};

    for (unsigned seed = 1; seed <= 12; ++seed) {
        for (double r : {1.0, 0.0}) {
            // Kind 1: one output offset moves; links weighted by their signal's producers.
            QRNIndividual n1 = net;
            testing::seedForTest(seed);
            mutation.applyChange(n1, 1, r);
            testing::seedForTest(seed);
            int k = rouletteIndex(degrees);
            const int e = rouletteIndex(r > 0 ? outputProducers[k] : outputProducersInverted[k]);
            QRNGene nudged = net.node(k);
            nudged.outputOffsets[e] += uniform() * 0.2 - 0.1;
            EXPECT_TRUE(sameNode(n1.node(k), nudged)) << "seed " << seed;

            // Kind 5: outputs on one signal move, weighted by consumers, never onto the input 1.
            QRNIndividual n5 = net;
            testing::seedForTest(seed);
            mutation.applyChange(n5, 5, r);
            testing::seedForTest(seed);
            k = rouletteIndex(degrees);
            std::vector<int> w = r > 0 ? std::vector<int>{0, 2, 1, 2, 1} : std::vector<int>{2, 0, 1, 0, 1};
            int old = 0;
            do old = rouletteIndex(w);
            while (std::find(writes[k].begin(), writes[k].end(), old) == writes[k].end());
            w[old] = -1;
            w[1] = -1;
            int fresh = 0;
            do fresh = rouletteIndex(w);
            while (fresh == old);
            QRNGene moved = net.node(k);
            moved.renameOutputs(old, fresh);
            EXPECT_NE(fresh, 1);
            EXPECT_TRUE(sameNode(n5.node(k), moved)) << "seed " << seed;
        }

        // Kind 8, r > 0: a new output (offset 1), weighted by consumers + 1, never on the input.
        QRNIndividual added = net;
        testing::seedForTest(seed);
        mutation.applyChange(added, 8, 1.0);
        testing::seedForTest(seed);
        int k = rouletteIndex(degrees);
        int f = static_cast<int>(uniform() * 8 + 0.5);
        int s = 0;
        for (int weight : {1, 0, 2, 3, 2}) {
            if ((f -= weight) <= 0) break;
            ++s;
        }
        QRNGene grown = net.node(k);
        grown.addOutput({s, 0.0}, 1.0);
        EXPECT_TRUE(sameNode(added.node(k), grown)) << "seed " << seed;

        // Kind 8, r <= 0: only node 1 has two outputs; weights max producers (2) - producers + 1
        // over signals 2 and 3: (2, 1).
        QRNIndividual removed = net;
        testing::seedForTest(seed);
        mutation.applyChange(removed, 8, -1.0);
        testing::seedForTest(seed);
        k = rouletteIndex(degrees);
        QRNGene shrunk = net.node(k);
        if (k == 1) {
            int left = static_cast<int>(uniform() * 3 + 0.5);
            shrunk.removeOutputs((left -= 2) < 1 ? 2 : 3);
        }
        EXPECT_TRUE(sameNode(removed.node(k), shrunk)) << "seed " << seed;
    }
}

TEST_F(SmallNetwork, TypeAndEnabledChangesFavourLowDegreesWhenRIsNotPositive) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        for (double r : {0.5, -0.5}) {
            QRNIndividual typed = net;
            testing::seedForTest(seed);
            mutation.applyChange(typed, 3, r);
            testing::seedForTest(seed);
            int k = rouletteIndex(r > 0 ? degrees : invertedDegrees);
            int t = 0;
            do t = static_cast<int>(uniform() * 4 + 1);
            while (t == net.node(k).typeID);
            EXPECT_EQ(typed.node(k).typeID, t) << "seed " << seed;

            QRNIndividual toggled = net;
            testing::seedForTest(seed);
            mutation.applyChange(toggled, 6, r);
            testing::seedForTest(seed);
            k = rouletteIndex(r > 0 ? degrees : invertedDegrees);
            for (int j = 0; j < 3; ++j) EXPECT_EQ(toggled.node(j).enabled, j != k) << "seed " << seed;
        }
    }
}

TEST(NetworkMutation, OnlyBoundMutationsTouchOnlyNetworks) {
    QEAParameters params;
    params.chromosomeLength = 2;
    params.mRate = 11.0;
    QRNMutationBasic mutation;
    testing::bound(mutation);
    QRNIndividual net;
    net.genes.push_back(makeNode({{1, 0}}, {0.5}, {{2, 0}}, {0.0}, 1));
    net.mutationParameters.assign(kMutationKinds, 1.0);
    const QRNIndividual before = net;
    QRCIndividual real;
    real.setParameters(&params);
    real.genes = {1.0, 2.0};
    testing::seedForTest(6);
    const auto state = testing::testEngine().random.word();

    EXPECT_EQ(mutation.mutate(net), 0);  // no record bound yet
    mutation.setParameters(params);
    EXPECT_EQ(mutation.mutate(real), 0);
    EXPECT_EQ(real.genes, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(net.mutationParameters, before.mutationParameters);
    EXPECT_TRUE(sameNode(net.node(0), before.node(0)));
    EXPECT_EQ(testing::testEngine().random.word(), state);
}

TEST(NetworkMutationSplit, TheNewSignalLiesAboveTheExternalOnes) {
    // Two inputs, two outputs; the only node reads 1 and writes 3, so the largest signal is 3
    // and the fresh signal is raised to 5.
    QEAParameters params;
    params.inputsNumber = 2;
    params.outputsNumber = 2;
    QRNIndividual net;
    net.inputsNumber = 2;
    net.outputsNumber = 2;
    net.genes.push_back(makeNode({{1, 0}}, {0.5}, {{3, 0}, {3, 0}}, {0.2, 0.3}, 4));
    net.node(0).bias = 0.25;
    net.node(0).A = 2.0;
    net.node(0).enabled = false;
    QRNMutationBasic mutation;
    testing::bound(mutation);
    mutation.setParameters(params);
    testing::seedForTest(4);
    EXPECT_EQ(mutation.applyChange(net, 9, 1.0), 1);
    ASSERT_EQ(net.genes.size(), 2u);
    EXPECT_EQ(net.node(0).outputs.size(), 1u);
    EXPECT_EQ(net.node(0).outputs[0].ID, 5);
    EXPECT_EQ(net.node(0).outputOffsets[0], 1.0);
    const QRNGene& copy = net.node(1);
    ASSERT_EQ(copy.inputs.size(), 1u);
    EXPECT_EQ(copy.inputs[0].ID, 5);
    EXPECT_EQ(copy.outputs.size(), 2u);
    EXPECT_EQ(copy.outputOffsets, (std::vector<double>{0.2, 0.3}));
    EXPECT_EQ(copy.typeID, 4);
    EXPECT_EQ(copy.bias, 0.25);
    EXPECT_EQ(copy.A, 2.0);
    EXPECT_FALSE(copy.enabled);
}

// Places the generator so that its m-th next uniform() returns exactly 1.
void makeDrawExactlyOne(int m) {
    std::uint64_t inverse = rng::multiplier;
    for (int i = 0; i < 6; ++i) inverse *= 2 - rng::multiplier * inverse;
    std::uint64_t state = std::uint64_t{0x7fffffff} << 22;
    for (int i = 0; i < m; ++i) state *= inverse;
    testing::testEngine().random.restore(state, true);
}

TEST_F(SmallNetwork, DrawsOfExactlyOneStayWithinRange) {
    makeDrawExactlyOne(1);
    ASSERT_EQ(uniform(), 1.0);

    // Kind 3: the node choice, then a type draw of 1; the type must change and stay in 1..4.
    for (int type = 1; type <= 4; ++type) {
        net.node(0).typeID = type;
        QRNIndividual one = net;
        one.genes.resize(1);
        makeDrawExactlyOne(2);
        mutation.applyChange(one, 3, 1.0);
        EXPECT_NE(one.node(0).typeID, type);
        EXPECT_GE(one.node(0).typeID, 1);
        EXPECT_LE(one.node(0).typeID, type == 4 ? 3 : 4);
        if (type != 4) {
            EXPECT_EQ(one.node(0).typeID, 4);
        }
    }

    // Kind 10 on an empty network: two link draws, weight, offset, bias, then the type.
    QRNIndividual empty;
    params.inputsNumber = 0;
    params.outputsNumber = 0;
    makeDrawExactlyOne(6);
    mutation.applyChange(empty, 10, 1.0);
    ASSERT_EQ(empty.genes.size(), 1u);
    EXPECT_EQ(empty.node(0).typeID, 4);

    // Kind 10 removal whose draw runs past the last node removes nothing.
    params.inputsNumber = 1;
    params.outputsNumber = 1;
    makeDrawExactlyOne(1);
    EXPECT_EQ(mutation.applyChange(net, 10, -1.0), 0);
    EXPECT_EQ(net.genes.size(), 3u);
}

TEST(NetworkMutationRewiring, OutputRewiringWithNoOtherSignalGivesUp) {
    // One input, no outputs; the node writes only through an unconnected link, so every signal
    // but the old one (0) is excluded.
    QEAParameters params;
    params.inputsNumber = 1;
    QRNIndividual net;
    net.inputsNumber = 1;
    net.genes.push_back(makeNode({{1, 0}}, {0.5}, {{0, 0}}, {0.0}, 2));
    const QRNIndividual before = net;
    QRNMutationBasic mutation;
    testing::bound(mutation);
    mutation.setParameters(params);

    testing::seedForTest(9);
    EXPECT_EQ(mutation.applyChange(net, 5, 1.0), 0);
    EXPECT_TRUE(sameNode(net.node(0), before.node(0)));
    const double next = uniform();

    testing::seedForTest(9);
    rouletteIndex(std::vector<int>{0});
    while (rouletteIndex(std::vector<int>{0, 1}) != 0) {
    }
    for (int i = 0; i < 100; ++i) uniform();
    EXPECT_EQ(uniform(), next) << "the rewiring should stop after 100 draws";
}

TEST(NetworkMutationRewiring, InputRewiringWithNoOtherSignalReportsAndEnds) {
    // No inputs, one output; the node reads only through an unconnected link.
    QEAParameters params;
    params.outputsNumber = 1;
    QRNIndividual net;
    net.outputsNumber = 1;
    net.genes.push_back(makeNode({{0, 0}}, {0.5}, {}, {}, 2));
    QRNMutationBasic mutation;
    testing::bound(mutation);
    mutation.setParameters(params);
    testing::seedForTest(9);
    EXPECT_FAILURE(mutation.applyChange(net, 4, 1.0), "^ -1 -1\n$");
    testing::seedForTest(9);
    try {
        mutation.applyChange(net, 4, 1.0);
        ADD_FAILURE() << "no failure the second time";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.stream(), MessageStream::Output) << "the report is meant for standard output";
    }
}

}  // namespace
}  // namespace Valdrin
