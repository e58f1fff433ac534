// Start-up, run loop and teardown of one experiment, and the choice of algorithm and problem
// by the names in the configuration.
#include "driver/experiment.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string_view>

#include "core/failure.h"
#include "core/parameters.h"
#include "registry/parameter_reader.h"
#include "registry/parts_maker.h"
#include "statistics/summary_processor.h"

namespace Valdrin {

namespace {

// The text of the first child of the first element with that name, as the configuration
// writes the chosen algorithm or problem. Without one the experiment cannot be built: the
// process ends with a message naming the operation.
std::string chosenName(const QLightXMLIO& tree, const std::string& element, std::string_view operation) {
    std::vector<XmlNode> found;
    tree.collectByName(element, found);
    if (found.empty() || found.front().children.empty()) {
        fail("\n\n[" + std::string(operation) + "] error:\n\tThe configuration names no " + element +
             ": it needs an \"" + element + "\" element holding one element with the name\n\n");
    }
    return found.front().children.front().text;
}

// The name an object prints for itself, as text.
template <class Named>
std::string printedName(const Named& object) {
    std::ostringstream text;
    object.printName(text);
    return text.str();
}

}  // namespace

std::unique_ptr<QEvolutionaryAlgorithm> createAlgorithmByName(const QLightXMLIO& tree,
                                                              std::span<const AlgorithmRow> table) {
    const std::string name = chosenName(tree, "algorithm", "createAlgorithmByName");
    for (const AlgorithmRow& row : table) {
        if (name == row.word) {
            std::cout << row.announcement;
            return row.make();
        }
    }
    failOnOutput("\nIs it true? No algorithm?!\n");
}

std::unique_ptr<QProblem> createProblemByName(const QLightXMLIO& tree, std::span<const ProblemRow> table) {
    const std::string name = chosenName(tree, "problem", "createProblemByName");
    for (const ProblemRow& row : table) {
        if (name == row.word) return row.make();
    }
    failOnOutput("\nOopsie, no problem!\n");
}

int runExperiment(const std::vector<std::string>& arguments, std::span<const AlgorithmRow> algorithms,
                  std::span<const ProblemRow> problems) {
    try {
        auto tree = std::make_unique<QLightXMLIO>();
        auto params = std::make_unique<QEAParameters>();
        tree->readFromFile(arguments.empty() ? std::string("config.xml") : arguments[0]);
        readParameters(*tree, *params);
        const int runs = arguments.size() < 2 ? 1 : std::atoi(arguments[1].c_str());

        std::unique_ptr<QEvolutionaryAlgorithm> algorithm = createAlgorithmByName(*tree, algorithms);
        std::unique_ptr<QProblem> problem = createProblemByName(*tree, problems);
        problem->printName(std::cout);

        // The problem adjusts the fields it depends on before the algorithm takes its copy.
        problem->adjustParameters(params.get());
        problem->setParameters(params.get());
        algorithm->setUp(*params, RegistryPartsMaker{}, *problem);
        auto summaryProcessor = std::make_unique<QSummaryProcessor>(params.get());
        summaryProcessor->algorithmName = printedName(*algorithm);
        summaryProcessor->problemName = printedName(*problem);
        summaryProcessor->algorithmReport = [&algorithm](const std::vector<QRunSummary>& runs, std::ostream& out) {
            algorithm->reportStatistics(runs, out);
        };

        for (int i = 0; i < runs; ++i) {
            std::printf("Run # %i\n", i);
            algorithm->run();
            summaryProcessor->addSummary(algorithm->runSummary());
        }
        summaryProcessor->operate();

        algorithm->cleanup();
        problem.reset();
        algorithm.reset();
        summaryProcessor.reset();
        params.reset();
        tree.reset();
    } catch (const Failure& failure) {
        writeFailure(failure);
    }
    return 0;
}

}  // namespace Valdrin
