// The durable write on a full disk: the temporary file it could not fill is removed (the previous
// checkpoint stays), and the message gives the system's reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/failure.h"
#include "driver/checkpoint.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

namespace fs = std::filesystem;

TEST(DurableWrite, AWriteThatFailsLeavesThePreviousFileAndNoTemporaryOne) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    testing::ScratchDir dir;
    writeFileDurably("state.ckpt", "previous");
    // The temporary name leads to a full disk.
    fs::create_symlink("/dev/full", "state.ckpt.part");
    try {
        writeFileDurably("state.ckpt", std::string(100000, 'n'));
        ADD_FAILURE() << "the write to a full disk went through";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.plain(), "cannot write state.ckpt.part: No space left on device");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status("state.ckpt.part")));
    EXPECT_EQ(testing::readFile("state.ckpt"), "previous");
}

}  // namespace
}  // namespace Valdrin
