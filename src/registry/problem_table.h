// The problems a configuration can name: the built-in ones and problems from outside the
// program, each with a word of its own: the problem of a plugin library the configuration names
// (Problem library), or one a program that embeds Valdrin adds (a function of its own).
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/engine.h"
#include "problems/plugin_library.h"
#include "registry/registry.h"

namespace Valdrin {

// A problem from outside the program, as the table keeps it.
struct ExternalProblem {
    std::string word;
    std::string description;
    std::vector<Encoding> encodings;  // the encodings whose individuals it can evaluate
    bool neverBelowZero = false;
    // Sets the record's fields the problem fixes (as the built-in problems' adjustParameters
    // do); may be empty.
    std::function<void(QEAParameters&)> applySettings;
    std::function<std::unique_ptr<QProblem>(Engine&)> make;
};

class ProblemTable {
public:
    explicit ProblemTable(std::span<const ProblemRow> builtIn = problemRows());

    // Adds a problem from outside; throws PluginRefusal when its word is already one of the table's.
    void add(ExternalProblem problem);
    // Adds the problem of the library at path; throws PluginRefusal when the library cannot serve
    // or its word is already a problem of the table.
    void addLibrary(const std::string& path);

    // The built-in rows, then one row per problem from outside (kind ProblemKind::Plugin).
    std::span<const ProblemRow> rows() const { return rows_; }
    // The problem from outside a row of the table stands for; null for a built-in row.
    const ExternalProblem* externalOf(const ProblemRow& row) const;
    // Sets the record's fields the row's problem from outside fixes; nothing for built-in rows.
    void applySettings(const ProblemRow& row, QEAParameters& params) const;
    // Makes the problem of one of the table's rows for the engine.
    std::unique_ptr<QProblem> make(const ProblemRow& row, Engine& engine) const;

private:
    void rebuildRows();

    std::vector<ProblemRow> builtIn_;
    std::vector<std::shared_ptr<const ExternalProblem>> external_;
    std::vector<ProblemRow> rows_;  // views into builtIn_'s rows and external_'s problems
};

}  // namespace Valdrin
