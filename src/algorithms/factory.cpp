// QEAFactory: the tables from type identifiers to classes, and the lists that own the results.
#include "algorithms/factory.h"

#include <sstream>
#include <string>

#include "core/failure.h"
#include "registry/registry.h"

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

namespace {

const EncodingRow* encodingRow(int encoding) { return rowOf(encodingRows(), static_cast<Encoding>(encoding)); }

// The object made by the row of a choice that applies to every encoding, handed to the
// operator's algorithm; null when the choice has no row or the row makes nothing.
template <class Product, class Row, class Identifier>
std::unique_ptr<Product> makeChoice(std::span<const Row> rows, Identifier id) {
    const Row* row = rowOf(rows, id);
    return row != nullptr && row->make != nullptr ? row->make() : nullptr;
}

// The maker of the row for id that applies to the encoding; null when there is none.
template <class Product, class Row, class Identifier>
Maker<Product> makerFor(std::span<const Row> rows, Identifier id, Encoding encoding) {
    const Row* row = rowOf(rows, id);
    if (row == nullptr) return nullptr;
    for (const ForEncoding<Product>& maker : row->makers) {
        if (maker.encoding == encoding) return maker.make;
    }
    return nullptr;
}

template <class Operator>
std::unique_ptr<Operator> ownedBy(std::unique_ptr<Operator> made, QEvolutionaryAlgorithm* owner) {
    if (made != nullptr) made->owner = owner;
    return made;
}

}  // namespace

QPopulation* QEAFactory::createPopulation(int encoding) {
    const EncodingRow* row = encodingRow(encoding);
    if (row == nullptr) {
        unknownIdentifier("createPopulation",
                          "\tA trial to create QPopulation object for undefined (or unspecified) type of "
                          "encoding\n\n");
    }
    return record(populations_, row->makePopulation());
}

QInitializer* QEAFactory::createInitializer(int encoding) {
    const EncodingRow* row = encodingRow(encoding);
    if (row == nullptr) {
        unknownIdentifier("createInitializer",
                          "\tA trial to create QInitializer object for undefined (or unspecified) type of "
                          "encoding\n\n");
    }
    return record(initializers_, ownedBy(row->makeInitializer(), owner_));
}

QNichingOperator* QEAFactory::createNiching(Niching nichingType) {
    return record(nichingOperators_, ownedBy(makeChoice<QNichingOperator>(nichingRows(), nichingType), owner_));
}

QSelection* QEAFactory::createSelection(Selection selectionType) {
    auto selection = makeChoice<QSelection>(selectionRows(), selectionType);
    if (selection == nullptr) {
        unknownIdentifier("createSelection",
                          "\tA trial to create undefined (or unspecified) type of QSelection object\n\n");
    }
    return record(selections_, ownedBy(std::move(selection), owner_));
}

QParentSelector* QEAFactory::createParentSelector(ParentSelection parentSelectorType) {
    auto selector = makeChoice<QParentSelector>(parentSelectionRows(), parentSelectorType);
    if (selector == nullptr) {
        unknownIdentifier("createParentSelector",
                          "\tA trial to create undefined (or unspecified) type of QParentSelector object\n\n");
    }
    return record(parentSelectors_, ownedBy(std::move(selector), owner_));
}

QPopulationSizer* QEAFactory::createPopulationSizer(Sizer sizerType) {
    auto sizer = makeChoice<QPopulationSizer>(sizerRows(), sizerType);
    if (sizer == nullptr) {
        unknownIdentifier("createPopulationSizer",
                          "\tA trial to create undefined (or unspecified) type of QPopulationSizer object\n\n");
    }
    return record(populationSizers_, ownedBy(std::move(sizer), owner_));
}

QCrossoverOperator* QEAFactory::createCrossover(int encoding, Crossover xType) {
    const EncodingRow* row = encodingRow(encoding);
    if (row == nullptr) {
        unknownIdentifier("createCrossover",
                          "\tA trial to create undefined (or unspecified) type of QCrossoverOperator object\n\n");
    }
    std::unique_ptr<QCrossoverOperator> crossover;
    if (row->crossoverTable != nullptr) {
        const auto make = makerFor<QCrossoverOperator>(crossoverRows(), xType, row->id);
        if (make == nullptr) unknownType(row->crossoverTable, "QCrossoverOperator", "argXType", number(xType));
        crossover = ownedBy(make(), owner_);
    }
    return record(crossovers_, std::move(crossover));
}

QMutationOperator* QEAFactory::createMutation(int encoding, Mutation mutationType) {
    const EncodingRow* row = encodingRow(encoding);
    if (row == nullptr) {
        unknownIdentifier("createMutation",
                          "\tA trial to create undefined (or unspecified) type of QMutationOperator object\n\n");
    }
    const auto make = makerFor<QMutationOperator>(mutationRows(), mutationType, row->id);
    if (make == nullptr) unknownType(row->mutationTable, "QMutationOperator", "argMType", number(mutationType));
    return record(mutations_, ownedBy(make(), owner_));
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
