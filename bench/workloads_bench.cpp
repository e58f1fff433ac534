// Whole experiments measured from outside: each workload's configuration is run by the program
// (one run, in a scratch folder), and the kernel's accounting of the finished child gives its
// CPU time (user + system) and peak resident memory. A scaling table follows: the cost per
// individual and generation for 10^2 .. 10^4 individuals and genes, taken as the difference
// between two runs that differ only in their generation count, so that the start-up, the three
// populations' initialization and the final log are left out.
//
// A SARN table follows the workloads: one network configuration at 200 .. 1,600 generations,
// with the networks' size beside the time and memory, since a network's cost grows with it.
//
// usage: valdrin_bench_workloads VALDRIN WORKLOADS_FOLDER [--rounds N] [--no-workloads] [--no-scaling] [--no-sarn]
// Writes Markdown tables to standard output.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Measure {
    double cpuSeconds = 0;
    long peakKilobytes = 0;
};

[[noreturn]] void quit(const std::string& message) {
    std::cerr << "valdrin_bench_workloads: " << message << "\n";
    std::exit(2);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    if (!in) quit("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of a configuration key, or "" when the configuration does not set it.
std::string valueOf(const std::string& config, const std::string& key) {
    const std::regex pattern("<name>\\s*" + key + "\\s*</name>\\s*<value>\\s*([^<]*?)\\s*</value>");
    std::smatch match;
    return std::regex_search(config, match, pattern) ? match[1].str() : "";
}

long numberOf(const std::string& config, const std::string& key, long fallback) {
    const std::string value = valueOf(config, key);
    return value.empty() ? fallback : std::stol(value);
}

// The configuration with the key's value replaced (the key must be set).
std::string withValue(const std::string& config, const std::string& key, long value) {
    const std::regex pattern("(<name>\\s*" + key + "\\s*</name>\\s*<value>)[^<]*(</value>)");
    std::smatch match;
    if (!std::regex_search(config, match, pattern)) quit("the scaling template does not set " + key);
    return match.prefix().str() + match[1].str() + std::to_string(value) + match[2].str() + match.suffix().str();
}

// Reads what a finished run left in its scratch folder, before the folder is removed.
using Inspection = std::function<void(const fs::path& folder)>;

// Runs "VALDRIN config.xml 1" (with the extra options) in a fresh scratch folder holding the
// configuration; inspect, when given, reads the folder before it is removed.
Measure runOnce(const std::string& valdrin, const std::string& config, const std::vector<std::string>& options = {},
                const Inspection& inspect = nullptr) {
    char folderTemplate[] = "/tmp/valdrin-bench-XXXXXX";
    const char* folder = mkdtemp(folderTemplate);
    if (folder == nullptr) quit("cannot make a scratch folder");
    std::ofstream(fs::path(folder) / "config.xml") << config;
    // Nothing buffered may be written twice by the child.
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) quit("cannot start the program");
    if (child == 0) {
        if (chdir(folder) != 0) _exit(127);
        if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) _exit(127);
        std::vector<char*> arguments = {const_cast<char*>(valdrin.c_str()), const_cast<char*>("config.xml"),
                                        const_cast<char*>("1")};
        for (const std::string& option : options) arguments.push_back(const_cast<char*>(option.c_str()));
        arguments.push_back(nullptr);
        execv(valdrin.c_str(), arguments.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) quit("lost the program's process");
    const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (succeeded && inspect) inspect(folder);
    fs::remove_all(folder);
    if (!succeeded) quit("the program failed on a workload (status " + std::to_string(status) + ")");
    Measure measure;
    measure.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    measure.peakKilobytes = usage.ru_maxrss;
    return measure;
}

// The median CPU time and the largest peak memory over rounds.
Measure measure(const std::string& valdrin, const std::string& config, int rounds,
                const std::vector<std::string>& options = {}, const Inspection& inspect = nullptr) {
    std::vector<double> times;
    Measure result;
    for (int i = 0; i < rounds; ++i) {
        const Measure once = runOnce(valdrin, config, options, inspect);
        times.push_back(once.cpuSeconds);
        result.peakKilobytes = std::max(result.peakKilobytes, once.peakKilobytes);
    }
    std::sort(times.begin(), times.end());
    result.cpuSeconds = times[times.size() / 2];
    return result;
}

std::string fixed(double value, int decimals) {
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(decimals);
    out << value;
    return out.str();
}

struct Workload {
    std::string name;
    std::string description;
};

void workloadTable(const std::string& valdrin, const fs::path& folder, int rounds) {
    const std::vector<Workload> workloads = {
        {"onemax", "GA, OneMax, 100 × 1,000 bits, 200 generations"},
        {"sphere-int", "GA, Sphere, 100 × 10 genes of 10 bits, 500 generations"},
        {"rastrigin", "GA, Rastrigin, 100 × 30 reals, 500 generations"},
        {"large-onemax", "GA, OneMax, 10,000 × 1,000 bits, 20 generations"},
        {"clones-onemax", "large-onemax with clone removal"},
        {"sharing-onemax", "GA, OneMax, 1,000 × 100 bits, 20 generations, fitness sharing"},
        {"xor-sarn", "SARN, XOR, 40 networks, 200 generations"},
        {"huge-onemax", "GA, OneMax, 100,000 × 1,000 bits, 2 generations (its peak memory is the point)"},
    };
    std::cout << "| workload | what it runs | CPU time (s) | µs per individual and generation | peak memory (MB) |\n"
              << "|---|---|---:|---:|---:|\n";
    for (const Workload& workload : workloads) {
        const std::string config = readFile(folder / (workload.name + ".xml"));
        const long individuals = numberOf(config, "Population size", 0);
        const long generations = numberOf(config, "Generations number", 0);
        const Measure m = measure(valdrin, config, rounds);
        const double perIndividual = m.cpuSeconds * 1e6 / static_cast<double>(std::max(1L, individuals * generations));
        std::cout << "| " << workload.name << " | " << workload.description << " | " << fixed(m.cpuSeconds, 3) << " | "
                  << fixed(perIndividual, 3) << " | " << fixed(static_cast<double>(m.peakKilobytes) / 1024.0, 1)
                  << " |\n";
        std::cout.flush();
    }
}

// What a SARN run says about its networks' size: the mean number of nodes of the population it
// logged first and last (sarn.log), and the nodes of the network the run is judged by (runs.csv's
// network_nodes: its first solution when solved, else its best). No file gives the size of every
// generation.
struct NetworkSizes {
    double firstMean = 0;
    double lastMean = 0;
    std::string judgedNodes;
};

NetworkSizes readNetworkSizes(const fs::path& folder) {
    NetworkSizes sizes;
    const std::string log = readFile(folder / "sarn.log");
    const std::regex mean("Average number of genes:\\t([^\\n]*)\\n");
    bool first = true;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), mean); it != std::sregex_iterator(); ++it) {
        const double value = std::stod((*it)[1].str());
        if (first) sizes.firstMean = value;
        sizes.lastMean = value;
        first = false;
    }
    if (first) quit("sarn.log holds no population's mean number of nodes");
    std::istringstream runs(readFile(folder / "runs.csv"));
    std::string header;
    std::string row;
    std::getline(runs, header);
    std::getline(runs, row);
    // The column is found by its name: columns may follow it.
    std::istringstream names(header);
    std::istringstream values(row);
    std::string name;
    std::string value;
    while (std::getline(names, name, ',')) {
        std::getline(values, value, ',');
        if (name == "network_nodes") {
            sizes.judgedNodes = value;
            return sizes;
        }
    }
    quit("runs.csv has no network_nodes column");
}

// SARN on XOR (bench/workloads/sarn-generations.xml) at doubling generation counts: its time and
// memory should grow only as its networks do. Each row's span is the generations it adds to the
// row before (to none for the first); its cost per generation and node divides the span's time
// by the mean of the population's mean node counts at the span's two ends.
void sarnTable(const std::string& valdrin, const fs::path& folder, int rounds) {
    const std::string base = readFile(folder / "sarn-generations.xml");
    const long networks = numberOf(base, "Population size", 0);
    std::cout << "\nSARN, XOR, " << networks
              << " networks, every generation run (median CPU time of the rounds, their largest peak memory; "
                 "nodes from sarn.log's first and last population and runs.csv's network_nodes):\n\n"
              << "| generations | CPU time (s) | peak memory (MB) | ms per generation of the span | "
                 "µs per generation and node | mean nodes, last population | nodes of the run's network |\n"
              << "|---:|---:|---:|---:|---:|---:|---:|\n";
    long previousGenerations = 0;
    double previousSeconds = 0;
    double previousMean = -1;
    for (long generations : {200L, 400L, 800L, 1600L}) {
        NetworkSizes sizes;
        const Measure m = measure(valdrin, withValue(base, "Generations number", generations), rounds, {"--csv"},
                                  [&](const fs::path& run) { sizes = readNetworkSizes(run); });
        if (previousMean < 0) previousMean = sizes.firstMean;
        const double span = static_cast<double>(generations - previousGenerations);
        const double perGeneration = (m.cpuSeconds - previousSeconds) / span;
        const double spanMean = (previousMean + sizes.lastMean) / 2.0;
        std::cout << "| " << generations << " | " << fixed(m.cpuSeconds, 3) << " | "
                  << fixed(static_cast<double>(m.peakKilobytes) / 1024.0, 1) << " | " << fixed(perGeneration * 1e3, 2)
                  << " | " << fixed(perGeneration * 1e6 / spanMean, 1) << " | " << fixed(sizes.lastMean, 1) << " | "
                  << sizes.judgedNodes << " |\n";
        std::cout.flush();
        previousGenerations = generations;
        previousSeconds = m.cpuSeconds;
        previousMean = sizes.lastMean;
    }
}

void scalingTable(const std::string& valdrin, const fs::path& folder, int rounds) {
    const std::string base = readFile(folder / "onemax.xml");
    const std::vector<long> sizes = {100, 1000, 10000};
    // Generation counts chosen so that the measured span flips about 2 * 10^8 bits, and spans at
    // least ten generations, several times the fixed part (three populations initialized, the
    // final population written to the log) that the difference removes.
    constexpr double kSpanBits = 2e8;
    constexpr long kLeastSpan = 10;
    std::cout << "\nNanoseconds per gene, individual and generation (OneMax, one-bit genes; the difference of two "
                 "runs that differ only in their generation count):\n\n"
              << "| individuals \\ genes |";
    for (long genes : sizes) std::cout << " " << genes << " |";
    std::cout << "\n|---|";
    for (std::size_t i = 0; i < sizes.size(); ++i) std::cout << "---:|";
    std::cout << "\n";
    for (long individuals : sizes) {
        std::cout << "| " << individuals << " |";
        for (long genes : sizes) {
            const long span = std::max(kLeastSpan, static_cast<long>(kSpanBits / static_cast<double>(individuals * genes)));
            std::string config = withValue(base, "Population size", individuals);
            config = withValue(config, "Chromosome length", genes);
            const Measure shorter = measure(valdrin, withValue(config, "Generations number", 1), rounds);
            const Measure longer = measure(valdrin, withValue(config, "Generations number", 1 + span), rounds);
            const double perGene = (longer.cpuSeconds - shorter.cpuSeconds) * 1e9 /
                                   (static_cast<double>(span) * static_cast<double>(individuals) * static_cast<double>(genes));
            std::cout << " " << fixed(perGene, 2) << " |";
            std::cout.flush();
        }
        std::cout << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) quit("usage: valdrin_bench_workloads VALDRIN WORKLOADS_FOLDER [--rounds N] [--no-workloads] [--no-scaling] [--no-sarn]");
    const std::string valdrin = fs::absolute(argv[1]).string();
    const fs::path folder = argv[2];
    int rounds = 3;
    bool workloads = true;
    bool scaling = true;
    bool sarn = true;
    for (int i = 3; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (word == "--no-workloads") {
            workloads = false;
        } else if (word == "--no-scaling") {
            scaling = false;
        } else if (word == "--no-sarn") {
            sarn = false;
        } else {
            quit("unknown option " + word);
        }
    }
    if (workloads) workloadTable(valdrin, folder, rounds);
    if (sarn) sarnTable(valdrin, folder, rounds);
    if (scaling) scalingTable(valdrin, folder, rounds);
    return 0;
}
