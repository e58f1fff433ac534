// QDistance: Hamming distance between chromosomes, read bit by bit for integer genes.
#include "representation/distance.h"

#include <bit>
#include <cstdint>
#include <string>

#include "core/failure.h"
#include "representation/integer.h"
#include "representation/network.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

[[noreturn]] void encodingError(const char* operation, Encoding encodingA, Encoding encodingB) {
    fail(std::string("\n\n[QDistance::") + operation + "] error:\n" +
          "\tDifferent encodings for compared chromosomes! (" + std::to_string(number(encodingA)) + " : " +
          std::to_string(number(encodingB)) + ")\n\n");
}

// Bit positions at or above 32 read as copies of bit 31 (the XOR is sign-extended to 64 bits).
int differingBits(int x, int y, int bits) {
    if (bits <= 0) return 0;
    const auto extended = static_cast<std::uint64_t>(static_cast<std::int64_t>(x ^ y));
    const std::uint64_t mask = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    return std::popcount(extended & mask);
}

}  // namespace

QDistance::~QDistance() = default;

double QDistance::measure(const QIndividual& a, const QIndividual& b) const {
    const Encoding encoding = a.getEncoding();
    if (encoding != b.getEncoding()) encodingError("measure", encoding, b.getEncoding());
    switch (encoding) {
        case Encoding::String:
        case Encoding::Integer:
            return measureHamming(a, b);
        case Encoding::Real:
            return 0.0;
        default:
            return -1.0;
    }
}

double QDistance::measureHamming(const QIndividual& a, const QIndividual& b) const {
    const int n = a.getGenesNumber();
    const int countB = b.getGenesNumber();
    // The count runs over a's genes, so b must be at least as long.
    if (n <= 0 || countB <= 0 || countB < n) {
        fail("\n\n[QDistance::measureHamming] error:\n\tIncorrect chromosome size! (" + std::to_string(n) +
              " : " + std::to_string(countB) + ")\n\n");
    }
    const Encoding encoding = a.getEncoding();
    if (encoding != b.getEncoding()) encodingError("measureHamming", encoding, b.getEncoding());

    const auto genes = static_cast<std::size_t>(n);
    int count = 0;
    if (encoding == Encoding::Integer) {
        const auto& x = static_cast<const QIntegerIndividual&>(a);
        const auto& y = static_cast<const QIntegerIndividual&>(b);
        const int bits = x.getGeneSize();
        for (std::size_t i = 0; i < genes; ++i) count += differingBits(x.genes[i], y.genes[i], bits);
    } else if (encoding == Encoding::String) {
        const auto& x = static_cast<const QStringIndividual&>(a).genes;
        const auto& y = static_cast<const QStringIndividual&>(b).genes;
        for (std::size_t i = 0; i < genes; ++i) {
            if (x[i] != y[i]) ++count;
        }
    } else if (encoding == Encoding::Real) {
        // Compared with == as the real genes compare: a not-a-number gene always differs.
        const auto& x = static_cast<const QRCIndividual&>(a).genes;
        const auto& y = static_cast<const QRCIndividual&>(b).genes;
        for (std::size_t i = 0; i < genes; ++i) {
            if (!(x[i] == y[i])) ++count;
        }
    } else if (encoding == Encoding::Network) {
        const auto& x = static_cast<const QRNIndividual&>(a).genes;
        const auto& y = static_cast<const QRNIndividual&>(b).genes;
        for (std::size_t i = 0; i < genes; ++i) {
            if (!x[i].equalsTo(y[i])) ++count;
        }
    } else {
        // An encoding without a typed chromosome here is still measured, through gene copies.
        for (int i = 0; i < n; ++i) {
            if (!a.getGene(i)->equalsTo(*b.getGene(i))) ++count;
        }
    }
    return static_cast<double>(count);
}

}  // namespace Valdrin
