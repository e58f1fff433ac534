// The progress line.
#include "driver/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "statistics/run_summary.h"

namespace Valdrin {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
// Plain lines (not a terminal) come at most this often.
constexpr auto kPlainInterval = std::chrono::seconds(5);

}  // namespace

std::string formatDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "?";
    const auto total = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (total < 60) {
        std::snprintf(text, sizeof text, "%llds", total);
    } else if (total < 3600) {
        std::snprintf(text, sizeof text, "%lldm%02llds", total / 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lldh%02lldm", total / 3600, total % 3600 / 60);
    }
    return text;
}

ProgressLine::ProgressLine(std::ostream& out, bool enabled, int runs, int generations, ProgressDisplay display)
    : out_(out), enabled_(enabled), runs_(runs), generations_(generations), display_(display),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_ - kPlainInterval) {}

ProgressLine::~ProgressLine() { clear(); }

std::string ProgressLine::text(int run, int runs, int generation, int generations, double best, double elapsedSeconds,
                               double secondsLeft) {
    std::ostringstream line;
    line << "run " << run << " of " << runs << ", generation " << generation << " of " << generations
         << ", best " << best << ", " << formatDuration(elapsedSeconds) << " elapsed";
    if (secondsLeft >= 0.0) line << ", about " << formatDuration(secondsLeft) << " left";
    return line.str();
}

double ProgressLine::secondsLeft(double elapsedSeconds, long long generationsDone, int finishedRuns,
                                 long long finishedRunsGenerations, int run, int runs, int generation, int generations) {
    if (generationsDone <= 0 || elapsedSeconds < 1.0) return -1.0;
    const double perGeneration = elapsedSeconds / static_cast<double>(generationsDone);
    // A run takes as many generations as the finished ones took on average, and never fewer than
    // the current one has done.
    const double perRun = finishedRuns > 0 ? static_cast<double>(finishedRunsGenerations) / finishedRuns
                                           : static_cast<double>(generations);
    const double current = std::max(0.0, perRun - generation);
    const double later = std::max(0, runs - run - 1) * perRun;
    return (current + later) * perGeneration;
}

void ProgressLine::startRun(int run) {
    if (generation_ > 0 && run > run_) {
        ++finishedRuns_;
        finishedRunsGenerations_ += generation_;
    }
    run_ = run;
    generation_ = 0;
    best_ = std::numeric_limits<double>::quiet_NaN();
}

void ProgressLine::generationDone(const QRunSummary& summary) {
    if (!enabled_) return;
    generation_ = summary.generationsDone;
    const double latest = recordedValue(summary.bestFitness, generation_ - 1);
    if (std::isnan(best_) || latest < best_) best_ = latest;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < (display_.terminal ? std::chrono::steady_clock::duration(kRedrawInterval)
                                             : std::chrono::steady_clock::duration(kPlainInterval))) {
        return;
    }
    lastDraw_ = now;
    draw();
}

void ProgressLine::draw() {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double left = secondsLeft(elapsed, finishedRunsGenerations_ + generation_, finishedRuns_,
                                    finishedRunsGenerations_, run_, runs_, generation_, generations_);
    std::string line = text(run_ + 1, runs_, generation_, generations_, best_, elapsed, left);
    if (!display_.terminal) {
        out_ << line << "\n" << std::flush;
        return;
    }
    // One column is left free: a line that fills the terminal's width wraps on some terminals.
    if (display_.columns > 1 && line.size() > static_cast<std::size_t>(display_.columns - 1)) {
        line.resize(static_cast<std::size_t>(display_.columns - 1));
    }
    out_ << "\r\033[K" << line << std::flush;
    shown_ = true;
}

void ProgressLine::clear() {
    if (!shown_) return;
    out_ << "\r\033[K" << std::flush;
    shown_ = false;
}

}  // namespace Valdrin
