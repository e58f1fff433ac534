// valdrin-sweep end to end on this machine's cores: a 3 x 3 x 5 sweep whole and interrupted then
// resumed, a grid with experiments that fail, the refusals before anything runs, the rules of the
// sweep's folder, and the page in a browser.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "driver/checkpoint.h"
#include "report/markup.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;
using testing::fileExists;
using testing::queryRows;
using testing::readFile;
using testing::runSweepProgram;
using testing::ScratchDir;
using testing::splitLines;
using testing::writeFile;
using Rows = std::vector<std::vector<std::string>>;

const std::vector<std::string> kGrid = {"base.xml", "--set", "Population size=20,40,60", "--set",
                                        "Mutation rate=0.1,0.3,0.5", "--seeds", "1-5", "--runs", "2"};

std::vector<std::string> gridWith(std::vector<std::string> more) {
    std::vector<std::string> arguments = kGrid;
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// The tables of results.sqlite without what differs from one run of the same sweep to another:
// durations (of the jobs and of the runs) and hosts.
std::map<std::string, Rows> comparableTables(const std::string& database) {
    return {
        {"experiments", queryRows(database, "SELECT * FROM experiments ORDER BY id")},
        {"runs", queryRows(database, "SELECT experiment_id, run, generations, evaluations, solved, generations_to_solution, "
                                     "evaluations_to_solution, convergence_generation, final_best_fitness, "
                                     "final_worst_fitness FROM runs ORDER BY experiment_id, run")},
        {"generations", queryRows(database, "SELECT * FROM generations ORDER BY experiment_id, run, generation")},
        {"swept_keys", queryRows(database, "SELECT * FROM swept_keys ORDER BY position")},
    };
}

std::map<std::string, Rows> withoutHostsAndDurations(std::map<std::string, Rows> tables) {
    for (auto& row : tables["experiments"]) row.resize(row.size() - 2);  // host, duration_s
    return tables;
}

int successLines(const std::string& jobLog) {
    int count = 0;
    for (const std::string& line : splitLines(readFile(jobLog))) {
        const auto fields = splitLines([&line] {
            std::string text = line;
            for (char& c : text) c = c == '\t' ? '\n' : c;
            return text;
        }());
        if (fields.size() >= 8 && fields[0] != "Seq" && fields[6] == "0" && fields[7] == "0") ++count;
    }
    return count;
}

TEST(SweepEndToEnd, ASweepStoppedHalfWayAndResumedEqualsOneThatRanWhole) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("400"));

    const auto whole = runSweepProgram(gridWith({"--out", "whole", "--progress"}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_NE(whole.out.find("Sweep of 45 experiments (9 combinations x 5 seeds, 2 runs each)"), std::string::npos);
    EXPECT_NE(whole.out.find("45 of 45 experiments ran, 0 failed"), std::string::npos) << whole.out;
    EXPECT_NE(whole.err.find("valdrin-sweep: 45 of 45 experiments done, 0 failed"), std::string::npos) << whole.err;
    const auto wholeTables = comparableTables("whole/results.sqlite");
    ASSERT_EQ(wholeTables.at("experiments").size(), 45u);
    EXPECT_EQ(wholeTables.at("runs").size(), 90u);
    EXPECT_EQ(wholeTables.at("generations").size(), 90u * 400);
    EXPECT_EQ(queryRows("whole/results.sqlite", "SELECT count(*) FROM experiments WHERE exit_status = 0 AND host = 'local' "
                                                "AND duration_s >= 0"),
              (Rows{{"45"}}));
    // The experiments table holds the plan: values and seeds in order, the last key fastest.
    EXPECT_EQ(wholeTables.at("experiments")[6],
              (std::vector<std::string>{"7", "experiments/07_20_0.3_seed2", "20", "0.3", "2", "0", "local",
                                        wholeTables.at("experiments")[6][7]}));
    EXPECT_EQ(splitLines(readFile("whole/sweep.csv")).size(), 1u + 90);
    // Every experiment is its own reproducible run of the program: the seed in its folder's
    // configuration, its results beside it.
    const std::string config = readFile("whole/experiments/07_20_0.3_seed2/config.xml");
    EXPECT_NE(config.find("<name>RNG seed</name><value>2</value>"), std::string::npos);
    EXPECT_NE(config.find("<name>Mutation rate</name><value>0.3</value>"), std::string::npos);
    EXPECT_TRUE(fileExists("whole/experiments/07_20_0.3_seed2/summary.log"));

    // The same sweep in batches of four, sent SIGTERM once some experiments have finished: the
    // running batches stop half-way.
    std::string stoppedErr;
    {
        testing::BackgroundRun cut(VALDRIN_SWEEP_EXECUTABLE, gridWith({"--out", "cut", "--batch", "4"}), "background");
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (cut.running() && successLines("cut/joblog") < 8 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        cut.signal(SIGTERM);
        deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (cut.running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_FALSE(cut.running()) << "the sweep did not end within a minute of SIGTERM";
        const testing::ProgramResult stopped = cut.wait();
        stoppedErr = stopped.err;
        EXPECT_EQ(stopped.status, 143) << stoppedErr;
    }
    const int finished = successLines("cut/joblog");
    ASSERT_LT(finished, 45) << "the sweep ended before the signal: the interruption was not tested";
    EXPECT_GE(finished, 8);
    EXPECT_NE(stoppedErr.find("interrupted by SIGTERM: " + std::to_string(finished) + " of 45 experiments ran"),
              std::string::npos)
        << stoppedErr;
    // What had finished is already in the results.
    EXPECT_EQ(queryRows("cut/results.sqlite", "SELECT count(*) FROM experiments WHERE exit_status IS NULL"),
              (Rows{{std::to_string(45 - finished)}}));

    const auto resumed = runSweepProgram(gridWith({"--out", "cut", "--resume"}));
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("Resuming: " + std::to_string(finished) + " of 45 experiments already ran"), std::string::npos)
        << resumed.out;
    EXPECT_EQ(successLines("cut/joblog"), 45) << "every experiment ran exactly once";
    EXPECT_EQ(withoutHostsAndDurations(comparableTables("cut/results.sqlite")), withoutHostsAndDurations(wholeTables));
    EXPECT_EQ(splitLines(readFile("cut/sweep.csv")).size(), 1u + 90);
}

// An experiment stopped in the middle of a run (the sweep killed with it, its job never logged)
// goes on from the checkpoint every experiment keeps, and the sweep ends with the results, the
// logs and the standard output of one that ran whole.
TEST(SweepEndToEnd, AnExperimentStoppedMidRunGoesOnFromItsCheckpoint) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("3000"));
    const std::vector<std::string> grid = {"base.xml", "--set", "Population size=40", "--seeds", "1-2", "--runs", "3"};
    const auto with = [&grid](std::vector<std::string> more) {
        std::vector<std::string> arguments = grid;
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    };
    ASSERT_EQ(runSweepProgram(with({"--out", "whole"})).status, 0);
    ASSERT_EQ(runSweepProgram(with({"--out", "cut"})).status, 0);
    const std::string name = "experiments/1_40_seed1";
    ASSERT_TRUE(fs::is_directory("cut/" + name));

    // Experiment 1 run again as its job runs it (with checkpoints every 50 generations), killed
    // once a checkpoint was taken inside its second run, and dropped from the job log.
    const fs::path home = fs::current_path();
    const fs::path folder = home / "cut" / name;
    for (const char* file : {"stdout.txt", "stderr.txt", "experiment.checkpoint", "runs.csv", "generations.csv"}) {
        fs::remove(folder / file);
    }
    fs::current_path(folder);
    {
        testing::BackgroundRun run({"config.xml", "3", "--csv", "--checkpoint", "experiment.checkpoint", "--every", "50"});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        bool inSecondRun = false;
        while (!inSecondRun && run.running() && std::chrono::steady_clock::now() < deadline) {
            if (fileExists("experiment.checkpoint")) {
                const Checkpoint checkpoint = readCheckpoint("experiment.checkpoint");
                inSecondRun = checkpoint.runInProgress && checkpoint.nextRun == 1;
            }
            if (!inSecondRun) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        run.signal(SIGKILL);
        const auto stopped = run.wait();
        writeFile("stdout.txt", stopped.out);
        ASSERT_TRUE(inSecondRun) << "the experiment ended before a checkpoint in its second run was seen";
    }
    fs::current_path(home);
    ASSERT_FALSE(readCheckpoint((folder / "experiment.checkpoint").string()).finished());
    std::string jobLog;
    for (const std::string& line : splitLines(readFile("cut/joblog"))) {
        if (line.find(name) == std::string::npos) jobLog += line + "\n";
    }
    writeFile("cut/joblog", jobLog);

    const auto resumed = runSweepProgram(with({"--out", "cut", "--resume"}));
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(readFile("cut/" + name + "/stderr.txt").find("valdrin: resuming from experiment.checkpoint: run 1 after generation "),
              std::string::npos)
        << readFile("cut/" + name + "/stderr.txt");
    EXPECT_EQ(withoutHostsAndDurations(comparableTables("cut/results.sqlite")),
              withoutHostsAndDurations(comparableTables("whole/results.sqlite")));
    // runs.csv holds durations; its other columns are in the runs table compared above.
    for (const char* file : {"stdout.txt", "ga.log", "summary.log", "generations.csv"}) {
        EXPECT_EQ(testing::maskClock(readFile("cut/" + name + "/" + file)),
                  testing::maskClock(readFile("whole/" + name + "/" + file)))
            << file;
    }
}

TEST(SweepEndToEnd, FailingExperimentsAreReportedAndCountedAndTheOthersFinish) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("20"));
    const std::vector<std::string> arguments = {"base.xml", "--set", "Population size=0,12", "--seeds", "3,4",
                                                "--jobs", "2", "--out", "grid"};
    const auto result = runSweepProgram(arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("2 of 4 experiments ran, 2 failed"), std::string::npos) << result.out;
    const std::string folder = fs::absolute("grid/experiments/1_0_seed3").lexically_normal().string();
    EXPECT_NE(result.err.find("valdrin-sweep: experiment 1 failed (exit status 1): " + folder), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("    valdrin: error: config.xml:7: \"Population size\" is 0; a run needs at least 1 individual"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("valdrin-sweep: error: 2 of 4 experiments failed"), std::string::npos);
    EXPECT_EQ(queryRows("grid/results.sqlite", "SELECT id, population_size, seed, exit_status FROM experiments ORDER BY id"),
              (Rows{{"1", "0", "3", "1"}, {"2", "0", "4", "1"}, {"3", "12", "3", "0"}, {"4", "12", "4", "0"}}));
    EXPECT_EQ(queryRows("grid/results.sqlite", "SELECT DISTINCT experiment_id FROM generations ORDER BY 1"),
              (Rows{{"3"}, {"4"}}));
    const auto csv = splitLines(readFile("grid/sweep.csv"));
    ASSERT_EQ(csv.size(), 5u);
    EXPECT_EQ(csv[1], "1,0,3,1" + std::string(15, ',') + ",1,0" + std::string(9, ','));  // the 15 columns of runs.csv empty
    const auto failures = testing::tableRows(readFile("grid/sweep.html"), "failures");
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].data.at("status"), "1");

    // --resume runs the failed ones again (they fail again) and nothing else.
    const std::size_t lines = splitLines(readFile("grid/joblog")).size();
    const auto again = runSweepProgram({"base.xml", "--set", "Population size=0,12", "--seeds", "3,4", "--out", "grid",
                                        "--resume"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(splitLines(readFile("grid/joblog")).size(), lines + 2);
}

TEST(SweepEndToEnd, KeysWordsAndSeedsThatCannotRunAreRefusedBeforeAnythingRuns) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("20"));
    struct Refusal {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    };
    const std::vector<Refusal> refusals = {
        {{"--set", "Population Size=20,50"}, 1,
         "valdrin-sweep: error: Population Size: unknown key \"Population Size\" (did you mean \"Population size\"?)\n"},
        {{"--set", "Crossover type=SBX,BLY"}, 1, "valdrin-sweep: error: Crossover type=BLY: \"BLY\" is not a word of"},
        {{"--set", "Crossover type=order"}, 1, "valdrin-sweep: error: Crossover type=order: "},
        {{"--set", "Elite count=two"}, 1, "valdrin-sweep: error: Elite count=two: \"Elite count\" needs a whole number"},
        {{"--seeds", "5,32768"}, 2, "seed 32768 is above 32767"},
        {{"--seeds", "0"}, 2, "seeds start at 1"},
        {{"--seeds", "1-x"}, 2, "--seeds takes whole numbers and ranges"},
        {{"--set", "Population size"}, 2, "--set takes KEY=VALUE,VALUE,..."},
        {{"--set", "RNG seed=1,2"}, 2, "not with --set \"RNG seed=...\""},
        {{"--set", "Population size=1", "--set", "Population size=2"}, 2, "is swept twice"},
        {{"--runs", "0"}, 2, "--runs"},
        {{"--jobs", "x"}, 2, "--jobs"},
        {{"--hosts", "missing-hosts"}, 2, "missing-hosts"},
    };
    for (const Refusal& refusal : refusals) {
        std::vector<std::string> arguments = {"base.xml", "--out", "never"};
        arguments.insert(arguments.end(), refusal.arguments.begin(), refusal.arguments.end());
        if (refusal.arguments.front() != "--seeds") arguments.insert(arguments.end(), {"--seeds", "1-2"});
        const auto result = runSweepProgram(arguments);
        EXPECT_EQ(result.status, refusal.status) << ::testing::PrintToString(refusal.arguments) << result.err;
        EXPECT_NE(result.err.find(refusal.message), std::string::npos) << ::testing::PrintToString(refusal.arguments) << result.err;
        EXPECT_FALSE(fileExists("never")) << ::testing::PrintToString(refusal.arguments);
    }
    EXPECT_EQ(runSweepProgram({"missing.xml", "--seeds", "1"}).status, 2);
    const auto help = runSweepProgram({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--hosts"), std::string::npos);
}

TEST(SweepEndToEnd, TheFolderHoldsOneSweepThatOnlyTheSameCommandWithResumeGoesOnWith) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("10"));
    const std::vector<std::string> arguments = {"base.xml", "--set", "Mutation rate=0.1,0.2", "--seeds", "1-2", "--out", "s"};
    const auto with = [&arguments](std::vector<std::string> more) {
        std::vector<std::string> all = arguments;
        all.insert(all.end(), more.begin(), more.end());
        return runSweepProgram(all);
    };
    // --resume on a folder that holds nothing yet starts the sweep.
    ASSERT_EQ(with({"--resume"}).status, 0);
    const auto again = with({});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already holds a sweep: add --resume"), std::string::npos) << again.err;
    const auto otherSeeds = runSweepProgram({"base.xml", "--set", "Mutation rate=0.1,0.2", "--seeds", "1-3", "--out", "s",
                                             "--resume"});
    EXPECT_EQ(otherSeeds.status, 1);
    EXPECT_NE(otherSeeds.err.find("has another plan"), std::string::npos) << otherSeeds.err;

    // An experiment whose results went missing runs again; the others are left as they are.
    const std::string kept = readFile("s/experiments/1_0.1_seed1/runs.csv");
    fs::remove("s/experiments/2_0.1_seed2/runs.csv");
    const std::size_t lines = splitLines(readFile("s/joblog")).size();
    const auto resumed = with({"--resume"});
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("Resuming: 3 of 4 experiments already ran"), std::string::npos) << resumed.out;
    EXPECT_EQ(splitLines(readFile("s/joblog")).size(), lines);  // its old line gave way to the new one
    EXPECT_TRUE(fileExists("s/experiments/2_0.1_seed2/runs.csv"));
    EXPECT_EQ(readFile("s/experiments/1_0.1_seed1/runs.csv"), kept);
    EXPECT_EQ(queryRows("s/results.sqlite", "SELECT count(DISTINCT experiment_id) FROM runs"), (Rows{{"4"}}));

    writeFile("base.xml", testing::sweepSphere("11"));
    const auto changed = with({"--resume"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_NE(changed.err.find("base configuration differs"), std::string::npos) << changed.err;

    fs::create_directory("other");
    writeFile("other/notes.txt", "mine");
    const auto occupied = runSweepProgram({"base.xml", "--seeds", "1", "--out", "other"});
    EXPECT_EQ(occupied.status, 1);
    EXPECT_NE(occupied.err.find("is not empty and holds no sweep"), std::string::npos);
    EXPECT_EQ(readFile("other/notes.txt"), "mine");
}

// The problem swept like a key, and every experiment writing its page and its IOHprofiler files
// in its folder, each named by the folder so that IOHanalyzer, given the whole sweep, keeps every
// experiment apart.
TEST(SweepEndToEnd, ProblemsAreSweptAndEachExperimentWritesItsPageAndIohFiles) {
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("15"));
    const std::vector<std::string> arguments = {"base.xml", "--set", "Problem=Sphere,Rastrigin", "--seeds", "1-2",
                                                "--ioh", "--report", "--out", "p"};
    const auto result = runSweepProgram(arguments);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(queryRows("p/results.sqlite", "SELECT id, folder, problem, seed, exit_status FROM experiments ORDER BY id"),
              (Rows{{"1", "experiments/1_Sphere_seed1", "Sphere", "1", "0"},
                    {"2", "experiments/2_Sphere_seed2", "Sphere", "2", "0"},
                    {"3", "experiments/3_Rastrigin_seed1", "Rastrigin", "1", "0"},
                    {"4", "experiments/4_Rastrigin_seed2", "Rastrigin", "2", "0"}}));
    EXPECT_NE(readFile("p/experiments/3_Rastrigin_seed1/config.xml").find("<problem><type>Rastrigin</type></problem>"),
              std::string::npos);
    EXPECT_NE(readFile("p/sweep.html").find("<h1>Sweep: GA on Sphere, Rastrigin</h1>"), std::string::npos);
    for (const auto& [folder, info] : std::vector<std::pair<std::string, std::string>>{
             {"1_Sphere_seed1", "IOHprofiler_f1_Sphere.info"}, {"4_Rastrigin_seed2", "IOHprofiler_f2_Rastrigin.info"}}) {
        const std::string path = "p/experiments/" + folder;
        EXPECT_NE(readFile(path + "/report.html").find("<html"), std::string::npos) << folder;
        const auto meta = splitLines(readFile(path + "/ioh/" + info));
        ASSERT_EQ(meta.size(), 3u) << folder;
        EXPECT_NE(meta[0].find("algId = \"" + folder + "\""), std::string::npos) << meta[0];
    }

    // The files every experiment writes are part of the sweep: --resume without them is refused.
    std::vector<std::string> without(arguments.begin(), arguments.end() - 4);
    without.insert(without.end(), {"--out", "p", "--resume"});
    const auto other = runSweepProgram(without);
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("--resume needs the same --set, --seeds and --runs, and the same --ioh, --report and --plot"),
              std::string::npos)
        << other.err;
}

TEST(SweepEndToEnd, TheSubmatrixTasksDataGoesWithEveryExperiment) {
    ScratchDir scratch;
    const fs::path example = testing::sourceFolder() / "examples" / "submatrix-mask";
    std::string base = readFile((example / "config.xml").string());
    fs::copy_file(example / "matrix.txt", "matrix.txt");
    writeFile("base.xml", base);
    const auto result = runSweepProgram({"base.xml", "--set", "Generations number=2,3", "--seeds", "1", "--out", "m"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile("m/experiments/1_2_seed1/matrix.txt"), readFile("matrix.txt"));
    EXPECT_EQ(queryRows("m/results.sqlite", "SELECT experiment_id, max(generation) FROM generations GROUP BY 1"),
              (Rows{{"1", "2"}, {"2", "3"}}));

    fs::remove("matrix.txt");
    const auto missing = runSweepProgram({"base.xml", "--seeds", "1", "--out", "n"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("base.xml:4: Submatrix reads its data from matrix.txt: Can't open input file"),
              std::string::npos)
        << missing.err;
}

// The page of a real sweep in headless Chromium: both plots and every combination are rendered.
TEST(SweepEndToEnd, ThePageRendersInABrowser) {
    if (!testing::browserInstalled()) GTEST_SKIP() << "chromium is not installed (make deps installs it)";
    ScratchDir scratch;
    writeFile("base.xml", testing::sweepSphere("30"));
    const auto result = runSweepProgram({"base.xml", "--set", "Population size=10,30", "--set", "Crossover type=SBX,BLX",
                                         "--seeds", "1-3", "--runs", "2", "--out", "p"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string page = fs::absolute("p/sweep.html").string();
    const auto dom = testing::runBrowser(scratch.path() + "/profile-dom", {"--dump-dom", "file://" + page});
    ASSERT_EQ(dom.status, 0) << dom.err;
    EXPECT_NE(dom.out.find("<h1>Sweep: GA on Sphere</h1>"), std::string::npos);
    int plots = 0;
    for (std::size_t at = dom.out.find("<svg"); at != std::string::npos; at = dom.out.find("<svg", at + 1)) ++plots;
    EXPECT_EQ(plots, 4);
    EXPECT_EQ(testing::tableRows(dom.out, "combinations").size(), 4u);
    // "Which is better": every combination ranked, at least one among the best, and the two plots
    // of the combinations, one curve per combination each.
    EXPECT_EQ(testing::tableRows(dom.out, "ranking").size(), 4u);
    EXPECT_NE(dom.out.find("data-rank=\"1\" data-among-best=\"1\""), std::string::npos);
    for (const std::string id : {"ecdf-combinations", "fixed-budget"}) {
        const std::size_t at = dom.out.find("id=\"" + id + "\"");
        ASSERT_NE(at, std::string::npos) << id;
        const std::string plot = dom.out.substr(at, dom.out.find("</svg>", at) - at);
        int curves = 0;
        for (std::size_t c = plot.find("class=\"curve\""); c != std::string::npos; c = plot.find("class=\"curve\"", c + 1)) ++curves;
        EXPECT_EQ(curves, 4) << id;
    }

    const std::string shot = scratch.path() + "/sweep.png";
    const auto taken = testing::runBrowser(scratch.path() + "/profile-shot",
                                           {"--screenshot=" + shot, "--window-size=1200,1600", "file://" + page});
    ASSERT_EQ(taken.status, 0) << taken.err;
    const std::string png = readFile(shot);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_GT(png.size(), 40000u) << "a screenshot this small shows next to nothing";
}

}  // namespace
}  // namespace Valdrin
