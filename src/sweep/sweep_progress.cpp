// The progress line of a sweep.
#include "sweep/sweep_progress.h"

#include <iostream>
#include <sstream>

#include "driver/progress.h"

namespace Valdrin {

SweepProgress::SweepProgress(bool enabled, const std::string& jobLog, int total)
    : enabled_(enabled), log_(jobLog), total_(total), start_(std::chrono::steady_clock::now()) {
    const JobTally atStart = tally();
    finishedAtStart_ = atStart.succeeded + atStart.failed;
}

void SweepProgress::update(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(250)) return;
    lastDraw_ = now;
    const JobTally jobs = tally();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::ostringstream line;
    line << "valdrin-sweep: " << jobs.succeeded << " of " << total_ << " experiments done, " << jobs.failed << " failed, "
         << formatDuration(elapsed) << " elapsed";
    const int finishedNow = jobs.succeeded + jobs.failed - finishedAtStart_;
    const int left = total_ - jobs.succeeded - jobs.failed;
    if (finishedNow > 0 && left > 0) line << ", about " << formatDuration(elapsed * left / finishedNow) << " left";
    std::cerr << "\r\033[K" << line.str() << std::flush;
    shown_ = true;
}

void SweepProgress::clear() {
    if (!shown_) return;
    std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
}

JobTally SweepProgress::tally() {
    const std::vector<JobRecord> added = log_.newRecords();
    records_.insert(records_.end(), added.begin(), added.end());
    return tallyOf(jobOutcomes(records_, total_));
}

}  // namespace Valdrin
