// GNU parallel's job log: one line per job that ended, with tab-separated fields (sequence
// number, sshlogin, start time, run time, bytes sent and received, exit value, signal, command)
// after a header line.
#pragma once

#include <ios>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Valdrin {

struct JobRecord {
    int sequence = 0;   // the job's number in the job list, from 1
    std::string host;   // the sshlogin it ran on; ":" for this machine
    double runtime = 0.0;  // seconds
    int exitValue = 0;  // -1 when the job was killed
    int signal = 0;     // the signal that ended it, or 0
    double start = 0.0;     // seconds since 1970
    double sent = 0.0;      // bytes sent to the host
    double received = 0.0;  // bytes that came back
    std::string command{};

    bool succeeded() const { return exitValue == 0 && signal == 0; }
    // The status as a shell gives it: the exit value, or 128 + the signal.
    int status() const { return signal != 0 ? 128 + signal : exitValue; }
};

// The job a line of the log tells of; nothing for the header or a line cut short.
std::optional<JobRecord> jobRecordOf(const std::string& line);

// The line of the log for the job, as parallel writes it (without the line break; the command's
// tabs and line breaks become spaces).
std::string jobLogLine(const JobRecord& record);

// Adds the jobs' lines at the end of the log, after the header when the log is new. Ends with a
// Failure when it cannot.
void appendJobLines(const std::string& path, const std::vector<JobRecord>& records);

// The lines of the log, in order; no lines when the file does not exist. Lines that are not
// job lines (the header, a line cut short by an interruption) are skipped.
std::vector<JobRecord> readJobLog(const std::string& path);

// The line that tells how each job ended, for jobs 1 to count (entry i is job i + 1): the last
// line that succeeded, as parallel's --resume-failed counts a job done when any of its lines
// succeeded; else its last line; nothing for a job with no line.
std::vector<std::optional<JobRecord>> jobOutcomes(const std::vector<JobRecord>& records, int count);

// How many of the jobs ended, by their outcomes as jobOutcomes gives them: those that succeeded
// and those whose lines all failed. A job with no line is in neither.
struct JobTally {
    int succeeded = 0;
    int failed = 0;
};
JobTally tallyOf(const std::vector<std::optional<JobRecord>>& outcomes);

// The log read while parallel writes it: each look gives the jobs of the lines completed since
// the last look (a line still being written waits for the next); none while the file does not
// exist.
class GrowingJobLog {
public:
    explicit GrowingJobLog(std::string path) : path_(std::move(path)) {}
    std::vector<JobRecord> newRecords();

private:
    std::string path_;
    std::streamoff offset_ = 0;  // where the lines not yet read begin
};

// Rewrites the log without the lines of the given jobs (under a temporary name, then renamed),
// so that parallel runs them again on --resume-failed. Ends with a Failure when it cannot.
void forgetJobs(const std::string& path, const std::set<int>& sequences);

// The host as the results name it: "local" for parallel's ":" (this machine), else the sshlogin.
std::string hostName(const std::string& sshlogin);

}  // namespace Valdrin
