// The self-adaptive regulatory-network mutation: eleven kinds of change chosen by each
// individual's own mutation parameters, which are then re-drawn from its history counters.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "core/failure.h"
#include "core/random.h"
#include "operators/mutations.h"
#include "representation/network.h"

namespace Valdrin {

namespace {

// A rewiring gives up (or, for inputs, reports and ends the run) after this many draws that
// all gave the signal being moved away from.
constexpr int kRewireDrawLimit = 100;

enum ChangeKind {
    kPerturbInputWeight = 0,
    kPerturbOutputOffset,
    kPerturbBias,
    kChangeType,
    kRewireInput,
    kRewireOutput,
    kToggleEnabled,
    kAddOrRemoveInput,
    kAddOrRemoveOutput,
    kSplitNode,
    kAddOrRemoveNode
};

// trunc(u*4 + 1), kept within 1..4 when the draw is exactly 1 (or just above it).
int drawNodeType(Random& random) { return std::min(static_cast<int>(random.uniform() * 4 + 1), 4); }

bool inRange(const std::vector<int>& v, int index) {
    return static_cast<std::size_t>(index) < v.size();
}

int valueAt(const std::vector<int>& v, int index) {
    return inRange(v, index) ? v[static_cast<std::size_t>(index)] : 0;
}

void extendTo(std::vector<int>& v, std::size_t length) {
    if (v.size() < length) v.resize(length, 0);
}

// Low weights become high ones: w[i] = max(w) - w[i].
void invert(std::vector<int>& w) {
    if (w.empty()) return;
    const int top = *std::max_element(w.begin(), w.end());
    for (int& x : w) x = top - x;
}

// A weighted index used to reach into w; the generator's past-the-end answer (only possible
// through the tiny excess of a draw above 1) is kept on the last entry.
int chooseWithin(Random& random, const std::vector<int>& w) {
    const int last = static_cast<int>(w.size()) - 1;
    return std::min(random.rouletteIndex(w), last);
}

// Kind 4's draw limit: one further draw, the signal weights on standard output, end of run.
[[noreturn]] void reportStuckRewiring(Random& random, const std::vector<int>& weights) {
    static_cast<void>(random.rouletteIndex(weights));
    std::string text;
    for (int w : weights) text += ' ' + std::to_string(w);
    failOnOutput(text + '\n');
}

// The state shared by the change kinds of one call: the network, the operator's buffers and
// the signal numbering.
class ChangeContext {
public:
    Random& random;
    QRNIndividual& net;
    std::vector<int>& consumers;
    std::vector<int>& producers;
    std::vector<int>& degrees;
    std::vector<int>& weights;
    std::vector<unsigned char>& linked;
    int nIn;
    int nOut;

    bool isExternalInput(int s) const { return s >= 1 && s <= nIn; }
    bool isExternalOutput(int s) const { return s > nIn && s <= nIn + nOut; }

    void measureSignals() {
        consumers.clear();
        producers.clear();
        net.getSignalDegrees(consumers, producers);
    }

    // The individual's node degrees, derived from the signal degrees just measured.
    void measureNodes() { net.getNodeDegrees(consumers, producers, degrees); }

    // Measures the network, then picks a node by degree (low degrees favoured when inverted).
    QRNGene& chooseNode(bool inverted) {
        measureSignals();
        measureNodes();
        if (inverted) invert(degrees);
        return net.node(chooseWithin(random, degrees));
    }

    // Kinds 0 and 1: one link's weight (or offset) moves by U(-0.1, 0.1); links on busy
    // signals are favoured unless r <= 0.
    int perturbLink(bool onOutputs, double r) {
        QRNGene& node = chooseNode(false);
        const std::vector<SignalLink>& links = onOutputs ? node.outputs : node.inputs;
        if (links.empty()) return 0;
        const std::vector<int>& signalDegree = onOutputs ? producers : consumers;
        weights.clear();
        for (const SignalLink& link : links) weights.push_back(valueAt(signalDegree, link.ID));
        if (r <= 0) invert(weights);
        const auto e = static_cast<std::size_t>(chooseWithin(random, weights));
        (onOutputs ? node.outputOffsets : node.inputWeights)[e] += random.smallUniform();
        return 1;
    }

    // Kinds 4 and 5: every link of the node on one signal moves to another signal. Inputs are
    // weighted by their producers and may not move onto an external output; outputs by their
    // consumers and may not move onto an external input.
    int rewire(bool onOutputs, double r) {
        QRNGene& node = chooseNode(false);
        if ((onOutputs ? node.outputs : node.inputs).empty()) return 0;
        std::vector<int>& w = onOutputs ? consumers : producers;
        extendTo(w, (onOutputs ? producers : consumers).size());
        if (w.size() < 2) return 0;
        if (r <= 0) invert(w);

        int old = 0;
        do {
            old = random.rouletteIndex(w);
        } while (!(onOutputs ? node.hasOutput(old) : node.hasInput(old)));
        w[static_cast<std::size_t>(old)] = -1;
        const int first = onOutputs ? 1 : nIn + 1;
        const int last = onOutputs ? nIn : nIn + nOut;
        for (int s = first; s <= last && inRange(w, s); ++s) w[static_cast<std::size_t>(s)] = -1;

        int fresh = 0;
        int stuckDraws = 0;
        while ((fresh = random.rouletteIndex(w)) == old) {
            if (++stuckDraws < kRewireDrawLimit) continue;
            if (!onOutputs) reportStuckRewiring(random, w);
            // No other signal can be drawn: the output stays where it is.
            return 0;
        }
        if (onOutputs) {
            node.renameOutputs(old, fresh);
        } else {
            node.renameInputs(old, fresh);
        }
        return 1;
    }

    // Kinds 7 and 8 with r > 0: a new link on a signal drawn with weight (degree + 1), never
    // an external output for an input nor an external input for an output.
    int addLink(bool onOutputs) {
        QRNGene& node = chooseNode(false);
        std::vector<int>& signalDegree = onOutputs ? consumers : producers;
        extendTo(signalDegree, (onOutputs ? producers : consumers).size());
        weights.resize(signalDegree.size());
        int sum = 0;
        for (std::size_t s = 0; s < signalDegree.size(); ++s) {
            const int id = static_cast<int>(s);
            const bool excluded = onOutputs ? isExternalInput(id) : isExternalOutput(id);
            weights[s] = excluded ? 0 : signalDegree[s] + 1;
            sum += weights[s];
        }
        int f = static_cast<int>(random.uniform() * sum + 0.5);
        for (std::size_t s = 0; s < weights.size(); ++s) {
            f -= weights[s];
            if (f > 0) continue;
            const SignalLink link{static_cast<int>(s), 0.0};
            if (onOutputs) {
                node.addOutput(link, 1.0);
            } else {
                node.addInput(link, random.smallUniform());
            }
            return 1;
        }
        return 0;
    }

    // Kinds 7 and 8 with r <= 0: every link on one of the node's signals goes; signals with
    // few consumers (inputs) or producers (outputs) go more often.
    int removeLink(bool onOutputs) {
        QRNGene& node = chooseNode(false);
        const std::vector<SignalLink>& links = onOutputs ? node.outputs : node.inputs;
        if (links.size() < 2) return 0;
        const int top = *std::max_element(producers.begin(), producers.end());
        const std::vector<int>& signalDegree = onOutputs ? producers : consumers;
        linked.assign(signalDegree.size(), 0);
        for (const SignalLink& link : links) {
            if (inRange(signalDegree, link.ID)) linked[static_cast<std::size_t>(link.ID)] = 1;
        }
        int sum = 0;
        for (std::size_t s = 1; s < linked.size(); ++s) {
            if (linked[s]) sum += top - signalDegree[s] + 1;
        }
        int e = static_cast<int>(random.uniform() * sum + 0.5);
        for (std::size_t s = 0; s < linked.size(); ++s) {
            if (!linked[s]) continue;
            if (s > 0) e -= top - signalDegree[s] + 1;
            if (e >= 1) continue;
            if (onOutputs) {
                node.removeOutputs(static_cast<int>(s));
            } else {
                node.removeInputs(static_cast<int>(s));
            }
            return 1;
        }
        return 0;
    }

    // Kind 9: the node now writes only a fresh internal signal, read by a copy of it that
    // writes what the node used to write.
    int splitNode(double r) {
        QRNGene& node = chooseNode(r <= 0);
        QRNGene copy = node;
        int z = std::max(net.getMaxInputID(), net.getMaxOutputID()) + 1;
        if (z <= nIn + nOut) z = nIn + nOut + 1;
        node.setOutputsNumber(1);
        node.setOutput(0, SignalLink{z, 0.0});
        node.outputOffsets[0] = 1.0;
        copy.inputs.assign(1, SignalLink{z, 0.0});
        copy.inputWeights.assign(1, random.smallUniform());
        net.genes.push_back(std::move(copy));  // invalidates node
        return 1;
    }

    // Kind 10 with r > 0: a node whose links favour busy signals.
    int addNode() {
        measureSignals();
        const std::size_t length = std::max(consumers.size(), producers.size());
        extendTo(consumers, length);
        extendTo(producers, length);
        int sumA = 0;
        int sumB = 0;
        for (std::size_t s = 0; s < length; ++s) {
            const int id = static_cast<int>(s);
            sumA += isExternalInput(id) ? 0 : consumers[s] + 1;
            sumB += isExternalOutput(id) ? 0 : producers[s] + 1;
        }
        QRNGene fresh;
        for (std::size_t s = 0; s < length; ++s) {
            const int id = static_cast<int>(s);
            const int a = isExternalInput(id) ? 0 : consumers[s] + 1;
            const int b = isExternalOutput(id) ? 0 : producers[s] + 1;
            if (static_cast<double>(a) / sumA > random.uniform()) fresh.outputs.push_back({id, 0.0});
            if (static_cast<double>(b) / sumB > random.uniform()) fresh.inputs.push_back({id, 0.0});
        }
        if (fresh.inputs.empty()) {
            int s = static_cast<int>(random.uniform() * static_cast<double>(length) + 0.5);
            if (isExternalOutput(s)) s = 0;
            fresh.inputs.push_back({s, 0.0});
        }
        if (fresh.outputs.empty()) {
            int s = static_cast<int>(random.uniform() * static_cast<double>(length) + 0.5);
            if (s <= nIn) s = 0;
            fresh.outputs.push_back({s, 0.0});
        }
        fresh.inputWeights.resize(fresh.inputs.size());
        for (double& w : fresh.inputWeights) w = random.smallUniform();
        fresh.outputOffsets.resize(fresh.outputs.size());
        for (double& offset : fresh.outputOffsets) offset = random.smallUniform();
        fresh.bias = random.smallUniform();
        fresh.typeID = drawNodeType(random);
        fresh.A = 10 * random.gaussian();
        fresh.enabled = true;
        net.genes.push_back(std::move(fresh));
        return 1;
    }

    // Kind 10 with r <= 0: low-degree nodes go more often; the last node always stays.
    int removeNode() {
        if (net.genes.size() <= 1) return 0;
        measureSignals();
        measureNodes();
        const int top = *std::max_element(degrees.begin(), degrees.end());
        int sum = 0;
        for (int d : degrees) sum += top - d + 1;
        double v = random.uniform() * static_cast<double>(sum);
        for (std::size_t k = 0; k < degrees.size(); ++k) {
            v -= top - degrees[k] + 1;
            if (v < 0) {
                net.genes.erase(net.genes.begin() + static_cast<std::ptrdiff_t>(k));
                return 1;
            }
        }
        // A draw of exactly 1 runs past the last node: nothing is removed.
        return 0;
    }
};

}  // namespace

int QRNMutationBasic::applyChange(QRNIndividual& network, int kind, double r) {
    if (kind < 0 || kind >= kMutationKinds) return 0;
    // Every kind but adding a node starts by choosing one.
    if (network.genes.empty() && !(kind == kAddOrRemoveNode && r > 0)) return 0;

    Random& random = this->random();
    ChangeContext cx{random,
                     network,
                     consumers_,
                     producers_,
                     degrees_,
                     weights_,
                     linked_,
                     _params ? _params->inputsNumber : network.inputsNumber,
                     _params ? _params->outputsNumber : network.outputsNumber};
    switch (kind) {
        case kPerturbInputWeight:
            return cx.perturbLink(false, r);
        case kPerturbOutputOffset:
            return cx.perturbLink(true, r);
        case kPerturbBias: {
            QRNGene& node = cx.chooseNode(r <= 0);  // drawn before the perturbation
            node.bias += random.gaussian() * std::fabs(r);
            return 1;
        }
        case kChangeType: {
            QRNGene& node = cx.chooseNode(r <= 0);
            int t = 0;
            do {
                t = drawNodeType(random);
            } while (t == node.typeID);
            node.typeID = t;
            return 1;
        }
        case kRewireInput:
            return cx.rewire(false, r);
        case kRewireOutput:
            return cx.rewire(true, r);
        case kToggleEnabled: {
            QRNGene& node = cx.chooseNode(r <= 0);
            node.enabled = !node.enabled;
            return 1;
        }
        case kAddOrRemoveInput:
            return r > 0 ? cx.addLink(false) : cx.removeLink(false);
        case kAddOrRemoveOutput:
            return r > 0 ? cx.addLink(true) : cx.removeLink(true);
        case kSplitNode:
            return cx.splitNode(r);
        default:
            return r > 0 ? cx.addNode() : cx.removeNode();
    }
}

int QRNMutationBasic::mutate(QIndividual& individual) {
    if (_params == nullptr || individual.getEncoding() != Encoding::Network) {
        return 0;
    }
    auto& net = static_cast<QRNIndividual&>(individual);
    std::vector<double>& r = net.mutationParameters;
    std::vector<int>& c = net.historyCounters;
    if (r.size() < kMutationKinds) r.resize(kMutationKinds, 0.0);
    if (c.size() < kMutationKinds) c.resize(kMutationKinds, 0);

    const int n = net.getGenesNumber();
    double total = 0.0;
    for (int k = 0; k < kMutationKinds; ++k) total += std::fabs(r[k]);
    const double p = (total / kMutationKinds) * _params->mRate;

    for (int i = 0; i < n; ++i) {
        if (!(p > random().uniform())) continue;
        const double h = random().uniform() * total;
        int kind = 0;
        double partial = 0.0;
        for (int k = 0; k < kMutationKinds; ++k) {
            partial += std::fabs(r[k]);
            if (h - partial <= 0) {
                kind = k;
                break;
            }
        }
        // The roulette total shrinks after every event; the event probability does not.
        total = total - random().uniform() * total;
        applyChange(net, kind, r[kind]);
        ++c[kind];
    }

    int events = 0;
    for (int k = 0; k < kMutationKinds; ++k) events += c[k];
    for (int k = 0; k < kMutationKinds; ++k) {
        double base = 1.0 / kMutationKinds;
        if (events > 0) base += static_cast<double>(c[k]) / events;
        r[k] = random().gaussian() * base;
    }
    return 1;
}

std::unique_ptr<QMutationOperator> QRNMutationBasic::clone() const {
    return std::make_unique<QRNMutationBasic>(*this);
}

}  // namespace Valdrin
