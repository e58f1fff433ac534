// Tests of the saved-state encoding: values read back exactly, and a state that ends early or
// holds impossible values is refused instead of read past its end.
#include "core/state_io.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace Valdrin {
namespace {

TEST(StateEncoding, EveryValueReadsBackExactly) {
    const double quietNaN = std::bit_cast<double>(std::uint64_t{0x7ff8000000000123});
    StateWriter out;
    out.u8(250);
    out.u32(0xdeadbeef);
    out.u64(0x0123456789abcdefULL);
    out.i32(-7);
    out.i64(std::numeric_limits<std::int64_t>::min());
    out.real(-0.0);
    out.real(quietNaN);
    out.real(0.1);
    out.flag(true);
    out.text(std::string("a\0b", 3));
    out.reals({1.5, -std::numeric_limits<double>::infinity()});
    out.integers({-1, 2147483647});

    StateReader in(out.bytes());
    EXPECT_EQ(in.u8(), 250);
    EXPECT_EQ(in.u32(), 0xdeadbeefu);
    EXPECT_EQ(in.u64(), 0x0123456789abcdefULL);
    EXPECT_EQ(in.i32(), -7);
    EXPECT_EQ(in.i64(), std::numeric_limits<std::int64_t>::min());
    const double zero = in.real();
    EXPECT_TRUE(zero == 0.0 && std::signbit(zero));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(in.real()), std::bit_cast<std::uint64_t>(quietNaN));
    EXPECT_EQ(in.real(), 0.1);
    EXPECT_TRUE(in.flag());
    EXPECT_EQ(in.text(), std::string("a\0b", 3));
    EXPECT_EQ(in.reals(), (std::vector<double>{1.5, -std::numeric_limits<double>::infinity()}));
    EXPECT_EQ(in.integers(), (std::vector<std::int32_t>{-1, 2147483647}));
    EXPECT_NO_THROW(in.expectEnd());
}

TEST(StateEncoding, NumbersAreLittleEndianWhateverTheMachine) {
    StateWriter out;
    out.u32(0x01020304);
    out.real(1.0);  // 0x3ff0000000000000
    EXPECT_EQ(out.bytes(), std::string("\x04\x03\x02\x01\0\0\0\0\0\0\xf0\x3f", 12));
}

TEST(StateEncoding, AStateThatCannotHoldWhatItAnnouncesIsRefused) {
    StateWriter shortText;
    shortText.count(10);
    shortText.u8('x');
    StateReader text(shortText.bytes());
    EXPECT_THROW(text.text(), StateError);

    StateWriter hugeCount;
    hugeCount.u64(std::numeric_limits<std::uint64_t>::max());
    StateReader reals(hugeCount.bytes());
    EXPECT_THROW(reals.reals(), StateError);  // refused before anything is allocated

    StateReader empty("");
    EXPECT_THROW(empty.u32(), StateError);
    StateReader flag("\x02");
    EXPECT_THROW(flag.flag(), StateError);
    StateReader leftOver("ab");
    leftOver.u8();
    EXPECT_THROW(leftOver.expectEnd(), StateError);
}

}  // namespace
}  // namespace Valdrin
