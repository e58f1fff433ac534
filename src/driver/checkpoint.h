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
#include <utility>
#include <vector>

#include "driver/command_line.h"

namespace Valdrin {

class QEvolutionaryAlgorithm;
class QProblem;
class QSummaryProcessor;
struct QEAParameters;

// The version of the checkpoint format this program writes and reads (3 added where standard
// output's file stood).
constexpr std::uint32_t kCheckpointFormat = 3;
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

// What a checkpoint belongs to: the configuration's content, the options that decide what is
// written and where, and the data files the problem reads; and the number of runs asked for,
// which a resumed experiment may raise (its runs go on in the same stream of random numbers).
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

// Where standard output's file stood at a checkpoint when standard output was no regular file the
// experiment wrote (a pipe, a terminal, --quiet).
constexpr std::uint64_t kNoOutputPosition = UINT64_MAX;

// The content of a checkpoint file.
struct Checkpoint {
    std::string programVersion;
    ExperimentIdentity identity;
    std::uint32_t seed = 0;       // the seed the experiment used (the calendar's, for RNG seed 0)
    int nextRun = 0;              // the run in progress, or the next run to start
    bool runInProgress = false;   // nextRun has completed generationsDone generations
    int generationsDone = 0;
    std::uint64_t outputBytes = 0;  // bytes the experiment had written to standard output
    // The offset in standard output's file just after those bytes (kNoOutputPosition when it was
    // no regular file), and the last (up to kTailBytes) of them.
    std::uint64_t outputPosition = kNoOutputPosition;
    std::string outputTail;
    long processorClock = 0;        // the experiment's processor clock (ms)
    std::string randomState;        // the generator's whole state (Random::saveState)
    std::vector<SavedOutputFile> files;
    std::string finishedRuns;    // the finished runs' records (read by restoreCheckpoint)
    std::string algorithmState;  // QEvolutionaryAlgorithm::saveState

    // Every run asked for has finished: resuming with as many runs only writes the reports over
    // the runs.
    bool finished() const { return finishedFor(identity.runs); }
    // Every one of that many runs has finished.
    bool finishedFor(int runs) const { return !runInProgress && nextRun >= runs; }
};

// The bytes of a checkpoint file: the magic, the format version, the length of the content, the
// content and the CRC-32 of everything before it.
std::string encodeCheckpoint(const Checkpoint& checkpoint);

// Reads a checkpoint file. Refuses, ending the experiment with "cannot resume from FILE: ..."
// (exit 1), a file that cannot be read, is no checkpoint, is truncated, is corrupt (its checksum
// does not match), or was written in another format version or by another version of the program.
Checkpoint readCheckpoint(const std::string& path);

// Refuses, in the same way, a checkpoint that belongs to another experiment than the one
// identified (RUNS may be larger than the checkpoint's, never smaller), or whose output files were
// changed since it was written (missing, shorter than it recorded, or other bytes before that
// length). Reads files and writes nothing.
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
    // The last (up to kTailBytes) bytes counted, and the same set from a checkpoint.
    std::string tail() const;
    void setTail(std::string tail) { tail_ = std::move(tail); }
    // The target writes to this file descriptor (the process's standard output), which
    // filePosition and cutBackTo then look at. Without it both leave standard output alone.
    void writesTo(int descriptor) { descriptor_ = descriptor; }
    // The offset in the file just after what was written (flushed), or kNoOutputPosition when the
    // descriptor is no regular file.
    std::uint64_t filePosition() const;
    // Cuts the file back to the offset when its bytes before the offset are the tail (it is the
    // file a checkpoint's experiment wrote, and that experiment went on writing after the
    // checkpoint), so that what follows continues it. Returns the system's reason when the cut
    // failed; "" when it was made or not needed.
    std::string cutBackTo(std::uint64_t position, const std::string& tail);

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void remember(const char* s, std::size_t n);

    std::streambuf* target_;  // not owned; null when the output is silenced
    std::uint64_t count_ = 0;
    bool muted_ = false;
    std::string tail_;        // the last bytes counted (at most twice kTailBytes)
    int descriptor_ = -1;
};

// Puts a set-up experiment back into the state the checkpoint saved: the generator, the
// algorithm's state, the finished runs, the processor clock and the count of standard output;
// the appended output files are cut back to their recorded lengths and the rewritten ones get
// their recorded content back.
void restoreCheckpoint(const Checkpoint& checkpoint, QEvolutionaryAlgorithm& algorithm, QProblem& problem,
                       QSummaryProcessor& processor, OutputCounter& output);

// "valdrin: resuming from FILE: run 3 after generation 40" (or "run 4 from its start", or
// "every run had finished"), the line a resumed experiment of that many runs writes on standard
// error; one extended to more runs than the checkpoint's says so ("run 8 from its start, the
// experiment extended from 8 to 10 runs").
std::string resumingNote(const Checkpoint& checkpoint, const std::string& path, int runs);

// Writes checkpoints as the experiment goes, when --checkpoint asks for them: after every N
// generations of a run (--every N), or every 10 minutes of running when no N is given, checked at
// the end of each generation; after every run; and when a signal interrupts the experiment.
class CheckpointKeeper {
public:
    // Writes to path (the command line's checkpoint file, placed in the output folder); nothing is
    // written when it is empty.
    CheckpointKeeper(std::string path, int every, ExperimentIdentity identity, QEvolutionaryAlgorithm& algorithm,
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
    // Writes the checkpoint of the experiment as it stands. The experiment's processor clock stands
    // still meanwhile: writing checkpoints is no part of any run's duration.
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

// Where the command line's --checkpoint or --resume file is: a relative name is placed in the
// output folder (--out), as every file the experiment writes; an absolute one stays as given.
std::string checkpointPath(const CommandLine& line, const std::string& name);

// Writes the bytes to the path so that a crash at any moment leaves either the file as it was or
// the new one: a temporary file beside it (PATH.part) is written, flushed to the disk and renamed
// over it, then the folder is flushed. Ends the experiment when it cannot, with the temporary
// file removed.
void writeFileDurably(const std::string& path, std::string_view bytes);

}  // namespace Valdrin
