// QSummaryProcessor: per-generation averages over runs, run times, convergence and solutions,
// written to "summary.log", with the solving and the best individuals in their own files.
#include "statistics/summary_processor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "core/failure.h"
#include "core/number_text.h"
#include "core/output_file.h"
#include "representation/individual.h"
#include "core/mean_variance.h"

namespace Valdrin {

namespace {

constexpr const char* kLongRule = "----------------------------------------------------\n";  // 52
constexpr const char* kShortRule = "------------------\n";                                   // 18
constexpr const char* kSolutionsRule = "----------------------------\n";                     // 28
constexpr int kLastGenerationsSpan = 100;

// Mean and population variance ((sum x^2) / n - mean^2) over the values gathered so far.
class PopulationSpread {
public:
    void add(double x) {
        sum_ += x;
        sumOfSquares_ += x * x;
        ++count_;
    }
    // Integers are squared exactly in 64 bits before the square joins the double sum.
    void add(int x) {
        sum_ += static_cast<double>(x);
        sumOfSquares_ += static_cast<double>(static_cast<std::int64_t>(x) * x);
        ++count_;
    }
    int count() const { return count_; }
    double mean() const { return sum_ / count_; }
    double variance() const {
        const double m = mean();
        return sumOfSquares_ / count_ - m * m;
    }

private:
    double sum_ = 0.0;
    double sumOfSquares_ = 0.0;
    int count_ = 0;
};


// Columns of the per-generation table: the means over runs of the four fitness series (mean,
// variance, best, worst), then the spreads over runs of the same four.
constexpr int kSeriesNumber = 4;
constexpr int kColumnsNumber = 2 * kSeriesNumber;
constexpr int kBestColumn = 2;

// The averages over runs for the generations some run reached (a prefix of the configured ones);
// every later generation holds 0 in every column, as the report writes it.
struct GenerationTable {
    std::array<std::vector<double>, kColumnsNumber> columns;
    std::vector<double> populationSizes;

    double value(int column, int g) const { return recordedValue(columns[static_cast<std::size_t>(column)], g); }
    double populationSize(int g) const { return recordedValue(populationSizes, g); }
};

GenerationTable averageOverRuns(const std::vector<QRunSummary>& runs, int generations) {
    int reachedByAny = 0;
    for (const QRunSummary& run : runs) reachedByAny = std::max(reachedByAny, run.generationsDone);
    const int stored = std::min(generations, reachedByAny);
    GenerationTable table;
    for (auto& column : table.columns) column.assign(static_cast<std::size_t>(stored), 0.0);
    table.populationSizes.assign(static_cast<std::size_t>(stored), 0.0);
    for (int g = 0; g < stored; ++g) {
        std::array<double, kSeriesNumber> sums{};
        std::array<double, kSeriesNumber> sumsOfSquares{};
        double sizesSum = 0.0;
        int reached = 0;
        for (const QRunSummary& run : runs) {
            if (run.generationsDone <= g) continue;
            ++reached;
            const std::array<double, kSeriesNumber> values{
                recordedValue(run.meanFitness, g), recordedValue(run.fitnessVariance, g), recordedValue(run.bestFitness, g),
                recordedValue(run.worstFitness, g)};
            for (int k = 0; k < kSeriesNumber; ++k) {
                sums[k] += values[k];
                sumsOfSquares[k] += values[k] * values[k];
            }
            sizesSum += recordedValue(run.populationSizes, g);
        }
        if (reached == 0) continue;
        const auto at = static_cast<std::size_t>(g);
        for (int k = 0; k < kSeriesNumber; ++k) {
            const double mean = sums[k] / reached;
            table.columns[k][at] = mean;
            table.columns[k + kSeriesNumber][at] = sumsOfSquares[k] / reached - mean * mean;
        }
        table.populationSizes[at] = sizesSum / reached;
    }
    return table;
}

void writeGenerationTable(const GenerationTable& table, int generations, std::ostream& out) {
    out << "\n#\tMeans\tDeviations\tBests\tWorsts\tDevMean\tDevDev\tDevBests\tDevWorsts:\n" << kLongRule;
    for (int g = 0; g < generations; ++g) {
        out << g + 1 << ":";
        for (int k = 0; k < kColumnsNumber; ++k) {
            out << "\t";
            writeNumber(out, table.value(k, g));
        }
        out << "\n";
    }

    // Unreached generations take part with their 0; with no generations at all the minimum is 0.
    const std::vector<double>& bests = table.columns[kBestColumn];
    double minimum = bests.empty() ? 0.0 : bests.front();
    for (double best : bests) {
        if (best < minimum) minimum = best;
    }
    if (static_cast<int>(bests.size()) < generations && 0.0 < minimum) minimum = 0.0;
    out << "Min averaged best:\t" << minimum << "\n";

    if (generations > kLastGenerationsSpan) {
        out << "\nAverage values over last 100 generations:\n"
            << "Mean\tDeviation\tBest\tWorst\tdevMean\tdevDev\tdevBest\tdevWorst:\n"
            << kLongRule;
        for (int k = 0; k < kColumnsNumber; ++k) {
            double sum = 0.0;
            for (int g = generations - kLastGenerationsSpan; g < generations; ++g) {
                sum += table.value(k, g);
            }
            out << (k == 0 ? "" : "\t") << sum / 100.0;
        }
        out << "\n";
    }

    out << "\n#\tPopulation size:\n" << kLongRule;
    for (int g = 0; g < generations; ++g) {
        out << g + 1 << ":\t";
        writeNumber(out, table.populationSize(g));
        out << "\n";
    }
    // The unreached generations' zeros add nothing to the sums; they count in n.
    const auto [sizeMean, sizeVariance] =
        meanAndVariance(table.populationSizes, static_cast<std::size_t>(std::max(generations, 0)));
    out << "\nMean:\t" << sizeMean << "\n" << "Deviation:\t" << sizeVariance << "\n";
}

void writeTimes(const std::vector<QRunSummary>& runs, std::ostream& out) {
    std::vector<double> durations;
    durations.reserve(runs.size());
    for (const QRunSummary& run : runs) durations.push_back(run.duration);
    const auto [mean, variance] = meanAndVariance(durations);
    out << "\n#\tTimes:\n" << kShortRule;
    for (std::size_t i = 0; i < durations.size(); ++i) out << i + 1 << ":\t" << durations[i] << "\n";
    out << "\nMean:\t" << mean << "\n" << "Deviation:\t" << variance << "\n";
}

void writeConvergence(const std::vector<QRunSummary>& runs, std::ostream& out) {
    std::vector<int> generations;
    PopulationSpread spread;
    for (const QRunSummary& run : runs) {
        if (run.convergenceGeneration == 0) continue;
        generations.push_back(run.convergenceGeneration);
        spread.add(run.convergenceGeneration);
    }
    if (generations.empty()) {
        out << "\nNo convergence\n";
        return;
    }
    out << "\n#\tConvergence times:\n" << kShortRule;
    for (std::size_t k = 0; k < generations.size(); ++k) out << k + 1 << ":\t" << generations[k] << "\n";
    out << "\nMean:\t" << spread.mean() << "\n" << "Deviation:\t" << spread.variance() << "\n";
}

bool isSolved(const QRunSummary& run) { return run.evaluationsToSolution != 0; }

void writeSolutions(const std::vector<QRunSummary>& runs, std::ostream& out) {
    PopulationSpread times;
    PopulationSpread generations;
    PopulationSpread evaluations;
    for (const QRunSummary& run : runs) {
        if (!isSolved(run)) continue;
        times.add(run.timeToSolution);
        generations.add(run.generationOfSolution);
        evaluations.add(run.evaluationsToSolution);
    }
    if (times.count() == 0) {
        out << "\nNo solution(s) found\n\n";
        return;
    }
    out << "\nTimes to find a solution:\n" << "\n#\tTime\tGenerations\tFE\n" << kSolutionsRule;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const QRunSummary& run = runs[i];
        out << i + 1 << ":\t" << run.timeToSolution << "\t" << run.generationOfSolution << "\t"
            << run.evaluationsToSolution << "\n";
    }
    out << "\nMean time:\t" << times.mean() << "\n"
        << "Time deviation:\t" << times.variance() << "\n"
        << "\nMean generation:\t" << generations.mean() << "\n"
        << "Generation deviation:\t" << generations.variance() << "\n"
        << "\nMean FE count:\t" << evaluations.mean() << "\n"
        << "FE count deviation:\t" << evaluations.variance() << "\n"
        << "\n";
}

// A run may lack the individual asked for (a solved run whose solving individual was not kept
// falls back on its best one); a missing individual gets a line of its own, never a crash.
void printIndividual(const QIndividual* individual, std::ostream& out) {
    if (individual != nullptr) {
        individual->print(out);
    } else {
        out << "(no individual recorded)\n";
    }
}

}  // namespace

int QSummaryProcessor::printParameters(std::ostream& out) const {
    out << "EA parameters:\n" << "------------------------------\n" << "Encoding type:\t";
    switch (params->encoding) {
        case Encoding::String:
            out << "[string]\n" << "Arity:\t" << params->arity << "\n";
            break;
        case Encoding::Integer:
            out << "[integer]\n"
                << "Gene size (bits):\t" << params->geneSize << "\n"
                << "Gene offset:\t" << params->geneOffset << "\n"
                << "Gene precision:\t" << params->genePrecision << "\n";
            break;
        default:
            out << "[unknown]\n";
    }
    out << "Genes number:\t" << params->chromosomeLength << "\n";

    out << "Selection operator:\t";
    switch (params->selectionType) {
        case Selection::Neutral: out << "neutral\n"; break;
        case Selection::Tournament: out << "tournament\n" << "Tournament size:\t" << params->tournamentSize << "\n"; break;
        default: out << "[unknown]\n";
    }

    out << "Crossover operator:\t";
    switch (params->xType) {
        case Crossover::OnePoint: out << "1-point\n"; break;
        case Crossover::TwoPoint: out << "2-point\n"; break;
        case Crossover::Uniform: out << "uniform\n"; break;
        default: out << "[unknown]\n";
    }
    out << "Crossover probability:\t" << params->xRate << "\n";

    out << "Mutation operator:\t";
    switch (params->mutationType) {
        case Mutation::BitFlip: out << "bit-flip\n"; break;
        case Mutation::RandomFlip: out << "random-flip\n"; break;
        default: out << "[unknown]\n";
    }
    out << "Mutation probability:\t" << params->mRate << "\n";

    out << "Population sizing operator:\t";
    switch (params->populationSizerType) {
        case Sizer::Constant: out << "Constant\n"; break;
        case Sizer::Simple: out << "Simple adaptive\n"; break;
        case Sizer::Steady:
            out << "Steady\n"
                << "Population sizing step:\t" << params->sizingStep << "\n"
                << "Population sizing direction:\t" << params->sizingDirection << "\n"
                << "\n";
            break;
        default: out << "[unknown]\n";
    }
    out << "\n";
    return 1;
}

int QSummaryProcessor::addSummary(const QRunSummary& record) {
    runs.push_back(record);
    return summariesCount();
}

int QSummaryProcessor::summariesCount() const { return static_cast<int>(runs.size()); }

int QSummaryProcessor::operate() {
    if (runs.empty()) {
        engine_->err() << "\n\n[QSummaryProcessor::operate] error:\n"
                  << "\tNo data to process! (summaries number = " << runs.size() << ")\n\n";
        return 0;
    }
    const int generations = params->generationsNumber > 0 ? params->generationsNumber : 0;
    const GenerationTable table = averageOverRuns(runs, generations);

    int solved = 0;
    for (const QRunSummary& run : runs) solved += isSolved(run) ? 1 : 0;
    const int total = summariesCount();

    {
        AtomicOutputFile summary(engine_->files.placed("summary.log"));
        dumpParameters(*params, algorithmName, problemName, summary);
        if (runsAsked > total) summary << "Report covers:\t" << runsCovered(total, runsAsked) << "\n";
        writeGenerationTable(table, generations, summary);
        writeTimes(runs, summary);
        writeConvergence(runs, summary);
        writeSolutions(runs, summary);
        if (algorithmReport) algorithmReport(runs, summary);
        summary.commit();
    }

    if (solved > 0) {
        AtomicOutputFile solutions(engine_->files.placed("solution.log"));
        dumpParameters(*params, algorithmName, problemName, solutions);
        solutions << "\nSolutions found:\t" << solved << "\n";
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const QRunSummary& run = runs[i];
            if (!isSolved(run)) continue;
            solutions << "\n> Run #" << i + 1 << " solution:\n";
            printIndividual(run.solutionIndividual ? run.solutionIndividual.get() : run.bestIndividual.get(),
                            solutions);
        }
        solutions.commit();
    }

    if (solved < total) {
        AtomicOutputFile candidates(engine_->files.placed("candidate.log"));
        dumpParameters(*params, algorithmName, problemName, candidates);
        candidates << "\nCandidate-solutions found:\t" << total - solved << "\n";
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const QRunSummary& run = runs[i];
            if (isSolved(run)) continue;
            candidates << "\n> Run #" << i + 1 << " candidate-solution:\n";
            printIndividual(run.bestIndividual.get(), candidates);
        }
        candidates.commit();
    }
    return 1;
}

}  // namespace Valdrin
