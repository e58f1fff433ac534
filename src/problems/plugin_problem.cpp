// A plugin's problem: the individuals handed over in the interface's form, its answers stored.
#include "problems/plugin_problem.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <ostream>

#include "core/failure.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"

namespace Valdrin {

namespace {

unsigned encodingBit(Encoding encoding) {
    switch (encoding) {
        case Encoding::String: return VALDRIN_ENCODING_STRING;
        case Encoding::Integer: return VALDRIN_ENCODING_INTEGER;
        case Encoding::Real: return VALDRIN_ENCODING_REAL;
        default: return 0;
    }
}

}  // namespace

QPluginProblem::State::~State() {
    if (library != nullptr && library->table().destroy != nullptr) library->table().destroy(state);
}

QPluginProblem::QPluginProblem(Engine& engine, std::shared_ptr<const PluginLibrary> library)
    : QProblem(engine), library_(std::move(library)) {}

int QPluginProblem::adjustParameters(QEAParameters* params) {
    library_->applySettings(*params);
    return 1;
}

int QPluginProblem::setParameters(const QEAParameters* params) {
    QProblem::setParameters(params);
    if (state_ != nullptr) return 1;
    const valdrin_problem& table = library_->table();
    const unsigned bit = encodingBit(params->encoding);
    if ((table.encodings & bit) == 0) {
        failPlainly("the problem " + std::string(library_->word()) + " of " + library_->path() +
                    " cannot evaluate this encoding");
    }
    auto state = std::make_shared<State>();
    state->library = library_;
    if (table.create != nullptr) {
        const std::string folder = std::filesystem::path(library_->path()).parent_path().string();
        const std::string shownFolder = folder.empty() ? "." : folder;
        valdrin_context context{};
        context.encoding = bit;
        context.settings.fixed = 0;
        context.settings.chromosome_length = params->chromosomeLength;
        context.settings.gene_size = params->geneSize;
        context.settings.arity = params->arity;
        context.settings.gene_offset = params->geneOffset;
        context.settings.gene_precision = params->genePrecision;
        context.library_folder = shownFolder.c_str();
        state->state = table.create(&context);
        if (state->state == nullptr) {
            state->library = nullptr;  // nothing to destroy
            const char* why = table.error_message != nullptr ? table.error_message(nullptr) : nullptr;
            failPlainly("the problem " + std::string(library_->word()) + " of " + library_->path() +
                        " refused to start" + (why != nullptr && *why != '\0' ? ": " + std::string(why) : ""));
        }
    }
    state_ = std::move(state);
    return 1;
}

void QPluginProblem::gather(std::span<QIndividual* const> individuals) {
    // Codes and real genes are handed over where the individuals hold them; only the values of
    // bit strings and symbol strings are computed, exactly as decoding computes them.
    const bool codesOnly = library_->table().codes_only != 0;
    std::size_t coded = 0;
    for (const QIndividual* individual : individuals) {
        if (individual->getEncoding() != Encoding::Real) coded += static_cast<std::size_t>(individual->getGenesNumber());
    }
    if (codesOnly) coded = 0;
    values_.resize(coded);
    handed_.resize(individuals.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < individuals.size(); ++i) {
        QIndividual& individual = *individuals[i];
        switch (individual.getEncoding()) {
            case Encoding::Real: {
                const std::vector<double>& genes = static_cast<const QRCIndividual&>(individual).genes;
                handed_[i] = valdrin_individual{static_cast<int>(genes.size()), nullptr, genes.data()};
                break;
            }
            case Encoding::Integer: {
                const std::vector<std::int32_t>& genes = static_cast<const QIntegerIndividual&>(individual).genes;
                if (codesOnly) {
                    handed_[i] = valdrin_individual{static_cast<int>(genes.size()), genes.data(), nullptr};
                    break;
                }
                const double precision = _params->genePrecision;
                const double offset = _params->geneOffset;
                double* values = values_.data() + at;
                for (std::size_t g = 0; g < genes.size(); ++g) values[g] = static_cast<double>(genes[g]) * precision + offset;
                handed_[i] = valdrin_individual{static_cast<int>(genes.size()), genes.data(), values};
                at += genes.size();
                break;
            }
            case Encoding::String: {
                const std::vector<std::int32_t>& genes = static_cast<const QStringIndividual&>(individual).genes;
                if (codesOnly) {
                    handed_[i] = valdrin_individual{static_cast<int>(genes.size()), genes.data(), nullptr};
                    break;
                }
                double* values = values_.data() + at;
                for (std::size_t g = 0; g < genes.size(); ++g) {
                    values[g] = static_cast<double>(static_cast<std::uint32_t>(genes[g]));
                }
                handed_[i] = valdrin_individual{static_cast<int>(genes.size()), genes.data(), values};
                at += genes.size();
                break;
            }
            default:
                throw EvaluationFailure{static_cast<int>(i), "a plugin cannot evaluate a regulatory network"};
        }
    }
}

std::string QPluginProblem::failureText(int code) const {
    const valdrin_problem& table = library_->table();
    const char* why = table.error_message != nullptr ? table.error_message(state_->state) : nullptr;
    std::string text = "the plugin " + library_->path() + " reported failure " + std::to_string(code);
    if (why != nullptr && *why != '\0') text += ": " + std::string(why);
    return text;
}

void QPluginProblem::store(QIndividual& individual, double fitness, int index) const {
    if (std::isnan(fitness)) throw EvaluationFailure{index, "the plugin " + library_->path() + " gave a fitness of NaN"};
    individual.fitness = fitness;
    individual.fitnessComponents.clear();
}

void QPluginProblem::evaluateOne(QIndividual& individual, int index) {
    QIndividual* one[] = {&individual};
    gather(one);
    double fitness = std::numeric_limits<double>::quiet_NaN();
    const int code = library_->table().evaluate(state_->state, &handed_[0], &fitness);
    if (code != 0) throw EvaluationFailure{index, failureText(code)};
    store(individual, fitness, index);
}

int QPluginProblem::evaluateIndividual(QIndividual& individual) {
    evaluateOne(individual, -1);
    return 1;
}

bool QPluginProblem::prefersWholeGenerations() const { return true; }

void QPluginProblem::evaluateAll(std::span<QIndividual* const> individuals, int threads) {
    const valdrin_problem& table = library_->table();
    // Several threads call evaluate, each on its share (through evaluateIndividual on the
    // copies); on one thread a plugin that evaluates generations gets the whole of it.
    if (threads > 1 && table.thread_safe != 0) {
        QProblem::evaluateAll(individuals, threads);
        return;
    }
    if (table.evaluate_batch == nullptr) {
        for (std::size_t i = 0; i < individuals.size(); ++i) evaluateOne(*individuals[i], static_cast<int>(i));
        return;
    }
    gather(individuals);
    fitness_.assign(individuals.size(), std::numeric_limits<double>::quiet_NaN());
    const int code = table.evaluate_batch(state_->state, handed_.data(), handed_.size(), fitness_.data());
    if (code != 0) throw EvaluationFailure{-1, failureText(code) + " (evaluating the generation at once)"};
    for (std::size_t i = 0; i < individuals.size(); ++i) store(*individuals[i], fitness_[i], static_cast<int>(i));
}

std::unique_ptr<QProblem> QPluginProblem::threadCopy() const {
    if (library_->table().thread_safe == 0 || state_ == nullptr) return nullptr;
    auto copy = std::make_unique<QPluginProblem>(engine(), library_);
    copy->_params = _params;
    copy->state_ = state_;
    return copy;
}

int QPluginProblem::printName(std::ostream& out) const {
    out << library_->word() << " (plugin " << std::filesystem::path(library_->path()).filename().string() << ")\n";
    return 1;
}

}  // namespace Valdrin
