// The fixed-width little-endian encoding of a saved state.
#include "core/state_io.h"

#include <bit>
#include <cstring>

namespace Valdrin {

namespace {

template <class Unsigned>
void appendLittleEndian(std::string& bytes, Unsigned value) {
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
        bytes.push_back(static_cast<char>(static_cast<unsigned char>(value >> (8 * i))));
    }
}

template <class Unsigned>
Unsigned readLittleEndian(std::string_view bytes) {
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
        value |= static_cast<Unsigned>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return value;
}

}  // namespace

void StateWriter::u8(std::uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
void StateWriter::u32(std::uint32_t value) { appendLittleEndian(bytes_, value); }
void StateWriter::u64(std::uint64_t value) { appendLittleEndian(bytes_, value); }
void StateWriter::i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
void StateWriter::i64(std::int64_t value) { u64(static_cast<std::uint64_t>(value)); }
void StateWriter::real(double value) { u64(std::bit_cast<std::uint64_t>(value)); }
void StateWriter::flag(bool value) { u8(value ? 1 : 0); }
void StateWriter::count(std::size_t value) { u64(value); }

void StateWriter::text(std::string_view value) {
    count(value.size());
    bytes_.append(value);
}

void StateWriter::reals(const std::vector<double>& values) {
    count(values.size());
    for (double value : values) real(value);
}

void StateWriter::integers(const std::vector<std::int32_t>& values) {
    count(values.size());
    for (std::int32_t value : values) i32(value);
}

std::string_view StateReader::take(std::size_t n) {
    if (n > remaining()) throw StateError("the saved state ends early");
    const std::string_view taken = bytes_.substr(position_, n);
    position_ += n;
    return taken;
}

std::uint8_t StateReader::u8() { return static_cast<std::uint8_t>(take(1)[0]); }
std::uint32_t StateReader::u32() { return readLittleEndian<std::uint32_t>(take(4)); }
std::uint64_t StateReader::u64() { return readLittleEndian<std::uint64_t>(take(8)); }
std::int32_t StateReader::i32() { return static_cast<std::int32_t>(u32()); }
std::int64_t StateReader::i64() { return static_cast<std::int64_t>(u64()); }
double StateReader::real() { return std::bit_cast<double>(u64()); }

bool StateReader::flag() {
    const std::uint8_t value = u8();
    if (value > 1) throw StateError("the saved state holds a flag that is neither 0 nor 1");
    return value == 1;
}

std::size_t StateReader::count(std::size_t elementBytes) {
    const std::uint64_t n = u64();
    const std::uint64_t least = elementBytes == 0 ? 0 : remaining() / elementBytes;
    if (n > least) throw StateError("the saved state counts more elements than it holds");
    return static_cast<std::size_t>(n);
}

std::string StateReader::text() {
    const std::size_t n = count(1);
    return std::string(take(n));
}

std::vector<double> StateReader::reals() {
    std::vector<double> values(count(8));
    for (double& value : values) value = real();
    return values;
}

std::vector<std::int32_t> StateReader::integers() {
    std::vector<std::int32_t> values(count(4));
    for (std::int32_t& value : values) value = i32();
    return values;
}

void StateReader::expectEnd() const {
    if (remaining() != 0) throw StateError("the saved state holds bytes after its last value");
}

}  // namespace Valdrin
