// valdrin --verify DIR: the experiment of a manifest re-run in a scratch folder, its outputs
// compared with those of DIR.
#include "driver/verify.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <stdexcept>

#include "core/failure.h"
#include "core/file_content.h"
#include "driver/command_line.h"

namespace Valdrin {

namespace fs = std::filesystem;

namespace {

// A line as a message shows it: quoted, cut after 100 characters.
std::string shownLine(const std::string& line) {
    std::string text = line.size() > 100 ? line.substr(0, 100) + "..." : line;
    return "\"" + text + "\"";
}

// The number of leading ".." of a relative path, once made lexically normal.
int levelsUp(const fs::path& path) {
    int levels = 0;
    for (const fs::path& part : path.lexically_normal()) {
        if (part != "..") break;
        ++levels;
    }
    return levels;
}

// Runs program with the arguments in folder, standard output discarded and standard error into
// errorFile. Returns its exit status (128 + the signal that ended it), or -1 when it could not start.
int runIn(const std::string& folder, const std::string& program, const std::vector<std::string>& arguments,
          const std::string& errorFile) {
    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        // Only calls that are safe between fork and exec.
        const int in = open("/dev/null", O_RDONLY);
        const int out = open("/dev/null", O_WRONLY);
        const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
            dup2(err, STDERR_FILENO) < 0 || chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return -1;
}

// The last lines of a file, each indented.
std::string lastLines(const std::string& path, std::size_t count) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::string text;
    for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) {
        text += "  " + lines[i] + "\n";
    }
    return text;
}

// A scratch folder, removed with everything in it when it goes.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* temporary = std::getenv("TMPDIR");
        std::string pattern = std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
                              "/valdrin-verify-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch folder in " + fs::path(pattern).parent_path().string() +
                                     ": " + std::strerror(errno));
        }
        path_ = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// What differs between the folder's file and the re-run's: "" when nothing.
std::string outputDifference(const fs::path& recorded, const fs::path& reproduced, const std::string& sha256) {
    const bool recordedThere = fs::is_regular_file(recorded);
    const bool reproducedThere = fs::is_regular_file(reproduced);
    if (!recordedThere) return "missing from the experiment's folder";
    if (!reproducedThere) return "not written by the re-run";
    const std::string recordedSum = maskedFileSha256(recorded.string());
    const std::string reproducedSum = maskedFileSha256(reproduced.string());
    if (recordedSum == sha256 && reproducedSum == sha256) return "";
    std::string difference = firstDifference(recorded.string(), reproduced.string());
    if (!difference.empty()) return difference;
    return "the folder's file and the re-run's agree, but not with the SHA-256 manifest.json records";
}

}  // namespace

std::string firstDifference(const std::string& expectedPath, const std::string& gotPath) {
    std::ifstream expected(expectedPath, std::ios::binary);
    std::ifstream got(gotPath, std::ios::binary);
    if (!expected || !got) return "cannot be read";
    ClockMask expectedMask(expectedPath);
    ClockMask gotMask(gotPath);
    std::string expectedLine;
    std::string gotLine;
    for (long number = 1;; ++number) {
        const bool hasExpected = static_cast<bool>(std::getline(expected, expectedLine));
        const bool hasGot = static_cast<bool>(std::getline(got, gotLine));
        if (!hasExpected && !hasGot) return "";
        const std::string prefix = "differs at line " + std::to_string(number) + ": the folder's file has ";
        if (!hasGot) return prefix + shownLine(expectedLine) + ", the re-run's ends before it";
        if (!hasExpected) return prefix + "ended, the re-run's has " + shownLine(gotLine);
        // A last line without its line break differs from one with it.
        const bool expectedBroken = !expected.eof();
        const bool gotBroken = !got.eof();
        const std::string_view maskedExpected = expectedMask.apply(expectedLine);
        const std::string maskedExpectedCopy(maskedExpected);
        if (maskedExpectedCopy != gotMask.apply(gotLine) || expectedBroken != gotBroken) {
            return prefix + shownLine(expectedLine) + ", the re-run's " + shownLine(gotLine);
        }
    }
}

std::vector<std::string> rerunArguments(const std::vector<std::string>& recorded, const std::string& outputFolder,
                                        const std::string& elsewhere) {
    std::vector<std::string> arguments;
    bool quiet = false;
    // Options taking a value in the next word, or after "=".
    const auto valued = [](const std::string& word, const std::string& option) {
        return word == option || word.rfind(option + "=", 0) == 0;
    };
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        const std::string& word = recorded[i];
        const bool joined = word.find('=') != std::string::npos;
        if (valued(word, "--checkpoint") || valued(word, "--resume") || valued(word, "--every") ||
            valued(word, "--out")) {
            if (!joined) ++i;
            continue;
        }
        if (valued(word, "--ioh")) {
            const std::string value = joined ? word.substr(word.find('=') + 1) : (i + 1 < recorded.size() ? recorded[++i] : "");
            arguments.push_back("--ioh");
            arguments.push_back(fs::path(value).is_absolute() ? elsewhere : value);
            continue;
        }
        if (word == "--progress" || word == "--manifest") continue;
        if (word == "--quiet") quiet = true;
        arguments.push_back(word);
    }
    arguments.insert(arguments.end(), {"--out", outputFolder});
    if (!quiet) arguments.push_back("--quiet");
    return arguments;
}

std::string runningProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

namespace {

int verifyOrFail(const std::string& folder, const std::string& program, std::ostream& out, std::ostream& err,
                 const std::string& name) {
    const fs::path manifestPath = fs::path(folder) / kManifestFile;
    std::string text;
    if (!readFileContent(manifestPath.string(), text)) {
        err << name << ": error: " << folder << " holds no readable " << kManifestFile
            << ": it is no folder of an experiment run with --out (or of a sweep)\n";
        return kExitNotVerifiable;
    }
    Manifest manifest;
    try {
        manifest = parseManifest(text);
    } catch (const std::exception& error) {
        err << name << ": error: " << manifestPath.string() << " cannot be read: " << error.what() << "\n";
        return kExitNotVerifiable;
    }
    if (manifest.seedFromClock) {
        err << name << ": error: " << folder << ": the experiment took its seed (" << manifest.seed
            << ") from the calendar time (RNG seed 0), so a re-run cannot draw the same numbers; give the "
               "configuration a seed of its own to make it checkable\n";
        return kExitFailed;
    }
    if (manifest.version != programVersion() || manifest.build != programBuild()) {
        out << "note: the experiment ran on valdrin " << manifest.version << " (" << manifest.build
            << "); it is re-run on valdrin " << programVersion() << " (" << programBuild() << ")\n";
    }

    // The inputs, where the experiment read them, are those it read.
    const fs::path working = (fs::path(folder) / manifest.workingFolder).lexically_normal();
    std::vector<ManifestFile> inputs = {manifest.configuration};
    inputs.insert(inputs.end(), manifest.inputs.begin(), manifest.inputs.end());
    int depth = 0;
    for (const ManifestFile& input : inputs) {
        const fs::path path(input.path);
        const fs::path where = path.is_absolute() ? path : (working / path).lexically_normal();
        const std::string sum = fileSha256(where.string());
        if (sum.empty()) {
            err << name << ": error: the input " << where.string()
                << " cannot be read: the experiment cannot be re-run without it\n";
            return kExitFailed;
        }
        if (sum != input.sha256) {
            err << name << ": error: the input " << where.string()
                << " changed since the experiment ran (its SHA-256 is " << sum << ", manifest.json records "
                << input.sha256 << "): nothing was re-run\n";
            return kExitFailed;
        }
        if (!path.is_absolute()) depth = std::max(depth, levelsUp(path));
    }

    try {
        const ScratchFolder scratch;
        // The working folder lies deep enough in the scratch folder for the inputs above it.
        fs::path scratchWorking = scratch.path();
        for (int level = 0; level < depth; ++level) scratchWorking /= "up";
        scratchWorking /= "work";
        fs::create_directories(scratchWorking);
        for (const ManifestFile& input : inputs) {
            const fs::path path(input.path);
            if (path.is_absolute()) continue;
            const fs::path copy = (scratchWorking / path).lexically_normal();
            fs::create_directories(copy.parent_path());
            fs::copy_file(working / path, copy, fs::copy_options::overwrite_existing);
        }
        const fs::path outputs = scratch.path() / "out";
        const std::string errorFile = (scratch.path() / "stderr.txt").string();
        const int status = runIn(scratchWorking.string(), fs::absolute(program).string(),
                                 rerunArguments(manifest.arguments, outputs.string(), (scratch.path() / "elsewhere").string()),
                                 errorFile);
        if (status != 0) {
            const std::string ending = lastLines(errorFile, 5);
            err << name << ": error: the re-run of " << folder << " with " << program << " failed (exit status "
                << status << ")" << (ending.empty() ? ", writing nothing on standard error\n" : "; it ended with:\n")
                << ending;
            return kExitFailed;
        }
        std::size_t same = 0;
        for (const ManifestFile& output : manifest.outputs) {
            const std::string difference =
                outputDifference(fs::path(folder) / output.path, outputs / output.path, output.sha256);
            out << output.path << ": " << (difference.empty() ? "same" : difference) << "\n";
            if (difference.empty()) ++same;
        }
        out << same << " of " << manifest.outputs.size() << " files reproduce"
            << (same == manifest.outputs.size() ? "" : ": the experiment does not reproduce") << "\n";
        return same == manifest.outputs.size() ? kExitRan : kExitFailed;
    } catch (const std::exception& error) {
        err << name << ": error: cannot re-run " << folder << ": " << error.what() << "\n";
        return kExitFailed;
    }
}

}  // namespace

int verifyExperiment(const std::string& folder, const std::string& program, std::ostream& out, std::ostream& err,
                     const std::string& name) {
    try {
        return verifyOrFail(folder, program, out, err, name);
    } catch (const Failure& failure) {
        err << name << ": error: " << failure.plain() << "\n";
        return kExitFailed;
    }
}

}  // namespace Valdrin
