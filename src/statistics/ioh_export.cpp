// The IOHprofiler meta-data and data files of an experiment's runs, and the blocks of the other
// experiments written into the same folder.
#include "statistics/ioh_export.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>

#include "core/failure.h"
#include "core/file_content.h"
#include "core/output_file.h"
#include "statistics/csv_export.h"

namespace Valdrin {

namespace {

constexpr const char* kSuite = "valdrin";
constexpr const char* kSeparator = "\"function evaluation\" \"best-so-far f(x)\"";
constexpr std::string_view kKeyField = "experiment = ";

bool isNameCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; }

// The problem's name as a part of a file name: letters, digits and hyphens, every other run of
// characters one hyphen, none at either end.
std::string fileNamePart(const std::string& name) {
    std::string part;
    bool pending = false;
    for (char c : name) {
        if (!isNameCharacter(c)) {
            pending = true;
            continue;
        }
        if (pending && !part.empty()) part += '-';
        pending = false;
        part += c;
    }
    return part;
}

// A name as a quoted value of the meta-data's first line, whose reader splits the line at commas
// and ends a value at a double quote: those and the control characters (a printed name's line
// breaks) become spaces, runs of spaces one space, none at either end. Returned without quotes.
std::string valueText(const std::string& name) {
    std::string value;
    bool pending = false;
    for (char c : name) {
        if (c == ' ' || c == '"' || c == ',' || std::iscntrl(static_cast<unsigned char>(c)) != 0) {
            pending = true;
            continue;
        }
        if (pending && !value.empty()) value += ' ';
        pending = false;
        value += c;
    }
    return value;
}

std::string quotedValue(const std::string& name) { return '"' + valueText(name) + '"'; }

bool isSolved(const QRunSummary& run) { return run.evaluationsToSolution != 0; }

void writeRecord(std::ostream& out, int evaluation, double fitness) {
    out << evaluation << ' ';
    writeShortestNumber(out, fitness);
    out << '\n';
}

void writeRun(const QRunSummary& run, std::ostream& out) {
    out << kSeparator << '\n';
    for (const FitnessImprovement& improvement : run.improvements) {
        writeRecord(out, improvement.evaluation, improvement.fitness);
    }
    // An unsolved run's budget: the evaluations it spent without reaching the error level.
    const int lastImprovement = run.improvements.empty() ? 0 : run.improvements.back().evaluation;
    if (!isSolved(run) && run.evaluationsCount > lastImprovement) {
        writeRecord(out, run.evaluationsCount, bestSoFar(run).fitness);
    }
}

void writeKeyParameters(const QEAParameters& params, std::ostream& out) {
    out << "% populationSize = " << params.populationSize << ", generationsNumber = " << params.generationsNumber
        << ", errorLevel = ";
    writeShortestNumber(out, params.errorLevel);
    out << ", encoding ID = " << number(params.encoding) << ", selectionType ID = " << number(params.selectionType)
        << ", tournamentSize = " << params.tournamentSize << ", xType ID = " << number(params.xType) << ", xRate = ";
    writeShortestNumber(out, params.xRate);
    out << ", mutationType ID = " << number(params.mutationType) << ", mRate = ";
    writeShortestNumber(out, params.mRate);
    out << ", eliteCount = " << params.eliteCount << ", nichingType ID = " << number(params.nichingType)
        << ", populationSizerType ID = " << number(params.populationSizerType) << ", RNG seed = " << params.rngSeed;
}

// The experiment's key: FNV-1a (64 bits) of its identity and of its first run's data, as 16 hex
// digits. A resumed experiment has the same identity and the same first run as the one it goes
// on with (it was restored from the checkpoint); another experiment differs in one or the other.
std::string experimentKey(const std::string& identity, const std::vector<QRunSummary>& runs) {
    std::ostringstream firstRun;
    if (!runs.empty()) writeRun(runs.front(), firstRun);
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const auto add = [&hash](std::string_view bytes) {
        for (char c : bytes) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ULL;
        }
    };
    add(identity);
    add(std::string_view("\0", 1));
    add(firstRun.str());
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return "";
    return std::string(text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1));
}

// One experiment's three lines of meta-data, with what this program reads from them.
struct InfoBlock {
    std::string lines[3];
    std::string algId;
    std::string dim;
    std::string dataPath;  // as the third line names it, "\" read as "/"
    std::string key;       // "" when the comment line holds none
};

// The value of the first line's pair named name: the text after " = " up to the next comma
// outside quotes, trimmed, without its quotes.
std::string headerValue(const std::string& line, std::string_view name) {
    std::size_t start = 0;
    while (start <= line.size()) {
        std::size_t end = start;
        char quote = 0;
        for (; end < line.size(); ++end) {
            const char c = line[end];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == ',') {
                break;
            }
        }
        const std::string pair = line.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals != std::string::npos && trimmed(std::string_view(pair).substr(0, equals)) == name) {
            std::string value = trimmed(std::string_view(pair).substr(equals + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
        start = end + 1;
    }
    return "";
}

InfoBlock blockOf(const std::string (&lines)[3]) {
    InfoBlock block;
    for (int i = 0; i < 3; ++i) block.lines[i] = lines[i];
    block.algId = headerValue(lines[0], "algId");
    block.dim = headerValue(lines[0], "DIM");
    block.dataPath = trimmed(std::string_view(lines[2]).substr(0, lines[2].find(',')));
    for (char& c : block.dataPath) c = c == '\\' ? '/' : c;
    const std::size_t key = lines[1].rfind(kKeyField);
    if (key != std::string::npos) {
        const std::size_t from = key + kKeyField.size();
        std::size_t end = from;
        while (end < lines[1].size() && std::isxdigit(static_cast<unsigned char>(lines[1][end])) != 0) ++end;
        block.key = lines[1].substr(from, end - from);
    }
    return block;
}

// The blocks of the meta-data file at path; none when it does not exist. Ends the experiment
// when it cannot be read or is not in blocks of three lines.
std::vector<InfoBlock> readBlocks(const std::string& path) {
    std::string text;
    if (!readFileContent(path, text)) {
        const int error = errno;
        if (error == ENOENT) return {};
        failPlainly("cannot read " + path + ": " + std::strerror(error));
    }
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    while (!lines.empty() && trimmed(lines.back()).empty()) lines.pop_back();
    if (lines.size() % 3 != 0) {
        failPlainly("cannot add the runs to " + path +
                    ": it does not hold IOHprofiler meta-data in blocks of three lines, so its algorithms could not "
                    "be told apart (move it away or write into another folder)");
    }
    std::vector<InfoBlock> blocks;
    for (std::size_t i = 0; i < lines.size(); i += 3) {
        const std::string three[3] = {lines[i], lines[i + 1], lines[i + 2]};
        blocks.push_back(blockOf(three));
    }
    return blocks;
}

// The folder locked for this process (flock, which is given up when the process ends) while the
// object lives; a folder that cannot be locked (a file system without flock) is used as it is.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : descriptor_(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (descriptor_ < 0) return;
        while (::flock(descriptor_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int descriptor_;
};

}  // namespace

std::string defaultIohLabel(std::string_view algorithm, const QEAParameters& params,
                            const std::function<std::string(std::string_view key)>& word) {
    std::string label(algorithm);
    const auto add = [&label](const std::string& text) {
        if (!text.empty()) label += (label.empty() ? "" : " ") + text;
    };
    if (params.encoding != Encoding::Network) add(word("Crossover type"));
    add(word("Mutation type"));
    if (params.nichingType != Niching::None) add(word("Niching type"));
    return label;
}

void writeIohProfilerData(const std::vector<QRunSummary>& runs, const QEAParameters& params,
                          const IohExperiment& experiment, const std::string& folder) {
    // (Appended rather than added to a literal, which GCC 12 wrongly warns about.)
    std::string function = "f";
    function += std::to_string(experiment.functionId);
    const std::string problemPart = fileNamePart(experiment.problemName);
    const std::string suffix = problemPart.empty() ? "" : "_" + problemPart;
    const std::string dataFolder = "data_" + function + suffix;
    // A network's size changes as it evolves: its dimension is that of the task, the number of
    // its external inputs (the chromosome length is not read for networks).
    const std::string dim =
        std::to_string(params.encoding == Encoding::Network ? params.inputsNumber : params.chromosomeLength);
    const std::string infoPath = resultsFile(folder, "IOHprofiler_" + function + suffix + ".info");
    const std::string key = experimentKey(experiment.identity, runs);

    makeResultsFolder(folder);
    const FolderLock lock(folder);
    std::vector<InfoBlock> blocks = readBlocks(infoPath);
    std::optional<std::size_t> own;
    for (std::size_t b = 0; b < blocks.size() && !own; ++b) {
        if (blocks[b].key == key) own = b;
    }
    const auto takenByOther = [&](auto&& taken) {
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (b != own && taken(blocks[b])) return true;
        }
        return false;
    };
    // The meta-data names the data file by its path from the meta-data's folder, with "/".
    std::string dataPath = own ? blocks[*own].dataPath : "";
    for (int n = 1; dataPath.empty(); ++n) {
        std::string candidate = dataFolder + "/IOHprofiler_" + function + "_DIM" + dim;
        if (n > 1) candidate.append("_").append(std::to_string(n));
        candidate += ".dat";
        if (!takenByOther([&](const InfoBlock& block) { return block.dataPath == candidate; })) dataPath = candidate;
    }
    const std::string label = valueText(experiment.label);
    std::string algId;
    for (int n = 1; algId.empty(); ++n) {
        std::string candidate = label;
        if (n > 1) candidate.append(" (").append(std::to_string(n)).append(")");
        if (!takenByOther([&](const InfoBlock& block) { return block.algId == candidate && block.dim == dim; })) {
            algId = candidate;
        }
    }

    const std::string dataFile = resultsFile(folder, dataPath);
    makeResultsFolder(std::filesystem::path(dataFile).parent_path().string());
    {
        AtomicOutputFile data(dataFile);
        for (const QRunSummary& run : runs) writeRun(run, data);
        data.commit();
    }

    std::ostringstream mine;
    mine << "suite = \"" << kSuite << "\", funcId = " << experiment.functionId << ", DIM = " << dim
         << ", algId = \"" << algId << "\", funcName = " << quotedValue(experiment.problemName)
         << ", maximization = F\n";
    writeKeyParameters(params, mine);
    mine << ", " << kKeyField << key << "\n" << dataPath;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        mine << ", " << r + 1 << ':' << runs[r].evaluationsCount << '|';
        writeShortestNumber(mine, bestSoFar(runs[r]).fitness);
    }
    mine << '\n';

    AtomicOutputFile info(infoPath);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (b == own) {
            info << mine.str();
        } else {
            for (const std::string& line : blocks[b].lines) info << line << '\n';
        }
    }
    if (!own) info << mine.str();
    info.commit();
}

}  // namespace Valdrin
