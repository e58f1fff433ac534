// Individuals and populations written to and read from a saved state.
#include "representation/state.h"

#include <string>

#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

void writeLinks(StateWriter& out, const std::vector<SignalLink>& links) {
    out.count(links.size());
    for (const SignalLink& link : links) {
        out.i32(link.ID);
        out.real(link.value);
    }
}

std::vector<SignalLink> readLinks(StateReader& in) {
    std::vector<SignalLink> links(in.count(12));
    for (SignalLink& link : links) {
        link.ID = in.i32();
        link.value = in.real();
    }
    return links;
}

void writeNode(StateWriter& out, const QRNGene& node) {
    out.i32(node.typeID);
    writeLinks(out, node.inputs);
    writeLinks(out, node.outputs);
    out.reals(node.inputWeights);
    out.reals(node.outputOffsets);
    out.real(node.bias);
    out.real(node.A);
    out.flag(node.enabled);
}

void readNode(StateReader& in, QRNGene& node) {
    node.typeID = in.i32();
    node.inputs = readLinks(in);
    node.outputs = readLinks(in);
    node.inputWeights = in.reals();
    node.outputOffsets = in.reals();
    node.bias = in.real();
    node.A = in.real();
    node.enabled = in.flag();
}

void writeNetwork(StateWriter& out, const QRNIndividual& network) {
    out.i32(network.inputsNumber);
    out.i32(network.outputsNumber);
    out.real(network.signalChange);
    out.reals(network.mutationParameters);
    out.integers(network.historyCounters);
    out.count(network.genes.size());
    for (const QRNGene& node : network.genes) writeNode(out, node);
}

void readNetwork(StateReader& in, QRNIndividual& network) {
    network.inputsNumber = in.i32();
    network.outputsNumber = in.i32();
    network.signalChange = in.real();
    network.mutationParameters = in.reals();
    network.historyCounters = in.integers();
    // The smallest node: its type, four empty lists, bias, A and the flag.
    network.genes.resize(in.count(4 + 4 * 8 + 8 + 8 + 1));
    for (QRNGene& node : network.genes) readNode(in, node);
}

std::unique_ptr<QIndividual> makeIndividual(Encoding encoding) {
    switch (encoding) {
        case Encoding::String: return std::make_unique<QStringIndividual>();
        case Encoding::Integer: return std::make_unique<QIntegerIndividual>();
        case Encoding::Real: return std::make_unique<QRCIndividual>();
        case Encoding::Network: return std::make_unique<QRNIndividual>();
        case Encoding::Unspecified: break;
    }
    throw StateError("the saved state holds an individual of an unknown encoding (" + std::to_string(number(encoding)) +
                     ")");
}

Encoding readEncoding(StateReader& in) {
    const auto value = static_cast<Encoding>(in.u8());
    switch (value) {
        case Encoding::String:
        case Encoding::Integer:
        case Encoding::Real:
        case Encoding::Network: return value;
        case Encoding::Unspecified: break;
    }
    throw StateError("the saved state holds an unknown encoding (" + std::to_string(number(value)) + ")");
}

}  // namespace

void writeIndividual(StateWriter& out, const QIndividual& individual) {
    const Encoding encoding = individual.getEncoding();
    out.u8(static_cast<std::uint8_t>(number(encoding)));
    out.i32(individual.nicheNumber);
    out.real(individual.fitness);
    out.reals(individual.fitnessComponents);
    switch (encoding) {
        case Encoding::String: out.integers(static_cast<const QStringIndividual&>(individual).genes); break;
        case Encoding::Integer: out.integers(static_cast<const QIntegerIndividual&>(individual).genes); break;
        case Encoding::Real: out.reals(static_cast<const QRCIndividual&>(individual).genes); break;
        case Encoding::Network: writeNetwork(out, static_cast<const QRNIndividual&>(individual)); break;
        case Encoding::Unspecified: throw StateError("an individual without an encoding cannot be saved");
    }
}

void readIndividual(StateReader& in, std::unique_ptr<QIndividual>& slot, const RecordForEncoding& recordFor) {
    const Encoding encoding = readEncoding(in);
    if (slot == nullptr || slot->getEncoding() != encoding) slot = makeIndividual(encoding);
    QIndividual& individual = *slot;
    individual._params = recordFor(encoding);
    individual.nicheNumber = in.i32();
    individual.fitness = in.real();
    individual.fitnessComponents = in.reals();
    switch (encoding) {
        case Encoding::String: static_cast<QStringIndividual&>(individual).genes = in.integers(); break;
        case Encoding::Integer: static_cast<QIntegerIndividual&>(individual).genes = in.integers(); break;
        case Encoding::Real: static_cast<QRCIndividual&>(individual).genes = in.reals(); break;
        case Encoding::Network: readNetwork(in, static_cast<QRNIndividual&>(individual)); break;
        case Encoding::Unspecified: break;  // refused by readEncoding
    }
}

void writeOptionalIndividual(StateWriter& out, const QIndividual* individual) {
    out.flag(individual != nullptr);
    if (individual != nullptr) writeIndividual(out, *individual);
}

void readOptionalIndividual(StateReader& in, std::unique_ptr<QIndividual>& slot, const RecordForEncoding& recordFor) {
    if (in.flag()) {
        readIndividual(in, slot, recordFor);
    } else {
        slot.reset();
    }
}

void writePopulation(StateWriter& out, const QPopulation& population) {
    out.u8(static_cast<std::uint8_t>(number(population.getEncoding())));
    out.count(population.individuals.size());
    for (const auto& individual : population.individuals) writeIndividual(out, *individual);
}

void readPopulation(StateReader& in, QPopulation& population, const RecordForEncoding& recordFor) {
    const Encoding encoding = readEncoding(in);
    if (encoding != population.getEncoding()) {
        throw StateError("the saved state holds a population of encoding " + std::to_string(number(encoding)) +
                         " where the algorithm has one of encoding " + std::to_string(number(population.getEncoding())));
    }
    // The smallest individual: its encoding, niche number, fitness and two empty lists.
    const std::size_t n = in.count(1 + 4 + 8 + 8 + 8);
    if (population.individuals.size() > n) population.individuals.resize(n);
    population.individuals.reserve(n);
    while (population.individuals.size() < n) population.individuals.emplace_back();
    for (auto& individual : population.individuals) readIndividual(in, individual, recordFor);
}

}  // namespace Valdrin
