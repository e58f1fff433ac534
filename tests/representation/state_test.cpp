// Tests of individuals and populations in a saved state: every encoding comes back with the same
// genes, fitness and niche (doubles to the bit), bound to the record its owner names, in the
// objects the population already holds when they fit.
#include "representation/state.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {
namespace {

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

QRNIndividual sampleNetwork() {
    QRNIndividual network;
    network.inputsNumber = 2;
    network.outputsNumber = 1;
    network.signalChange = 0.25;
    network.mutationParameters.assign(kMutationKinds, 0.5);
    network.historyCounters.assign(kMutationKinds, 3);
    QRNGene node;
    node.typeID = 4;
    node.addInput({1, -0.0}, 0.75);
    node.addOutput({3, 1e-300}, -2.5);
    node.bias = std::numeric_limits<double>::denorm_min();
    node.A = 1.5;
    node.enabled = false;
    network.genes = {node, QRNGene{}};
    return network;
}

TEST(IndividualState, EveryEncodingReadsBackWithItsChromosomeAndFitness) {
    QEAParameters vectors;
    QEAParameters networks;
    const RecordForEncoding records = [&](Encoding encoding) {
        return encoding == Encoding::Network ? &networks : &vectors;
    };
    QStringIndividual symbols;
    symbols.genes = {0, 3, 2};
    QIntegerIndividual bitsString;
    bitsString.genes = {-1, 1023};
    QRCIndividual reals;
    reals.genes = {-0.0, std::nan("7"), 1.0 / 3.0};
    reals.fitness = std::numeric_limits<double>::quiet_NaN();
    reals.fitnessComponents = {0.1, 0.2};
    reals.nicheNumber = 5;
    const QRNIndividual network = sampleNetwork();

    StateWriter out;
    for (const QIndividual* individual : std::initializer_list<const QIndividual*>{&symbols, &bitsString, &reals, &network}) {
        writeIndividual(out, *individual);
    }
    StateReader in(out.bytes());
    std::vector<std::unique_ptr<QIndividual>> read(4);
    for (auto& slot : read) readIndividual(in, slot, records);
    in.expectEnd();

    EXPECT_EQ(static_cast<QStringIndividual&>(*read[0]).genes, symbols.genes);
    EXPECT_EQ(static_cast<QIntegerIndividual&>(*read[1]).genes, bitsString.genes);
    const auto& realsRead = static_cast<QRCIndividual&>(*read[2]);
    ASSERT_EQ(realsRead.genes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bits(realsRead.genes[i]), bits(reals.genes[i])) << i;
    EXPECT_EQ(bits(realsRead.fitness), bits(reals.fitness));
    EXPECT_EQ(realsRead.fitnessComponents, reals.fitnessComponents);
    EXPECT_EQ(realsRead.nicheNumber, 5);
    EXPECT_EQ(realsRead._params, &vectors);

    const auto& networkRead = static_cast<QRNIndividual&>(*read[3]);
    EXPECT_EQ(networkRead._params, &networks);
    EXPECT_TRUE(networkRead.equalsTo(network));
    EXPECT_EQ(networkRead.mutationParameters, network.mutationParameters);
    EXPECT_EQ(networkRead.historyCounters, network.historyCounters);
    EXPECT_EQ(networkRead.signalChange, 0.25);
    ASSERT_EQ(networkRead.genes.size(), 2u);
    const QRNGene& node = networkRead.genes[0];
    EXPECT_EQ(node.typeID, 4);
    EXPECT_FALSE(node.enabled);
    EXPECT_EQ(node.bias, std::numeric_limits<double>::denorm_min());
    EXPECT_TRUE(std::signbit(node.inputs.at(0).value));
    EXPECT_EQ(node.outputs.at(0).ID, 3);
    EXPECT_EQ(node.outputOffsets, std::vector<double>{-2.5});
}

TEST(PopulationState, APopulationReadBackHoldsExactlyTheSavedIndividuals) {
    QEAParameters record;
    const RecordForEncoding records = [&](Encoding) { return &record; };
    QRCPopulation saved;
    saved.createIndividuals(3);
    for (int i = 0; i < 3; ++i) {
        auto& individual = static_cast<QRCIndividual&>(*saved.individuals[static_cast<std::size_t>(i)]);
        individual.genes = {static_cast<double>(i), -1.0};
        individual.fitness = 10.0 - i;
    }
    StateWriter out;
    writePopulation(out, saved);

    // A larger population shrinks and keeps its objects; a smaller one grows.
    for (int size : {5, 1}) {
        QRCPopulation target;
        target.createIndividuals(size);
        const QIndividual* first = target.individuals.front().get();
        StateReader in(out.bytes());
        readPopulation(in, target, records);
        ASSERT_EQ(target.size(), 3) << size;
        EXPECT_EQ(target.individuals.front().get(), first) << "the object already there is reused";
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(target.getIndividual(i)->equalsTo(*saved.getIndividual(i))) << i;
            EXPECT_EQ(target.getIndividual(i)->fitness, 10.0 - i);
            EXPECT_EQ(target.getIndividual(i)->_params, &record);
        }
    }

    QIntegerPopulation other;
    StateReader in(out.bytes());
    EXPECT_THROW(readPopulation(in, other, records), StateError);
}

TEST(PopulationState, AnUnknownEncodingIsRefused) {
    StateWriter out;
    out.u8(4);  // no encoding has the number 4
    std::unique_ptr<QIndividual> slot;
    StateReader in(out.bytes());
    EXPECT_THROW(readIndividual(in, slot, [](Encoding) { return nullptr; }), StateError);
}

}  // namespace
}  // namespace Valdrin
