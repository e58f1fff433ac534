// The progress line: run i of N, generation g of G, the best fitness so far, the time elapsed and
// an estimate of the time left, rewritten in place on standard error and cleared at the end.
#pragma once

#include <chrono>
#include <iosfwd>
#include <limits>
#include <string>

namespace Valdrin {

class QRunSummary;

class ProgressLine {
public:
    // A line that writes nothing unless enabled.
    ProgressLine(std::ostream& out, bool enabled, int runs, int generations);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void startRun(int run);
    // After a completed generation; redraws at most a few times a second.
    void generationDone(const QRunSummary& summary);
    // Removes the line from the terminal.
    void clear();

    // The text of the line for the given state (no terminal control characters).
    static std::string text(int run, int runs, int generation, int generations, double best, double elapsedSeconds,
                            double fractionDone);

private:
    void draw();

    std::ostream& out_;
    bool enabled_;
    int runs_;
    int generations_;
    int run_ = 0;
    int generation_ = 0;
    double best_ = std::numeric_limits<double>::quiet_NaN();
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// "12s", "3m05s", "2h07m".
std::string formatDuration(double seconds);

}  // namespace Valdrin
