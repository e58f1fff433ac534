// The problems a configuration can name: the built-in ones and, where the configuration names a
// problem library, that library's problem (its word must be its own).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/engine.h"
#include "problems/plugin_library.h"
#include "registry/registry.h"

namespace Valdrin {

class ProblemTable {
public:
    explicit ProblemTable(std::span<const ProblemRow> builtIn = problemRows());

    // Adds the problem of the library at path; throws PluginRefusal when the library cannot serve
    // or its word is already a problem of the table.
    void addLibrary(const std::string& path);

    std::span<const ProblemRow> rows() const { return rows_; }
    // The library added; null when there is none.
    const std::shared_ptr<const PluginLibrary>& plugin() const { return plugin_; }

    // Makes the problem of one of the table's rows for the engine.
    std::unique_ptr<QProblem> make(const ProblemRow& row, Engine& engine) const;

private:
    std::vector<ProblemRow> rows_;
    std::shared_ptr<const PluginLibrary> plugin_;
};

}  // namespace Valdrin
