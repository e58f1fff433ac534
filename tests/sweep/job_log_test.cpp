// parallel's job log as the sweep reads it.
#include "sweep/job_log.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::writeFile;

const char* kLog =
    "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n"
    "2\t:\t1796650341.000\t     2.039\t0\t0\t0\t0\tcd experiments/2 && ../../valdrin config.xml 1 --csv\n"
    "1\tssh -F cfg 127.0.0.2\t1796650341.022\t     0.5\t2216\t8192\t1\t0\tcd experiments/1 && x\n"
    "3\t4/:\t1796650341.1\t0.25\t0\t0\t-1\t15\tcd experiments/3 && x\n"
    "1\t:\t1796650342.0\t0.75\t0\t0\t0\t0\tcd experiments/1 && x\n"
    "4\t:\t1796650342.0\t0.75\t0\t0\t0\t0\tcd experiments/4 && x\n"
    "4\t:\t1796650343.0\t0.5\t0\t0\t2\t0\tcd experiments/4 && x\n"
    "5\t:\t17966";  // cut short by an interruption

TEST(JobLogTest, JobLinesAreReadAndTheHeaderAndACutLineSkipped) {
    testing::ScratchDir scratch;
    writeFile("joblog", kLog);
    const std::vector<JobRecord> records = readJobLog("joblog");
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0].sequence, 2);
    EXPECT_EQ(records[0].host, ":");
    EXPECT_DOUBLE_EQ(records[0].runtime, 2.039);
    EXPECT_TRUE(records[0].succeeded());
    EXPECT_EQ(records[1].host, "ssh -F cfg 127.0.0.2");
    EXPECT_EQ(records[1].status(), 1);
    EXPECT_FALSE(records[2].succeeded());
    EXPECT_EQ(records[2].status(), 128 + 15);
    EXPECT_TRUE(readJobLog("missing").empty());
}

TEST(JobLogTest, AJobIsDoneWhenAnyOfItsLinesSucceededAsParallelCountsIt) {
    testing::ScratchDir scratch;
    writeFile("joblog", kLog);
    const auto outcomes = jobOutcomes(readJobLog("joblog"), 6);
    ASSERT_EQ(outcomes.size(), 6u);
    ASSERT_TRUE(outcomes[0]);  // failed, then ran again and succeeded
    EXPECT_TRUE(outcomes[0]->succeeded());
    EXPECT_DOUBLE_EQ(outcomes[0]->runtime, 0.75);
    EXPECT_TRUE(outcomes[1] && outcomes[1]->succeeded());
    EXPECT_TRUE(outcomes[2] && outcomes[2]->signal == 15);
    // A later failing line does not undo a success: --resume-failed would not run it again.
    EXPECT_TRUE(outcomes[3] && outcomes[3]->succeeded());
    EXPECT_FALSE(outcomes[4]);  // its line was cut short
    EXPECT_FALSE(outcomes[5]);
    // Lines beyond the jobs asked about are ignored.
    EXPECT_EQ(jobOutcomes(readJobLog("joblog"), 2).size(), 2u);
}

TEST(JobLogTest, TheTallyCountsJobsByTheirOutcomesNotTheirLines) {
    testing::ScratchDir scratch;
    writeFile("joblog", kLog);
    // Jobs 1 and 4 have a failed line each beside a success; job 3 was ended by a signal.
    const JobTally tally = tallyOf(jobOutcomes(readJobLog("joblog"), 6));
    EXPECT_EQ(tally.succeeded, 3);
    EXPECT_EQ(tally.failed, 1);
}

TEST(JobLogTest, AGrowingLogGivesEachCompletedLineOnce) {
    testing::ScratchDir scratch;
    GrowingJobLog log("joblog");
    EXPECT_TRUE(log.newRecords().empty());  // parallel has not made it yet
    const std::string header = "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n";
    const std::string first = "2\t:\t1796650341.000\t2.0\t0\t0\t0\t0\tcd experiments/2 && x\n";
    // A line parallel is still writing, cut where it would already read as a job's line.
    const std::string second = "1\t:\t1796650342.0\t0.5\t0\t0\t1\t0\tcd exper";
    writeFile("joblog", header + first + second);
    auto records = log.newRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].sequence, 2);
    writeFile("joblog", header + first + second + "iments/1 && x\n");
    records = log.newRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].sequence, 1);
    EXPECT_EQ(records[0].exitValue, 1);
    EXPECT_TRUE(log.newRecords().empty());
}

TEST(JobLogTest, ForgottenJobsLoseEveryLineAndTheRestStaysAsWritten) {
    testing::ScratchDir scratch;
    writeFile("joblog", kLog);
    forgetJobs("joblog", {1, 4});
    const std::string kept = readFile("joblog");
    EXPECT_EQ(kept.rfind("Seq\tHost\t", 0), 0u);
    const auto records = readJobLog("joblog");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].sequence, 2);
    EXPECT_EQ(records[1].sequence, 3);
    EXPECT_FALSE(testing::fileExists("joblog.part"));
}

TEST(JobLogTest, ThisMachineIsNamedLocal) {
    EXPECT_EQ(hostName(":"), "local");
    EXPECT_EQ(hostName("8/:"), "local");
    EXPECT_EQ(hostName("ssh -p 2222 host"), "ssh -p 2222 host");
    EXPECT_EQ(hostName("2/user@host"), "2/user@host");
}

}  // namespace
}  // namespace Valdrin
