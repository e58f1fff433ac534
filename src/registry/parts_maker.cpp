// Making an algorithm's parts from the registry's rows.
#include "registry/parts_maker.h"

#include <sstream>
#include <string>

#include "core/failure.h"
#include "registry/registry.h"

namespace Valdrin {

namespace {

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

// The object made by the row of a choice that applies to every encoding; null when the choice
// has no row or the row makes nothing.
template <class Product, class Row, class Identifier>
std::unique_ptr<Product> makeChoice(std::span<const Row> rows, Identifier id) {
    const Row* row = rowOf(rows, id);
    return row != nullptr && row->make != nullptr ? row->make() : nullptr;
}


// The encoding's row; without one, what operation was to make cannot be made.
const EncodingRow& requireEncodingRow(Encoding encoding, const char* operation, const std::string& text) {
    const EncodingRow* row = rowOf(encodingRows(), encoding);
    if (row == nullptr) unknownIdentifier(operation, text.c_str());
    return *row;
}

std::string undefinedEncoding(const char* object) {
    return std::string("\tA trial to create ") + object + " object for undefined (or unspecified) type of encoding\n\n";
}

std::string undefinedType(const char* object) {
    return std::string("\tA trial to create undefined (or unspecified) type of ") + object + " object\n\n";
}

template <class Product, class Row, class Identifier>
std::unique_ptr<Product> makeRequired(std::span<const Row> rows, Identifier id, const char* operation,
                                      const char* object) {
    auto made = makeChoice<Product>(rows, id);
    if (made == nullptr) unknownIdentifier(operation, undefinedType(object).c_str());
    return made;
}

// Null where the encoding recombines without crossover.
std::unique_ptr<QCrossoverOperator> makeCrossover(Encoding encoding, Crossover xType) {
    const EncodingRow& row = requireEncodingRow(encoding, "createCrossover", undefinedType("QCrossoverOperator"));
    if (row.crossoverTable == nullptr) return nullptr;
    const CrossoverRow* crossover = rowOf(crossoverRows(), xType);
    const auto make = crossover != nullptr ? makerFor(*crossover, row.id) : nullptr;
    if (make == nullptr) unknownType(row.crossoverTable, "QCrossoverOperator", "argXType", number(xType));
    return make();
}

std::unique_ptr<QMutationOperator> makeMutation(Encoding encoding, Mutation mutationType) {
    const EncodingRow& row = requireEncodingRow(encoding, "createMutation", undefinedType("QMutationOperator"));
    const MutationRow* mutation = rowOf(mutationRows(), mutationType);
    const auto make = mutation != nullptr ? makerFor(*mutation, row.id) : nullptr;
    if (make == nullptr) unknownType(row.mutationTable, "QMutationOperator", "argMType", number(mutationType));
    return make();
}

}  // namespace

AlgorithmParts RegistryPartsMaker::make(const QEAParameters& params) const {
    AlgorithmParts parts;
    for (auto* population : {&parts.currentPopulation, &parts.matingPool, &parts.offspringPopulation}) {
        *population = requireEncodingRow(params.encoding, "createPopulation", undefinedEncoding("QPopulation"))
                          .makePopulation();
    }
    parts.initializer = requireEncodingRow(params.encoding, "createInitializer", undefinedEncoding("QInitializer"))
                            .makeInitializer();
    parts.niching = makeChoice<QNichingOperator>(nichingRows(), params.nichingType);
    parts.selection = makeRequired<QSelection>(selectionRows(), params.selectionType, "createSelection", "QSelection");
    parts.sizer = makeRequired<QPopulationSizer>(sizerRows(), params.populationSizerType, "createPopulationSizer",
                                                 "QPopulationSizer");
    parts.crossover = makeCrossover(params.encoding, params.xType);
    parts.mutation = makeMutation(params.encoding, params.mutationType);
    // Parents are always drawn at random; the record's choice of parent selection is only reported.
    parts.parentSelector = makeRequired<QParentSelector>(parentSelectionRows(), ParentSelection::Random,
                                                         "createParentSelector", "QParentSelector");
    return parts;
}

}  // namespace Valdrin
