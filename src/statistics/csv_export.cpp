// The run records as two comma-separated tables: numbers only, so no field ever needs quoting;
// lines end with a line feed.
#include "statistics/csv_export.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "core/failure.h"
#include "core/output_file.h"
#include "representation/individual.h"

namespace Valdrin {

namespace {

bool isSolved(const QRunSummary& run) { return run.evaluationsToSolution != 0; }

// The individual a run is judged by: its first solution when it was solved and one was kept,
// else its best; null when that is not a network.
const QIndividual* examinedNetwork(const QRunSummary& run) {
    const QIndividual* individual = run.bestIndividual.get();
    if (isSolved(run) && run.solutionIndividual) individual = run.solutionIndividual.get();
    if (individual == nullptr || individual->getEncoding() != Encoding::Network) return nullptr;
    return individual;
}

bool holdsNetworks(const std::vector<QRunSummary>& runs, const QEAParameters& params) {
    if (params.encoding == Encoding::Network) return true;
    for (const QRunSummary& run : runs) {
        if (examinedNetwork(run) != nullptr) return true;
    }
    return false;
}

void writeGenerations(const std::vector<QRunSummary>& runs, int recordEvery, std::ostream& out) {
    out << "run,generation,evaluations,best_fitness,mean_fitness,worst_fitness,fitness_variance,population_size,"
           "solved\n";
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const QRunSummary& run = runs[r];
        const int reached = generationsReached(run);
        for (int g = 0; g < reached; ++g) {
            if (!keptGeneration(g, reached, recordEvery)) continue;
            const auto at = static_cast<std::size_t>(g);
            out << r + 1 << ',' << g + 1 << ',';
            if (at < run.evaluationsByGeneration.size()) out << run.evaluationsByGeneration[at];
            for (const std::vector<double>* series :
                 {&run.bestFitness, &run.meanFitness, &run.worstFitness, &run.fitnessVariance, &run.populationSizes}) {
                out << ',';
                writeShortestNumber(out, recordedValue(*series, g));
            }
            out << ',' << (isSolved(run) && run.generationOfSolution <= g ? 1 : 0) << '\n';
        }
    }
}

void writeRuns(const std::vector<QRunSummary>& runs, int runsAsked, bool networks, std::ostream& out) {
    out << "run,generations,evaluations,duration_s,solved,time_to_solution_s,generations_to_solution,"
           "evaluations_to_solution,convergence_generation,final_best_fitness,final_worst_fitness"
        << (networks ? ",network_nodes" : "")
        << ",best_so_far_fitness,best_so_far_generation,best_so_far_evaluations,runs_asked"
        << (networks ? ",network_fitness" : "") << '\n';
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const QRunSummary& run = runs[r];
        const bool solved = isSolved(run);
        out << r + 1 << ',' << run.generationsDone << ',' << run.evaluationsCount << ',';
        writeShortestNumber(out, run.duration);
        out << ',' << (solved ? 1 : 0) << ',';
        if (solved) {
            writeShortestNumber(out, run.timeToSolution);
            out << ',' << run.generationOfSolution << ',' << run.evaluationsToSolution;
        } else {
            out << ",,";
        }
        out << ',';
        if (run.convergenceGeneration != 0) out << run.convergenceGeneration;
        out << ',';
        writeShortestNumber(out, finalBest(run));
        out << ',';
        writeShortestNumber(out, finalWorst(run));
        if (networks) {
            out << ',';
            if (const QIndividual* network = examinedNetwork(run)) out << network->getGenesNumber();
        }
        const BestSoFar best = bestSoFar(run);
        out << ',';
        writeShortestNumber(out, best.fitness);
        out << ',';
        if (best.generation != 0) out << best.generation;
        out << ',';
        if (best.evaluation != 0) out << best.evaluation;
        out << ',' << runsAsked;
        if (networks) {
            // The fitness of the network network_nodes counts, as solution.log or candidate.log
            // prints it.
            out << ',';
            if (const QIndividual* network = examinedNetwork(run)) writeShortestNumber(out, network->fitness);
        }
        out << '\n';
    }
}

}  // namespace

void writeShortestNumber(std::ostream& out, double value) {
    if (std::isnan(value)) {
        out << "nan";
    } else if (std::isinf(value)) {
        out << (value < 0 ? "-inf" : "inf");
    } else {
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, value);
        out.write(text, written.ptr - text);
    }
}

std::string resultsFile(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : (std::filesystem::path(folder) / name).string();
}

void makeResultsFolder(const std::string& folder) {
    if (folder.empty()) return;
    const std::string& path = folder;
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) failPlainly(cannotWrite(path, error.value()));
    if (!std::filesystem::is_directory(path)) failPlainly("cannot write " + path + ": it is not a folder");
}

void writeCsvFiles(const std::vector<QRunSummary>& runs, const QEAParameters& params, int runsAsked,
                   const std::string& folder, int recordEvery) {
    makeResultsFolder(folder);
    {
        AtomicOutputFile generations(resultsFile(folder, "generations.csv"));
        writeGenerations(runs, recordEvery, generations);
        generations.commit();
    }
    AtomicOutputFile perRun(resultsFile(folder, "runs.csv"));
    writeRuns(runs, runsAsked, holdsNetworks(runs, params), perRun);
    perRun.commit();
}

}  // namespace Valdrin
