// Output files on a full disk (/dev/full: every write fails with "No space left on device"): the
// system's reason reaches the message even when the write failed inside the stream's buffer long
// before the check, and a report that could not be written leaves no temporary file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/failure.h"
#include "core/output_file.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;

// What the failure the statement ends with says, or "(no failure)".
template <class Statement>
std::string plainFailure(Statement statement) {
    try {
        statement();
    } catch (const Failure& failure) {
        return failure.plain();
    }
    return "(no failure)";
}

// Far more than a stream buffer holds, so that the first failed write comes from the buffer.
const std::string kLongText(1 << 18, 'x');

TEST(OutputFile, AFullDiskIsReportedWithTheSystemsReason) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    testing::ScratchDir dir;
    fs::create_symlink("/dev/full", "ga.log");
    OutputFile log(OutputFolder{}, "ga.log");
    log << kLongText;
    EXPECT_EQ(plainFailure([&] { log.verify(); }), "cannot write ga.log: No space left on device");

    // A report under its temporary name on the full disk: the reason, and no temporary file left.
    fs::create_symlink("/dev/full", "summary.log.part");
    EXPECT_EQ(plainFailure([] {
                  AtomicOutputFile report("summary.log");
                  report << kLongText;
                  report.commit();
              }),
              "cannot write summary.log: No space left on device");
    EXPECT_FALSE(fs::exists(fs::symlink_status("summary.log.part")));
    EXPECT_FALSE(fs::exists("summary.log"));
}

}  // namespace
}  // namespace Valdrin
