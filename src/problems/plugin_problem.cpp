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

// The gene codes of bit strings and symbol strings; null for other encodings.
const std::vector<std::int32_t>* codesOf(const QIndividual& individual) {
    switch (individual.getEncoding()) {
        case Encoding::Integer: return &static_cast<const QIntegerIndividual&>(individual).genes;
        case Encoding::String: return &static_cast<const QStringIndividual&>(individual).genes;
        default: return nullptr;
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
    std::size_t genes = 0;
    for (const QIndividual* individual : individuals) genes += static_cast<std::size_t>(individual->getGenesNumber());
    const bool coded = !individuals.empty() && codesOf(*individuals.front()) != nullptr;
    codes_.resize(coded ? genes : 0);
    values_.resize(genes);
    handed_.resize(individuals.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < individuals.size(); ++i) {
        const QIndividual& individual = *individuals[i];
        if (individual.decode(decoded_) == 0) {
            throw EvaluationFailure{static_cast<int>(i), "its genes cannot be read as numbers (Gene precision and "
                                                         "Gene offset must make finite values)"};
        }
        const std::size_t n = decoded_.size();
        std::copy(decoded_.begin(), decoded_.end(), values_.begin() + static_cast<std::ptrdiff_t>(at));
        const std::vector<std::int32_t>* codes = codesOf(individual);
        if (coded && codes != nullptr) std::copy(codes->begin(), codes->end(), codes_.begin() + static_cast<std::ptrdiff_t>(at));
        handed_[i] = valdrin_individual{static_cast<int>(n), coded ? codes_.data() + at : nullptr, values_.data() + at};
        at += n;
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

int QPluginProblem::evaluateIndividual(QIndividual& individual) {
    QIndividual* one[] = {&individual};
    gather(one);
    double fitness = std::numeric_limits<double>::quiet_NaN();
    const int code = library_->table().evaluate(state_->state, &handed_[0], &fitness);
    if (code != 0) throw EvaluationFailure{-1, failureText(code)};
    store(individual, fitness, -1);
    return 1;
}

bool QPluginProblem::prefersWholeGenerations() const { return true; }

void QPluginProblem::evaluateAll(std::span<QIndividual* const> individuals, int threads) {
    const valdrin_problem& table = library_->table();
    // Several threads call evaluate, each on its share; on one thread a plugin that evaluates
    // generations gets the whole of it.
    if (table.evaluate_batch == nullptr || (threads > 1 && table.thread_safe != 0)) {
        if (threads > 1 && table.thread_safe != 0) {
            QProblem::evaluateAll(individuals, threads);
            return;
        }
        for (std::size_t i = 0; i < individuals.size(); ++i) {
            QIndividual* one[] = {individuals[i]};
            gather(one);
            double fitness = std::numeric_limits<double>::quiet_NaN();
            const int code = table.evaluate(state_->state, &handed_[0], &fitness);
            if (code != 0) throw EvaluationFailure{static_cast<int>(i), failureText(code)};
            store(*individuals[i], fitness, static_cast<int>(i));
        }
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
