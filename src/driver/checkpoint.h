// Checkpoints: the whole state of an experiment, written between generations so that an
// experiment killed at any moment resumes from its last checkpoint and ends with exactly the
// files an uninterrupted one writes. docs/checkpoint.md describes the file; this header the
// pieces the experiment uses (reading and checking a checkpoint, restoring it, and the keeper
// that writes them as the experiment goes).
#pragma once

#include <chrono>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "driver/command_line.h"

namespace Valdrin {

class QEvolutionaryAlgorithm;
class QProblem;
class QSummaryProcessor;
struct QEAParameters;

// The version of the checkpoint format this program writes and reads.
constexpr std::uint32_t kCheckpointFormat = 2;
// The first eight bytes of every checkpoint.
constexpr std::string_view kCheckpointMagic = "VLDRCKPT";
// Checkpoints are written every this long of running when no --every is given.
constexpr std::chrono::minutes kCheckpointInterval{10};

// CRC-32 (the checksum of zlib, gzip and PNG) of the bytes.
std::uint32_t crc32Of(std::string_view bytes);

// A data file the problem reads (matrix.txt): its name, size and checksum.
struct InputFileSum {
    std::string name;
    std::uint64_t size = 0;
    std::uint32_t checksum = 0;

    bool operator==(const InputFileSum&) const = default;
};

// What a checkpoint belongs to: the configuration's content, the number of runs, the options that
// decide what is written and where, and the data files the problem reads.
struct ExperimentIdentity {
    std::string configuration;  // the configuration file's bytes
    int runs = 0;
    std::string outputFolder;
    bool csv = false;
    std::string iohFolder;
    bool report = false;
    bool plot = false;
    std::vector<InputFileSum> inputs;
};

// The identity of the experiment a command line describes; the input files are those named.
// Ends the experiment when the configuration or an input file cannot be read.
ExperimentIdentity identityOf(const CommandLine& line, const std::vector<std::string>& inputFiles);

// An output file as the checkpoint saw it. A file the experiment keeps open and appends to (the
// run log, submatrix.log) is recorded by its length and the checksum of its last bytes before
// that length; a file the problem writes anew after every run (qannsin.log) by its content.
struct SavedOutputFile {
    std::string path;  // as the experiment writes it (placed in the output folder)
    bool rewritten = false;
    std::uint64_t length = 0;         // appended: the file's length at the checkpoint
    std::uint32_t tailChecksum = 0;   // appended: CRC-32 of its last (up to) kTailBytes bytes before length
    bool exists = false;              // rewritten: whether the file existed
    std::string content;              // rewritten: its bytes
};
constexpr std::uint64_t kTailBytes = 4096;

// The content of a checkpoint file.
struct Checkpoint {
    std::string programVersion;
    ExperimentIdentity identity;
    std::uint32_t seed = 0;       // the seed the experiment used (the calendar's, for RNG seed 0)
    int nextRun = 0;              // the run in progress, or the next run to start
    bool runInProgress = false;   // nextRun has completed generationsDone generations
    int generationsDone = 0;
    std::uint64_t outputBytes = 0;  // bytes the experiment had written to standard output
    long processorClock = 0;        // the experiment's processor clock (ms)
    std::string randomState;        // the generator's whole state (Random::saveState)
    std::vector<SavedOutputFile> files;
    std::string finishedRuns;    // the finished runs' records (read by restoreCheckpoint)
    std::string algorithmState;  // QEvolutionaryAlgorithm::saveState

    // Every run has finished: resuming only writes the reports over the runs.
    bool finished() const { return !runInProgress && nextRun >= identity.runs; }
};

// The bytes of a checkpoint file: the magic, the format version, the length of the content, the
// content and the CRC-32 of everything before it.
std::string encodeCheckpoint(const Checkpoint& checkpoint);

// Reads a checkpoint file. Refuses, ending the experiment with "cannot resume from FILE: ..."
// (exit 1), a file that cannot be read, is no checkpoint, is truncated, is corrupt (its checksum
// does not match), or was written in another format version or by another version of the program.
Checkpoint readCheckpoint(const std::string& path);

// Refuses, in the same way, a checkpoint that belongs to another experiment than the one
// identified, or whose output files were changed since it was written (missing, shorter than it
// recorded, or other bytes before that length). Reads files and writes nothing.
void checkCheckpointFits(const Checkpoint& checkpoint, const ExperimentIdentity& current, const std::string& path);

// The paths of the files the checkpoint records by length: a resumed experiment opens them with
// their content kept (OutputFolder::keepContentOf) and cuts them back in restoreCheckpoint.
std::vector<std::string> appendedFiles(const Checkpoint& checkpoint);

// The experiment's standard output, counted: every byte written through it is counted and passed
// on to the target buffer (none: counted only), so that a checkpoint can record where in
// standard output it was taken. Muted, it passes nothing on and counts nothing (a resumed
// experiment's set-up repeats announcements that were written before the checkpoint).
class OutputCounter final : public std::streambuf {
public:
    explicit OutputCounter(std::streambuf* target);
    OutputCounter(const OutputCounter&) = delete;
    OutputCounter& operator=(const OutputCounter&) = delete;

    std::uint64_t count() const { return count_; }
    void setCount(std::uint64_t count) { count_ = count; }
    void mute(bool muted) { muted_ = muted; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    std::streambuf* target_;  // not owned; null when the output is silenced
    std::uint64_t count_ = 0;
    bool muted_ = false;
};

// Puts a set-up experiment back into the state the checkpoint saved: the generator, the
// algorithm's state, the finished runs, the processor clock and the count of standard output;
// the appended output files are cut back to their recorded lengths and the rewritten ones get
// their recorded content back.
void restoreCheckpoint(const Checkpoint& checkpoint, QEvolutionaryAlgorithm& algorithm, QProblem& problem,
                       QSummaryProcessor& processor, OutputCounter& output);

// "valdrin: resuming from FILE: run 3 after generation 40" (or "run 4 from its start", or
// "every run had finished"), the line a resumed experiment writes on standard error.
std::string resumingNote(const Checkpoint& checkpoint, const std::string& path);

// Writes checkpoints as the experiment goes, when --checkpoint asks for them: after every N
// generations of a run (--every N), or every 10 minutes of running when no N is given, checked at
// the end of each generation; after every run; and when a signal interrupts the experiment.
class CheckpointKeeper {
public:
    // Nothing is written when the command line names no checkpoint file.
    CheckpointKeeper(const CommandLine& line, ExperimentIdentity identity, QEvolutionaryAlgorithm& algorithm,
                     QProblem& problem, const QSummaryProcessor& processor, const QEAParameters& params,
                     const OutputCounter& output);

    bool enabled() const { return !path_.empty(); }
    // Whether the experiment has a checkpoint to resume from: one it wrote, or the one it resumed
    // from.
    bool written() const { return written_; }
    // Where the experiment stands: where the checkpoint it resumed from left it, the run in
    // progress (after startRun), or the next run to start (after runDone).
    void resumedFrom(const Checkpoint& checkpoint);
    void startRun(int run);
    void generationDone(int generationsDone);
    void runDone(int run);
    void interrupted();
    // Writes the checkpoint of the experiment as it stands.
    void write();

private:
    std::string path_;
    int every_ = 0;
    ExperimentIdentity identity_;
    QEvolutionaryAlgorithm& algorithm_;
    QProblem& problem_;
    const QSummaryProcessor& processor_;
    const QEAParameters& params_;
    const OutputCounter& output_;
    int run_ = 0;
    bool inProgress_ = false;
    bool written_ = false;
    std::chrono::steady_clock::time_point lastWritten_;
    // The finished runs' records as written so far (runs only ever finish, so they are encoded
    // once each).
    std::string finishedRecords_;
    std::size_t finishedEncoded_ = 0;
};

// Ends the experiment, before anything runs, when the checkpoint's temporary file (PATH.part)
// cannot be made: a mistyped folder is found at once, not after the first run.
void checkCheckpointWritable(const std::string& path);

// Writes the bytes to the path so that a crash at any moment leaves either the file as it was or
// the new one: a temporary file beside it (PATH.part) is written, flushed to the disk and renamed
// over it, then the folder is flushed. Ends the experiment when it cannot.
void writeFileDurably(const std::string& path, std::string_view bytes);

}  // namespace Valdrin
