// What the value encodings (string, integer, real) share: a gene that is one plain value, an
// individual whose chromosome is a contiguous vector of such values, and the population of those
// individuals. Each encoding adds only what is its own: its readings (decode), its printing and
// its particular messages.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/number_text.h"
#include "representation/gene_vector.h"
#include "representation/population.h"

namespace Valdrin {

// The generic face of one stored value of encoding E; Derived is the encoding's final gene class.
// A gene of another encoding is neither equal nor assigned, silently.
template <class Derived, class V, Encoding E>
class QValueGene : public QGene {
public:
    using Value = V;
    static constexpr Encoding kEncoding = E;
    Value value = Value();

    QValueGene() = default;
    explicit QValueGene(Value v) : value(v) {}
    std::unique_ptr<QGene> clone() const override {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }
    Encoding getEncoding() const override { return E; }
    bool equalsTo(const QGene& other) const override {
        return other.getEncoding() == E && static_cast<const Derived&>(other).value == value;
    }
    int assign(const QGene& other) override {
        if (other.getEncoding() != E) return 0;
        value = static_cast<const Derived&>(other).value;
        return 1;
    }
    Value getValue() const { return value; }
    int setValue(Value v) {
        value = v;
        return 1;
    }
};

// An individual of the encoding of Gene; Derived is the encoding's final individual class, which
// names itself in messages through Derived::kName. Derived defines its default constructor in its
// class body: every file that sees Derived then also sees the bodies of these virtual functions,
// so that the compiler can still inline a virtual call whose target it predicts (getGenesNumber
// before an operator's loop, say), as it could when each encoding wrote them out.
template <class Derived, class Gene>
class QValueIndividual : public QIndividual {
public:
    using Value = typename Gene::Value;
    static constexpr Encoding kEncoding = Gene::kEncoding;

    // One value per gene, contiguous, so that the operators walk plain numbers.
    std::vector<Value> genes;

    int initialize(int genesNumber) override {
        genes.resize(genesNumber > 0 ? static_cast<std::size_t>(genesNumber) : 0);
        return 1;
    }
    // From an individual of another encoding only the base fields are copied.
    int copy(const QIndividual& other) override {
        if (other.getEncoding() == kEncoding) {
            self() = static_cast<const Derived&>(other);
        } else {
            QIndividual::operator=(other);
        }
        return 1;
    }
    std::unique_ptr<QIndividual> clone() const override { return std::make_unique<Derived>(self()); }
    Encoding getEncoding() const override { return kEncoding; }
    int getGenesNumber() const override { return static_cast<int>(genes.size()); }
    int addGene(const QGene& gene) override { return geneVector::appendAssigned<Gene>(genes, gene); }
    int deleteGene(int index) override {
        genes.erase(genes.begin() + checked(index, "deleteGene"));
        return static_cast<int>(genes.size());
    }
    // A Gene copy.
    std::unique_ptr<QGene> getGene(int index) const override {
        return std::make_unique<Gene>(genes[checked(index, "getGene")]);
    }
    int setGene(int index, const QGene& gene) override {
        geneVector::assignInto<Gene>(genes[checked(index, "setGene")], gene);
        return 1;
    }
    int deleteGenes() override {
        genes.clear();
        return 1;
    }
    // Element by element with the value's ==: for reals a not-a-number gene equals nothing, not
    // even itself.
    bool equalsTo(const QIndividual& other) const override {
        if (other.getEncoding() != kEncoding) return false;
        return genes == static_cast<const Derived&>(other).genes;
    }
    // Agrees with equalsTo: the gene count and the values as == sees them (a real zero hashes
    // alike whatever its sign; a not-a-number gene equals nothing, so its bits may hash as they
    // are). Four independent lanes of 64-bit words (two 32-bit genes, or one real, per word)
    // keep the multiplier busy; one pass over the genes, nothing allocated.
    std::uint64_t chromosomeHash() const override {
        static_assert(sizeof(Value) == 4 || sizeof(Value) == 8, "a gene value is 32 or 64 bits");
        constexpr std::size_t perWord = sizeof(Value) == 4 ? 2 : 1;
        const Value* values = genes.data();
        const std::size_t count = genes.size();
        const std::size_t words = count / perWord;
        std::uint64_t lanes[4] = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL, 0xA4093822299F31D0ULL,
                                  0x082EFA98EC4E6C89ULL};
        std::size_t w = 0;
        for (; w + 4 <= words; w += 4) {
            for (std::size_t lane = 0; lane < 4; ++lane) {
                lanes[lane] = hashStep(lanes[lane], wordAt(values + (w + lane) * perWord));
            }
        }
        for (; w < words; ++w) lanes[w % 4] = hashStep(lanes[w % 4], wordAt(values + w * perWord));
        if (words * perWord < count) lanes[3] = hashStep(lanes[3], valueBits(values[count - 1]));
        std::uint64_t h = hashStep(static_cast<std::uint64_t>(count), lanes[0]);
        for (std::size_t lane = 1; lane < 4; ++lane) h = hashStep(h, lanes[lane]);
        // A final mixing, so that the low bits depend on every bit.
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDULL;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 33);
    }

    Value getGeneValue(int index) const { return genes[static_cast<std::size_t>(index)]; }
    // Bound-checked. Out of line, as it is called only now and then (after an operator's loop, say),
    // and would otherwise weigh on its caller's registers.
    [[gnu::noinline]] int setGeneValue(int index, Value value) {
        if (index < 0 || static_cast<std::size_t>(index) >= genes.size()) failIndex("setGeneValue", false);
        genes[static_cast<std::size_t>(index)] = value;
        return 1;
    }

protected:
    QValueIndividual() = default;
    QValueIndividual(const QValueIndividual&) = default;
    QValueIndividual& operator=(const QValueIndividual&) = default;

    // What every value individual prints first: "(fitness)\t".
    void printFitness(std::ostream& out) const {
        out << "(";
        writeNumber(out, fitness);
        out << ")\t";
    }

private:
    Derived& self() { return static_cast<Derived&>(*this); }
    const Derived& self() const { return static_cast<const Derived&>(*this); }

    // One gene value as the hash reads it: equal values give equal bits.
    static std::uint64_t valueBits(Value value) {
        if constexpr (sizeof(Value) == 8) {
            // -0.0 == 0.0: both read as +0.0.
            return value == Value() ? 0 : std::bit_cast<std::uint64_t>(value);
        } else {
            return std::bit_cast<std::uint32_t>(value);
        }
    }
    // The word of perWord consecutive values starting at first.
    static std::uint64_t wordAt(const Value* first) {
        if constexpr (sizeof(Value) == 8) {
            return valueBits(first[0]);
        } else {
            return valueBits(first[0]) | (valueBits(first[1]) << 32);
        }
    }
    // One odd multiplication and a shift: for a fixed word, distinct lanes stay distinct.
    static std::uint64_t hashStep(std::uint64_t lane, std::uint64_t word) {
        lane = (lane ^ word) * 0x9E3779B97F4A7C15ULL;
        return lane ^ (lane >> 29);
    }

    // The index as a position in genes; ends the process with the method's message unless
    // 0 <= index < size.
    std::size_t checked(int index, const char* method) const {
        if (index < 0 || static_cast<std::size_t>(index) >= genes.size()) failIndex(method, true);
        return static_cast<std::size_t>(index);
    }

    // Ends the process with the index message of the method, headed "[Class::method]" (or
    // "Class::method" unbracketed). Kept out of its callers, which stay a compare and a branch.
    [[noreturn, gnu::noinline, gnu::cold]] static void failIndex(const char* method, bool bracketed) {
        const std::string where = std::string(Derived::kName) + "::" + method;
        fail("\n\n" + (bracketed ? "[" + where + "]" : where) + " error:\n\tIndex is out of genes array bounds\n\n");
    }
};

// A population of Individual, a value individual class.
template <class Individual>
class QValuePopulation final : public QPopulation {
public:
    Encoding getEncoding() const override { return Individual::kEncoding; }
    std::unique_ptr<QPopulation> clone() const override {
        return geneVector::clonePopulation<QValuePopulation>(*this);
    }

protected:
    std::unique_ptr<QIndividual> makeIndividual() const override { return std::make_unique<Individual>(); }
};

}  // namespace Valdrin
