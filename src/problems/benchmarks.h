// The benchmark problems that need nothing beyond the parameter record: four numeric functions,
// OneMax, the 4-bit deceptive problem, the pointless random problem and the mixing-time study.
#pragma once

#include <memory>
#include <vector>

#include "problems/problem.h"

namespace Valdrin {

// Minimum 0 at the origin.
class QSphereFunction final : public QProblem {
public:
    explicit QSphereFunction(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    std::unique_ptr<QProblem> threadCopy() const override;
    int printName(std::ostream& out) const override;

private:
    std::vector<double> decoded_;
};

// Minimum 0 at the origin; the angular factor is the literal 6.2831853.
class QRastriginFunction final : public QProblem {
public:
    explicit QRastriginFunction(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    std::unique_ptr<QProblem> threadCopy() const override;
    int printName(std::ostream& out) const override;

private:
    std::vector<double> decoded_;
};

// Minimum close to 0 near 420.9687 in every coordinate.
class QSchwefelFunction final : public QProblem {
public:
    explicit QSchwefelFunction(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    std::unique_ptr<QProblem> threadCopy() const override;
    int printName(std::ostream& out) const override;

private:
    std::vector<double> decoded_;
};

// Minimum 0 at 1 in every coordinate; 0 for any chromosome of fewer than two genes.
class QRosenbrockFunction final : public QProblem {
public:
    explicit QRosenbrockFunction(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    std::unique_ptr<QProblem> threadCopy() const override;
    int printName(std::ostream& out) const override;

private:
    std::vector<double> decoded_;
};

// The number of zero bits of a one-bit-per-gene chromosome.
class QOneMaxProblem final : public QProblem {
public:
    explicit QOneMaxProblem(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    std::unique_ptr<QProblem> threadCopy() const override;
    int printName(std::ostream& out) const override;

private:
    std::vector<int> decoded_;
};

// Interleaved 4-bit deceptive blocks: block b takes bit b, b+L, b+2L and b+3L of the chromosome's
// 4L bits, so its four bits lie in four widely separated genes.
class QDeceptiveProblem final : public QProblem {
public:
    explicit QDeceptiveProblem(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    std::unique_ptr<QProblem> threadCopy() const override;
    int printName(std::ostream& out) const override;

private:
    std::vector<int> decoded_;
};

// A fresh uniform draw per evaluation, whatever the chromosome. Its evaluations draw from the
// experiment's generator in turn, so they stay on one thread: it has no threadCopy.
class QPointlessProblem final : public QProblem {
public:
    explicit QPointlessProblem(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    int printName(std::ostream& out) const override;
};

// Balance of symbols in a string: 0 exactly when every symbol of the alphabet occurs equally often.
class QMixingTimeResearch final : public QProblem {
public:
    explicit QMixingTimeResearch(Engine& engine) : QProblem(engine) {}
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    std::unique_ptr<QProblem> threadCopy() const override;
    // Refuses populations that are not of the string encoding.
    int evaluatePopulation(QPopulation& population) override;
    int printName(std::ostream& out) const override;

private:
    std::vector<int> decoded_;
    std::vector<int> counts_;
};

}  // namespace Valdrin
