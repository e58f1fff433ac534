// QPluginProblem: a problem whose evaluation comes from a plugin library. Each individual is
// handed over as its gene codes (bit strings and symbol strings) and its genes as real numbers;
// the plugin stores a cost. A plugin that evaluates a generation at once gets whole generations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "problems/plugin_library.h"
#include "problems/problem.h"

namespace Valdrin {

class QPluginProblem final : public QProblem {
public:
    QPluginProblem(Engine& engine, std::shared_ptr<const PluginLibrary> library);

    int adjustParameters(QEAParameters* params) override;
    // Creates the plugin's state for the experiment (once); a plugin that refuses ends it.
    int setParameters(const QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    void evaluateAll(std::span<QIndividual* const> individuals, int threads) override;
    // Whole generations, so that a failure names its individual and a batch function gets them.
    bool prefersWholeGenerations() const override;
    std::unique_ptr<QProblem> threadCopy() const override;
    std::vector<std::string> inputFiles() const override { return {library_->path()}; }
    int printName(std::ostream& out) const override;

private:
    // The plugin's state for one experiment, shared by the copies for other threads and
    // destroyed through the plugin when the last goes.
    struct State {
        std::shared_ptr<const PluginLibrary> library;
        void* state = nullptr;
        ~State();
    };

    // Points the plugin's individuals at the genes, computing the reals where they are not stored.
    void gather(std::span<QIndividual* const> individuals);
    // One individual through evaluate; a failure names it by index (-1: evaluated alone).
    void evaluateOne(QIndividual& individual, int index);
    // The plugin's message for a failed call, or its code.
    std::string failureText(int code) const;
    void store(QIndividual& individual, double fitness, int index) const;

    std::shared_ptr<const PluginLibrary> library_;
    std::shared_ptr<State> state_;
    std::vector<double> values_;  // the reals of bit strings' and symbol strings' genes
    std::vector<valdrin_individual> handed_;
    std::vector<double> fitness_;
};

}  // namespace Valdrin
