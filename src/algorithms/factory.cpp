// QEAFactory: the tables from type identifiers to classes, and the lists that own the results.
#include "algorithms/factory.h"

#include <sstream>
#include <string>

#include "core/failure.h"
#include "operators/crossovers.h"
#include "operators/initializers.h"
#include "operators/mutations.h"
#include "operators/niching.h"
#include "operators/population_sizers.h"
#include "operators/selection.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

template <typename T>
T* record(std::vector<std::unique_ptr<T>>& list, std::unique_ptr<T> object) {
    T* result = object.get();
    list.push_back(std::move(object));
    return result;
}

template <typename T>
void destroyList(std::vector<std::unique_ptr<T>>& list) {
    for (auto& object : list) object.reset();
    list.clear();
}

[[noreturn]] void unknownIdentifier(const char* operation, const char* text) {
    fail(std::string("\n\nQEAFactory::") + operation + " error:\n" + text);
}

[[noreturn]] void unknownType(const char* operation, const char* object, const char* argument, int type) {
    std::ostringstream message;
    message << "\n\nQEAFactory::" << operation << " error:\n"
            << "\tA trial to create undefined (or unspecified) type of " << object << " object (" << argument
            << " = " << type << ")\n\n";
    fail(message.str());
}

}  // namespace

QEAFactory::QEAFactory(QEvolutionaryAlgorithm* ownerAlgorithm) : owner_(ownerAlgorithm) {}

QEAFactory::~QEAFactory() { destroyAll(); }

QPopulation* QEAFactory::createPopulation(int encoding) {
    std::unique_ptr<QPopulation> population;
    switch (encoding) {
        case kStringEncoding: population = std::make_unique<QStringPopulation>(); break;
        case kIntegerEncoding: population = std::make_unique<QIntegerPopulation>(); break;
        case kRealEncoding: population = std::make_unique<QRCPopulation>(); break;
        case kNetworkEncoding: population = std::make_unique<QRNPopulation>(); break;
        default:
            unknownIdentifier("createPopulation",
                              "\tA trial to create QPopulation object for undefined (or unspecified) type of "
                              "encoding\n\n");
    }
    return record(populations_, std::move(population));
}

QInitializer* QEAFactory::createInitializer(int encoding) {
    std::unique_ptr<QInitializer> initializer;
    switch (encoding) {
        case kStringEncoding: initializer = std::make_unique<QStringInitializer>(owner_); break;
        case kIntegerEncoding: initializer = std::make_unique<QIntegerInitializer>(owner_); break;
        case kRealEncoding: initializer = std::make_unique<QRCInitializer>(owner_); break;
        case kNetworkEncoding: initializer = std::make_unique<QRNInitializer>(owner_); break;
        default:
            unknownIdentifier("createInitializer",
                              "\tA trial to create QInitializer object for undefined (or unspecified) type of "
                              "encoding\n\n");
    }
    return record(initializers_, std::move(initializer));
}

QNichingOperator* QEAFactory::createNiching(int nichingType) {
    std::unique_ptr<QNichingOperator> niching;
    if (nichingType == kFitnessSharing) {
        niching = std::make_unique<QFitnessSharing>(owner_);
    } else if (nichingType == kDeterministicCrowding) {
        niching = std::make_unique<QDeterministicCrowding>(owner_);
    }
    return record(nichingOperators_, std::move(niching));
}

QSelection* QEAFactory::createSelection(int selectionType) {
    std::unique_ptr<QSelection> selection;
    switch (selectionType) {
        case 1: selection = std::make_unique<QNeutralSelection>(owner_); break;
        case 2: selection = std::make_unique<QTournamentSelection>(owner_); break;
        default:
            unknownIdentifier("createSelection",
                              "\tA trial to create undefined (or unspecified) type of QSelection object\n\n");
    }
    return record(selections_, std::move(selection));
}

QParentSelector* QEAFactory::createParentSelector(int parentSelectorType) {
    if (parentSelectorType != 1) {
        unknownIdentifier("createParentSelector",
                          "\tA trial to create undefined (or unspecified) type of QParentSelector object\n\n");
    }
    return record(parentSelectors_, std::unique_ptr<QParentSelector>(std::make_unique<QRandomParentSelector>(owner_)));
}

QPopulationSizer* QEAFactory::createPopulationSizer(int sizerType) {
    std::unique_ptr<QPopulationSizer> sizer;
    switch (sizerType) {
        case 1: sizer = std::make_unique<QConstPopulationSizer>(owner_); break;
        case 2: sizer = std::make_unique<QSimplePopulationSizer>(owner_); break;
        case 3: sizer = std::make_unique<QSimplePopulationSizerFibonacci>(owner_); break;
        case 4: sizer = std::make_unique<QSteadyPopulationSizer>(owner_); break;
        default:
            unknownIdentifier("createPopulationSizer",
                              "\tA trial to create undefined (or unspecified) type of QPopulationSizer object\n\n");
    }
    return record(populationSizers_, std::move(sizer));
}

QCrossoverOperator* QEAFactory::createCrossover(int encoding, int xType) {
    QCrossoverOperator* crossover = nullptr;
    switch (encoding) {
        case kStringEncoding: crossover = createStringCrossover(xType); break;
        case kIntegerEncoding: crossover = createIntegerCrossover(xType); break;
        case kRealEncoding: crossover = createRCCrossover(xType); break;
        case kNetworkEncoding: break;
        default:
            unknownIdentifier("createCrossover",
                              "\tA trial to create undefined (or unspecified) type of QCrossoverOperator object\n\n");
    }
    return record(crossovers_, std::unique_ptr<QCrossoverOperator>(crossover));
}

QMutationOperator* QEAFactory::createMutation(int encoding, int mutationType) {
    QMutationOperator* mutation = nullptr;
    switch (encoding) {
        case kStringEncoding: mutation = createStringMutation(mutationType); break;
        case kIntegerEncoding: mutation = createIntegerMutation(mutationType); break;
        case kRealEncoding: mutation = createRCMutation(mutationType); break;
        case kNetworkEncoding: mutation = createRNMutation(mutationType); break;
        default:
            unknownIdentifier("createMutation",
                              "\tA trial to create undefined (or unspecified) type of QMutationOperator object\n\n");
    }
    return record(mutations_, std::unique_ptr<QMutationOperator>(mutation));
}

// The encoding-specific tables hand over a new object that createCrossover or createMutation
// records.

QCrossoverOperator* QEAFactory::createIntegerCrossover(int xType) {
    switch (xType) {
        case 1: return new QIntegerCrossover1(owner_);
        case 2:
        case 3: return new QIntegerCrossover2(owner_);  // no uniform crossover for bit strings
        case 4: return new QIntegerCrossoverPGX1(owner_);
        case 5: return new QIntegerCrossoverPGX2(owner_);
        default: unknownType("createIntegerCrossover", "QCrossoverOperator", "argXType", xType);
    }
}

QCrossoverOperator* QEAFactory::createStringCrossover(int xType) {
    switch (xType) {
        case 1: return new QStringCrossover1(owner_);
        case 2: return new QStringCrossover2(owner_);
        case 3: return new QStringCrossoverUniform(owner_);
        case 9: return new QStringCrossoverOrder(owner_);
        default: unknownType("createStringCrossover", "QCrossoverOperator", "argXType", xType);
    }
}

QCrossoverOperator* QEAFactory::createRCCrossover(int xType) {
    switch (xType) {
        case 6: return new QRCCrossoverBLX(owner_);
        case 7: return new QRCCrossoverSBX(owner_);
        case 8: return new QRCCrossoverArithmetic(owner_);
        default: unknownType("createRCCrossover", "QCrossoverOperator", "argXType", xType);
    }
}

QMutationOperator* QEAFactory::createIntegerMutation(int mutationType) {
    switch (mutationType) {
        case 1: return new QIntegerMutationBitFlip(owner_);
        case 3: return new QRCMutationGauss(owner_);  // integer genes perturbed as reals
        default: unknownType("createIntegerMutation", "QMutationOperator", "argMType", mutationType);
    }
}

QMutationOperator* QEAFactory::createStringMutation(int mutationType) {
    if (mutationType == 2) return new QStringMutationRandomFlip(owner_);
    unknownType("createStringMutation", "QMutationOperator", "argMType", mutationType);
}

QMutationOperator* QEAFactory::createRCMutation(int mutationType) {
    if (mutationType == 3) return new QRCMutationGauss(owner_);
    unknownType("createRCMutation", "QMutationOperator", "argMType", mutationType);
}

QMutationOperator* QEAFactory::createRNMutation(int mutationType) {
    if (mutationType == 4) return new QRNMutationBasic(owner_);
    unknownType("createRNMutation", "QMutationOperator", "argMType", mutationType);
}

int QEAFactory::destroyAll() {
    destroyList(populations_);
    destroyList(initializers_);
    destroyList(nichingOperators_);
    destroyList(selections_);
    destroyList(parentSelectors_);
    destroyList(populationSizers_);
    destroyList(crossovers_);
    destroyList(mutations_);
    return 1;
}

int QEAFactory::destroyLastPopulation() {
    if (populations_.empty()) return 0;
    populations_.pop_back();
    return 1;
}

int QEAFactory::destroyLastMutation() {
    if (mutations_.empty()) return 0;
    mutations_.pop_back();
    return 1;
}

}  // namespace Valdrin
