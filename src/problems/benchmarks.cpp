// The benchmark problems: numeric functions, OneMax, Deceptive, Pointless and Mixing-time.
#include "problems/benchmarks.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <string>

#include "core/failure.h"
#include "core/random.h"
#include "representation/integer.h"

namespace Valdrin {

namespace {

constexpr const char* kSphereHeader = "\n\n[QSphereFunction::evaluatePopulation] error:\n";
constexpr const char* kRastriginHeader = "\n\n[QRastriginFunction::evaluatePopulation] error:\n";
constexpr const char* kSchwefelHeader = "\n\n[QSchwefelFunction::evaluatePopulation] error:\n";
constexpr const char* kRosenbrockHeader = "\n\n[QRosenbrockFunction::evaluatePopulation] error:\n";
constexpr const char* kOneMaxHeader = "\n\n[QOneMaxProblem::evaluatePopulation] error:\n";
constexpr const char* kDeceptiveHeader = "\n\n[QDeceptiveProblem::evaluatePopulation] error:\n";
constexpr const char* kMixingHeader = "\n\n[QMixingTimeResearch::evaluateIndividual] error:\n";


// The formulas read chromosomeLength values; a shorter chromosome means the individuals were
// not built from this record, and going on would read past the decoded values.
template <typename Value>
void requireLength(const char* header, const std::vector<Value>& decoded, int length) {
    if (length <= 0 || decoded.size() >= static_cast<std::size_t>(length)) return;
    fail(std::string(header) + "\tThe chromosome holds " + std::to_string(decoded.size()) +
          " genes, fewer than the chromosome length (" + std::to_string(length) + ")\n\n");
}

int storeFitness(QIndividual& individual, double fitness) {
    individual.fitness = fitness;
    individual.fitnessComponents.clear();
    return 1;
}

// Score of a 4-bit block by its value u = b0 + 2 b1 + 4 b2 + 8 b3: the all-ones block is the
// optimum, the all-zeros block the deceptive attractor.
constexpr std::array<int, 16> kDeceptiveScores = {28, 26, 24, 18, 22, 16, 14, 0,
                                                  20, 12, 10, 2,  8,  4,  6,  30};

}  // namespace

// The numeric functions, OneMax, Deceptive and Mixing-time read the chromosome and the record,
// write only the fitness and their own scratch values, and draw nothing: a copy of the problem
// evaluates on another thread exactly as the problem does. A chromosome they cannot decode gets
// its message from the calling thread (reportDecodingFailure), in its turn.

// --- Sphere ---

int QSphereFunction::adjustParameters(QEAParameters* /*params*/) { return 1; }

int QSphereFunction::evaluateIndividual(QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return reportDecodingFailure(kSphereHeader, individual);
    const int n = _params->chromosomeLength;
    requireLength(kSphereHeader, decoded_, n);
    double f = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = decoded_[static_cast<std::size_t>(i)];
        f += x * x;
    }
    return storeFitness(individual, f);
}

std::unique_ptr<QProblem> QSphereFunction::threadCopy() const { return std::make_unique<QSphereFunction>(*this); }

int QSphereFunction::printName(std::ostream& out) const {
    out << "Sphere function\n";
    return 1;
}

// --- Rastrigin ---

int QRastriginFunction::adjustParameters(QEAParameters* /*params*/) { return 1; }

int QRastriginFunction::evaluateIndividual(QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return reportDecodingFailure(kRastriginHeader, individual);
    const int n = _params->chromosomeLength;
    requireLength(kRastriginHeader, decoded_, n);
    double f = 10.0 * n;
    for (int i = 0; i < n; ++i) {
        const double x = decoded_[static_cast<std::size_t>(i)];
        f += x * x - 10.0 * std::cos(6.2831853 * x);
    }
    return storeFitness(individual, f);
}

std::unique_ptr<QProblem> QRastriginFunction::threadCopy() const { return std::make_unique<QRastriginFunction>(*this); }

int QRastriginFunction::printName(std::ostream& out) const {
    out << "Rastrigin's function\n";
    return 1;
}

// --- Schwefel ---

int QSchwefelFunction::adjustParameters(QEAParameters* /*params*/) { return 1; }

int QSchwefelFunction::evaluateIndividual(QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return reportDecodingFailure(kSchwefelHeader, individual);
    const int n = _params->chromosomeLength;
    requireLength(kSchwefelHeader, decoded_, n);
    double f = 418.9829 * n;
    for (int i = 0; i < n; ++i) {
        const double x = decoded_[static_cast<std::size_t>(i)];
        f -= x * std::sin(std::sqrt(std::fabs(x)));
    }
    return storeFitness(individual, f);
}

std::unique_ptr<QProblem> QSchwefelFunction::threadCopy() const { return std::make_unique<QSchwefelFunction>(*this); }

int QSchwefelFunction::printName(std::ostream& out) const {
    out << "Schwefel's function\n";
    return 1;
}

// --- Rosenbrock ---

int QRosenbrockFunction::adjustParameters(QEAParameters* /*params*/) { return 1; }

int QRosenbrockFunction::evaluateIndividual(QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return reportDecodingFailure(kRosenbrockHeader, individual);
    const int n = _params->chromosomeLength;
    requireLength(kRosenbrockHeader, decoded_, n);
    double f = 0.0;
    for (int i = 0; i + 1 < n; ++i) {
        const double x = decoded_[static_cast<std::size_t>(i)];
        const double t = decoded_[static_cast<std::size_t>(i) + 1] - x * x;
        const double v = 1.0 - x;
        f += 100.0 * (t * t) + v * v;
    }
    return storeFitness(individual, f);
}

std::unique_ptr<QProblem> QRosenbrockFunction::threadCopy() const { return std::make_unique<QRosenbrockFunction>(*this); }

int QRosenbrockFunction::printName(std::ostream& out) const {
    out << "Rosenbrock's function\n";
    return 1;
}

// --- OneMax ---

int QOneMaxProblem::adjustParameters(QEAParameters* params) {
    params->geneSize = 1;
    params->geneOffset = 0.0;
    params->genePrecision = 1.0;
    return 1;
}

int QOneMaxProblem::evaluateIndividual(QIndividual& individual) {
    const int n = _params->chromosomeLength;
    // Every partial sum of these integers is exact in double, so summing them as integers gives
    // the same value.
    long long sum = 0;
    const auto* bits = individual.getEncoding() == Encoding::Integer ? static_cast<QIntegerIndividual*>(&individual) : nullptr;
    if (bits != nullptr && bits->_params != nullptr && bits->_params->genePrecision == 1.0 && bits->_params->geneOffset == 0.0) {
        // Decoding would copy the codes themselves: they are summed where they are.
        requireLength(kOneMaxHeader, bits->genes, n);
        for (int i = 0; i < n; ++i) sum += bits->genes[static_cast<std::size_t>(i)];
    } else {
        if (individual.decode(decoded_) == 0) return reportDecodingFailure(kOneMaxHeader, individual);
        requireLength(kOneMaxHeader, decoded_, n);
        for (int i = 0; i < n; ++i) sum += decoded_[static_cast<std::size_t>(i)];
    }
    return storeFitness(individual, n - static_cast<double>(sum));
}

std::unique_ptr<QProblem> QOneMaxProblem::threadCopy() const { return std::make_unique<QOneMaxProblem>(*this); }

int QOneMaxProblem::printName(std::ostream& out) const {
    out << "Onemax problem\n";
    return 1;
}

// --- Deceptive ---

int QDeceptiveProblem::adjustParameters(QEAParameters* params) {
    params->geneSize = 4;
    params->geneOffset = 0.0;
    params->genePrecision = 1.0;
    return 1;
}

// The blocks are counted over the individual's own genes, so every bit read lies inside the
// decoded chromosome whatever chromosomeLength says; only the constant term uses the record.
int QDeceptiveProblem::evaluateIndividual(QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return reportDecodingFailure(kDeceptiveHeader, individual);
    const std::size_t blocks = decoded_.size();
    const auto bit = [this](std::size_t position) {
        return (decoded_[position / 4] >> (position % 4)) & 1;
    };
    double sum = 0.0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const int u = bit(b) + 2 * bit(b + blocks) + 4 * bit(b + 2 * blocks) + 8 * bit(b + 3 * blocks);
        sum += kDeceptiveScores[static_cast<std::size_t>(u)];
    }
    return storeFitness(individual, 30.0 * _params->chromosomeLength - sum);
}

std::unique_ptr<QProblem> QDeceptiveProblem::threadCopy() const { return std::make_unique<QDeceptiveProblem>(*this); }

int QDeceptiveProblem::printName(std::ostream& out) const {
    out << "4-ugly deceptive problem\n";
    return 1;
}

// --- Pointless ---

int QPointlessProblem::adjustParameters(QEAParameters* /*params*/) { return 1; }

int QPointlessProblem::evaluateIndividual(QIndividual& individual) {
    return storeFitness(individual, engine().random.uniform());
}

int QPointlessProblem::printName(std::ostream& out) const {
    out << "Pointless problem\n";
    return 1;
}

// --- Mixing-time ---

int QMixingTimeResearch::adjustParameters(QEAParameters* params) {
    params->geneSize = params->arity;
    params->chromosomeLength = params->arity;
    params->populationSize = params->arity;
    params->geneOffset = 0.0;
    params->genePrecision = 1.0;
    return 1;
}

// Symbols outside 0 .. arity-1 belong to no symbol of the alphabet and are not counted, which
// leaves the chromosome unbalanced (a higher cost) instead of indexing past the counts.
int QMixingTimeResearch::evaluateIndividual(QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return reportDecodingFailure(kMixingHeader, individual);
    const int n = _params->chromosomeLength;
    const int a = _params->arity;
    if (a < 1) {
        fail(std::string(kMixingHeader) + "\tThe alphabet needs at least one symbol (arity = " +
              std::to_string(a) + ")\n\n");
    }
    requireLength(kMixingHeader, decoded_, n);
    counts_.assign(static_cast<std::size_t>(a), 0);
    for (int i = 0; i < n; ++i) {
        const int symbol = decoded_[static_cast<std::size_t>(i)];
        if (symbol >= 0 && symbol < a) ++counts_[static_cast<std::size_t>(symbol)];
    }
    const double expected = static_cast<double>(n) / a;
    double sum = 0.0;
    for (int count : counts_) {
        const double difference = expected - count;
        sum += difference * difference;
    }
    return storeFitness(individual, sum / a);
}

int QMixingTimeResearch::evaluatePopulation(QPopulation& population) {
    const Encoding encoding = population.getEncoding();
    if (encoding != Encoding::String) {
        return reportWrongEncoding("\n\n[QMixingTimeResearch::evaluatePopulation] error:\n", encoding);
    }
    return QProblem::evaluatePopulation(population);
}

std::unique_ptr<QProblem> QMixingTimeResearch::threadCopy() const { return std::make_unique<QMixingTimeResearch>(*this); }

int QMixingTimeResearch::printName(std::ostream& out) const {
    out << "Mixing-time research\n";
    return 1;
}

}  // namespace Valdrin
