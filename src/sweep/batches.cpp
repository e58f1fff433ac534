// Planning batches, reading the experiments' records and turning them into the job log's lines.
#include "sweep/batches.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace Valdrin {

namespace fs = std::filesystem;

double expectedExperimentSeconds(const QEAParameters& params, AlgorithmKind algorithm, int runs) {
    const bool networks = algorithm != AlgorithmKind::GA || params.encoding == Encoding::Network;
    const double perIndividual = networks ? 40e-6 : 1e-6 + 30e-9 * std::max(params.chromosomeLength, 0);
    const bool adaptive = params.populationSizerType != Sizer::Constant;
    const double population = std::max(params.populationSize, adaptive ? params.maxPopulationSize : 0);
    const double generations = std::max(params.generationsNumber, 0) + 1.0;
    return 0.010 + std::max(runs, 1) * std::max(population, 1.0) * generations * perIndividual;
}

int automaticBatchSize(double expectedSeconds, int experiments, int slots) {
    const double fitting = expectedSeconds > 0 ? std::floor(kBatchSeconds / expectedSeconds) : kLargestBatch;
    int size = static_cast<int>(std::clamp(fitting, 1.0, static_cast<double>(kLargestBatch)));
    const long long shares = 2LL * std::max(slots, 1);
    const long long balanced = std::max(1LL, (std::max(experiments, 0) + shares - 1) / shares);
    return static_cast<int>(std::min<long long>(size, balanced));
}

std::optional<ExperimentRecord> readExperimentRecord(const std::string& path) {
    std::ifstream in(path);
    std::string status;
    if (!(in >> status) || status.find_first_not_of("0123456789") != std::string::npos || status.size() > 9) {
        return std::nullopt;
    }
    ExperimentRecord record;
    record.status = std::atoi(status.c_str());
    std::string start;
    std::string end;
    in >> start >> end;
    const auto seconds = [](std::string text) {
        // bash gives its clock with the locale's decimal separator.
        std::replace(text.begin(), text.end(), ',', '.');
        char* stop = nullptr;
        const double value = std::strtod(text.c_str(), &stop);
        return stop != text.c_str() && *stop == '\0' && std::isfinite(value) && value > 0 ? value : 0.0;
    };
    record.start = seconds(start);
    record.end = seconds(end);
    in >> record.host;
    return record;
}

namespace {

// Whether the batch was stopped rather than ended: by a signal, or by the program's status for
// SIGINT or SIGTERM, with which the job ends its batch.
bool batchStopped(const JobRecord& batch) {
    return batch.signal != 0 || batch.exitValue < 0 || batch.exitValue == 128 + SIGINT ||
           batch.exitValue == 128 + SIGTERM;
}

}  // namespace

BatchMerger::BatchMerger(std::string sweepFolder, std::vector<Experiment> queued, int size, std::string command)
    : folder_(std::move(sweepFolder)),
      queued_(std::move(queued)),
      size_(std::max(size, 1)),
      command_(std::move(command)),
      batches_((fs::path(folder_) / kBatchLog).string()),
      batchOf_(queued_.size()),
      logged_(queued_.size(), false) {}

void BatchMerger::update() {
    std::vector<JobRecord> lines;
    for (const JobRecord& batch : batches_.newRecords()) {
        const std::size_t first = static_cast<std::size_t>(batch.sequence - 1) * static_cast<std::size_t>(size_);
        const std::size_t last = std::min(first + static_cast<std::size_t>(size_), queued_.size());
        for (std::size_t i = first; i < last; ++i) {
            batchOf_[i] = batch;
            if (logged_[i]) continue;
            if (std::optional<JobRecord> line = lineOf(i)) {
                lines.push_back(*line);
            } else if (!batchStopped(batch)) {
                // The batch ended without the experiment's record (it could not be written, or its
                // folder did not come back): the batch's status tells how it went.
                JobRecord failed = batch;
                failed.sequence = queued_[i].id;
                failed.runtime = 0.0;
                failed.command = commandOf(i);
                lines.push_back(failed);
            } else {
                continue;
            }
            logged_[i] = true;
        }
    }
    appendJobLines((fs::path(folder_) / "joblog").string(), lines);
}

void BatchMerger::finish() {
    update();
    std::vector<JobRecord> lines;
    for (std::size_t i = 0; i < queued_.size(); ++i) {
        if (logged_[i]) continue;
        if (std::optional<JobRecord> line = lineOf(i)) {
            lines.push_back(*line);
            logged_[i] = true;
        }
    }
    appendJobLines((fs::path(folder_) / "joblog").string(), lines);
}

std::optional<JobRecord> BatchMerger::lineOf(std::size_t i) const {
    const std::optional<ExperimentRecord> record =
        readExperimentRecord((fs::path(folder_) / queued_[i].folder / kJobRecord).string());
    if (!record) return std::nullopt;
    JobRecord line;
    if (batchOf_[i]) line = *batchOf_[i];
    else line.host = record->host.empty() ? ":" : record->host;
    line.sequence = queued_[i].id;
    line.start = record->start;
    line.runtime = record->end >= record->start && record->start > 0 ? record->end - record->start : 0.0;
    line.exitValue = record->status;
    line.signal = 0;
    line.command = commandOf(i);
    return line;
}

std::string BatchMerger::commandOf(std::size_t i) const {
    const std::string& folder = queued_[i].folder;
    std::string command = command_;
    for (const auto& [mark, text] : {std::pair<std::string, std::string>{"{/}", fs::path(folder).filename().string()},
                                     std::pair<std::string, std::string>{"{}", folder}}) {
        for (std::size_t at = command.find(mark); at != std::string::npos; at = command.find(mark, at + text.size())) {
            command.replace(at, mark.size(), text);
        }
    }
    return command;
}

}  // namespace Valdrin
