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
    "--resume goes on where the sweep stopped.\n";

}  // namespace

ParsedSweepCommandLine parseSweepCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                             std::ostream& err) {
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
    app.set_version_flag("--version", std::string("valdrin-sweep ") + programVersion());
    app.footer(kFooter);

    if (const std::optional<int> ended = parseOrEnd(app, arguments, "valdrin-sweep", out, err)) return {std::nullopt, *ended};
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
