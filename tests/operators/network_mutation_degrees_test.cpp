// The regulatory-network mutation keeps the network's degrees up to date across the changes of
// one call instead of measuring the whole network before each: its outcome must be the one that
// applying the same changes one at a time, each after a full measure, gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "operators/mutations.h"
#include "representation/network.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

// Change kinds 4 and 5 rewire inputs and outputs; 7 and 8 remove them for a negative parameter.
constexpr int kRewireInput = 4;
constexpr int kRewireOutput = 5;
constexpr int kRemoveInput = 7;
constexpr int kRemoveOutput = 8;

// A network of 4 to 30 nodes on signals 0 .. inputs + outputs + 40, with unconnected links,
// links repeated within a node and signals that nodes both read and write.
QRNIndividual randomNetwork(std::mt19937& draw, int inputs, int outputs) {
    QRNIndividual net;
    net.inputsNumber = inputs;
    net.outputsNumber = outputs;
    const int nodes = std::uniform_int_distribution<int>(4, 30)(draw);
    std::uniform_int_distribution<int> signal(0, inputs + outputs + 2 * nodes);
    for (int k = 0; k < nodes; ++k) {
        QRNGene node;
        const int reads = std::uniform_int_distribution<int>(0, 4)(draw);
        const int writes = std::uniform_int_distribution<int>(1, 3)(draw);
        for (int i = 0; i < reads; ++i) node.addInput({signal(draw), 0.0}, 0.5);
        for (int j = 0; j < writes; ++j) node.addOutput({signal(draw), 0.0}, 0.25);
        node.typeID = 1 + k % 4;
        net.genes.push_back(node);
    }
    net.mutationParameters.clear();
    for (int k = 0; k < kMutationKinds; ++k) net.mutationParameters.push_back((k % 2 ? -0.6 : 0.7) + 0.01 * k);
    return net;
}

// The event loop of the mutation, each change made by applyChange, which measures the whole
// network first.
void mutateChangeByChange(QRNMutationBasic& mutation, QRNIndividual& net, double rate) {
    std::vector<double>& r = net.mutationParameters;
    double total = 0.0;
    for (double x : r) total += std::fabs(x);
    const double p = total / kMutationKinds * rate;
    const int n = net.getGenesNumber();
    for (int i = 0; i < n; ++i) {
        if (!(p > uniform())) continue;
        const double h = uniform() * total;
        int kind = 0;
        double partial = 0.0;
        for (int k = 0; k < kMutationKinds; ++k) {
            partial += std::fabs(r[k]);
            if (h - partial <= 0) {
                kind = k;
                break;
            }
        }
        total -= uniform() * total;
        mutation.applyChange(net, kind, r[kind]);
        ++net.historyCounters[kind];
    }
    int events = 0;
    for (int c : net.historyCounters) events += c;
    for (int k = 0; k < kMutationKinds; ++k) {
        const double base = 1.0 / kMutationKinds + (events > 0 ? static_cast<double>(net.historyCounters[k]) / events : 0.0);
        r[k] = gaussian() * base;
    }
}

::testing::AssertionResult sameNetwork(const QRNIndividual& a, const QRNIndividual& b) {
    if (a.genes.size() != b.genes.size()) {
        return ::testing::AssertionFailure() << a.genes.size() << " nodes instead of " << b.genes.size();
    }
    for (std::size_t k = 0; k < a.genes.size(); ++k) {
        const QRNGene& x = a.genes[k];
        const QRNGene& y = b.genes[k];
        if (!(x.equalsTo(y) && x.typeID == y.typeID && x.bias == y.bias && x.A == y.A && x.enabled == y.enabled)) {
            return ::testing::AssertionFailure() << "node " << k << " differs";
        }
    }
    if (a.mutationParameters != b.mutationParameters) return ::testing::AssertionFailure() << "other parameters";
    if (a.historyCounters != b.historyCounters) return ::testing::AssertionFailure() << "other counters";
    return ::testing::AssertionSuccess();
}

TEST(NetworkMutationDegrees, ManyChangesInOneCallGiveWhatFullMeasuresGive) {
    QEAParameters params;
    params.mRate = 8.0;  // with these parameters, every node starts a change
    QRNMutationBasic mutation = testing::boundOperator<QRNMutationBasic>();
    std::vector<int> events(kMutationKinds, 0);
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 draw(seed);
        params.inputsNumber = 1 + static_cast<int>(seed % 3);
        params.outputsNumber = 1 + static_cast<int>(seed % 2);
        mutation.setParameters(params);
        QRNIndividual kept = randomNetwork(draw, params.inputsNumber, params.outputsNumber);
        QRNIndividual measured = kept;
        testing::seedForTest(seed);
        for (int round = 0; round < 30; ++round) {
            // Large parameters again, so that every round makes many changes of every kind. The
            // total the kinds are drawn from shrinks after every change, which favours the first
            // kinds: every other round leaves mostly rewirings and link removals, which empty
            // signals (and shorten the signal counts when the last one goes), while rewirings
            // draw from as many signals as are counted.
            for (int k = 0; k < kMutationKinds; ++k) {
                const double size = std::uniform_real_distribution<double>(0.3, 1.0)(draw);
                kept.mutationParameters[k] = (draw() % 2 ? size : -size);
                if (round % 2 == 1 && k != kRewireInput && k != kRewireOutput) kept.mutationParameters[k] *= 0.05;
            }
            if (round % 2 == 1) {
                kept.mutationParameters[kRemoveInput] = -1.0;
                kept.mutationParameters[kRemoveOutput] = -1.0;
            }
            measured.mutationParameters = kept.mutationParameters;
            const std::vector<int> before = kept.historyCounters;
            const std::uint64_t word = testing::testEngine().random.word();
            mutation.mutate(kept);
            testing::testEngine().random.restore(word, true);
            mutateChangeByChange(mutation, measured, params.mRate);
            if (!sameNetwork(kept, measured)) {
                ADD_FAILURE() << "seed " << seed << ", round " << round;
                break;
            }
            for (int k = 0; k < kMutationKinds; ++k) events[k] += kept.historyCounters[k] - before[k];
        }
    }
    // Every kind of change took part, many times.
    for (int k = 0; k < kMutationKinds; ++k) EXPECT_GT(events[k], 100) << "kind " << k;
}

}  // namespace
}  // namespace Valdrin
