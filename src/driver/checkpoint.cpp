// Checkpoints: the file's encoding and checks, restoring an experiment from one, the keeper that
// writes them, the count of standard output and the durable write.
#include "driver/checkpoint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "algorithms/algorithm.h"
#include "core/failure.h"
#include "core/file_content.h"
#include "core/output_file.h"
#include "core/parameters.h"
#include "core/random.h"
#include "core/state_io.h"
#include "problems/problem.h"
#include "statistics/run_summary_state.h"
#include "statistics/summary_processor.h"

namespace Valdrin {

namespace {

namespace fs = std::filesystem;

// The magic, the format version and the content's length come before the content; its CRC-32
// after it.
constexpr std::size_t kHeaderBytes = 8 + 4 + 8;
constexpr std::size_t kChecksumBytes = 4;

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
    failPlainly("cannot resume from " + path + ": " + reason);
}

std::string systemReason(int error) { return std::strerror(error != 0 ? error : EIO); }

// Reads the size bytes of the open file from the offset; false when they cannot all be read
// (errno says why, EIO when the file is shorter).
bool readAt(int descriptor, std::uint64_t offset, std::size_t size, std::string& bytes) {
    bytes.assign(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(descriptor, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// CRC-32 of the (up to) kTailBytes bytes of the file before length; false when they cannot be
// read (the file is shorter, or unreadable; errno says why).
bool tailChecksum(const std::string& path, std::uint64_t length, std::uint32_t& checksum) {
    const std::uint64_t start = length > kTailBytes ? length - kTailBytes : 0;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    std::string tail;
    const bool read = readAt(descriptor, start, static_cast<std::size_t>(length - start), tail);
    const int error = errno;
    ::close(descriptor);
    errno = error;
    if (!read) return false;
    checksum = crc32Of(tail);
    return true;
}

// Flushes the file's data to the disk, so that a checkpoint never outlives the log lines it
// counts (a machine that loses power keeps either both or the older checkpoint).
void syncFile(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) failPlainly(cannotWrite(path, errno));
    const int result = ::fsync(descriptor);
    const int error = errno;
    ::close(descriptor);
    if (result != 0 && error != EINVAL) failPlainly(cannotWrite(path, error));
}

void writeIdentity(StateWriter& out, const ExperimentIdentity& identity) {
    out.text(identity.configuration);
    out.i32(identity.runs);
    out.text(identity.outputFolder);
    out.flag(identity.csv);
    out.text(identity.iohFolder);
    out.flag(identity.report);
    out.flag(identity.plot);
    out.count(identity.inputs.size());
    for (const InputFileSum& input : identity.inputs) {
        out.text(input.name);
        out.u64(input.size);
        out.u32(input.checksum);
    }
}

ExperimentIdentity readIdentity(StateReader& in) {
    ExperimentIdentity identity;
    identity.configuration = in.text();
    identity.runs = in.i32();
    identity.outputFolder = in.text();
    identity.csv = in.flag();
    identity.iohFolder = in.text();
    identity.report = in.flag();
    identity.plot = in.flag();
    identity.inputs.resize(in.count(8 + 8 + 4));
    for (InputFileSum& input : identity.inputs) {
        input.name = in.text();
        input.size = in.u64();
        input.checksum = in.u32();
    }
    return identity;
}

void writeFiles(StateWriter& out, const std::vector<SavedOutputFile>& files) {
    out.count(files.size());
    for (const SavedOutputFile& file : files) {
        out.text(file.path);
        out.flag(file.rewritten);
        if (file.rewritten) {
            out.flag(file.exists);
            out.text(file.content);
        } else {
            out.u64(file.length);
            out.u32(file.tailChecksum);
        }
    }
}

std::vector<SavedOutputFile> readFiles(StateReader& in) {
    std::vector<SavedOutputFile> files(in.count(8 + 1 + 1 + 8));
    for (SavedOutputFile& file : files) {
        file.path = in.text();
        file.rewritten = in.flag();
        if (file.rewritten) {
            file.exists = in.flag();
            file.content = in.text();
        } else {
            file.length = in.u64();
            file.tailChecksum = in.u32();
        }
    }
    return files;
}

// The options of an identity that decide what is written and where, as a command line would
// give them ("" when none).
std::string optionsText(const ExperimentIdentity& identity) {
    std::string text;
    const auto add = [&text](const std::string& option) { text += (text.empty() ? "" : " ") + option; };
    if (!identity.outputFolder.empty()) add("--out " + identity.outputFolder);
    if (identity.csv) add("--csv");
    if (!identity.iohFolder.empty()) add("--ioh " + identity.iohFolder);
    if (identity.report) add("--report");
    if (identity.plot) add("--plot");
    return text;
}

InputFileSum inputSum(const std::string& name) {
    std::string content;
    if (!readFileContent(name, content)) failPlainly(cannotRead(name, errno));
    return {name, content.size(), crc32Of(content)};
}

}  // namespace

std::uint32_t crc32Of(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (!bytes.empty()) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size(), UINT_MAX);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(chunk));
        bytes.remove_prefix(chunk);
    }
    return static_cast<std::uint32_t>(crc);
}

ExperimentIdentity identityOf(const CommandLine& line, const std::vector<std::string>& inputFiles) {
    ExperimentIdentity identity;
    if (!readFileContent(line.configuration, identity.configuration)) failPlainly(cannotRead(line.configuration, errno));
    identity.runs = line.runs;
    identity.outputFolder = line.outputFolder;
    identity.csv = line.csv;
    identity.iohFolder = line.iohFolder;
    identity.report = line.report;
    identity.plot = line.plot;
    for (const std::string& name : inputFiles) identity.inputs.push_back(inputSum(name));
    return identity;
}

std::string encodeCheckpoint(const Checkpoint& checkpoint) {
    StateWriter content;
    content.text(checkpoint.programVersion);
    writeIdentity(content, checkpoint.identity);
    content.u32(checkpoint.seed);
    content.i32(checkpoint.nextRun);
    content.flag(checkpoint.runInProgress);
    content.i32(checkpoint.generationsDone);
    content.u64(checkpoint.outputBytes);
    content.u64(checkpoint.outputPosition);
    content.text(checkpoint.outputTail);
    content.i64(checkpoint.processorClock);
    content.text(checkpoint.randomState);
    writeFiles(content, checkpoint.files);
    content.text(checkpoint.finishedRuns);
    content.text(checkpoint.algorithmState);

    StateWriter file;
    for (char c : kCheckpointMagic) file.u8(static_cast<std::uint8_t>(c));
    file.u32(kCheckpointFormat);
    file.count(content.bytes().size());
    std::string bytes = file.bytes() + content.bytes();
    StateWriter checksum;
    checksum.u32(crc32Of(bytes));
    return bytes + checksum.bytes();
}

Checkpoint readCheckpoint(const std::string& path) {
    std::string bytes;
    if (!readFileContent(path, bytes)) refuse(path, systemReason(errno));
    const std::size_t magicSeen = std::min(bytes.size(), kCheckpointMagic.size());
    if (bytes.compare(0, magicSeen, kCheckpointMagic.substr(0, magicSeen)) != 0) {
        refuse(path, "it is not a checkpoint of this program (it does not begin with \"" + std::string(kCheckpointMagic) +
                         "\")");
    }
    if (bytes.size() < kHeaderBytes + kChecksumBytes) {
        refuse(path, "the checkpoint is truncated (it holds " + std::to_string(bytes.size()) +
                         " bytes, fewer than its header and checksum take)");
    }
    StateReader header(std::string_view(bytes).substr(kCheckpointMagic.size(), kHeaderBytes - kCheckpointMagic.size()));
    const std::uint32_t format = header.u32();
    const std::uint64_t length = header.u64();
    const std::uint64_t expected = length > UINT64_MAX - kHeaderBytes - kChecksumBytes
                                       ? UINT64_MAX
                                       : kHeaderBytes + length + kChecksumBytes;
    if (bytes.size() < expected) {
        refuse(path, "the checkpoint is truncated (it holds " + std::to_string(bytes.size()) + " of the " +
                         std::to_string(expected) + " bytes its header announces)");
    }
    if (bytes.size() > expected) {
        refuse(path, "the checkpoint is corrupt (it holds " + std::to_string(bytes.size()) + " bytes, its header announces " +
                         std::to_string(expected) + ")");
    }
    const std::string_view checked = std::string_view(bytes).substr(0, bytes.size() - kChecksumBytes);
    StateReader trailer(std::string_view(bytes).substr(bytes.size() - kChecksumBytes));
    if (trailer.u32() != crc32Of(checked)) {
        refuse(path, "the checkpoint is corrupt (its checksum does not match its content)");
    }
    if (format != kCheckpointFormat) {
        refuse(path, "the checkpoint was written in format version " + std::to_string(format) +
                         "; this program reads version " + std::to_string(kCheckpointFormat));
    }

    Checkpoint checkpoint;
    try {
        StateReader in(checked.substr(kHeaderBytes));
        checkpoint.programVersion = in.text();
        if (checkpoint.programVersion != programVersion()) {
            refuse(path, "the checkpoint was written by valdrin " + checkpoint.programVersion + "; this is valdrin " +
                             programVersion());
        }
        checkpoint.identity = readIdentity(in);
        checkpoint.seed = in.u32();
        checkpoint.nextRun = in.i32();
        checkpoint.runInProgress = in.flag();
        checkpoint.generationsDone = in.i32();
        checkpoint.outputBytes = in.u64();
        checkpoint.outputPosition = in.u64();
        checkpoint.outputTail = in.text();
        if (checkpoint.outputTail.size() > kTailBytes) throw StateError("standard output's tail is too long");
        checkpoint.processorClock = static_cast<long>(in.i64());
        checkpoint.randomState = in.text();
        checkpoint.files = readFiles(in);
        checkpoint.finishedRuns = in.text();
        checkpoint.algorithmState = in.text();
        in.expectEnd();
    } catch (const StateError& error) {
        refuse(path, std::string("the checkpoint is corrupt (") + error.what() + ")");
    }
    const int runs = checkpoint.identity.runs;
    if (runs < 1 || checkpoint.nextRun < 0 || checkpoint.nextRun > runs ||
        (checkpoint.runInProgress && checkpoint.nextRun == runs) || checkpoint.generationsDone < 0) {
        refuse(path, "the checkpoint is corrupt (it places the experiment at run " + std::to_string(checkpoint.nextRun) +
                         " of " + std::to_string(runs) + ")");
    }
    return checkpoint;
}

void checkCheckpointFits(const Checkpoint& checkpoint, const ExperimentIdentity& current, const std::string& path) {
    const ExperimentIdentity& saved = checkpoint.identity;
    if (saved.configuration != current.configuration) {
        refuse(path, "the checkpoint belongs to another configuration (its experiment's configuration file held other "
                     "content)");
    }
    if (current.runs < saved.runs) {
        refuse(path, "the checkpoint belongs to an experiment of " + std::to_string(saved.runs) +
                         " runs; the command line asks for " + std::to_string(current.runs) +
                         ": --resume can extend an experiment to more runs, never cut it to fewer");
    }
    if (optionsText(saved) != optionsText(current)) {
        const auto shown = [](const std::string& text) { return text.empty() ? std::string("none") : text; };
        refuse(path, "the checkpoint belongs to an experiment run with other output options (" + shown(optionsText(saved)) +
                         "; this command line gives " + shown(optionsText(current)) + ")");
    }
    for (const InputFileSum& input : saved.inputs) {
        if (inputSum(input.name) != input) {
            refuse(path, "the checkpoint belongs to an experiment that read another " + input.name);
        }
    }
    for (const SavedOutputFile& file : checkpoint.files) {
        if (file.rewritten) continue;
        std::error_code error;
        const auto status = fs::status(file.path, error);
        if (error || !fs::exists(status)) {
            refuse(path, file.path + " is missing: the checkpoint's experiment had written " +
                             std::to_string(file.length) + " bytes to it");
        }
        if (!fs::is_regular_file(status)) refuse(path, file.path + " is not a regular file");
        const std::uint64_t size = fs::file_size(file.path, error);
        if (error) refuse(path, cannotRead(file.path, error.value()));
        if (size < file.length) {
            refuse(path, file.path + " was changed since the checkpoint (it holds " + std::to_string(size) +
                             " bytes; the checkpoint's experiment had written " + std::to_string(file.length) + ")");
        }
        std::uint32_t checksum = 0;
        if (!tailChecksum(file.path, file.length, checksum)) refuse(path, cannotRead(file.path, errno));
        if (checksum != file.tailChecksum) {
            refuse(path, file.path + " was changed since the checkpoint (its bytes before byte " +
                             std::to_string(file.length) + " are not those the checkpoint's experiment wrote)");
        }
    }
}

std::vector<std::string> appendedFiles(const Checkpoint& checkpoint) {
    std::vector<std::string> paths;
    for (const SavedOutputFile& file : checkpoint.files) {
        if (!file.rewritten) paths.push_back(file.path);
    }
    return paths;
}

OutputCounter::OutputCounter(std::streambuf* target) : target_(target) {}

OutputCounter::int_type OutputCounter::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (muted_) return c;
    ++count_;
    const char byte = traits_type::to_char_type(c);
    remember(&byte, 1);
    if (target_ != nullptr && traits_type::eq_int_type(target_->sputc(byte), traits_type::eof())) {
        return traits_type::eof();
    }
    return c;
}

std::streamsize OutputCounter::xsputn(const char* s, std::streamsize n) {
    if (muted_ || n <= 0) return n;
    count_ += static_cast<std::uint64_t>(n);
    remember(s, static_cast<std::size_t>(n));
    return target_ != nullptr ? target_->sputn(s, n) : n;
}

int OutputCounter::sync() { return target_ != nullptr ? target_->pubsync() : 0; }

void OutputCounter::remember(const char* s, std::size_t n) {
    if (n >= kTailBytes) {
        tail_.assign(s + n - kTailBytes, kTailBytes);
        return;
    }
    tail_.append(s, n);
    if (tail_.size() > 2 * kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
}

std::string OutputCounter::tail() const {
    return tail_.size() > kTailBytes ? tail_.substr(tail_.size() - kTailBytes) : tail_;
}

std::uint64_t OutputCounter::filePosition() const {
    if (descriptor_ < 0 || target_ == nullptr) return kNoOutputPosition;
    struct stat file {};
    if (::fstat(descriptor_, &file) != 0 || !S_ISREG(file.st_mode)) return kNoOutputPosition;
    // Appended to (>>), every write lands at the end; otherwise at the descriptor's offset.
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (flags < 0) return kNoOutputPosition;
    if ((flags & O_APPEND) != 0) return static_cast<std::uint64_t>(file.st_size);
    const off_t offset = ::lseek(descriptor_, 0, SEEK_CUR);
    return offset < 0 ? kNoOutputPosition : static_cast<std::uint64_t>(offset);
}

std::string OutputCounter::cutBackTo(std::uint64_t position, const std::string& tail) {
    if (descriptor_ < 0 || target_ == nullptr || position == kNoOutputPosition || position < tail.size()) return {};
    struct stat file {};
    if (::fstat(descriptor_, &file) != 0 || !S_ISREG(file.st_mode)) return {};
    const auto size = static_cast<std::uint64_t>(file.st_size);
    if (size <= position) return {};
    // Only the file the checkpoint's experiment wrote is cut: its bytes before the offset are the
    // last ones that experiment had written (a new file, or another, is left alone).
    // Standard output is open for writing only: its file is read through a descriptor of its own.
    const int reader = ::open(("/proc/self/fd/" + std::to_string(descriptor_)).c_str(), O_RDONLY | O_CLOEXEC);
    if (reader < 0) return {};
    struct stat opened {};
    std::string before;
    const bool same = ::fstat(reader, &opened) == 0 && opened.st_dev == file.st_dev && opened.st_ino == file.st_ino &&
                      readAt(reader, position - tail.size(), tail.size(), before) && before == tail;
    ::close(reader);
    if (!same) return {};
    target_->pubsync();
    if (::ftruncate(descriptor_, static_cast<off_t>(position)) != 0) return systemReason(errno);
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (flags >= 0 && (flags & O_APPEND) == 0 && ::lseek(descriptor_, static_cast<off_t>(position), SEEK_SET) < 0) {
        return systemReason(errno);
    }
    return {};
}

void restoreCheckpoint(const Checkpoint& checkpoint, QEvolutionaryAlgorithm& algorithm, QProblem& problem,
                       QSummaryProcessor& processor, OutputCounter& output) {
    try {
        StateReader state(checkpoint.algorithmState);
        algorithm.restoreState(state);
        state.expectEnd();
        StateReader runs(checkpoint.finishedRuns);
        const RecordForEncoding records = [&algorithm](Encoding encoding) { return algorithm.recordFor(encoding); };
        processor.runs.clear();
        processor.runs.resize(runs.count(1));
        for (QRunSummary& run : processor.runs) readRunSummary(runs, run, records);
        runs.expectEnd();
        StateReader random(checkpoint.randomState);
        algorithm.engine().random.restoreState(random);
        random.expectEnd();
    } catch (const StateError& error) {
        // The checksum matched, so the state was written by this program for another algorithm or
        // problem: the configuration was checked, so this is the program's own fault.
        failPlainly(std::string("cannot resume: the checkpoint's state does not fit the experiment (") + error.what() +
                    ")");
    }
    if (checkpoint.runInProgress) algorithm.continueRestoredRun();
    algorithm.engine().clock.continueFrom(checkpoint.processorClock);
    output.setCount(checkpoint.outputBytes);
    output.setTail(checkpoint.outputTail);

    // What the set-up wrote to the logs (opened with their content kept) goes with the rest of
    // what was written after the checkpoint.
    algorithm.verifyLog();
    problem.verifyOutputs();
    for (const SavedOutputFile& file : checkpoint.files) {
        std::error_code error;
        if (!file.rewritten) {
            fs::resize_file(file.path, file.length, error);
            if (error) failPlainly(cannotWrite(file.path, error.value()));
        } else if (file.exists) {
            writeWholeFile(file.path, file.content);
        } else {
            fs::remove(file.path, error);
        }
    }
}

std::string resumingNote(const Checkpoint& checkpoint, const std::string& path, int runs) {
    std::string where;
    if (checkpoint.finishedFor(runs)) {
        where = "every run had finished";
    } else if (checkpoint.runInProgress) {
        where = "run " + std::to_string(checkpoint.nextRun) + " after generation " +
                std::to_string(checkpoint.generationsDone);
    } else {
        where = "run " + std::to_string(checkpoint.nextRun) + " from its start";
    }
    if (runs > checkpoint.identity.runs) {
        where += ", the experiment extended from " + std::to_string(checkpoint.identity.runs) + " to " +
                 std::to_string(runs) + " runs";
    }
    return "valdrin: resuming from " + path + ": " + where + "\n";
}

CheckpointKeeper::CheckpointKeeper(std::string path, int every, ExperimentIdentity identity, QEvolutionaryAlgorithm& algorithm,
                                   QProblem& problem, const QSummaryProcessor& processor, const QEAParameters& params,
                                   const OutputCounter& output)
    : path_(std::move(path)),
      every_(every),
      identity_(std::move(identity)),
      algorithm_(algorithm),
      problem_(problem),
      processor_(processor),
      params_(params),
      output_(output),
      lastWritten_(std::chrono::steady_clock::now()) {}

void CheckpointKeeper::resumedFrom(const Checkpoint& checkpoint) {
    written_ = true;
    run_ = checkpoint.nextRun;
    inProgress_ = checkpoint.runInProgress;
}

void CheckpointKeeper::startRun(int run) {
    run_ = run;
    inProgress_ = true;
}

void CheckpointKeeper::generationDone(int generationsDone) {
    if (!enabled()) return;
    const bool due = every_ > 0 ? generationsDone % every_ == 0
                                : std::chrono::steady_clock::now() - lastWritten_ >= kCheckpointInterval;
    if (due) write();
}

void CheckpointKeeper::runDone(int run) {
    run_ = run + 1;
    inProgress_ = false;
    if (enabled()) write();
}

void CheckpointKeeper::interrupted() {
    if (enabled()) write();
}

void CheckpointKeeper::write() {
    // Standard output reaches its file (or pipe) up to the counted byte before the checkpoint
    // names that byte, so that a kill after the checkpoint loses none of what it counts.
    Engine& engine = algorithm_.engine();
    const ClockPause pause(engine.clock);
    engine.out().flush();
    Checkpoint checkpoint;
    checkpoint.programVersion = programVersion();
    checkpoint.identity = identity_;
    checkpoint.seed = params_.rngSeed;
    checkpoint.nextRun = run_;
    checkpoint.runInProgress = inProgress_;
    checkpoint.generationsDone = inProgress_ ? algorithm_.runSummary().generationsDone : 0;
    checkpoint.outputBytes = output_.count();
    checkpoint.outputPosition = output_.filePosition();
    checkpoint.outputTail = output_.tail();
    checkpoint.processorClock = engine.clock.now();
    StateWriter random;
    engine.random.saveState(random);
    checkpoint.randomState = random.bytes();

    // Every output file the experiment keeps, as it stands on the disk.
    algorithm_.verifyLog();
    problem_.verifyOutputs();
    std::vector<std::string> names;
    if (!algorithm_.logPath().empty()) names.push_back(algorithm_.logPath());
    for (const std::string& name : problem_.outputFiles()) names.push_back(engine.files.placed(name));
    std::vector<std::string> rewritten;
    for (const std::string& name : problem_.rewrittenFiles()) rewritten.push_back(engine.files.placed(name));
    for (const std::string& name : names) {
        SavedOutputFile file;
        file.path = name;
        file.rewritten = std::find(rewritten.begin(), rewritten.end(), name) != rewritten.end();
        if (file.rewritten) {
            file.exists = fs::exists(name);
            if (file.exists && !readFileContent(name, file.content)) failPlainly(cannotRead(name, errno));
        } else {
            std::error_code error;
            file.length = fs::file_size(name, error);
            if (error) failPlainly(cannotWrite(name, error.value()));
            if (!tailChecksum(name, file.length, file.tailChecksum)) failPlainly(cannotRead(name, errno));
            syncFile(name);
        }
        checkpoint.files.push_back(std::move(file));
    }

    for (; finishedEncoded_ < processor_.runs.size(); ++finishedEncoded_) {
        StateWriter record;
        writeRunSummary(record, processor_.runs[finishedEncoded_]);
        finishedRecords_ += record.bytes();
    }
    StateWriter runs;
    runs.count(finishedEncoded_);
    checkpoint.finishedRuns = runs.bytes() + finishedRecords_;
    StateWriter state;
    algorithm_.saveState(state);
    checkpoint.algorithmState = state.bytes();

    writeFileDurably(path_, encodeCheckpoint(checkpoint));
    written_ = true;
    lastWritten_ = std::chrono::steady_clock::now();
}

std::string checkpointPath(const CommandLine& line, const std::string& name) {
    return name.empty() ? name : OutputFolder(line.outputFolder).placed(name);
}

void checkCheckpointWritable(const std::string& path) {
    const std::string temporary = path + ".part";
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) failPlainly(cannotWrite(path, errno));
    ::close(descriptor);
    ::unlink(temporary.c_str());
}

void writeFileDurably(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".part";
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) failPlainly(cannotWrite(temporary, errno));
    // A temporary file that could not be written in full goes: the previous checkpoint stays the
    // one to resume from, and a full disk gets its space back.
    const auto giveUp = [&](const std::string& named, int error) {
        if (descriptor >= 0) ::close(descriptor);
        ::unlink(temporary.c_str());
        failPlainly(cannotWrite(named, error));
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) giveUp(temporary, written < 0 ? errno : EIO);
        done += static_cast<std::size_t>(written);
    }
    if (::fsync(descriptor) != 0) giveUp(temporary, errno);
    if (::close(descriptor) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        failPlainly(cannotWrite(temporary, error));
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        failPlainly(cannotWrite(path, error));
    }
    // The rename itself is on the disk only once the folder is.
    const fs::path folder = fs::path(path).parent_path();
    const int folderDescriptor = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderDescriptor >= 0) {
        ::fsync(folderDescriptor);
        ::close(folderDescriptor);
    }
}

}  // namespace Valdrin
