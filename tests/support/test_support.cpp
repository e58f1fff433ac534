// Helpers shared by the test suite.
#include "support/test_support.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "core/failure.h"
#include "core/random.h"

namespace Valdrin::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    previous_ = fs::current_path().string();
    std::string pattern = (fs::temp_directory_path() / "valdrin-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
    fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool fileExists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

namespace {

std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

}  // namespace

ProgramResult runCommand(const std::string& command, const std::vector<std::string>& arguments) {
    std::string line = quoted(command);
    for (const auto& argument : arguments) line += " " + quoted(argument);
    const std::string outPath = "valdrin-test-stdout.txt";
    const std::string errPath = "valdrin-test-stderr.txt";
    line += " >" + outPath + " 2>" + errPath + " </dev/null";
    ProgramResult result;
    const int raw = std::system(line.c_str());
    if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    if (raw != -1 && WIFSIGNALED(raw)) result.status = 128 + WTERMSIG(raw);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return result;
}

ProgramResult runProgram(const std::vector<std::string>& arguments) {
#ifdef VALDRIN_EXECUTABLE
    return runCommand(VALDRIN_EXECUTABLE, arguments);
#else
    return runCommand("valdrin", arguments);
#endif
}

ProgramResult runSweepProgram(const std::vector<std::string>& arguments) {
#ifdef VALDRIN_SWEEP_EXECUTABLE
    return runCommand(VALDRIN_SWEEP_EXECUTABLE, arguments);
#else
    return runCommand("valdrin-sweep", arguments);
#endif
}

bool browserInstalled() {
    std::stringstream folders(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && access((folder + "/chromium").c_str(), X_OK) == 0) return true;
    }
    return false;
}

ProgramResult runBrowser(const std::string& profile, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(),
                     {"20", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                      "--disable-background-networking", "--disable-component-update", "--disable-sync",
                      "--user-data-dir=" + profile});
    return runCommand("timeout", arguments);
}

std::vector<std::vector<std::string>> queryRows(const std::string& database, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << database << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot run \"" << sql << "\" on " << database << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            const unsigned char* text = sqlite3_column_text(statement, c);
            row.push_back(sqlite3_column_type(statement, c) == SQLITE_NULL ? "NULL" : reinterpret_cast<const char*>(text));
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

namespace {

std::string programPath() {
#ifdef VALDRIN_EXECUTABLE
    return VALDRIN_EXECUTABLE;
#else
    return "valdrin";
#endif
}

}  // namespace

BackgroundRun::BackgroundRun(const std::vector<std::string>& arguments, const std::string& prefix)
    : BackgroundRun(programPath(), arguments, prefix) {}

BackgroundRun::BackgroundRun(const std::string& program, const std::vector<std::string>& arguments, const std::string& prefix)
    : outPath_((fs::current_path() / (prefix + "-stdout.txt")).string()),
      errPath_((fs::current_path() / (prefix + "-stderr.txt")).string()) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
}

BackgroundRun::~BackgroundRun() {
    if (!reaped_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &raw_, 0);
    }
    fs::remove(outPath_);
    fs::remove(errPath_);
}

bool BackgroundRun::running() {
    if (reaped_) return false;
    if (waitpid(pid_, &raw_, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
}

void BackgroundRun::signal(int number) {
    if (running()) kill(pid_, number);
}

std::string BackgroundRun::outputSoFar() const { return readFile(outPath_); }

ProgramResult BackgroundRun::wait() {
    if (!reaped_) {
        waitpid(pid_, &raw_, 0);
        reaped_ = true;
    }
    ProgramResult result;
    if (WIFEXITED(raw_)) result.status = WEXITSTATUS(raw_);
    if (WIFSIGNALED(raw_)) result.status = 128 + WTERMSIG(raw_);
    result.out = readFile(outPath_);
    result.err = readFile(errPath_);
    return result;
}

bool programIsSanitized() {
    static const bool sanitized = [] {
        const std::string binary = readFile(programPath());
        return binary.find("__asan_init") != std::string::npos || binary.find("__ubsan_handle") != std::string::npos;
    }();
    return sanitized;
}

std::string realSphere(const std::string& generations) {
    return gaConfiguration("Sphere", {{"Encoding", "real"},
                                      {"Chromosome length", "3"},
                                      {"Population size", "30"},
                                      {"Generations number", generations},
                                      {"Selection type", "tournament"},
                                      {"Crossover type", "SBX"},
                                      {"Mutation type", "gaussian"},
                                      {"Mutation rate", "0.3"},
                                      {"RNG seed", "77"}});
}

std::string sweepSphere(const std::string& generations) {
    return gaConfiguration("Sphere", {{"Encoding", "real"},
                                      {"Chromosome length", "3"},
                                      {"Population size", "40"},
                                      {"Generations number", generations},
                                      {"Selection type", "tournament"},
                                      {"Tournament size", "3"},
                                      {"Crossover type", "SBX"},
                                      {"xAlpha", "1"},
                                      {"Mutation type", "gaussian"},
                                      {"Mutation rate", "0.3"},
                                      {"RNG seed", "12345"}});
}

std::string writeStandInSsh(const std::string& path) {
    writeFile(path,
              "#!/bin/sh\n"
              "while [ $# -gt 0 ]; do\n"
              "  case $1 in\n"
              "    -[bcDEeFIiJLlmOopQRSWw]) shift 2 ;;\n"
              "    --) shift; break ;;\n"
              "    -*) shift ;;\n"
              "    *) break ;;\n"
              "  esac\n"
              "done\n"
              "host=$1\n"
              "shift\n"
              "[ \"$1\" = \"--\" ] && shift\n"
              "cd \"$(dirname \"$0\")/$host\" || exit 255\n"
              "SHELL=/bin/sh; export SHELL\n"
              "exec /bin/sh -c \"$*\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec);
    return std::filesystem::absolute(path).string();
}

std::string maskClock(const std::string& text) {
    static const std::regex duration("^Run duration: [^ ]+ seconds$");
    static const std::regex timeRow("^([0-9]+:\t)[^\t]+$");
    static const std::regex solutionRow("^([0-9]+:\t)[^\t]+(\t.*)$");
    std::string masked;
    bool inTimes = false;
    bool inSolutions = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool broken = end != std::string::npos;
        std::string line = text.substr(start, broken ? end - start : std::string::npos);
        start = broken ? end + 1 : text.size();
        if (line == "#\tTimes:") inTimes = true;
        if (line.rfind("#\tConvergence", 0) == 0 || line == "No convergence") inTimes = false;
        if (line == "#\tTime\tGenerations\tFE") inSolutions = true;
        if (line.empty()) inSolutions = false;
        line = std::regex_replace(line, duration, "Run duration: T seconds");
        if (inTimes) {
            line = std::regex_replace(line, timeRow, "$1T");
            if (line.rfind("Mean:\t", 0) == 0) line = "Mean:\tT";
            if (line.rfind("Deviation:\t", 0) == 0) line = "Deviation:\tT";
        }
        if (inSolutions) line = std::regex_replace(line, solutionRow, "$1T$2");
        if (line.rfind("Mean time:\t", 0) == 0) line = "Mean time:\tT";
        if (line.rfind("Time deviation:\t", 0) == 0) line = "Time deviation:\tT";
        masked += line;
        if (broken) masked += '\n';
    }
    return masked;
}

fs::path sourceFolder() {
#ifdef VALDRIN_SOURCE_DIR
    return VALDRIN_SOURCE_DIR;
#else
    return ".";
#endif
}

std::vector<fs::path> exampleFolders() {
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(sourceFolder() / "examples")) {
        if (entry.is_directory() && fs::exists(entry.path() / "config.xml")) folders.push_back(entry.path());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

std::string gaConfiguration(const std::string& problem, const std::vector<std::pair<std::string, std::string>>& parameters) {
    std::string text = "<?xml version=\"1.0\"?>\n<experiment>\n  <algorithm><type>GA</type></algorithm>\n";
    text += "  <problem><type>" + problem + "</type></problem>\n";
    for (const auto& [name, value] : parameters) {
        text += "  <parameter><name>" + name + "</name><value>" + value + "</value></parameter>\n";
    }
    return text + "</experiment>\n";
}

::testing::AssertionResult endsWithFailure(const std::function<void()>& statement, const std::string& pattern) {
    std::string shown;
    bool failed = false;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    try {
        statement();
    } catch (const Failure& failure) {
        failed = true;
        shown = failure.message();
    }
    shown = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr() + shown;
    if (!failed) return ::testing::AssertionFailure() << "no failure; the statement wrote \"" << shown << "\"";
    if (!std::regex_search(shown, std::regex(pattern))) {
        return ::testing::AssertionFailure() << "\"" << shown << "\" does not match \"" << pattern << "\"";
    }
    return ::testing::AssertionSuccess();
}

Engine& testEngine() {
    static Engine engine;
    return engine;
}

void seedForTest(unsigned seed) {
    std::ostream nowhere(nullptr);
    testEngine().random.restore(0, false);
    testEngine().random.seed(seed, nowhere);
}

}  // namespace Valdrin::testing
