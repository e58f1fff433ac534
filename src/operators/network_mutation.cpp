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

int linksOn(const std::vector<SignalLink>& links, int s) {
    int count = 0;
    for (const SignalLink& link : links) count += link.ID == s ? 1 : 0;
    return count;
}


// The signal degrees and node degrees of a network, exactly as getSignalDegrees and
// getNodeDegrees give them (lengths included), kept up to date through the changes of one
// mutation call: a change of links touches only its signals' counts and the degrees of the
// nodes linked to those signals. The network is measured whole on first use and after a node
// is removed (the nodes after it move up by one).
class DegreeBook {
public:
    DegreeBook(std::vector<int>& consumers, std::vector<int>& producers, std::vector<int>& degrees,
               SignalUsers& users)
        : consumers_(consumers), producers_(producers), degrees_(degrees), users_(users) {}

    const std::vector<int>& consumers() const { return consumers_; }
    const std::vector<int>& producers() const { return producers_; }
    const std::vector<int>& degrees() const { return degrees_; }

    // Measures the network unless its degrees are known.
    void update(const QRNIndividual& net) {
        if (!known_) measure(net);
    }
    void forget() { known_ = false; }

    // The largest signal ID of any link, as max(getMaxInputID(), getMaxOutputID()) gives it.
    int largestLinkedSignal(const QRNIndividual& net) const {
        const auto last = static_cast<int>(std::max(consumers_.size(), producers_.size())) - 1;
        // Past the signals the environment reads or writes, the last counted signal is a link's.
        if (last > std::max({0, net.inputsNumber, net.inputsNumber + net.outputsNumber})) return last;
        return std::max(net.getMaxInputID(), net.getMaxOutputID());
    }

    // One link of node k on signal s more or less. Signal 0 (not connected) and negative IDs
    // count nowhere.
    void addInput(int k, int s) { add(k, s, consumers_, producers_, users_.readers, users_.writers); }
    void removeInput(int k, int s) { remove(k, s, consumers_, producers_, users_.readers, users_.writers); }
    void addOutput(int k, int s) { add(k, s, producers_, consumers_, users_.writers, users_.readers); }
    void removeOutput(int k, int s) { remove(k, s, producers_, consumers_, users_.writers, users_.readers); }

    // The node just appended to the network.
    void appendNode(const QRNGene& node) {
        const auto k = static_cast<int>(degrees_.size());
        degrees_.push_back(0);
        for (const SignalLink& link : node.inputs) addInput(k, link.ID);
        for (const SignalLink& link : node.outputs) addOutput(k, link.ID);
    }

private:
    using Lists = std::vector<std::vector<int>>;

    void measure(const QRNIndividual& net) {
        consumers_.clear();
        producers_.clear();
        net.getSignalDegrees(consumers_, producers_);
        net.getNodeDegrees(consumers_, producers_, degrees_);
        for (std::size_t s = 0; s < users_.used; ++s) {
            users_.readers[s].clear();
            users_.writers[s].clear();
        }
        users_.used = 0;
        reach(std::max(consumers_.size(), producers_.size()));
        for (std::size_t k = 0; k < net.genes.size(); ++k) {
            const QRNGene& node = net.genes[k];
            for (const SignalLink& link : node.inputs) {
                if (link.ID > 0) users_.readers[static_cast<std::size_t>(link.ID)].push_back(static_cast<int>(k));
            }
            for (const SignalLink& link : node.outputs) {
                if (link.ID > 0) users_.writers[static_cast<std::size_t>(link.ID)].push_back(static_cast<int>(k));
            }
        }
        known_ = true;
    }

    // Makes the lists of signals 0 .. length - 1 available.
    void reach(std::size_t length) {
        if (users_.readers.size() < length) {
            users_.readers.resize(length);
            users_.writers.resize(length);
        }
        users_.used = std::max(users_.used, length);
    }

    // A link of node k on s: one more count of s on its own side; each link of the other side
    // on s adds one to its node's degree, and node k gains the other side's count of s.
    void add(int k, int s, std::vector<int>& count, const std::vector<int>& otherCount, Lists& own,
             const Lists& other) {
        if (s <= 0) return;
        const auto i = static_cast<std::size_t>(s);
        extendTo(count, i + 1);
        ++count[i];
        reach(i + 1);
        for (int user : other[i]) ++degrees_[static_cast<std::size_t>(user)];
        degrees_[static_cast<std::size_t>(k)] += valueAt(otherCount, s);
        own[i].push_back(k);
    }

    void remove(int k, int s, std::vector<int>& count, const std::vector<int>& otherCount, Lists& own,
                const Lists& other) {
        if (s <= 0) return;
        const auto i = static_cast<std::size_t>(s);
        --count[i];
        for (int user : other[i]) --degrees_[static_cast<std::size_t>(user)];
        degrees_[static_cast<std::size_t>(k)] -= valueAt(otherCount, s);
        std::vector<int>& users = own[i];
        *std::find(users.begin(), users.end(), k) = users.back();
        users.pop_back();
        // The counts end at the last signal still counted, as a fresh measure would.
        while (count.size() > 1 && count.back() == 0) count.pop_back();
    }

    std::vector<int>& consumers_;
    std::vector<int>& producers_;
    std::vector<int>& degrees_;
    SignalUsers& users_;
    bool known_ = false;
};

// The state shared by the changes of one call: the network, its degrees, the operator's
// buffers and the signal numbering.
class ChangeContext {
public:
    Random& random;
    QRNIndividual& net;
    DegreeBook& book;
    std::vector<int>& weights;
    std::vector<unsigned char>& linked;
    int nIn;
    int nOut;

    bool isExternalInput(int s) const { return s >= 1 && s <= nIn; }
    bool isExternalOutput(int s) const { return s > nIn && s <= nIn + nOut; }

    const std::vector<int>& consumers() {
        book.update(net);
        return book.consumers();
    }
    const std::vector<int>& producers() {
        book.update(net);
        return book.producers();
    }

    // Picks a node by degree (low degrees favoured when inverted); returns its index.
    int chooseNode(bool inverted) {
        book.update(net);
        if (!inverted) return chooseWithin(random, book.degrees());
        weights.assign(book.degrees().begin(), book.degrees().end());
        invert(weights);
        return chooseWithin(random, weights);
    }

    // Kinds 0 and 1: one link's weight (or offset) moves by U(-0.1, 0.1); links on busy
    // signals are favoured unless r <= 0.
    int perturbLink(bool onOutputs, double r) {
        QRNGene& node = net.node(chooseNode(false));
        const std::vector<SignalLink>& links = onOutputs ? node.outputs : node.inputs;
        if (links.empty()) return 0;
        const std::vector<int>& signalDegree = onOutputs ? producers() : consumers();
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
        const int k = chooseNode(false);
        QRNGene& node = net.node(k);
        if ((onOutputs ? node.outputs : node.inputs).empty()) return 0;
        const std::vector<int>& base = onOutputs ? consumers() : producers();
        std::vector<int>& w = weights;
        w.assign(base.begin(), base.end());
        extendTo(w, (onOutputs ? producers() : consumers()).size());
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
        const int moved = linksOn(onOutputs ? node.outputs : node.inputs, old);
        if (onOutputs) {
            node.renameOutputs(old, fresh);
        } else {
            node.renameInputs(old, fresh);
        }
        for (int m = 0; m < moved; ++m) {
            if (onOutputs) {
                book.removeOutput(k, old);
                book.addOutput(k, fresh);
            } else {
                book.removeInput(k, old);
                book.addInput(k, fresh);
            }
        }
        return 1;
    }

    // Kinds 7 and 8 with r > 0: a new link on a signal drawn with weight (degree + 1), never
    // an external output for an input nor an external input for an output.
    int addLink(bool onOutputs) {
        const int k = chooseNode(false);
        QRNGene& node = net.node(k);
        const std::vector<int>& signalDegree = onOutputs ? consumers() : producers();
        weights.resize(std::max(signalDegree.size(), (onOutputs ? producers() : consumers()).size()));
        int sum = 0;
        for (std::size_t s = 0; s < weights.size(); ++s) {
            const int id = static_cast<int>(s);
            const bool excluded = onOutputs ? isExternalInput(id) : isExternalOutput(id);
            weights[s] = excluded ? 0 : valueAt(signalDegree, id) + 1;
            sum += weights[s];
        }
        int f = static_cast<int>(random.uniform() * sum + 0.5);
        for (std::size_t s = 0; s < weights.size(); ++s) {
            f -= weights[s];
            if (f > 0) continue;
            const SignalLink link{static_cast<int>(s), 0.0};
            if (onOutputs) {
                node.addOutput(link, 1.0);
                book.addOutput(k, link.ID);
            } else {
                node.addInput(link, random.smallUniform());
                book.addInput(k, link.ID);
            }
            return 1;
        }
        return 0;
    }

    // Kinds 7 and 8 with r <= 0: every link on one of the node's signals goes; signals with
    // few consumers (inputs) or producers (outputs) go more often.
    int removeLink(bool onOutputs) {
        const int k = chooseNode(false);
        QRNGene& node = net.node(k);
        const std::vector<SignalLink>& links = onOutputs ? node.outputs : node.inputs;
        if (links.size() < 2) return 0;
        const int top = *std::max_element(producers().begin(), producers().end());
        const std::vector<int>& signalDegree = onOutputs ? producers() : consumers();
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
            const auto id = static_cast<int>(s);
            const int removed = linksOn(links, id);
            if (onOutputs) {
                node.removeOutputs(id);
            } else {
                node.removeInputs(id);
            }
            for (int m = 0; m < removed; ++m) {
                if (onOutputs) {
                    book.removeOutput(k, id);
                } else {
                    book.removeInput(k, id);
                }
            }
            return 1;
        }
        return 0;
    }

    // Kind 9: the node now writes only a fresh internal signal, read by a copy of it that
    // writes what the node used to write.
    int splitNode(double r) {
        const int k = chooseNode(r <= 0);
        QRNGene& node = net.node(k);
        QRNGene copy = node;
        int z = book.largestLinkedSignal(net) + 1;
        if (z <= nIn + nOut) z = nIn + nOut + 1;
        for (const SignalLink& link : node.outputs) book.removeOutput(k, link.ID);
        node.setOutputsNumber(1);
        node.setOutput(0, SignalLink{z, 0.0});
        node.outputOffsets[0] = 1.0;
        book.addOutput(k, z);
        copy.inputs.assign(1, SignalLink{z, 0.0});
        copy.inputWeights.assign(1, random.smallUniform());
        net.genes.push_back(std::move(copy));  // invalidates node
        book.appendNode(net.genes.back());
        return 1;
    }

    // Kind 10 with r > 0: a node whose links favour busy signals.
    int addNode() {
        const std::vector<int>& consumersOf = consumers();
        const std::vector<int>& producersOf = producers();
        const std::size_t length = std::max(consumersOf.size(), producersOf.size());
        int sumA = 0;
        int sumB = 0;
        for (std::size_t s = 0; s < length; ++s) {
            const int id = static_cast<int>(s);
            sumA += isExternalInput(id) ? 0 : valueAt(consumersOf, id) + 1;
            sumB += isExternalOutput(id) ? 0 : valueAt(producersOf, id) + 1;
        }
        QRNGene fresh;
        for (std::size_t s = 0; s < length; ++s) {
            const int id = static_cast<int>(s);
            const int a = isExternalInput(id) ? 0 : valueAt(consumersOf, id) + 1;
            const int b = isExternalOutput(id) ? 0 : valueAt(producersOf, id) + 1;
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
        book.appendNode(net.genes.back());
        return 1;
    }

    // Kind 10 with r <= 0: low-degree nodes go more often; the last node always stays.
    int removeNode() {
        if (net.genes.size() <= 1) return 0;
        book.update(net);
        const std::vector<int>& degrees = book.degrees();
        const int top = *std::max_element(degrees.begin(), degrees.end());
        int sum = 0;
        for (int d : degrees) sum += top - d + 1;
        double v = random.uniform() * static_cast<double>(sum);
        for (std::size_t k = 0; k < degrees.size(); ++k) {
            v -= top - degrees[k] + 1;
            if (v < 0) {
                net.genes.erase(net.genes.begin() + static_cast<std::ptrdiff_t>(k));
                book.forget();
                return 1;
            }
        }
        // A draw of exactly 1 runs past the last node: nothing is removed.
        return 0;
    }

    // Change kind (0..10) with the signed parameter r.
    int apply(int kind, double r) {
        if (kind < 0 || kind >= kMutationKinds) return 0;
        // Every kind but adding a node starts by choosing one.
        if (net.genes.empty() && !(kind == kAddOrRemoveNode && r > 0)) return 0;
        switch (kind) {
            case kPerturbInputWeight:
                return perturbLink(false, r);
            case kPerturbOutputOffset:
                return perturbLink(true, r);
            case kPerturbBias: {
                QRNGene& node = net.node(chooseNode(r <= 0));  // drawn before the perturbation
                node.bias += random.gaussian() * std::fabs(r);
                return 1;
            }
            case kChangeType: {
                QRNGene& node = net.node(chooseNode(r <= 0));
                int t = 0;
                do {
                    t = drawNodeType(random);
                } while (t == node.typeID);
                node.typeID = t;
                return 1;
            }
            case kRewireInput:
                return rewire(false, r);
            case kRewireOutput:
                return rewire(true, r);
            case kToggleEnabled: {
                QRNGene& node = net.node(chooseNode(r <= 0));
                node.enabled = !node.enabled;
                return 1;
            }
            case kAddOrRemoveInput:
                return r > 0 ? addLink(false) : removeLink(false);
            case kAddOrRemoveOutput:
                return r > 0 ? addLink(true) : removeLink(true);
            case kSplitNode:
                return splitNode(r);
            default:
                return r > 0 ? addNode() : removeNode();
        }
    }
};

}  // namespace

int QRNMutationBasic::applyChange(QRNIndividual& network, int kind, double r) {
    DegreeBook book(consumers_, producers_, degrees_, signalUsers_);
    ChangeContext cx{random(),
                     network,
                     book,
                     weights_,
                     linked_,
                     _params ? _params->inputsNumber : network.inputsNumber,
                     _params ? _params->outputsNumber : network.outputsNumber};
    return cx.apply(kind, r);
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

    // The events of this call share one record of the network's degrees, measured at the first
    // event that needs it and kept up to date by every change after.
    DegreeBook book(consumers_, producers_, degrees_, signalUsers_);
    ChangeContext cx{random(), net, book, weights_, linked_, _params->inputsNumber, _params->outputsNumber};

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
        cx.apply(kind, r[kind]);
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
