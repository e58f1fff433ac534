// valdrin._core: the experiment, the configuration check and the registry's vocabulary for Python,
// and problems whose costs a Python function computes. The package's modules (python/valdrin/)
// build the public interface on these functions.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/configuration_scan.h"
#include "core/failure.h"
#include "driver/command_line.h"
#include "driver/experiment.h"
#include "driver/interruption.h"
#include "problems/plugin_library.h"
#include "problems/problem.h"
#include "registry/configuration_check.h"
#include "registry/problem_table.h"
#include "registry/registry.h"
#include "representation/integer.h"
#include "representation/real.h"
#include "representation/string.h"
#include "statistics/run_summary.h"

namespace py = pybind11;

namespace Valdrin::python {

namespace {

// ---- Problems written in Python ---------------------------------------------------------------

// A problem as the package describes it: its word, the encodings it takes, the configuration
// values it fixes, and the function that computes costs.
struct ProblemDefinition {
    std::string word;
    std::string description;
    std::vector<Encoding> encodings;
    bool neverBelowZero = false;
    bool wholeGenerations = true;  // the function takes a 2-D array; else one individual (1-D) a call
    bool decoded = false;          // genes as the real values they stand for, not their codes
    std::vector<std::pair<std::string, std::string>> settings;  // configuration key, value
    py::object function;
};

// What one run of an experiment shares with its Python problems: the exception that ended it.
struct RunContext {
    py::object error;  // the exception a problem's function raised, or the one made for a wrong answer
    bool stopWithinGeneration = true;  // an interruption ends the generation at once (no checkpoint to keep whole)
};

Encoding encodingNamed(const std::string& word) {
    for (const EncodingRow& row : encodingRows()) {
        if (row.word == word && !row.permutation &&
            (row.id == Encoding::Integer || row.id == Encoding::String || row.id == Encoding::Real)) {
            return row.id;
        }
    }
    throw py::value_error("a Python problem evaluates the encodings integer, string and real, not \"" + word + "\"");
}

std::string encodingWord(Encoding encoding) {
    const EncodingRow* row = rowOf(encodingRows(), encoding);
    return row != nullptr ? std::string(row->word) : "(none)";
}

void applySettings(const ProblemDefinition& definition, QEAParameters& params) {
    for (const auto& [key, value] : definition.settings) findKey(key)->apply(params, value);
}

// The genes of a value individual; its encoding is one of integer, string and real.
const std::vector<std::int32_t>& codesOf(const QIndividual& individual) {
    if (individual.getEncoding() == Encoding::Integer) return static_cast<const QIntegerIndividual&>(individual).genes;
    return static_cast<const QStringIndividual&>(individual).genes;
}

class PythonProblem final : public QProblem {
public:
    PythonProblem(Engine& engine, const ProblemDefinition& definition, RunContext& context)
        : QProblem(engine), definition_(&definition), context_(&context) {}

    int adjustParameters(QEAParameters* params) override {
        applySettings(*definition_, *params);
        return 1;
    }

    int setParameters(const QEAParameters* params) override {
        QProblem::setParameters(params);
        bool takes = false;
        for (Encoding encoding : definition_->encodings) takes = takes || encoding == params->encoding;
        if (!takes) {
            failPlainly("the Python problem " + definition_->word + " cannot evaluate the " + encodingWord(params->encoding) +
                        " encoding");
        }
        return 1;
    }

    int evaluateIndividual(QIndividual& individual) override {
        QIndividual* one[] = {&individual};
        evaluate(one, true);
        return 1;
    }

    void evaluateAll(std::span<QIndividual* const> individuals, int /*threads*/) override {
        evaluate(individuals, false);
    }

    bool prefersWholeGenerations() const override { return true; }

    int printName(std::ostream& out) const override {
        out << definition_->word << " (Python)\n";
        return 1;
    }

private:
    // The array handed to the function: one row per individual, its genes as codes (int32) or
    // as real numbers (float64).
    py::array gather(std::span<QIndividual* const> individuals) const {
        const QIndividual& first = *individuals.front();
        const Encoding encoding = first.getEncoding();
        const auto length = static_cast<std::size_t>(first.getGenesNumber());
        for (std::size_t i = 1; i < individuals.size(); ++i) {
            if (static_cast<std::size_t>(individuals[i]->getGenesNumber()) != length) {
                throw EvaluationFailure{static_cast<int>(i), "its chromosome has " +
                                                                 std::to_string(individuals[i]->getGenesNumber()) +
                                                                 " genes and the first one's " + std::to_string(length) +
                                                                 ": a Python problem takes chromosomes of one length"};
            }
        }
        const std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(individuals.size()),
                                                static_cast<py::ssize_t>(length)};
        if (encoding == Encoding::Real) {
            py::array_t<double> array(shape);
            double* to = array.mutable_data();
            for (const QIndividual* individual : individuals) {
                const auto& genes = static_cast<const QRCIndividual&>(*individual).genes;
                std::memcpy(to, genes.data(), length * sizeof(double));
                to += length;
            }
            return array;
        }
        if (definition_->decoded) {
            const double precision = _params->genePrecision;
            const double offset = _params->geneOffset;
            const bool string = encoding == Encoding::String;
            py::array_t<double> array(shape);
            double* to = array.mutable_data();
            for (const QIndividual* individual : individuals) {
                const std::vector<std::int32_t>& codes = codesOf(*individual);
                // As the individuals decode themselves: symbols are their numbers, bit-string
                // genes value * Gene precision + Gene offset.
                if (string) {
                    for (std::size_t g = 0; g < length; ++g) to[g] = static_cast<double>(static_cast<std::uint32_t>(codes[g]));
                } else {
                    for (std::size_t g = 0; g < length; ++g) to[g] = static_cast<double>(codes[g]) * precision + offset;
                }
                to += length;
            }
            return array;
        }
        py::array_t<std::int32_t> array(shape);
        std::int32_t* to = array.mutable_data();
        for (const QIndividual* individual : individuals) {
            std::memcpy(to, codesOf(*individual).data(), length * sizeof(std::int32_t));
            to += length;
        }
        return array;
    }

    // Ends the evaluation with the exception, which the run raises in Python once it has
    // written its reports.
    [[noreturn]] void failWith(py::object exception, int individual, const std::string& reason) {
        context_->error = std::move(exception);
        throw EvaluationFailure{individual, reason};
    }

    [[noreturn]] void failWithValueError(int individual, const std::string& reason) {
        failWith(py::reinterpret_steal<py::object>(PyObject_CallFunction(PyExc_ValueError, "s", reason.c_str())),
                 individual, reason);
    }

    // A signal asked the experiment to stop: without a checkpoint to keep whole, the generation
    // in progress ends now (its run is not reported either way).
    void stopWhenInterrupted() const {
        if (!context_->stopWithinGeneration) return;
        if (const int signal = pendingInterruption()) throw Interrupted{signal};
    }

    void store(QIndividual& individual, double cost, int index) {
        if (std::isnan(cost)) {
            failWithValueError(index, "the Python problem " + definition_->word + " returned NaN as the cost of " +
                                          (index >= 0 ? "individual " + std::to_string(index + 1)
                                                      : std::string("the individual")));
        }
        individual.fitness = cost;
        individual.fitnessComponents.clear();
    }

    void evaluate(std::span<QIndividual* const> individuals, bool alone) {
        if (individuals.empty()) return;
        const int n = static_cast<int>(individuals.size());
        // The individual a failure names (counting from 0 among those handed over): -1 while the
        // function has them all, or when it was handed one alone.
        int current = -1;
        const py::gil_scoped_acquire gil;
        try {
            py::array genes = gather(individuals);
            if (definition_->wholeGenerations) {
                py::object answer = definition_->function(genes);
                stopWhenInterrupted();
                auto costs = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(answer);
                if (!costs || costs.ndim() != 1 || costs.shape(0) != n) {
                    PyErr_Clear();
                    // A lone value (None, a number, text) is named by its type, an array by its shape.
                    std::string shape = "a " + std::string(py::str(py::type::of(answer).attr("__name__")));
                    if (costs && costs.ndim() > 0) {
                        shape = "an array of shape " + std::string(py::str(py::tuple(py::cast(
                                                           std::vector<py::ssize_t>(costs.shape(), costs.shape() + costs.ndim())))));
                    }
                    failWithValueError(-1, "the Python problem " + definition_->word + " returned " + shape +
                                                           " for " + std::to_string(n) + " individual" +
                                                           (n == 1 ? "" : "s") + ": it must return one cost per individual, an array of shape (" +
                                                           std::to_string(n) + ",)");
                }
                const double* cost = costs.data();
                for (int i = 0; i < n; ++i) store(*individuals[static_cast<std::size_t>(i)], cost[i], alone ? -1 : i);
                return;
            }
            for (int i = 0; i < n; ++i) {
                const int index = alone ? -1 : i;
                current = index;
                py::object answer = definition_->function(genes[py::int_(i)]);
                stopWhenInterrupted();
                double cost = 0;
                try {
                    cost = answer.cast<double>();
                } catch (const py::cast_error&) {
                    failWithValueError(index, "the Python problem " + definition_->word + " returned a " +
                                                  std::string(py::str(py::type::of(answer).attr("__name__"))) +
                                                  ": it must return one cost, a number");
                }
                store(*individuals[static_cast<std::size_t>(i)], cost, index);
            }
        } catch (py::error_already_set& raised) {
            std::string reason = "the Python problem " + definition_->word + " raised " +
                                 std::string(py::str(py::type::of(raised.value()).attr("__name__")));
            const std::string text = py::str(raised.value());
            if (!text.empty()) reason += ": " + text;
            failWith(py::reinterpret_borrow<py::object>(raised.value()), current, reason);
        }
    }

    const ProblemDefinition* definition_;
    RunContext* context_;
};

// The table of problems with the Python ones added.
ProblemTable tableWith(const std::vector<std::shared_ptr<ProblemDefinition>>& definitions, RunContext* context) {
    ProblemTable table;
    for (const auto& definition : definitions) {
        ExternalProblem problem;
        problem.word = definition->word;
        problem.description = definition->description;
        problem.encodings = definition->encodings;
        problem.neverBelowZero = definition->neverBelowZero;
        const ProblemDefinition* raw = definition.get();
        problem.applySettings = [raw](QEAParameters& params) { applySettings(*raw, params); };
        problem.make = [raw, context](Engine& engine) -> std::unique_ptr<QProblem> {
            if (context == nullptr) return nullptr;  // the check makes none
            return std::make_unique<PythonProblem>(engine, *raw, *context);
        };
        try {
            table.add(std::move(problem));
        } catch (const PluginRefusal& refusal) {
            throw py::value_error(refusal.message);
        }
    }
    return table;
}

std::shared_ptr<ProblemDefinition> makeDefinition(std::string word, std::string description, const std::vector<std::string>& encodings,
                                      bool neverBelowZero, bool wholeGenerations, bool decoded,
                                      const std::vector<std::pair<std::string, std::string>>& settings,
                                      py::object function) {
    auto definition = std::make_shared<ProblemDefinition>();
    if (word.empty() || word.find_first_of("<>&\"' \t\n") != std::string::npos) {
        throw py::value_error("a problem's word must be a non-empty word without blanks or markup, not \"" + word + "\"");
    }
    definition->word = std::move(word);
    definition->description = std::move(description);
    for (const std::string& encoding : encodings) definition->encodings.push_back(encodingNamed(encoding));
    if (definition->encodings.empty()) throw py::value_error("a Python problem needs at least one encoding");
    definition->neverBelowZero = neverBelowZero;
    definition->wholeGenerations = wholeGenerations;
    definition->decoded = decoded;
    for (const auto& [key, value] : settings) {
        if (findKey(key) == nullptr) throw py::value_error("a Python problem cannot set \"" + key + "\": it is no configuration key");
    }
    definition->settings = settings;
    if (!PyCallable_Check(function.ptr())) throw py::type_error("a Python problem's function must be callable");
    definition->function = std::move(function);
    return definition;
}

// ---- Running an experiment --------------------------------------------------------------------

// Standard output of an experiment, kept as text; each "Run # N" line is announced to a Python
// callable (the progress bar) as it is written.
class WatchedOutput final : public std::streambuf {
public:
    explicit WatchedOutput(py::object onRun) : onRun_(std::move(onRun)) {}
    const std::string& text() const { return text_; }

protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        xsputn(&ch, 1);
        return c;
    }

    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::size_t before = text_.size();
        text_.append(s, static_cast<std::size_t>(n));
        for (std::size_t at = before; at < text_.size(); ++at) {
            if (text_[at] != '\n') continue;
            announce(std::string_view(text_).substr(lineStart_, at - lineStart_));
            lineStart_ = at + 1;
        }
        return n;
    }

private:
    void announce(std::string_view line) {
        constexpr std::string_view kRun = "Run # ";
        if (onRun_.is_none() || line.substr(0, kRun.size()) != kRun) return;
        const int run = std::atoi(std::string(line.substr(kRun.size())).c_str());
        const py::gil_scoped_acquire gil;
        try {
            onRun_(run);
        } catch (py::error_already_set&) {
            // The progress display is no part of the experiment: it stops showing, the run goes on.
            onRun_ = py::none();
        }
    }

    py::object onRun_;
    std::string text_;
    std::size_t lineStart_ = 0;
};

// The individual the logs show for a run: its first solution when it was solved and one was
// kept, else its best.
struct ShownIndividual {
    bool present = false;
    Encoding encoding = Encoding::Unspecified;
    std::vector<std::int32_t> codes;
    std::vector<double> values;
    double fitness = 0;
};

ShownIndividual shownIndividual(const QRunSummary& run) {
    const QIndividual* individual = run.bestIndividual.get();
    if (run.evaluationsToSolution != 0 && run.solutionIndividual) individual = run.solutionIndividual.get();
    ShownIndividual shown;
    if (individual == nullptr) return shown;
    shown.fitness = individual->fitness;
    shown.encoding = individual->getEncoding();
    switch (shown.encoding) {
        case Encoding::Integer:
        case Encoding::String: shown.codes = codesOf(*individual); break;
        case Encoding::Real: shown.values = static_cast<const QRCIndividual&>(*individual).genes; break;
        default: return shown;  // a network: the logs show it
    }
    shown.present = true;
    return shown;
}

py::dict runExperimentFromPython(const std::string& configuration, int runs, const std::string& outputFolder,
                                 bool report, bool plot, int recordEvery, const std::string& iohFolder,
                                 const std::string& label, const std::string& checkpoint, int checkpointEvery,
                                 const std::string& resume, int threads,
                                 const std::vector<std::shared_ptr<ProblemDefinition>>& problems, py::object onRun) {
    CommandLine line;
    line.configuration = configuration;
    line.runs = runs;
    line.outputFolder = outputFolder;
    line.csv = true;
    line.report = report;
    line.plot = plot;
    line.recordEvery = recordEvery;
    line.iohFolder = iohFolder;
    line.label = label;
    line.checkpointFile = checkpoint;
    line.checkpointEvery = checkpointEvery;
    line.resumeFile = resume;
    line.threads = threads;

    RunContext context;
    context.stopWithinGeneration = checkpoint.empty();
    const ProblemTable table = tableWith(problems, &context);
    WatchedOutput output(std::move(onRun));
    std::ostream out(&output);
    std::ostringstream err;
    std::vector<ShownIndividual> shown;
    int status = 0;
    {
        const py::gil_scoped_release released;
        status = runExperiment(line, out, err, table, algorithmRows(), [&shown](const std::vector<QRunSummary>& finished) {
            shown.clear();
            for (const QRunSummary& run : finished) shown.push_back(shownIndividual(run));
        });
    }
    py::list best;
    py::list fitness;
    for (const ShownIndividual& individual : shown) {
        if (!individual.present) {
            best.append(py::none());
        } else if (individual.encoding == Encoding::Real) {
            best.append(py::array_t<double>(static_cast<py::ssize_t>(individual.values.size()), individual.values.data()));
        } else {
            best.append(py::array_t<std::int32_t>(static_cast<py::ssize_t>(individual.codes.size()), individual.codes.data()));
        }
        fitness.append(individual.fitness);
    }
    py::dict result;
    result["status"] = status;
    result["output"] = py::bytes(output.text()).attr("decode")("utf-8", "replace");
    result["messages"] = py::bytes(err.str()).attr("decode")("utf-8", "replace");
    result["best"] = best;
    result["best_fitness"] = fitness;
    result["error"] = context.error ? context.error : py::none();
    return result;
}

// ---- The configuration check and the vocabulary -----------------------------------------------

py::list checkFromPython(const std::string& text, long long runs, const std::string& folder,
                         const std::vector<std::shared_ptr<ProblemDefinition>>& problems) {
    const ProblemTable table = tableWith(problems, nullptr);
    std::vector<Finding> findings;
    try {
        findings = checkConfiguration(scanConfiguration(text), runs, folder, table);
    } catch (const Failure& failure) {
        findings.push_back(Finding{Severity::Error, 0, failure.plain()});
    }
    py::list list;
    for (const Finding& finding : findings) {
        list.append(py::make_tuple(finding.severity == Severity::Error ? "error" : "warning", finding.line, finding.message));
    }
    return list;
}

std::string parametersFromPython(const std::string& text, const std::string& folder,
                                 const std::vector<std::shared_ptr<ProblemDefinition>>& problems) {
    const ProblemTable table = tableWith(problems, nullptr);
    try {
        return parametersText(effectiveParameters(scanConfiguration(text), folder, table));
    } catch (const Failure& failure) {
        throw py::value_error(failure.plain());
    }
}

const char* kindWord(KeyKind kind) {
    switch (kind) {
        case KeyKind::Integer: return "integer";
        case KeyKind::Real: return "real";
        case KeyKind::Word: return "word";
        case KeyKind::Flag: return "flag";
        case KeyKind::Seed: return "seed";
        case KeyKind::Text: return "text";
    }
    return "text";
}

py::list keyRowsForPython() {
    const QEAParameters defaults;
    py::list rows;
    for (const KeyRow& row : keyRows()) {
        py::list words;
        for (std::string_view word : row.words()) words.append(std::string(word));
        py::dict entry;
        entry["key"] = std::string(row.key);
        entry["kind"] = kindWord(row.kind);
        entry["description"] = std::string(row.description);
        entry["words"] = words;
        entry["default"] = row.shown(defaults);
        rows.append(entry);
    }
    return rows;
}

py::list problemRowsForPython() {
    py::list rows;
    for (const ProblemRow& row : problemRows()) {
        py::list encodings;
        for (Encoding encoding : row.encodings) encodings.append(encodingWord(encoding));
        rows.append(py::make_tuple(std::string(row.word), std::string(row.description), encodings));
    }
    return rows;
}

py::list algorithmRowsForPython() {
    py::list rows;
    for (const AlgorithmRow& row : algorithmRows()) {
        rows.append(py::make_tuple(std::string(row.word), std::string(row.description)));
    }
    return rows;
}

}  // namespace

}  // namespace Valdrin::python

PYBIND11_MODULE(_core, module) {
    using namespace Valdrin::python;
    module.doc() = "Valdrin's engine: experiments, the configuration check and problems in Python (use the valdrin package)";

    py::class_<ProblemDefinition, std::shared_ptr<ProblemDefinition>>(module, "ProblemDefinition",
                                                           "A problem whose costs a Python function computes.")
        .def(py::init(&makeDefinition), py::arg("word"), py::arg("description"), py::arg("encodings"),
             py::arg("never_below_zero"), py::arg("whole_generations"), py::arg("decoded"), py::arg("settings"),
             py::arg("function"))
        .def_property_readonly("word", [](const ProblemDefinition& definition) { return definition.word; });

    module.def("run_experiment", &runExperimentFromPython, py::arg("configuration"), py::arg("runs"),
               py::arg("output_folder"), py::arg("report"), py::arg("plot"), py::arg("record_every"),
               py::arg("ioh_folder"), py::arg("label"), py::arg("checkpoint"), py::arg("checkpoint_every"),
               py::arg("resume"), py::arg("threads"), py::arg("problems"), py::arg("on_run"),
               "Runs the experiment of a configuration file as the program does, with runs.csv and "
               "generations.csv; returns its status, its standard output and messages, and each finished "
               "run's shown individual.");
    module.def("check_configuration", &checkFromPython, py::arg("text"), py::arg("runs"), py::arg("folder"),
               py::arg("problems"), "The configuration check's findings: (severity, line, message) tuples.");
    module.def("parameters_text", &parametersFromPython, py::arg("text"), py::arg("folder"), py::arg("problems"),
               "The parameters a run of the configuration would use, one 'key = value' line each.");
    module.def("key_rows", &keyRowsForPython, "Every configuration key: its name, kind, description, words and default.");
    module.def("problem_rows", &problemRowsForPython, "The built-in problems: (word, description, encodings).");
    module.def("algorithm_rows", &algorithmRowsForPython, "The algorithms: (word, description).");
    module.def("version", &Valdrin::programVersion, "Valdrin's version.");
}
