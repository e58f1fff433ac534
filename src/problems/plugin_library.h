// A problem plugin: a shared library whose one exported entry point hands over the table of
// include/valdrin/problem.h. Opening one checks everything that can be checked before a run:
// that the file is a shared library, exports the entry point, was built for this interface
// version and describes a problem that can be evaluated.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <valdrin/problem.h>

#include "core/identifiers.h"
#include "core/parameters.h"

namespace Valdrin {

// Why a library cannot serve as a problem plugin.
struct PluginRefusal {
    std::string message;
};

class PluginLibrary {
public:
    // Opens the library at path (as given: nothing is searched for); throws PluginRefusal.
    static std::shared_ptr<const PluginLibrary> open(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const valdrin_problem& table() const { return *table_; }
    const std::string& path() const { return path_; }
    std::string_view word() const { return table_->word; }
    std::string_view description() const { return description_; }
    // The encodings its table names, in the registry's terms.
    std::span<const Encoding> encodings() const { return encodings_; }
    // Sets the record's fields the plugin fixes.
    void applySettings(QEAParameters& params) const;

private:
    PluginLibrary() = default;
    void* handle_ = nullptr;
    const valdrin_problem* table_ = nullptr;
    std::string path_;
    std::string description_;
    std::vector<Encoding> encodings_;
};

// The path a configuration's "Problem library" value names: as given when absolute, else relative
// to the configuration's folder.
std::string libraryPath(const std::string& configurationFolder, const std::string& value);

}  // namespace Valdrin
