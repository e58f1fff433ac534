// The table of problems with problems from outside added.
#include "registry/problem_table.h"

#include "problems/plugin_problem.h"

namespace Valdrin {

ProblemTable::ProblemTable(std::span<const ProblemRow> builtIn) : builtIn_(builtIn.begin(), builtIn.end()) {
    rebuildRows();
}

void ProblemTable::rebuildRows() {
    rows_ = builtIn_;
    for (const auto& problem : external_) {
        rows_.push_back(ProblemRow{problem->word, ProblemKind::Plugin, problem->encodings, nullptr, problem->description,
                                   problem->neverBelowZero});
    }
}

void ProblemTable::add(ExternalProblem problem) {
    if (rowNamed(rows(), problem.word) != nullptr) {
        throw PluginRefusal{"the problem \"" + problem.word +
                            "\" has the word of a problem Valdrin already has: give it a word of its own"};
    }
    external_.push_back(std::make_shared<const ExternalProblem>(std::move(problem)));
    rebuildRows();
}

void ProblemTable::addLibrary(const std::string& path) {
    std::shared_ptr<const PluginLibrary> library = PluginLibrary::open(path);
    if (rowNamed(rows(), library->word()) != nullptr) {
        throw PluginRefusal{"the problem library " + path + " names its problem \"" + std::string(library->word()) +
                            "\", which is already a problem of Valdrin's: the plugin must give its problem a word of "
                            "its own"};
    }
    ExternalProblem problem;
    problem.word = std::string(library->word());
    problem.description = std::string(library->description());
    problem.encodings.assign(library->encodings().begin(), library->encodings().end());
    problem.neverBelowZero = library->table().never_below_zero != 0;
    problem.applySettings = [library](QEAParameters& params) { library->applySettings(params); };
    problem.make = [library](Engine& engine) -> std::unique_ptr<QProblem> {
        return std::make_unique<QPluginProblem>(engine, library);
    };
    add(std::move(problem));
}

const ExternalProblem* ProblemTable::externalOf(const ProblemRow& row) const {
    if (row.id != ProblemKind::Plugin) return nullptr;
    for (const auto& problem : external_) {
        if (problem->word == row.word) return problem.get();
    }
    return nullptr;
}

void ProblemTable::applySettings(const ProblemRow& row, QEAParameters& params) const {
    const ExternalProblem* problem = externalOf(row);
    if (problem != nullptr && problem->applySettings) problem->applySettings(params);
}

std::unique_ptr<QProblem> ProblemTable::make(const ProblemRow& row, Engine& engine) const {
    if (const ExternalProblem* problem = externalOf(row)) return problem->make(engine);
    return row.make(engine);
}

}  // namespace Valdrin
