// The table of problems with a plugin's problem added.
#include "registry/problem_table.h"

#include "problems/plugin_problem.h"

namespace Valdrin {

ProblemTable::ProblemTable(std::span<const ProblemRow> builtIn) : rows_(builtIn.begin(), builtIn.end()) {}

void ProblemTable::addLibrary(const std::string& path) {
    std::shared_ptr<const PluginLibrary> library = PluginLibrary::open(path);
    if (rowNamed(rows(), library->word()) != nullptr) {
        throw PluginRefusal{"the problem library " + path + " names its problem \"" + std::string(library->word()) +
                            "\", which is already a problem of Valdrin's: the plugin must give its problem a word of "
                            "its own"};
    }
    ProblemRow row{library->word(), ProblemKind::Plugin, library->encodings(), nullptr, library->description(),
                   library->table().never_below_zero != 0};
    rows_.push_back(row);
    plugin_ = std::move(library);
}

std::unique_ptr<QProblem> ProblemTable::make(const ProblemRow& row, Engine& engine) const {
    if (row.make != nullptr) return row.make(engine);
    return std::make_unique<QPluginProblem>(engine, plugin_);
}

}  // namespace Valdrin
