// Opening and checking a problem plugin.
#include "problems/plugin_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace Valdrin {

namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
    throw PluginRefusal{"the problem library " + path + " " + why};
}

// The table's encoding bits as encodings; every bit must be one the interface defines.
std::vector<Encoding> encodingsOf(const std::string& path, unsigned bits) {
    constexpr unsigned kKnown = VALDRIN_ENCODING_STRING | VALDRIN_ENCODING_INTEGER | VALDRIN_ENCODING_REAL;
    if (bits == 0 || (bits & ~kKnown) != 0) {
        refuse(path, "names no encoding it can evaluate (encodings = " + std::to_string(bits) +
                         "; the bits are VALDRIN_ENCODING_STRING, VALDRIN_ENCODING_INTEGER and VALDRIN_ENCODING_REAL)");
    }
    std::vector<Encoding> encodings;
    if ((bits & VALDRIN_ENCODING_STRING) != 0) encodings.push_back(Encoding::String);
    if ((bits & VALDRIN_ENCODING_INTEGER) != 0) encodings.push_back(Encoding::Integer);
    if ((bits & VALDRIN_ENCODING_REAL) != 0) encodings.push_back(Encoding::Real);
    return encodings;
}

bool plainWord(const char* word) {
    if (word == nullptr || *word == '\0') return false;
    for (const char* c = word; *c != '\0'; ++c) {
        if (*c == '\n' || *c == '\r' || *c == '<' || *c == '>' || *c == '&') return false;
    }
    return true;
}

}  // namespace

std::shared_ptr<const PluginLibrary> PluginLibrary::open(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) refuse(path, "cannot be read: " + std::string(std::strerror(errno)));
    if (!S_ISREG(info.st_mode)) refuse(path, "is not a file");
    // A path without a slash would be looked for on the library path: the file meant is this one.
    const std::string opened = path.find('/') == std::string::npos ? "./" + path : path;
    std::shared_ptr<PluginLibrary> library(new PluginLibrary);
    library->path_ = path;
    dlerror();
    library->handle_ = dlopen(opened.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library->handle_ == nullptr) {
        const char* why = dlerror();
        refuse(path, "cannot be loaded as a shared library: " + std::string(why != nullptr ? why : "unknown reason"));
    }
    void* entry = dlsym(library->handle_, VALDRIN_PROBLEM_ENTRY);
    if (entry == nullptr) {
        refuse(path, "is not a Valdrin problem plugin: it exports no " + std::string(VALDRIN_PROBLEM_ENTRY) +
                         " function (declare it extern \"C\" in C++)");
    }
    const auto function = reinterpret_cast<valdrin_problem_entry_function>(entry);
    library->table_ = function();
    const valdrin_problem* table = library->table_;
    if (table == nullptr) refuse(path, "gives no problem: its " + std::string(VALDRIN_PROBLEM_ENTRY) + " returned null");
    if (table->abi_version != VALDRIN_PROBLEM_ABI_VERSION) {
        refuse(path, "was built for version " + std::to_string(table->abi_version) +
                         " of the plugin interface; this Valdrin reads version " +
                         std::to_string(VALDRIN_PROBLEM_ABI_VERSION) +
                         ": rebuild it against this Valdrin's valdrin/problem.h");
    }
    if (!plainWord(table->word)) refuse(path, "names no problem word (or one with a line break or markup)");
    if (table->evaluate == nullptr) refuse(path, "gives no evaluate function");
    library->encodings_ = encodingsOf(path, table->encodings);
    library->description_ = table->description != nullptr ? table->description : "";
    return library;
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

void PluginLibrary::applySettings(QEAParameters& params) const {
    const valdrin_settings& fixed = table_->settings;
    if ((fixed.fixed & VALDRIN_FIX_CHROMOSOME_LENGTH) != 0) params.chromosomeLength = fixed.chromosome_length;
    if ((fixed.fixed & VALDRIN_FIX_GENE_SIZE) != 0) params.geneSize = fixed.gene_size;
    if ((fixed.fixed & VALDRIN_FIX_ARITY) != 0) params.arity = fixed.arity;
    if ((fixed.fixed & VALDRIN_FIX_GENE_OFFSET) != 0) params.geneOffset = fixed.gene_offset;
    if ((fixed.fixed & VALDRIN_FIX_GENE_PRECISION) != 0) params.genePrecision = fixed.gene_precision;
}

std::string libraryPath(const std::string& configurationFolder, const std::string& value) {
    const std::filesystem::path given(value);
    if (given.is_absolute() || configurationFolder.empty() || configurationFolder == ".") return value;
    return (std::filesystem::path(configurationFolder) / given).string();
}

}  // namespace Valdrin
