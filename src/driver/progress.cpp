// The progress line.
#include "driver/progress.h"

#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "statistics/run_summary.h"

namespace Valdrin {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

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

ProgressLine::ProgressLine(std::ostream& out, bool enabled, int runs, int generations)
    : out_(out), enabled_(enabled), runs_(runs), generations_(generations),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_ - kRedrawInterval) {}

ProgressLine::~ProgressLine() { clear(); }

std::string ProgressLine::text(int run, int runs, int generation, int generations, double best, double elapsedSeconds,
                               double fractionDone) {
    std::ostringstream line;
    line << "run " << run << " of " << runs << ", generation " << generation << " of " << generations
         << ", best " << best << ", " << formatDuration(elapsedSeconds) << " elapsed";
    if (fractionDone > 0.0 && fractionDone < 1.0) {
        line << ", about " << formatDuration(elapsedSeconds * (1.0 - fractionDone) / fractionDone) << " left";
    }
    return line.str();
}

void ProgressLine::startRun(int run) {
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
    if (now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    draw();
}

void ProgressLine::draw() {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double perRun = generations_ > 0 ? static_cast<double>(generation_) / generations_ : 0.0;
    const double fraction = runs_ > 0 ? (run_ + perRun) / runs_ : 0.0;
    out_ << "\r\033[K" << text(run_ + 1, runs_, generation_, generations_, best_, elapsed, fraction) << std::flush;
    shown_ = true;
}

void ProgressLine::clear() {
    if (!shown_) return;
    out_ << "\r\033[K" << std::flush;
    shown_ = false;
}

}  // namespace Valdrin
