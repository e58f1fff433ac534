// Numbers written to a stream exactly as the stream's own operator<< writes them, but formatted
// in a local buffer when the stream has its default flags and the classic locale: the logs write
// thousands of numbers per run, and the stream's own path goes through a locale facet and a
// formatted print of its own for each.
#pragma once

#include <charconv>
#include <cstdint>
#include <locale>
#include <ostream>

namespace Valdrin {

namespace numberText {
constexpr std::ios_base::fmtflags kChangesDoubles = std::ios_base::floatfield | std::ios_base::showpoint |
                                                    std::ios_base::showpos | std::ios_base::uppercase;
constexpr std::ios_base::fmtflags kChangesHex = std::ios_base::showbase | std::ios_base::uppercase;

inline bool plainStream(const std::ostream& out) {
    return out.width() == 0 && out.getloc() == std::locale::classic();
}
}  // namespace numberText

// As out << x: with default flags that is "%.{precision}g".
inline void writeNumber(std::ostream& out, double x) {
    const std::streamsize precision = out.precision();
    if ((out.flags() & numberText::kChangesDoubles) == 0 && precision >= 0 && precision <= 40 &&
        numberText::plainStream(out)) {
        char text[72];
        const auto written = std::to_chars(text, text + sizeof text, x, std::chars_format::general,
                                           static_cast<int>(precision));
        out.write(text, written.ptr - text);
        return;
    }
    out << x;
}

// As out << std::hex << x, leaving the stream's flags as they were.
inline void writeHex(std::ostream& out, std::uint32_t x) {
    if ((out.flags() & numberText::kChangesHex) == 0 && numberText::plainStream(out)) {
        char text[16];
        const auto written = std::to_chars(text, text + sizeof text, x, 16);
        out.write(text, written.ptr - text);
        return;
    }
    const std::ios_base::fmtflags saved = out.flags();
    out << std::hex << x;
    out.flags(saved);
}

// As out << std::hex << x << " " for every value in order (flags left as they were), the text
// gathered in a local buffer and handed to the stream in large pieces.
template <class Values>
void writeHexList(std::ostream& out, const Values& values) {
    if ((out.flags() & numberText::kChangesHex) != 0 || !numberText::plainStream(out)) {
        for (const auto value : values) {
            writeHex(out, static_cast<std::uint32_t>(value));
            out << ' ';
        }
        return;
    }
    char text[4096];
    char* end = text;
    for (const auto value : values) {
        // A 32-bit value takes at most 8 digits and its space.
        if (text + sizeof text - end < 9) {
            out.write(text, end - text);
            end = text;
        }
        end = std::to_chars(end, text + sizeof text, static_cast<std::uint32_t>(value), 16).ptr;
        *end++ = ' ';
    }
    out.write(text, end - text);
}

}  // namespace Valdrin
