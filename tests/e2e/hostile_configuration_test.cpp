// Hostile input: several hundred configurations and submatrix data files, made from a fixed seed
// (mangled markup, binary junk, deep nesting, huge text, the registry's keys and words mixed with
// misspellings, out-of-range and non-numeric values), each run by the built program in a scratch
// folder under a time limit. Whatever the input, the program must end by itself with exit status
// 0, 1 or 2, not by a signal, and without a sanitizer report on standard error.
//
// Valid parts stay tiny (a few individuals, a few generations), so that only the hostile value
// itself can make a run long or large. Set VALDRIN_HOSTILE_KEEP to a folder to get the input
// files of every failing case copied there, one folder per case.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/light_xml.h"
#include "registry/registry.h"
#include "support/test_support.h"

extern char** environ;

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::programIsSanitized;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

#ifdef VALDRIN_EXECUTABLE
const std::string kProgram = VALDRIN_EXECUTABLE;
#else
const std::string kProgram = "valdrin";
#endif
const fs::path kSourceDir = testing::sourceFolder();

constexpr std::uint32_t kSeed = 20240611;
constexpr auto kTimeLimit = std::chrono::seconds(20);
// Address-space cap of a plain build; a sanitizer build reserves far more address space than it
// uses (a cap would keep it from starting) and gets its limits through kSanitizerEnvironment.
constexpr rlim_t kAddressSpaceBytes = rlim_t{2048} << 20;
const char* const kSanitizerEnvironment =
    "ASAN_OPTIONS=hard_rss_limit_mb=2048:max_allocation_size_mb=1024:allocator_may_return_null=1:detect_leaks=1";
const char* const kSanitizerReports[] = {"ERROR: AddressSanitizer", "runtime error:", "LeakSanitizer"};

// ---------------------------------------------------------------------------------------------
// Running one case

struct Case {
    std::string name;                                        // family and number, e.g. "sizes-17"
    std::string description;                                 // what is hostile about it
    std::vector<std::pair<std::string, std::string>> files;  // written into the scratch folder
    std::vector<std::string> folders;                        // made in the scratch folder
    std::vector<std::string> arguments = {"config.xml", "1"};
};

struct Outcome {
    bool ended = false;  // false: killed at the time limit
    int status = -1;     // the exit status, when the program exited
    int signal = 0;      // the signal that ended it, when one did
    std::string err;
};

// The environment of the program: ours, with the sanitizer options replaced.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "ASAN_OPTIONS=", 13) != 0) variables.emplace_back(*entry);
    }
    variables.emplace_back(kSanitizerEnvironment);
    return variables;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Runs the program in the current folder, its output in two files there, and kills its whole
// process group when it outlives the time limit.
Outcome runProgramTimed(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {kProgram};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = childEnvironment();
    std::vector<char*> argvPointers = pointersTo(argv);
    std::vector<char*> envPointers = pointersTo(env);
    const bool capAddressSpace = !programIsSanitized();
    const std::string outPath = "hostile-run-stdout.txt";
    const std::string errPath = "hostile-run-stderr.txt";

    const pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed: " << std::strerror(errno);
        return {};
    }
    if (child == 0) {
        setpgid(0, 0);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (capAddressSpace) {
            const rlimit limit{kAddressSpaceBytes, kAddressSpaceBytes};
            setrlimit(RLIMIT_AS, &limit);
        }
        execvpe(argvPointers[0], argvPointers.data(), envPointers.data());
        _exit(127);
    }
    setpgid(child, child);

    Outcome outcome;
    int raw = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    for (;;) {
        const pid_t done = waitpid(child, &raw, WNOHANG);
        if (done == child) {
            outcome.ended = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(-child, SIGKILL);
            kill(child, SIGKILL);
            waitpid(child, &raw, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (outcome.ended && WIFEXITED(raw)) outcome.status = WEXITSTATUS(raw);
    if (outcome.ended && WIFSIGNALED(raw)) outcome.signal = WTERMSIG(raw);
    outcome.err = readFile(errPath);
    return outcome;
}

Outcome runCase(const Case& hostile) {
    ScratchDir scratch;
    for (const std::string& folder : hostile.folders) fs::create_directories(folder);
    for (const auto& [path, text] : hostile.files) writeFile(path, text);
    return runProgramTimed(hostile.arguments);
}

// What is wrong with the way the program ended; empty when nothing is.
std::string faultOf(const Outcome& outcome) {
    if (!outcome.ended) {
        return "did not end within " + std::to_string(kTimeLimit.count()) + " s and was killed";
    }
    std::string fault;
    if (outcome.signal != 0) {
        fault = "ended by signal " + std::to_string(outcome.signal) + " (" + strsignal(outcome.signal) + ")";
    } else if (outcome.status < 0 || outcome.status > 2) {
        fault = "exit status " + std::to_string(outcome.status);
    }
    for (const char* report : kSanitizerReports) {
        const std::size_t at = outcome.err.find(report);
        if (at == std::string::npos) continue;
        const std::size_t lineStart = outcome.err.rfind('\n', at);
        const std::size_t begin = lineStart == std::string::npos ? 0 : lineStart + 1;
        const std::string line = outcome.err.substr(begin, outcome.err.find('\n', at) - begin);
        fault += (fault.empty() ? "" : "; ") + std::string("sanitizer report: ") + line.substr(0, 300);
        break;
    }
    return fault;
}

void keepForInspection(const Case& hostile) {
    const char* keep = std::getenv("VALDRIN_HOSTILE_KEEP");
    if (keep == nullptr || *keep == '\0') return;
    const fs::path folder = fs::path(keep) / hostile.name;
    fs::create_directories(folder);
    for (const auto& [path, text] : hostile.files) writeFile((folder / path).string(), text);
    std::string notes = hostile.description + "\narguments:";
    for (const std::string& argument : hostile.arguments) notes += " '" + argument + "'";
    for (const std::string& made : hostile.folders) notes += "\nfolder: " + made;
    writeFile((folder / "CASE.txt").string(), notes + "\n");
}

void expectEveryCaseEndsCleanly(const std::vector<Case>& cases) {
    ASSERT_FALSE(cases.empty());
    std::vector<std::string> faults;
    for (const Case& hostile : cases) {
        const std::string fault = faultOf(runCase(hostile));
        if (fault.empty()) continue;
        faults.push_back(hostile.name + " [" + hostile.description + "]: " + fault);
        keepForInspection(hostile);
    }
    std::string listed;
    for (const std::string& fault : faults) listed += "  " + fault + "\n";
    EXPECT_TRUE(faults.empty()) << faults.size() << " of " << cases.size() << " cases ended badly:\n" << listed;
}

// ---------------------------------------------------------------------------------------------
// Material for the cases

// The generator of every choice: the engine's output is fixed by the standard, and the
// reductions below are plain arithmetic, so the cases are the same on every platform.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : engine_(seed) {}
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(engine_() % n); }
    bool percent(unsigned chance) { return below(100) < chance; }
    template <class Item>
    const Item& pick(const std::vector<Item>& items) {
        return items[below(items.size())];
    }
    std::string bytes(std::size_t count) {
        std::string text(count, '\0');
        for (char& c : text) c = static_cast<char>(engine_() & 0xFF);
        return text;
    }

private:
    std::mt19937 engine_;
};

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// A value as a case's description shows it: long ones shortened, junk escaped.
std::string shown(const std::string& value) {
    std::string text;
    for (char c : value.substr(0, 24)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            static const char* const kHex = "0123456789abcdef";
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0xF];
        }
    }
    if (value.size() > 24) text += "...(" + std::to_string(value.size()) + " bytes)";
    return "\"" + text + "\"";
}

// A word with one slip of the keyboard.
std::string misspelled(std::string word, Dice& dice) {
    if (word.empty()) return "x";
    const std::size_t at = dice.below(word.size());
    switch (dice.below(6)) {
        case 0:
            word.erase(at, 1);
            break;
        case 1:
            word.insert(at, 1, static_cast<char>('a' + dice.below(26)));
            break;
        case 2: {
            if (word.size() < 2) return word + word;
            const std::size_t first = std::min(at, word.size() - 2);
            std::swap(word[first], word[first + 1]);
            break;
        }
        case 3: {
            char& c = word[at];
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            } else if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            } else {
                c = '_';
            }
            break;
        }
        case 4:
            word.insert(at, word.substr(at, 1));
            break;
        default:
            word = word.substr(0, at) + "-" + word.substr(at);
            break;
    }
    return word;
}

// The registry's vocabulary: its keys, algorithms and problems, and in words every word the
// configuration knows (those of the keys, the keys themselves, algorithms and problems).
struct Vocabulary {
    std::vector<const KeyRow*> keys;
    std::vector<std::string> words;
    std::vector<std::string> algorithms;
    std::vector<std::string> problems;
};

const Vocabulary& vocabulary() {
    static const Vocabulary known = [] {
        Vocabulary v;
        for (const KeyRow& key : keyRows()) {
            v.keys.push_back(&key);
            for (std::string_view word : key.words()) v.words.emplace_back(word);
        }
        for (const AlgorithmRow& row : algorithmRows()) v.algorithms.emplace_back(row.word);
        for (const ProblemRow& row : problemRows()) v.problems.emplace_back(row.word);
        for (const KeyRow* key : v.keys) v.words.emplace_back(key->key);
        v.words.insert(v.words.end(), v.algorithms.begin(), v.algorithms.end());
        v.words.insert(v.words.end(), v.problems.begin(), v.problems.end());
        return v;
    }();
    return known;
}

// Values that an integer key must survive: out of range, not numbers, or numbers only in part.
const std::vector<std::string> kSizeValues = {"-1", "0", "2147483647", "99999999999", "1e308", "nan", "", "3x"};

const std::vector<std::string>& integerValues() {
    static const std::vector<std::string> values = [] {
        std::vector<std::string> all = kSizeValues;
        all.insert(all.end(), {"-2147483648", "2147483648", "-99999999999", "1" + std::string(400, '0'),
                               "0000000000000000000000000000004", "+7", "0x7fffffff", " 5 ", "4.9", "-", "--3",
                               "\xd9\xa3", "1 000 000"});
        return all;
    }();
    return values;
}

const std::vector<std::string>& realValues() {
    static const std::vector<std::string> values = [] {
        std::vector<std::string> all = {"-1", "0",  "1e308", "nan",         "inf",           "-inf",
                                        "",   "3x", "1.2.3", "99999999999", "2147483647",    "1e-308",
                                        ".",  "-.", "-0",    "0.5",         "-99999999999.5"};
        // 1e308 in digits, and digits beyond the range of a double, above and below it.
        all.insert(all.end(), {"1" + std::string(308, '0'), "1" + std::string(400, '0'), "-1" + std::string(400, '0'),
                               "0." + std::string(400, '0') + "1"});
        return all;
    }();
    return values;
}

std::string wordValue(const KeyRow& key, Dice& dice) {
    const std::vector<std::string_view> own = key.words();
    const std::string word = own.empty() ? "yes" : std::string(own[dice.below(own.size())]);
    switch (dice.below(5)) {
        case 0:
            return dice.pick(vocabulary().words);
        case 1:
            return misspelled(word, dice);
        case 2:
            return "";
        case 3:
            return repeated(word, 4000);
        default:
            return word;
    }
}

std::string hostileValue(const KeyRow& key, Dice& dice) {
    switch (key.kind) {
        case KeyKind::Integer:
        case KeyKind::Seed:
            return dice.pick(integerValues());
        case KeyKind::Real:
            return dice.pick(realValues());
        default:
            return wordValue(key, dice);
    }
}

// ---------------------------------------------------------------------------------------------
// The examples, made tiny

using Parameters = std::vector<std::pair<std::string, std::string>>;

struct Experiment {
    std::string name;  // the example's folder
    std::string algorithm;
    std::string problem;
    Parameters parameters;
    std::optional<std::string> matrix;

    const std::string* value(const std::string& key) const {
        for (auto it = parameters.rbegin(); it != parameters.rend(); ++it) {
            if (it->first == key) return &it->second;
        }
        return nullptr;
    }
    // Replaces the key's value where the file gives it, or adds the key.
    void set(const std::string& key, const std::string& text) {
        bool found = false;
        for (auto& [name, value] : parameters) {
            if (name == key) {
                value = text;
                found = true;
            }
        }
        if (!found) parameters.emplace_back(key, text);
    }
    bool encodes(const std::string& encoding) const {
        const std::string* given = value("Encoding");
        return given != nullptr && *given == encoding;
    }
};

std::string firstChildText(const QLightXMLIO& tree, const std::string& element) {
    std::vector<XmlNode> found;
    tree.collectByName(element, found);
    return found.empty() || found.front().children.empty() ? std::string() : found.front().children.front().text;
}

// A few individuals over a few generations, whatever the example asks for.
void shrink(Experiment& experiment) {
    experiment.set("Population size", "6");
    experiment.set("Generations number", "3");
    experiment.set("RNG seed", "11");
    if (experiment.value("Max population size") != nullptr) experiment.set("Max population size", "12");
    if (experiment.value("Min population size") != nullptr) experiment.set("Min population size", "4");
    for (const char* key : {"Elite count", "Tournament size"}) {
        const std::string* given = experiment.value(key);
        if (given != nullptr && std::atoi(given->c_str()) > 2) experiment.set(key, "2");
    }
}

const std::vector<Experiment>& tinyExamples() {
    static const std::vector<Experiment> examples = [] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(kSourceDir / "examples")) {
            if (fs::exists(entry.path() / "config.xml")) names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        std::vector<Experiment> all;
        for (const std::string& name : names) {
            const fs::path folder = kSourceDir / "examples" / name;
            QLightXMLIO tree;
            tree.readFromFile((folder / "config.xml").string(), std::cerr);
            Experiment experiment{name, firstChildText(tree, "algorithm"), firstChildText(tree, "problem"), {}, {}};
            std::vector<XmlNode> keys, values;
            tree.collectByName("name", keys);
            tree.collectByName("value", values);
            for (std::size_t i = 0; i < std::min(keys.size(), values.size()); ++i) {
                experiment.parameters.emplace_back(keys[i].text, values[i].text);
            }
            if (fs::exists(folder / "matrix.txt")) experiment.matrix = readFile((folder / "matrix.txt").string());
            shrink(experiment);
            all.push_back(std::move(experiment));
        }
        return all;
    }();
    return examples;
}

std::vector<Experiment> examplesWhere(const std::function<bool(const Experiment&)>& wanted) {
    std::vector<Experiment> chosen;
    for (const Experiment& experiment : tinyExamples()) {
        if (wanted(experiment)) chosen.push_back(experiment);
    }
    return chosen.empty() ? tinyExamples() : chosen;
}

const std::string kDeclaration = "<?xml version=\"1.0\"?>\n";

std::string rendered(const Experiment& experiment) {
    std::string text = kDeclaration + "<experiment>\n";
    text += "  <algorithm><type>" + experiment.algorithm + "</type></algorithm>\n";
    text += "  <problem><type>" + experiment.problem + "</type></problem>\n";
    for (const auto& [key, value] : experiment.parameters) {
        text += "  <parameter><name>" + key + "</name><value>" + value + "</value></parameter>\n";
    }
    return text + "</experiment>\n";
}

// The case that runs the configuration text beside the experiment's data file.
Case caseOf(const Experiment& experiment, std::string configuration) {
    Case made;
    made.files.emplace_back("config.xml", std::move(configuration));
    if (experiment.matrix) made.files.emplace_back("matrix.txt", *experiment.matrix);
    return made;
}

// Names the cases of one family "family-0", "family-1", ...
std::vector<Case> numbered(std::vector<Case> cases, const std::string& family) {
    for (std::size_t i = 0; i < cases.size(); ++i) cases[i].name = family + "-" + std::to_string(i);
    return cases;
}

// ---------------------------------------------------------------------------------------------
// The families of cases

// Every size and count key with every out-of-range or non-numeric value, on an example the key
// matters to.
std::vector<Case> sizeCases() {
    Dice dice(kSeed + 1);
    const auto any = [](const Experiment&) { return true; };
    const std::vector<std::pair<std::string, std::function<bool(const Experiment&)>>> keys = {
        {"Population size", any},
        {"Chromosome length",
         [](const Experiment& e) { return e.problem != "Submatrix" && e.problem != "Mixing-time"; }},
        {"Generations number", any},
        {"Children number", [](const Experiment& e) { return e.algorithm != "SARN"; }},
        {"Parents number", [](const Experiment& e) { return e.algorithm != "SARN"; }},
        {"Gene size", [](const Experiment& e) { return e.encodes("integer"); }},
        {"Arity", [](const Experiment& e) { return e.encodes("string") || e.encodes("permutation"); }},
        {"Tournament size",
         [](const Experiment& e) {
             const std::string* selection = e.value("Selection type");
             return selection != nullptr && *selection == "tournament";
         }},
        {"Elite count", any},
        {"Max population size", any},
        {"Min population size", any},
        {"Sizing step", any},
    };
    std::vector<std::string> sizers;
    for (const SizerRow& row : sizerRows()) sizers.emplace_back(row.word);
    std::vector<Case> cases;
    for (const auto& [key, fits] : keys) {
        EXPECT_NE(findKey(key), nullptr) << key;
        const std::vector<Experiment> bases = examplesWhere(fits);
        for (const std::string& value : kSizeValues) {
            Experiment experiment = dice.pick(bases);
            std::string description = experiment.name + ": " + key + " = " + shown(value);
            if (key == "Max population size" || key == "Min population size" || key == "Sizing step") {
                const std::string& sizer = dice.pick(sizers);
                experiment.set("Population sizer type", sizer);
                experiment.set("Sizing direction", dice.percent(50) ? "up" : "down");
                description += ", sizer " + sizer;
            }
            experiment.set(key, value);
            Case made = caseOf(experiment, rendered(experiment));
            made.description = description;
            cases.push_back(std::move(made));
        }
    }
    return numbered(std::move(cases), "sizes");
}

// One to three keys of any kind, each given a hostile value of its kind; now and then the key
// itself is misspelled.
std::vector<Case> valueCases() {
    Dice dice(kSeed + 2);
    std::vector<Case> cases;
    for (int n = 0; n < 60; ++n) {
        Experiment experiment = dice.pick(tinyExamples());
        std::string description = experiment.name + ":";
        const std::size_t count = 1 + dice.below(3);
        for (std::size_t i = 0; i < count; ++i) {
            const KeyRow& key = *dice.pick(vocabulary().keys);
            const std::string value = hostileValue(key, dice);
            const std::string name = dice.percent(15) ? misspelled(std::string(key.key), dice) : std::string(key.key);
            experiment.set(name, value);
            description.append(" ").append(shown(name)).append(" = ").append(shown(value)).append(";");
        }
        Case made = caseOf(experiment, rendered(experiment));
        made.description = description;
        cases.push_back(std::move(made));
    }
    return numbered(std::move(cases), "values");
}

// Algorithms, problems, keys and words from the registry's tables in the wrong places and
// misspelled. Numbers stay small, so that every run that starts is short.
std::vector<Case> vocabularyCases() {
    Dice dice(kSeed + 3);
    const Vocabulary& known = vocabulary();
    std::optional<std::string> anyMatrix;
    for (const Experiment& experiment : tinyExamples()) {
        if (experiment.matrix) anyMatrix = experiment.matrix;
    }
    const auto nameFrom = [&](const std::vector<std::string>& own, const std::string& usual) {
        switch (dice.below(6)) {
            case 0:
                return dice.pick(own);
            case 1:
                return misspelled(usual, dice);
            case 2:
                return dice.pick(known.words);
            default:
                return usual;
        }
    };
    std::vector<Case> cases;
    for (int n = 0; n < 60; ++n) {
        Experiment experiment = dice.pick(tinyExamples());
        experiment.algorithm = nameFrom(known.algorithms, experiment.algorithm);
        experiment.problem = nameFrom(known.problems, experiment.problem);
        if (!experiment.matrix) experiment.matrix = anyMatrix;
        std::string description = experiment.name + ": " + experiment.algorithm + " on " + experiment.problem + ";";
        const std::size_t count = 3 + dice.below(6);
        for (std::size_t i = 0; i < count; ++i) {
            const KeyRow& key = *dice.pick(known.keys);
            std::string name(key.key);
            if (dice.percent(25)) {
                name = misspelled(name, dice);
            } else if (dice.percent(10)) {
                name = dice.pick(known.words);
            }
            std::string value;
            if (key.kind == KeyKind::Word || key.kind == KeyKind::Flag) {
                const std::vector<std::string_view> own = key.words();
                value = dice.percent(50) ? std::string(own[dice.below(own.size())]) : dice.pick(known.words);
                if (dice.percent(25)) value = misspelled(value, dice);
            } else {
                value = dice.percent(60) ? std::to_string(dice.below(9)) : dice.pick(known.words);
            }
            experiment.set(name, value);
            description.append(" ").append(shown(name)).append(" = ").append(shown(value)).append(";");
        }
        Case made = caseOf(experiment, rendered(experiment));
        made.description = description;
        cases.push_back(std::move(made));
    }
    return numbered(std::move(cases), "vocabulary");
}

// Positions of every "<" in the text.
std::vector<std::size_t> tagStarts(const std::string& text) {
    std::vector<std::size_t> starts;
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) starts.push_back(at);
    return starts;
}

// One damage to the markup of a configuration; returns what it did.
std::string mangle(std::string& text, Dice& dice) {
    static const std::vector<std::string> kStray = {
        "<x>",         "</x>",          "<>",      "</>",         "<<>>",
        "< >",         "<!-- -->",      "<name>",  "<value>",     "</experiment>",
        "<parameter>", "<value/>",      "<name/>", "<algorithm>", "<problem><type>Sphere</type></problem>",
        "<?xml?>",     "<![CDATA[<>]]>"};
    const std::vector<std::size_t> starts = tagStarts(text);
    const std::size_t anyTag = starts.empty() ? 0 : dice.pick(starts);
    switch (dice.below(10)) {
        case 0: {
            const std::size_t at = dice.below(text.size() + 1);
            text.resize(at);
            return "truncated at byte " + std::to_string(at);
        }
        case 1: {
            const std::string& stray = dice.pick(kStray);
            text.insert(anyTag, stray);
            return "stray " + shown(stray) + " at byte " + std::to_string(anyTag);
        }
        case 2: {
            const std::size_t at = text.find("</", anyTag);
            if (at == std::string::npos) return "nothing to unclose";
            const std::size_t end = text.find('>', at);
            text.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
            return "closing tag removed at byte " + std::to_string(at);
        }
        case 3: {
            static const std::vector<std::string> kClosings = {"</name>", "</value>", "</x>", "</experiment>", "</>"};
            const std::size_t at = text.find("</", anyTag);
            if (at == std::string::npos) return "nothing to mismatch";
            const std::size_t end = text.find('>', at);
            const std::string& closing = dice.pick(kClosings);
            text.replace(at, end == std::string::npos ? std::string::npos : end - at + 1, closing);
            return "closing tag at byte " + std::to_string(at) + " made " + closing;
        }
        case 4: {
            const std::size_t at = text.find_first_of("<>/", dice.below(text.size() + 1));
            if (at == std::string::npos) return "no bracket to drop";
            text.erase(at, 1);
            return "bracket dropped at byte " + std::to_string(at);
        }
        case 5: {
            const std::size_t at = dice.below(text.size() + 1);
            const std::string junk = dice.bytes(1 + dice.below(16));
            text.insert(at, junk);
            return "junk " + shown(junk) + " at byte " + std::to_string(at);
        }
        case 6: {
            const std::vector<std::string> lines = testing::splitLines(text);
            if (lines.empty()) return "no line to repeat";
            const std::size_t at = text.find(dice.pick(lines));
            const std::size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
            text.insert(at, repeated(line, 1 + dice.below(3)));
            return "line repeated at byte " + std::to_string(at);
        }
        case 7: {
            const std::size_t at = text.find("<value>", anyTag);
            if (at == std::string::npos) return "no value to drop";
            const std::size_t end = text.find("</value>", at);
            text.erase(at, end == std::string::npos ? std::string::npos : end + 8 - at);
            return "value element removed at byte " + std::to_string(at);
        }
        case 8: {
            static const std::vector<std::string> kDeclarations = {
                "", "<?xm", "<?XML version=\"1.0\"?>\n", "xml\n", "<?xml", "\n" + kDeclaration, "?xml>\n"};
            const std::string& declaration = dice.pick(kDeclarations);
            if (text.rfind(kDeclaration, 0) != 0) return "no declaration to replace";
            text.replace(0, kDeclaration.size(), declaration);
            return "declaration " + shown(declaration);
        }
        default: {
            const std::size_t at = text.find("<name>", anyTag);
            if (at == std::string::npos) return "no name to misspell";
            const std::size_t end = text.find("</name>", at);
            if (end == std::string::npos) return "no name to misspell";
            const std::string key = text.substr(at + 6, end - at - 6);
            const std::string slip = misspelled(key, dice);
            text.replace(at + 6, key.size(), slip);
            return "key " + shown(slip);
        }
    }
}

std::vector<Case> markupCases() {
    Dice dice(kSeed + 4);
    std::vector<Case> cases;
    for (int n = 0; n < 70; ++n) {
        const Experiment& experiment = dice.pick(tinyExamples());
        std::string text = rendered(experiment);
        std::string description = experiment.name + ":";
        const std::size_t count = 1 + dice.below(3);
        for (std::size_t i = 0; i < count; ++i) description.append(" ").append(mangle(text, dice)).append(";");
        Case made = caseOf(experiment, std::move(text));
        made.description = description;
        cases.push_back(std::move(made));
    }
    return numbered(std::move(cases), "markup");
}

std::vector<Case> nestingAndSizeCases() {
    const Experiment& base = tinyExamples().front();
    std::string body;  // the example's elements, without the declaration and root
    {
        const std::string text = rendered(base);
        const std::size_t open = text.find("<experiment>\n") + 13;
        body = text.substr(open, text.rfind("</experiment>") - open);
    }
    std::vector<Case> cases;
    const auto add = [&](std::string description, std::string configuration) {
        Case made = caseOf(base, std::move(configuration));
        made.description = base.name + ": " + std::move(description);
        cases.push_back(std::move(made));
    };
    for (std::size_t depth : {255, 256, 257, 300, 5000, 100000}) {
        add("parameters nested " + std::to_string(depth) + " deep", kDeclaration + "<experiment>\n" +
                                                                        repeated("<a>", depth) + body +
                                                                        repeated("</a>", depth) + "</experiment>\n");
    }
    add("100000 elements opened and never closed", kDeclaration + "<experiment>\n" + body + repeated("<a>", 100000));
    add("200 name elements nested in each other", kDeclaration + "<experiment>\n" + body +
                                                      repeated("<name>Population size", 200) +
                                                      repeated("</name>", 200) + "</experiment>\n");
    add("200 value elements nested in each other", kDeclaration + "<experiment>\n" + repeated("<value>4", 200) +
                                                       repeated("</value>", 200) + body + "</experiment>\n");
    add("algorithm name nested 1000 deep", kDeclaration + "<experiment>\n<algorithm>" + repeated("<type>", 1000) +
                                               "GA" + repeated("</type>", 1000) + "</algorithm>\n" + body +
                                               "</experiment>\n");
    add("Population size written with 4 MB of digits",
        kDeclaration + "<experiment>\n" + body + "<parameter><name>Population size</name><value>" +
            std::string(4 << 20, '9') + "</value></parameter>\n</experiment>\n");
    add("a key of 4 MB", kDeclaration + "<experiment>\n" + body + "<parameter><name>" + std::string(4 << 20, 'k') +
                             "</name><value>1</value></parameter>\n</experiment>\n");
    add("8 MB of text in the root",
        kDeclaration + "<experiment>\n" + repeated("words and more words ", 400000) + body + "</experiment>\n");
    add("an 8 MB line without a closing bracket",
        kDeclaration + "<experiment>\n" + body + "<" + std::string(8 << 20, 'x'));
    add("2 million opening brackets", kDeclaration + "<experiment>\n" + std::string(2000000, '<'));
    add("an algorithm name of 1 MB", kDeclaration + "<experiment>\n<algorithm><type>" + std::string(1 << 20, 'G') +
                                         "</type></algorithm>\n" + body + "</experiment>\n");
    {
        Dice dice(kSeed + 5);
        std::string many;
        for (int i = 0; i < 50000; ++i) {
            many += "<parameter><name>" + std::string(dice.pick(vocabulary().keys)->key) + "</name><value>" +
                    std::to_string(dice.below(9)) + "</value></parameter>\n";
        }
        add("50000 parameters", kDeclaration + "<experiment>\n" + body + many + "</experiment>\n");
    }
    add("10000 algorithm elements", kDeclaration + "<experiment>\n" +
                                        repeated("<algorithm><type>GA</type></algorithm>\n", 10000) + body +
                                        "</experiment>\n");
    add("100000 names without values", kDeclaration + "<experiment>\n" + body +
                                           repeated("<name>Generations number</name>", 100000) + "</experiment>\n");
    {
        std::string entities = "<!DOCTYPE lolz [<!ENTITY lol0 \"lol\">";
        for (int level = 1; level <= 9; ++level) {
            entities += "<!ENTITY lol" + std::to_string(level) + " \"" +
                        repeated("&lol" + std::to_string(level - 1) + ";", 10) + "\">";
        }
        add("entities that would expand to a billion copies",
            kDeclaration + entities + "]>\n<experiment>\n" + body +
                "<parameter><name>&lol9;</name><value>&lol9;</value></parameter>\n</experiment>\n");
    }
    return numbered(std::move(cases), "nesting");
}

std::vector<Case> unreadableCases() {
    Dice dice(kSeed + 6);
    const Experiment& base = tinyExamples().front();
    const std::string valid = rendered(base);
    std::vector<Case> cases;
    const auto add = [&](std::string description, std::string configuration) {
        Case made = caseOf(base, std::move(configuration));
        made.description = std::move(description);
        cases.push_back(std::move(made));
        return &cases.back();
    };
    for (std::size_t size : {0, 1, 64, 4096, 1 << 20}) {
        add(std::to_string(size) + " random bytes", dice.bytes(size));
    }
    for (std::size_t size : {64, 4096, 65536}) {
        add("the declaration, then " + std::to_string(size) + " random bytes", kDeclaration + dice.bytes(size));
    }
    add("4096 NUL bytes", std::string(4096, '\0'));
    add("4096 bytes 0xFF", std::string(4096, '\xff'));
    {
        std::string wide = "\xff\xfe";
        for (char c : valid) wide += std::string{c, '\0'};
        add("the configuration in UTF-16", wide);
    }
    add("a byte-order mark before the declaration", "\xef\xbb\xbf" + valid);
    {
        std::string crlf;
        for (char c : valid) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        add("carriage returns before every line feed", crlf);
    }
    {
        std::string cr = valid;
        std::replace(cr.begin(), cr.end(), '\n', '\r');
        add("carriage returns instead of line feeds", cr);
    }
    add("no configuration file", "")->files.clear();
    {
        Case* made = add("the configuration names a folder", "");
        made->files.clear();
        made->folders.push_back("config.xml");
    }
    add("the configuration is /dev/null", "")->arguments = {"/dev/null", "1"};
    add("an empty configuration path", valid)->arguments = {"", "1"};
    add("a configuration path of 4096 characters", valid)->arguments = {std::string(4096, 'c'), "1"};
    for (const char* runs : {"-1", "0", "", "3x", "-2147483648"}) {
        add("runs given as " + shown(runs), valid)->arguments = {"config.xml", runs};
    }
    return numbered(std::move(cases), "unreadable");
}

// The submatrix task's data file damaged in every part: the sizes, the cells, the column values
// and the target; also missing, a folder, or junk.
std::vector<Case> submatrixCases() {
    Dice dice(kSeed + 7);
    const std::vector<Experiment> bases = examplesWhere([](const Experiment& e) { return e.problem == "Submatrix"; });
    EXPECT_TRUE(bases.front().matrix.has_value()) << "no example of the submatrix task with its matrix.txt";
    const std::string original = bases.front().matrix.value_or("2 2\n1 0\n0 1\n1 1\n1 1\n1 1\n1\n");
    std::vector<std::string> tokens;
    for (std::size_t at = original.find_first_not_of(" \t\r\n"); at != std::string::npos;) {
        const std::size_t end = original.find_first_of(" \t\r\n", at);
        tokens.push_back(original.substr(at, end - at));
        at = original.find_first_not_of(" \t\r\n", end);
    }
    if (tokens.size() < 2) {
        ADD_FAILURE() << "the example's matrix.txt gives no sizes";
        return {};
    }
    const std::size_t rows = static_cast<std::size_t>(std::atoi(tokens[0].c_str()));
    const std::size_t columns = static_cast<std::size_t>(std::atoi(tokens[1].c_str()));
    if (tokens.size() != 2 + rows * columns + 3 * columns + 1) {
        ADD_FAILURE() << "the example's matrix.txt does not hold " << rows << " x " << columns << " cells, "
                      << 3 * columns << " column values and a target";
        return {};
    }
    const std::size_t firstCell = 2;
    const std::size_t firstColumnValue = firstCell + rows * columns;
    const std::size_t target = tokens.size() - 1;
    const auto joined = [](const std::vector<std::string>& parts) {
        std::string text;
        for (const std::string& part : parts) text += part + "\n";
        return text;
    };

    std::vector<Case> cases;
    const auto add = [&](std::string description, std::optional<std::string> matrix) {
        Experiment experiment = dice.pick(bases);
        experiment.matrix = std::move(matrix);
        Case made = caseOf(experiment, rendered(experiment));
        made.description = experiment.name + ": " + std::move(description);
        cases.push_back(std::move(made));
        return &cases.back();
    };
    const auto withTokens = [&](std::string description,
                                const std::vector<std::pair<std::size_t, std::string>>& edits) {
        std::vector<std::string> changed = tokens;
        for (const auto& [index, text] : edits) changed[index] = text;
        add(std::move(description), joined(changed));
    };

    for (int n = 0; n < 10; ++n) {
        const std::size_t at = dice.below(original.size());
        add("matrix.txt truncated at byte " + std::to_string(at), original.substr(0, at));
    }
    const std::vector<std::string> notNumbers = {"x", "1x",       "0x1F", "--1", "1e5", "nan",     "inf",
                                                 "",  "\xc2\xbd", "1,5",  "+-1", "0b1", "\xd9\xa1"};
    for (const std::string& word : notNumbers) {
        const std::size_t at = dice.below(tokens.size());
        withTokens("token " + std::to_string(at) + " is " + shown(word), {{at, word}});
    }
    const std::vector<std::pair<std::string, std::string>> sizes = {{"2147483647", tokens[1]},
                                                                    {tokens[0], "2147483647"},
                                                                    {"2147483647", "2147483647"},
                                                                    {"99999999999", tokens[1]},
                                                                    {"-1", tokens[1]},
                                                                    {tokens[0], "-12"},
                                                                    {"0", "0"},
                                                                    {"-2147483648", "1"},
                                                                    {"1e308", tokens[1]},
                                                                    {tokens[0], "1e308"},
                                                                    {"2147483648", tokens[1]},
                                                                    {std::to_string(rows + 1), tokens[1]},
                                                                    {std::to_string(rows - 1), tokens[1]},
                                                                    {tokens[0], std::to_string(columns + 1)},
                                                                    {"65536", "65536"}};
    for (const auto& [r, c] : sizes) {
        withTokens("sizes " + shown(r) + " x " + shown(c), {{0, r}, {1, c}});
    }
    const std::vector<std::string> columnValues = {"1e308",
                                                   "-1e308",
                                                   "1.7976931348623157e308",
                                                   "1e309",
                                                   "4.9e-324",
                                                   "nan",
                                                   "inf",
                                                   "-inf",
                                                   "-0",
                                                   "1" + std::string(400, '0'),
                                                   "2.2250738585072014e-308",
                                                   "-1"};
    for (const std::string& value : columnValues) {
        const std::size_t at = firstColumnValue + dice.below(3 * columns);
        withTokens("column value " + std::to_string(at - firstColumnValue) + " is " + shown(value), {{at, value}});
    }
    for (const std::string& value :
         {std::string("1e308"), std::string("-1e308"), std::string("1.7976931348623157e308")}) {
        std::vector<std::pair<std::size_t, std::string>> edits;
        for (std::size_t i = firstColumnValue; i < target; ++i) edits.emplace_back(i, value);
        withTokens("every weight, cost and harm is " + value, edits);
    }
    const std::vector<std::string> targets = {
        "-1",  "0",    "2147483647", "-2147483648", "99999999999", std::to_string(rows + 1), std::to_string(rows),
        "1.5", "1e308"};
    for (const std::string& value : targets) {
        withTokens(std::string("target ") + shown(value), {{target, value}});
    }
    {
        std::vector<std::string> shortened(tokens.begin(), tokens.end() - 1);
        add("no target", joined(shortened));
    }
    for (const char* value : {"2", "-1", "2147483647", "-2147483648"}) {
        const std::size_t at = firstCell + dice.below(rows * columns);
        withTokens("cell " + std::to_string(at - firstCell) + " is " + value, {{at, std::string(value)}});
    }
    {
        std::vector<std::pair<std::size_t, std::string>> edits;
        for (std::size_t i = firstCell; i < firstColumnValue; ++i) edits.emplace_back(i, "2147483647");
        withTokens("every cell is 2147483647", edits);
    }
    add("an empty matrix.txt", "");
    add("a matrix.txt of blanks", std::string(1000, ' ') + "\n\t\n");
    add("a matrix.txt of random bytes", dice.bytes(200));
    add("a matrix.txt of NUL bytes", std::string(64, '\0'));
    add("a one-by-one matrix", "1 1\n1\n1\n1\n1\n1\n");
    {
        std::string large = "2000 40\n";
        for (int i = 0; i < 2000; ++i) {
            for (int j = 0; j < 40; ++j) large += dice.percent(30) ? "1 " : "0 ";
            large += "\n";
        }
        for (int k = 0; k < 3; ++k) large += repeated("1 ", 40) + "\n";
        add("a matrix of 2000 rows and 40 columns", large + "5\n");
    }
    add("no matrix.txt", std::nullopt);
    add("matrix.txt is a folder", std::nullopt)->folders.push_back("matrix.txt");
    return numbered(std::move(cases), "submatrix");
}

// ---------------------------------------------------------------------------------------------

TEST(HostileConfiguration, TheCasesAreFixedAndNumerous) {
    const auto all = [] {
        std::vector<std::vector<Case>> families = {sizeCases(),     valueCases(),          vocabularyCases(),
                                                   markupCases(),   nestingAndSizeCases(), unreadableCases(),
                                                   submatrixCases()};
        std::vector<std::string> texts;
        for (const auto& family : families) {
            for (const Case& hostile : family) {
                std::string text = hostile.name + hostile.description;
                for (const auto& [path, content] : hostile.files) text += path + content;
                for (const std::string& argument : hostile.arguments) text += argument;
                texts.push_back(std::move(text));
            }
        }
        return texts;
    };
    const std::vector<std::string> first = all();
    EXPECT_GE(first.size(), 300U);
    EXPECT_TRUE(first == all()) << "the generated cases differ between two generations";
}

// The tiny forms of the examples, on which the hostile cases are built, still run and succeed.
TEST(HostileConfiguration, TheTinyExamplesRunCleanly) {
    ASSERT_GE(tinyExamples().size(), 2U);
    for (const Experiment& experiment : tinyExamples()) {
        const Outcome outcome = runCase(caseOf(experiment, rendered(experiment)));
        EXPECT_EQ(faultOf(outcome), "") << experiment.name;
        EXPECT_EQ(outcome.status, 0) << experiment.name << ": " << outcome.err;
    }
}

TEST(HostileConfiguration, ExtremeSizesAndCounts) { expectEveryCaseEndsCleanly(sizeCases()); }

TEST(HostileConfiguration, HostileValuesOfEveryKind) { expectEveryCaseEndsCleanly(valueCases()); }

TEST(HostileConfiguration, MisplacedAndMisspelledWords) { expectEveryCaseEndsCleanly(vocabularyCases()); }

TEST(HostileConfiguration, MangledMarkup) { expectEveryCaseEndsCleanly(markupCases()); }

TEST(HostileConfiguration, DeepNestingAndHugeText) { expectEveryCaseEndsCleanly(nestingAndSizeCases()); }

TEST(HostileConfiguration, BinaryAndUnreadableInput) { expectEveryCaseEndsCleanly(unreadableCases()); }

TEST(HostileConfiguration, DamagedSubmatrixData) { expectEveryCaseEndsCleanly(submatrixCases()); }

}  // namespace
}  // namespace Valdrin
