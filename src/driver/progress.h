// The progress line: run i of N, generation g of G, the best fitness so far, the time elapsed and
// an estimate of the time left, rewritten in place on standard error and cleared at the end.
#pragma once

#include <chrono>
#include <iosfwd>
#include <limits>
#include <string>

namespace Valdrin {

class QRunSummary;

// Where the progress line goes: a terminal of `columns` columns (0: unknown) is rewritten in
// place and the line cut to fit; anything else gets plain lines, one every few seconds, without
// control characters.
struct ProgressDisplay {
    bool terminal = true;
    int columns = 0;
};

class ProgressLine {
public:
    // A line that writes nothing unless enabled.
    ProgressLine(std::ostream& out, bool enabled, int runs, int generations,
                 ProgressDisplay display = ProgressDisplay());
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void startRun(int run);
    // After a completed generation; redraws at most a few times a second.
    void generationDone(const QRunSummary& summary);
    // Removes the line from the terminal.
    void clear();

    // The text of the line for the given state (no terminal control characters); secondsLeft
    // below 0 when there is no estimate yet.
    static std::string text(int run, int runs, int generation, int generations, double best, double elapsedSeconds,
                            double secondsLeft);

    // The estimate of the time left, from the generations completed so far and the generations
    // the finished runs took (a run that stops at its first solution takes fewer); below 0 until
    // a generation has been completed and a second has passed.
    static double secondsLeft(double elapsedSeconds, long long generationsDone, int finishedRuns,
                              long long finishedRunsGenerations, int run, int runs, int generation, int generations);

private:
    void draw();

    std::ostream& out_;
    bool enabled_;
    int runs_;
    int generations_;
    ProgressDisplay display_;
    int run_ = 0;
    int generation_ = 0;
    int finishedRuns_ = 0;                  // runs this invocation saw to their end
    long long finishedRunsGenerations_ = 0;  // the generations those runs took
    double best_ = std::numeric_limits<double>::quiet_NaN();
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// "12s", "3m05s", "2h07m".
std::string formatDuration(double seconds);

}  // namespace Valdrin
