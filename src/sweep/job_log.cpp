// Reading and trimming parallel's job log.
#include "sweep/job_log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/failure.h"
#include "core/output_file.h"

namespace Valdrin {

namespace {

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int i = 0; i < 8; ++i) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string::npos) break;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// A whole number or a decimal, read in full after leading blanks.
bool readNumber(const std::string& text, double& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    value = std::strtod(begin, &end);
    return end != begin && *end == '\0' && errno == 0;
}

}  // namespace

std::optional<JobRecord> jobRecordOf(const std::string& line) {
    const std::vector<std::string> fields = fieldsOf(line);
    if (fields.size() < 9) return std::nullopt;
    double sequence = 0;
    double runtime = 0;
    double exitValue = 0;
    double signal = 0;
    double ignored = 0;
    if (!readNumber(fields[0], sequence) || sequence < 1 || !readNumber(fields[2], ignored) ||
        !readNumber(fields[3], runtime) || !readNumber(fields[6], exitValue) || !readNumber(fields[7], signal)) {
        return std::nullopt;
    }
    JobRecord record;
    record.sequence = static_cast<int>(sequence);
    record.host = fields[1];
    record.start = ignored;
    record.runtime = runtime;
    readNumber(fields[4], record.sent);
    readNumber(fields[5], record.received);
    record.command = fields[8];
    record.exitValue = static_cast<int>(exitValue);
    record.signal = static_cast<int>(signal);
    return record;
}

std::string jobLogLine(const JobRecord& record) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "%.3f\t%10.3f\t%.0f\t%.0f\t%d\t%d", record.start, record.runtime, record.sent,
                  record.received, record.exitValue, record.signal);
    std::string command = record.command;
    for (char& c : command) c = c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    return std::to_string(record.sequence) + "\t" + record.host + "\t" + numbers + "\t" + command;
}

void appendJobLines(const std::string& path, const std::vector<JobRecord>& records) {
    if (records.empty()) return;
    std::error_code error;
    const bool fresh = !std::filesystem::exists(path, error) || std::filesystem::file_size(path, error) == 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (fresh) out << "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n";
    for (const JobRecord& record : records) out << jobLogLine(record) << "\n";
    out.flush();
    if (!out) failPlainly(cannotWrite(path, errno != 0 ? errno : EIO));
}

std::vector<JobRecord> readJobLog(const std::string& path) {
    std::vector<JobRecord> records;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (const std::optional<JobRecord> record = jobRecordOf(line)) records.push_back(*record);
    }
    return records;
}

std::vector<std::optional<JobRecord>> jobOutcomes(const std::vector<JobRecord>& records, int count) {
    std::vector<std::optional<JobRecord>> outcomes(static_cast<std::size_t>(std::max(count, 0)));
    for (const JobRecord& record : records) {
        if (record.sequence > count) continue;
        std::optional<JobRecord>& outcome = outcomes[static_cast<std::size_t>(record.sequence - 1)];
        if (!outcome || !outcome->succeeded() || record.succeeded()) outcome = record;
    }
    return outcomes;
}

JobTally tallyOf(const std::vector<std::optional<JobRecord>>& outcomes) {
    JobTally tally;
    for (const std::optional<JobRecord>& outcome : outcomes) {
        if (outcome) ++(outcome->succeeded() ? tally.succeeded : tally.failed);
    }
    return tally;
}

std::vector<JobRecord> GrowingJobLog::newRecords() {
    std::vector<JobRecord> records;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return records;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= offset_) return records;
    in.seekg(offset_);
    std::string text(static_cast<std::size_t>(size - offset_), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    const std::size_t complete = text.rfind('\n');
    if (complete == std::string::npos) return records;
    offset_ += static_cast<std::streamoff>(complete + 1);
    std::istringstream lines(text.substr(0, complete + 1));
    for (std::string line; std::getline(lines, line);) {
        if (const std::optional<JobRecord> record = jobRecordOf(line)) records.push_back(*record);
    }
    return records;
}

void forgetJobs(const std::string& path, const std::set<int>& sequences) {
    std::ifstream in(path);
    if (!in) return;
    std::ostringstream kept;
    std::string line;
    while (std::getline(in, line)) {
        const std::optional<JobRecord> record = jobRecordOf(line);
        if (record && sequences.contains(record->sequence)) continue;
        kept << line << "\n";
    }
    in.close();
    AtomicOutputFile out(path);
    out << kept.str();
    out.commit();
}

std::string hostName(const std::string& sshlogin) {
    // parallel logs ":" for this machine, after an optional "N/" giving its cores.
    const std::size_t slash = sshlogin.find('/');
    const std::string login = slash != std::string::npos && sshlogin.find_first_not_of("0123456789") == slash
                                  ? sshlogin.substr(slash + 1)
                                  : sshlogin;
    return login == ":" ? "local" : sshlogin;
}

}  // namespace Valdrin
