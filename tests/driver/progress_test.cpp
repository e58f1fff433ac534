// The progress line: its estimate of the time left, and its fit in a terminal's width.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "driver/progress.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

// No estimate before there is something to estimate from; runs that stopped early (at their
// first solution) set the length of the runs to come, rather than the generations asked for.
TEST(ProgressLine, TheEstimateComesFromWhatFinished) {
    EXPECT_LT(ProgressLine::secondsLeft(0.5, 3, 0, 0, 0, 4, 3, 1000), 0.0);
    EXPECT_LT(ProgressLine::secondsLeft(10.0, 0, 0, 0, 0, 4, 0, 1000), 0.0);
    // 100 generations in 10 s, one run of 1000 asked for: 900 generations left.
    EXPECT_DOUBLE_EQ(ProgressLine::secondsLeft(10.0, 100, 0, 0, 0, 1, 100, 1000), 90.0);
    // Two finished runs took 50 generations each (100 in all) and the third has done 20 of its
    // expected 50, all in 12 s: 30 more generations, then one run of 50.
    EXPECT_DOUBLE_EQ(ProgressLine::secondsLeft(12.0, 120, 2, 100, 2, 4, 20, 1000), 8.0);
    // A run longer than the finished ones is not given negative time.
    EXPECT_DOUBLE_EQ(ProgressLine::secondsLeft(10.0, 100, 1, 10, 1, 2, 90, 1000), 0.0);
}

// Run in a terminal of 40 columns with standard output in a file, the program shows the line by
// itself and every drawing of it fits in 39 columns.
TEST(ProgressLine, TheLineFitsTheTerminal) {
    testing::ScratchDir scratch;
    testing::writeFile("config.xml", testing::realSphere("3000"));
    struct winsize size {};
    size.ws_col = 40;
    size.ws_row = 24;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (freopen("out.txt", "w", stdout) == nullptr) _exit(127);
        execl(VALDRIN_EXECUTABLE, VALDRIN_EXECUTABLE, "config.xml", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string seen;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) break;  // EIO once the child has closed the terminal
        seen.append(buffer, static_cast<std::size_t>(got));
    }
    close(master);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    const std::string erase = "\r\033[K";
    int drawings = 0;
    for (std::size_t at = seen.find(erase); at != std::string::npos; at = seen.find(erase, at + 1)) {
        const std::size_t start = at + erase.size();
        std::size_t end = seen.find_first_of("\r\n", start);
        if (end == std::string::npos) end = seen.size();
        if (end == start) continue;  // the line cleared at the end
        ++drawings;
        EXPECT_LE(end - start, 39u) << seen.substr(start, end - start);
    }
    EXPECT_GT(drawings, 0) << seen;
}

}  // namespace
}  // namespace Valdrin
