// The initializers: random bit strings, gaussian real vectors, fully connected regulatory
// networks, and random or unmixed symbol strings (permutations included).
#include "operators/initializers.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>

#include "core/failure.h"
#include "core/random.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

void requireEncoding(const char* header, const QPopulation& population, Encoding expected) {
    const Encoding found = population.getEncoding();
    if (found != expected) {
        std::ostringstream message;
        message << header << "\tEncoding mismatch! (population encoding ID = " << number(found) << ")\n\n";
        fail(message.str());
    }
}

void reportUnknownType(std::ostream& err, const char* header, Initialization type) {
    err << header << "\tUnknown initialization type encountered! Using random initialization!\n"
              << "(initialization type ID = " << number(type) << ")\n\n";
}

// The value initializers accept the random type only.
int dispatchRandomOnly(QInitializer& initializer, QPopulation& population, std::ostream& err, const char* header,
                       Initialization type) {
    if (type == Initialization::Random) {
        initializer.initRandom(population);
        return 1;
    }
    reportUnknownType(err, header, type);
    initializer.initRandom(population);
    return 0;
}

constexpr const char* kIntegerHeader = "\n\n[QIntegerInitializer::operate] error:\n";
constexpr const char* kRealHeader = "\n\n[QRCInitializer::operate] error:\n";
constexpr const char* kNetworkHeader = "\n\n[QRNInitializer::operate] error:\n";
constexpr const char* kStringHeader = "\n\n[QStringInitializer::operate] error:\n";

}  // namespace

// --- bit strings ---

int QIntegerInitializer::setParameters(const QEAParameters& params) {
    _params = &params;
    unitsRatio = params.unitsRatio;
    return 1;
}

int QIntegerInitializer::initialize(QPopulation& population) {
    requireEncoding(kIntegerHeader, population, Encoding::Integer);
    return dispatchRandomOnly(*this, population, engine().err(), kIntegerHeader, _params->initializationType);
}

int QIntegerInitializer::initRandom(QPopulation& population) {
    const int G = _params->geneSize;
    const RateTest setsBit(unitsRatio);
    Random& random = this->random();
    for (auto& member : population.individuals) {
        assert(member->getEncoding() == Encoding::Integer);
        for (QIntegerGene::Value& gene : static_cast<QIntegerIndividual&>(*member).genes) {
            std::uint32_t value = 0;
            for (int k = 0; k < G; ++k) {
                // Bits beyond the 32-bit code still take their draw.
                if (setsBit(random) && k < 32) value |= std::uint32_t{1} << k;
            }
            gene = static_cast<QIntegerGene::Value>(value);
        }
    }
    return 1;
}

std::unique_ptr<QInitializer> QIntegerInitializer::clone() const {
    return std::make_unique<QIntegerInitializer>(*this);
}

// --- real vectors ---

int QRCInitializer::initialize(QPopulation& population) {
    requireEncoding(kRealHeader, population, Encoding::Real);
    return dispatchRandomOnly(*this, population, engine().err(), kRealHeader, _params->initializationType);
}

int QRCInitializer::initRandom(QPopulation& population) {
    for (auto& member : population.individuals) {
        assert(member->getEncoding() == Encoding::Real);
        for (double& gene : static_cast<QRCIndividual&>(*member).genes) gene = 10.0 + random().gaussian();
    }
    return 1;
}

std::unique_ptr<QInitializer> QRCInitializer::clone() const {
    return std::make_unique<QRCInitializer>(*this);
}

// --- regulatory networks ---

int QRNInitializer::initialize(QPopulation& population) {
    requireEncoding(kNetworkHeader, population, Encoding::Network);
    if (_params->inputsNumber < 1 || _params->outputsNumber < 1) {
        // Reported on standard output; at least one input and one output are needed.
        failOnOutput("[QRNInitializer::operate] critical error:\n\tNumber of inputs and outputs should be >= 0!\n");
    }
    return dispatchRandomOnly(*this, population, engine().err(), kNetworkHeader, _params->initializationType);
}

void QRNInitializer::connectFully(QRNGene& node, int nIn, int nOut, Random& random) {
    node.setInputsNumber(nIn);
    node.setOutputsNumber(nOut);
    for (int i = 1; i <= nIn; ++i) {
        node.setInput(i - 1, SignalLink{i, 0.0});
        node.inputWeights[static_cast<std::size_t>(i - 1)] = random.smallUniform();
    }
    for (int i = nIn + 1; i <= nIn + nOut; ++i) {
        node.setOutput(i - nIn - 1, SignalLink{i, 0.0});
        node.outputOffsets[static_cast<std::size_t>(i - nIn - 1)] = 1.0;
    }
    node.bias = random.smallUniform();
    node.A = 10 * random.gaussian();
}

int QRNInitializer::initRandom(QPopulation& population) {
    const int nIn = _params->inputsNumber;
    const int nOut = _params->outputsNumber;
    for (auto& member : population.individuals) {
        assert(member->getEncoding() == Encoding::Network);
        auto& network = static_cast<QRNIndividual&>(*member);
        for (QRNGene& node : network.genes) connectFully(node, nIn, nOut, random());
        if (network.mutationParameters.size() < static_cast<std::size_t>(kMutationKinds)) {
            network.mutationParameters.resize(kMutationKinds, 0.0);
        }
        for (int k = 0; k < kMutationKinds; ++k) {
            network.mutationParameters[static_cast<std::size_t>(k)] = random().smallUniform();
        }
    }
    return 1;
}

std::unique_ptr<QInitializer> QRNInitializer::clone() const {
    return std::make_unique<QRNInitializer>(*this);
}

// --- symbol strings ---

namespace {

[[noreturn]] void tooFewSymbols(const char* header, int arity, int genes) {
    fail(std::string(header) + "\tCan't create permutations of " + std::to_string(genes) +
          " genes from fewer symbols (_params->arity = " + std::to_string(arity) + ")\n\n");
}

void requirePositiveArity(int arity) {
    if (arity < 1) {
        fail(std::string(kStringHeader) + "\tCan't create strings with non-positive arity (_params->arity = " +
              std::to_string(arity) + ")\n\n");
    }
}

}  // namespace

int QStringInitializer::setParameters(const QEAParameters& params) {
    _params = &params;
    // Unmixed strings hold one symbol only; every other type draws distinct symbols. A
    // non-positive arity is reported when the strings are made.
    if (params.permutation && params.initializationType != Initialization::Unmixed && params.arity >= 1 &&
        params.arity < params.chromosomeLength) {
        tooFewSymbols("\n\n[QStringInitializer::setParameters] error:\n", params.arity, params.chromosomeLength);
    }
    return 1;
}

int QStringInitializer::initialize(QPopulation& population) {
    requireEncoding(kStringHeader, population, Encoding::String);
    const Initialization type = _params->initializationType;
    if (type == Initialization::Random) {
        initRandom(population);
        return 1;
    }
    if (type == Initialization::Unmixed) {
        initUnmixed(population);
        return 1;
    }
    reportUnknownType(engine().err(), kStringHeader, type);
    initRandom(population);
    return 0;
}

int QStringInitializer::initRandom(QPopulation& population) {
    const int arity = _params->arity;
    requirePositiveArity(arity);
    const bool permutation = _params->permutation;
    const EncodingOrder order = _params->encodingOrder;
    Random& random = this->random();
    for (auto& member : population.individuals) {
        assert(member->getEncoding() == Encoding::String);
        auto& genes = static_cast<QStringIndividual&>(*member).genes;
        if (!permutation) {
            for (QStringGene::Value& gene : genes) gene = random.uniformInt(arity);
            continue;
        }
        const std::size_t n = genes.size();
        if (n > static_cast<std::size_t>(arity)) tooFewSymbols(kStringHeader, arity, static_cast<int>(n));
        // A map of the taken symbols pays off unless the alphabet dwarfs the string; clearing one
        // of a huge alphabet for every individual would cost far more than searching the list.
        const bool mapped = static_cast<std::size_t>(arity) <= 64 * n + 1024;
        if (mapped) taken_.assign(static_cast<std::size_t>(arity), 0);
        const auto taken = [&](int s) {
            return mapped ? taken_[static_cast<std::size_t>(s)] != 0
                          : std::find(symbols_.begin(), symbols_.end(), s) != symbols_.end();
        };
        symbols_.clear();
        for (std::size_t i = 0; i < n; ++i) {
            int s = random.uniformInt(arity);
            while (taken(s)) s = random.uniformInt(arity);
            if (mapped) taken_[static_cast<std::size_t>(s)] = 1;
            symbols_.push_back(s);
        }
        if (order == EncodingOrder::Ascending) std::sort(symbols_.begin(), symbols_.end());
        else if (order == EncodingOrder::Descending) std::sort(symbols_.begin(), symbols_.end(), std::greater<int>());
        std::copy(symbols_.begin(), symbols_.end(), genes.begin());
    }
    return 1;
}

int QStringInitializer::initUnmixed(QPopulation& population) {
    const int arity = _params->arity;
    requirePositiveArity(arity);
    const int size = population.size();
    const int block = size / arity;
    for (int index = 0; index < size; ++index) {
        // Blocks of `block` individuals per symbol; the last symbol takes the remainder too.
        const int symbol = block > 0 ? std::min(index / block, arity - 1) : arity - 1;
        auto& individual = static_cast<QStringIndividual&>(*population.getIndividual(index));
        std::fill(individual.genes.begin(), individual.genes.end(), symbol);
    }
    return 1;
}

std::unique_ptr<QInitializer> QStringInitializer::clone() const {
    return std::make_unique<QStringInitializer>(*this);
}

}  // namespace Valdrin
