// Shared by the fuzz targets: a scratch file that carries each input to readers that take a
// file name, and quiet standard streams (the readers report every fault in words, which would
// only slow the fuzzing down).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

namespace Valdrin::fuzzing {

// A fresh private folder under TMPDIR (or /tmp), removed with its files when the process exits.
// The name is made once and never destroyed, so that the removal at exit can still use it.
inline const std::string& scratchFolder() {
    static const std::string* const folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/valdrin-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        const std::string* made = new std::string(pattern);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return made;
    }();
    return *folder;
}

// Replaces the file's content by the bytes.
inline void writeWhole(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Standard output and the C++ error stream write nothing from now on. libFuzzer and the
// sanitizers write their reports through the C streams, which stay as they are.
inline void silenceStandardStreams() {
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    std::clog.rdbuf(nullptr);
}

}  // namespace Valdrin::fuzzing
