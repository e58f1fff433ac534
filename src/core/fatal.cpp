// Process termination and the registry of owned output files.
#include "core/fatal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

namespace Valdrin {

namespace {
std::vector<OutputFile*>& openFiles() {
    static std::vector<OutputFile*> files;
    return files;
}
}  // namespace

OutputFile::OutputFile() { openFiles().push_back(this); }

OutputFile::OutputFile(const std::string& path) : std::ofstream(path, std::ios::out | std::ios::trunc) {
    openFiles().push_back(this);
}

OutputFile::~OutputFile() {
    auto& files = openFiles();
    files.erase(std::remove(files.begin(), files.end(), this), files.end());
}

void fatal() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    for (OutputFile* file : openFiles()) {
        if (file->is_open()) file->close();
    }
    std::exit(0);
}

void fatal(std::string_view message) {
    std::cerr << message;
    fatal();
}

}  // namespace Valdrin
