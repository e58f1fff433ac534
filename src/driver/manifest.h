// manifest.json: what a reviewer needs to re-run an experiment and check that it gives the same
// files. It records the program, the command line, the working folder (from the experiment's
// folder), the configuration's and every input file's SHA-256, the seed and every output file's
// SHA-256, taken with the measured durations blanked (ClockMask).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Valdrin {

// The file's name in an experiment's folder.
constexpr const char* kManifestFile = "manifest.json";
// The version of the manifest's layout.
constexpr int kManifestFormat = 1;

// Blanks the values of a file's lines that measure time (processor durations), which no two runs
// of an experiment share: "Run duration:" lines of the logs, summary.log's times, runs.csv's
// duration columns and the durations of report.html's table of runs. Other files pass unchanged.
// Lines are given one at a time, in order, without their line break.
class ClockMask {
public:
    // The kind of file is told by its name (the last part of the path).
    explicit ClockMask(std::string_view path);
    // The line with its measured values replaced by "T" (a view of the line itself, or of a buffer
    // valid until the next call).
    std::string_view apply(std::string_view line);

private:
    enum class Kind { Plain, Log, Summary, RunsCsv, Report };
    Kind kind_ = Kind::Plain;
    bool inTimes_ = false;
    bool inSolutions_ = false;
    bool header_ = true;
    std::vector<std::size_t> clockColumns_;
    std::string masked_;
};

// The SHA-256 of the bytes, in lower-case hexadecimal.
std::string sha256Of(std::string_view bytes);
// The SHA-256 of a file's bytes; "" when it cannot be read.
std::string fileSha256(const std::string& path);
// The SHA-256 of a file's content with its measured durations blanked (ClockMask); "" when it
// cannot be read.
std::string maskedFileSha256(const std::string& path);

struct ManifestFile {
    std::string path;    // inputs: as the program opened it, from the working folder; outputs: in the folder
    std::string sha256;  // outputs: with the measured durations blanked
};

struct Manifest {
    int format = kManifestFormat;
    std::string program = "valdrin";
    std::string version;
    std::string build;
    std::vector<std::string> arguments;  // the words after the program's name, as given
    std::string workingFolder = ".";     // where the program ran, from the experiment's folder
    ManifestFile configuration;
    std::vector<ManifestFile> inputs;    // the data, evaluator and library files the problem read
    std::uint32_t seed = 0;              // the seed the runs used
    bool seedFromClock = false;          // the configuration asked for the calendar time's seed
    std::vector<ManifestFile> outputs;
};

// The manifest as JSON text.
std::string manifestText(const Manifest& manifest);
// Reads a manifest; throws std::runtime_error with the reason when the text is none.
Manifest parseManifest(const std::string& text);

// What this build of the program calls its build: the compiler and the build type.
const char* programBuild();

}  // namespace Valdrin
