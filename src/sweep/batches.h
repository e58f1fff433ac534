// Batches: several short experiments run one after the other by one of parallel's jobs, so that
// what parallel spends on a job (a few milliseconds) is shared by them. Each experiment's outcome
// is recorded in its folder by the job (kJobRecord), and the sweep turns the records into the
// job log's lines, one per experiment, as parallel's own log (kBatchLog) tells that batches
// ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/identifiers.h"
#include "core/parameters.h"
#include "sweep/job_log.h"
#include "sweep/sweep_plan.h"

namespace Valdrin {

// The file in an experiment's folder that the job writes when the experiment ends: its exit
// status, and the times it started and ended (seconds since 1970, "." or "," before the
// fraction), separated by spaces; a task of a job array adds the node it ran on.
constexpr const char* kJobRecord = "job.txt";
// parallel's own job log in the sweep's folder: one line per batch.
constexpr const char* kBatchLog = "batchlog";

// The seconds an experiment of that configuration is expected to take at most, as a batch is
// planned by: 10 ms to start and write its files, then per run, individual and generation (the
// largest population an adaptive sizer allows, the generations and the last evaluation of the
// final population) 40 µs for the network algorithms and 1 µs plus 30 ns per gene for GA. These
// are above what the workloads of bench/ take, so that an experiment is rather thought longer
// than it is.
double expectedExperimentSeconds(const QEAParameters& params, AlgorithmKind algorithm, int runs);

// A batch holds about this many seconds of expected work.
constexpr double kBatchSeconds = 0.5;
// The most experiments a batch holds.
constexpr int kLargestBatch = 100;

// How many experiments a job runs: as many as fit in kBatchSeconds of expected work (at least
// one, at most kLargestBatch), and no more than makes two batches for every job slot, so that
// the slots share the work to the end.
int automaticBatchSize(double expectedSeconds, int experiments, int slots);

// What an experiment's job wrote in its folder when it ended.
struct ExperimentRecord {
    int status = 0;      // the program's exit status (128 + the signal that ended it)
    double start = 0.0;  // seconds since 1970; 0 when the record does not say
    double end = 0.0;
    std::string host;    // the node it ran on; "" when the record does not say
};

// The record in the file; nothing when it does not exist or does not start with a status.
std::optional<ExperimentRecord> readExperimentRecord(const std::string& path);

// Turns the batches' ends into the job log's lines while parallel runs and once it has ended.
// The experiments are those of the job list, in its order: batch b (from 1) holds the experiments
// (b - 1) * size + 1 to b * size.
class BatchMerger {
public:
    // command is what a line says an experiment ran, "{}" standing for its folder and "{/}" for
    // the folder's name.
    BatchMerger(std::string sweepFolder, std::vector<Experiment> queued, int size, std::string command);

    // Adds to the job log a line for every experiment of every batch parallel's log says has
    // ended since the last call.
    void update();
    // Once parallel has ended: update(), then a line for every queued experiment still without
    // one whose record is in its folder (a batch parallel was stopped in before it logged it ran
    // it on this machine or one of the hosts' whose folder came back).
    void finish();

private:
    // The line of queued experiment i from its record; nothing without one.
    std::optional<JobRecord> lineOf(std::size_t i) const;
    std::string commandOf(std::size_t i) const;

    std::string folder_;
    std::vector<Experiment> queued_;
    int size_;
    std::string command_;
    GrowingJobLog batches_;
    std::vector<std::optional<JobRecord>> batchOf_;  // per queued experiment: its batch's line
    std::vector<bool> logged_;
};

}  // namespace Valdrin
