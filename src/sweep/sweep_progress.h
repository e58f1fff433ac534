// The progress line valdrin-sweep draws on standard error while parallel runs the experiments.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "sweep/job_log.h"

namespace Valdrin {

// Experiments done of all, failures, time elapsed and left, counted from the job log as
// jobOutcomes counts them. The time left is reckoned from the experiments finished since the
// line was made (those a resumed sweep found done do not count).
class SweepProgress {
public:
    // Nothing is drawn when not enabled.
    SweepProgress(bool enabled, const std::string& jobLog, int total);

    // Draws the line again, at most every 250 ms unless forced.
    void update(bool force = false);
    // Clears the line, if one was drawn.
    void clear();

private:
    // The jobs as the lines of the log read so far tell of them.
    JobTally tally();

    bool enabled_;
    GrowingJobLog log_;
    std::vector<JobRecord> records_;
    int total_;
    int finishedAtStart_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace Valdrin
