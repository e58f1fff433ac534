// Reading valdrin-sweep's command line with CLI11.
#include "sweep/sweep_command_line.h"

#include <CLI/CLI.hpp>

#include <climits>
#include <ostream>

#include "driver/command_line.h"
#include "sweep/sweep_plan.h"

namespace Valdrin {

namespace {

constexpr const char* kDescription =
    "Runs the experiment of BASE for every combination of the values given with --set and every seed of --seeds, "
    "each in a folder of its own under DIR, through GNU parallel (on this machine's cores, or on the hosts of "
    "--hosts), and collects the results into DIR/results.sqlite, DIR/sweep.csv and DIR/sweep.html.";

constexpr const char* kFooter =
    "\nExample: valdrin-sweep base.xml --set \"Population size=20,50,100\" --set \"Mutation rate=0.01,0.05\" "
    "--seeds 1-10 --runs 5\n\n"
    "Besides the configuration's keys, --set sweeps the algorithm and the problem: --set \"Problem=Sphere,Rastrigin\", "
    "--set \"Algorithm=GA,SARN2\". A key or word BASE's experiment would not accept (a problem that cannot evaluate "
    "the encoding, say) is refused before anything runs, with the configuration check's message. Every experiment "
    "runs `valdrin config.xml RUNS --csv` (with --ioh, --report and --plot as asked) in its folder, with the values "
    "and the seed put into BASE; its standard output and error stay there as stdout.txt and stderr.txt. Short "
    "experiments run several to a job of parallel (--batch).\n\n"
    "Exit status: 0 when every experiment ran, 1 when the sweep was refused or some experiment failed (each is "
    "reported with its folder, its exit status and the last lines of its standard error), 2 for a misused "
    "command line, 130 and 143 when interrupted (SIGINT, SIGTERM): the running experiments are stopped and "
    "--resume goes on where the sweep stopped.\n\n"
    "valdrin-sweep --verify DIR [--sample K] re-runs K of the sweep's experiments and checks that each gives the "
    "same files (valdrin-sweep --verify DIR --help says more).\n";

constexpr const char* kVerifyDescription =
    "valdrin-sweep --verify DIR [--sample K]: re-runs K experiments of the sweep in DIR (all without --sample), "
    "chosen evenly spread over its experiments in their order, each in a scratch folder, and says file by file "
    "whether each reproduces (as valdrin --verify does). Exit status: 0 when every one reproduces, 1 when one does "
    "not, 2 for a misused command line or a folder that holds no sweep.";

// Whether the words ask for the verification of a sweep.
bool asksToVerify(const std::vector<std::string>& arguments) {
    for (const std::string& word : arguments) {
        if (word == "--verify" || word.rfind("--verify=", 0) == 0) return true;
    }
    return false;
}

ParsedSweepCommandLine parseVerifyCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                              std::ostream& err) {
    SweepCommandLine line;
    int sample = 0;
    CLI::App app(kVerifyDescription, "valdrin-sweep");
    app.add_option("--verify", line.verifyFolder, "the sweep's folder")->required()->option_text("DIR");
    CLI::Option* sampleOption =
        app.add_option("--sample", sample, "how many of its experiments to re-run (default: all)")
            ->check(CLI::Range(1, INT_MAX))
            ->option_text("K");
    if (const std::optional<int> ended = parseOrEnd(app, arguments, "valdrin-sweep", out, err)) return {std::nullopt, *ended};
    if (sampleOption->count() > 0) line.sample = sample;
    if (line.verifyFolder.empty()) {
        err << "valdrin-sweep: error: --verify needs a folder\n";
        return {std::nullopt, kExitMisused};
    }
    return {line, kExitRan};
}

// "valdrin-sweep --collect DIR" names no base: the sweep in DIR says what it is.
bool asksToCollect(const std::vector<std::string>& arguments) {
    bool collect = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "--version") return false;
        collect = collect || argument == "--collect" || argument.rfind("--collect=", 0) == 0;
    }
    return collect;
}

// The options that only --slurm takes, given without it: the first one's name; "" when none is.
std::string slurmOptionWithoutSlurm(const CLI::App& app) {
    if (app.get_option("--slurm")->count() > 0) return "";
    for (const char* name : {"--partition", "--time", "--account", "--sbatch", "--signal-before", "--detach"}) {
        if (app.get_option(name)->count() > 0) return name;
    }
    return "";
}

ParsedSweepCommandLine parseCollectCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                               std::ostream& err) {
    SweepCommandLine line;
    CLI::App app("Gathers the results of the sweep in DIR that was submitted to Slurm (--slurm --detach) from the "
                 "experiments that have ended, and says which have not.",
                 "valdrin-sweep");
    app.add_option("--collect", line.collect, "the sweep's folder")->required()->option_text("DIR");
    if (const std::optional<int> ended = parseOrEnd(app, arguments, "valdrin-sweep", out, err)) return {std::nullopt, *ended};
    if (line.collect.empty()) {
        err << "valdrin-sweep: error: --collect needs a folder\n";
        return {std::nullopt, kExitMisused};
    }
    return {line, kExitRan};
}

}  // namespace

ParsedSweepCommandLine parseSweepCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                             std::ostream& err) {
    if (asksToCollect(arguments)) return parseCollectCommandLine(arguments, out, err);
    if (asksToVerify(arguments)) return parseVerifyCommandLine(arguments, out, err);
    SweepCommandLine line;
    int jobs = 0;
    CLI::App app(kDescription, "valdrin-sweep");
    app.add_option("BASE", line.base, "the base configuration: the experiment every combination changes")
        ->required()
        ->check(CLI::ExistingFile);
    app.add_option("--set", line.sets,
                   "a key (or Algorithm, or Problem) and the values it takes, as KEY=VALUE,VALUE,... (repeat for more "
                   "keys; every combination of the values is run)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->option_text("KEY=VALUES");
    app.add_option("--seeds", line.seeds,
                   "the seeds every combination runs with: numbers from 1 to 32767 and ranges, such as 1-10 or 1,4,20-25")
        ->required()
        ->option_text("LIST");
    app.add_option("--runs", line.runs, "runs per experiment (default 1)")
        ->check(CLI::Range(1, INT_MAX))
        ->option_text("N");
    CLI::Option* jobsOption =
        app.add_option("--jobs", jobs, "experiments at a time on each machine (default: its number of cores)")
            ->check(CLI::Range(1, 100000))
            ->option_text("N");
    app.add_option("--hosts", line.hostsFile,
                   "run on the machines listed in FILE, one of parallel's --sshlogin entries per line (such as "
                   "\"8/user@host\"; \":\" is this machine); the program and each experiment's files are sent there "
                   "and the results come back")
        ->check(CLI::ExistingFile)
        ->option_text("FILE");
    app.add_option("--out", line.outputFolder, "the sweep's folder (default: sweep)")->option_text("DIR");
    app.add_flag("--ioh", line.ioh,
                 "every experiment also writes its runs in the IOHprofiler format, into the folder ioh of its own "
                 "folder, named by its folder's name (valdrin's --ioh ioh --label NAME)");
    app.add_flag("--report", line.report, "every experiment also writes report.html in its folder");
    app.add_flag("--plot", line.plot, "every experiment also writes convergence.svg in its folder");
    int batch = 0;
    CLI::Option* batchOption =
        app.add_option("--batch", batch,
                       "experiments each of parallel's jobs runs one after the other (default: as many as take about "
                       "half a second together, from what the configurations ask for; 1 for long experiments)")
            ->check(CLI::Range(1, 100000))
            ->option_text("N");
    app.add_flag("--resume", line.resume,
                 "go on with the sweep in DIR: run only the experiments that have not run or have failed");
    app.add_option("--alpha", line.alpha,
                   "the level below which a Holm-adjusted p-value counts as a significant difference on the page's "
                   "\"Which is better\" (above 0, below 1; default 0.05)")
        ->option_text("LEVEL");
    app.add_option("--blocks", line.blocks,
                   "a swept key (such as Problem or Chromosome length) whose values are blocks: the combinations of "
                   "the other keys are also compared across them (Friedman's test, Nemenyi's critical-difference "
                   "diagram)")
        ->option_text("KEY");
    app.add_flag("--progress", line.progress, "show the progress line even when standard error is not a terminal");
    app.add_flag("--slurm", line.slurm,
                 "submit the sweep to Slurm as one job array (sbatch --array, --jobs tasks at a time) instead of "
                 "running it through parallel; the sweep's folder must be on a file system the nodes share");
    app.add_option("--partition", line.partition, "with --slurm: the partition the tasks run in")
        ->option_text("NAME");
    app.add_option("--time", line.timeLimit, "with --slurm: each task's time limit, as sbatch's --time takes it")
        ->option_text("LIMIT");
    app.add_option("--account", line.account, "with --slurm: the account the tasks are charged to")
        ->option_text("NAME");
    app.add_option("--sbatch", line.sbatchOptions,
                   "with --slurm: one more option for sbatch, as one word (--sbatch=--mem=2G; repeat for more)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false)
        ->option_text("OPTION");
    app.add_option("--signal-before", line.signalSeconds,
                   "with --slurm: Slurm signals a task this many seconds before its time limit; its experiment then "
                   "saves its checkpoint and the task requeues itself (default 120)")
        ->check(CLI::Range(1, 65535))
        ->option_text("SECONDS");
    app.add_flag("--detach", line.detach,
                 "with --slurm: return once the array is submitted; --collect gathers the results later")
;
    app.add_option("--collect", line.collect,
                   "gather the results of the Slurm sweep in DIR from the experiments that have ended, and say which "
                   "have not (valdrin-sweep --collect DIR)")
        ->option_text("DIR");
    app.set_version_flag("--version", std::string("valdrin-sweep ") + programVersion());
    app.footer(kFooter);

    if (const std::optional<int> ended = parseOrEnd(app, arguments, "valdrin-sweep", out, err)) return {std::nullopt, *ended};
    const std::string withoutSlurm = slurmOptionWithoutSlurm(app);
    if (!withoutSlurm.empty() || (line.slurm && !line.hostsFile.empty())) {
        err << "valdrin-sweep: error: "
            << (withoutSlurm.empty() ? std::string("--slurm and --hosts exclude each other: Slurm chooses the nodes")
                                     : withoutSlurm + " needs --slurm")
            << "\nRun 'valdrin-sweep --help' for the command line.\n";
        return {std::nullopt, kExitMisused};
    }
    if (jobsOption->count() > 0) line.jobs = jobs;
    if (batchOption->count() > 0) line.batch = batch;
    if (!(line.alpha > 0.0 && line.alpha < 1.0)) {
        err << "valdrin-sweep: error: --alpha must be above 0 and below 1\n";
        return {std::nullopt, kExitMisused};
    }
    if (!line.blocks.empty()) {
        bool swept = false;
        for (const std::string& set : line.sets) {
            try {
                swept = swept || parseSetting(set).key == line.blocks;
            } catch (const UsageError&) {
                // A malformed --set is reported with the plan.
            }
        }
        if (!swept) {
            err << "valdrin-sweep: error: --blocks " << line.blocks << ": not a key of --set\n";
            return {std::nullopt, kExitMisused};
        }
    }
    if (line.outputFolder.empty()) {
        err << "valdrin-sweep: error: --out needs a folder\n";
        return {std::nullopt, kExitMisused};
    }
    return {line, kExitRan};
}

}  // namespace Valdrin
