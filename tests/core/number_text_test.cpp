// The direct number writers must give the stream's own bytes for every value and every state of
// the stream they may meet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <iomanip>
#include <sstream>
#include <vector>

#include "core/number_text.h"

namespace Valdrin {
namespace {

std::vector<double> awkwardDoubles() {
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.1, 1e-5, 1e-4, 123456.0, 1234567.0, 0.0001234565,
                                  99999.95, 999999.5, 1e300, -1e-300, 5e-324, std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                  std::nan(""), -std::nan(""), 44125.71254100001, 2.5, 0.5, 1.5e-7};
    double x = 0.37;
    for (int i = 0; i < 200; ++i) values.push_back(x = x * -7.31 + 0.013 * i);
    return values;
}

TEST(NumberText, DoublesMatchTheStreamAtEveryPrecisionAndFlag) {
    for (std::streamsize precision : {0, 1, 6, 10, 17, 25}) {
        for (std::ios_base::fmtflags extra : {std::ios_base::fmtflags{}, std::ios_base::fixed, std::ios_base::scientific,
                                              std::ios_base::showpoint, std::ios_base::showpos, std::ios_base::uppercase}) {
            for (double x : awkwardDoubles()) {
                std::ostringstream expected;
                std::ostringstream written;
                for (std::ostringstream* out : {&expected, &written}) {
                    out->precision(precision);
                    out->setf(extra);
                }
                expected << x;
                writeNumber(written, x);
                ASSERT_EQ(written.str(), expected.str()) << "precision " << precision << " flags " << extra;
            }
        }
    }
    // A width applies to the number, as the stream's own writing would apply it.
    std::ostringstream expected;
    std::ostringstream written;
    expected << std::setw(12) << 2.5;
    written.width(12);
    writeNumber(written, 2.5);
    EXPECT_EQ(written.str(), expected.str());
}

TEST(NumberText, HexMatchesTheStreamAndLeavesItsFlags) {
    for (std::ios_base::fmtflags extra : {std::ios_base::fmtflags{}, std::ios_base::showbase, std::ios_base::uppercase}) {
        for (std::uint32_t x : {0U, 1U, 9U, 10U, 255U, 0x3ffU, 0x80000000U, 0xffffffffU, 0xdeadbeefU}) {
            std::ostringstream expected;
            std::ostringstream written;
            expected.setf(extra);
            written.setf(extra);
            const std::ios_base::fmtflags before = written.flags();
            expected << std::hex << x;
            writeHex(written, x);
            ASSERT_EQ(written.str(), expected.str()) << "flags " << extra;
            EXPECT_EQ(written.flags(), before);
        }
    }
}

// A long list goes to the stream in pieces; the text is the same as value by value.
TEST(NumberText, HexListsMatchTheStreamAcrossBufferBoundaries) {
    std::vector<std::int32_t> values;
    for (int i = 0; i < 2000; ++i) values.push_back(i % 7 == 0 ? -i : i * 104729);
    for (std::ios_base::fmtflags extra : {std::ios_base::fmtflags{}, std::ios_base::uppercase}) {
        std::ostringstream expected;
        std::ostringstream written;
        expected.setf(extra);
        written.setf(extra);
        for (std::int32_t value : values) {
            const std::ios_base::fmtflags saved = expected.flags();
            expected << std::hex << static_cast<std::uint32_t>(value) << " ";
            expected.flags(saved);
        }
        writeHexList(written, values);
        EXPECT_EQ(written.str(), expected.str()) << "flags " << extra;
    }
}

}  // namespace
}  // namespace Valdrin
