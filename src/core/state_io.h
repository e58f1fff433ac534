// StateWriter and StateReader: the binary encoding of an experiment's saved state (the content
// of a checkpoint). Every number is written in a fixed width, little-endian; a double is written
// as its 64-bit pattern, so that it reads back exactly, NaN payloads and the sign of zero
// included. Sequences are their count followed by their elements. docs/checkpoint.md describes
// the layout built from these pieces.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Valdrin {

// A saved state that cannot be read: it ends early, or holds a value that cannot be what was
// written (an unknown encoding, a count larger than the bytes left).
class StateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class StateWriter {
public:
    void u8(std::uint8_t value);
    void u32(std::uint32_t value);
    void u64(std::uint64_t value);
    void i32(std::int32_t value);
    void i64(std::int64_t value);
    void real(double value);  // its bit pattern
    void flag(bool value);    // one byte, 0 or 1
    // A count of elements (u64).
    void count(std::size_t value);
    // Bytes of any content: their count, then the bytes.
    void text(std::string_view value);
    void reals(const std::vector<double>& values);
    void integers(const std::vector<std::int32_t>& values);

    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

class StateReader {
public:
    // Reads from the bytes, which must outlive the reader.
    explicit StateReader(std::string_view bytes) : bytes_(bytes) {}

    std::uint8_t u8();
    std::uint32_t u32();
    std::uint64_t u64();
    std::int32_t i32();
    std::int64_t i64();
    double real();
    bool flag();  // refuses anything but 0 and 1
    // A count of elements each taking at least elementBytes bytes; refused when the bytes left
    // cannot hold that many.
    std::size_t count(std::size_t elementBytes);
    std::string text();
    std::vector<double> reals();
    std::vector<std::int32_t> integers();

    std::size_t remaining() const { return bytes_.size() - position_; }
    // Refuses bytes left over after the last value.
    void expectEnd() const;

private:
    std::string_view take(std::size_t n);

    std::string_view bytes_;
    std::size_t position_ = 0;
};

}  // namespace Valdrin
