// The IOHprofiler meta-data and data files of an experiment's runs.
#include "statistics/ioh_export.h"

#include <cctype>
#include <ostream>

#include "core/output_file.h"
#include "statistics/csv_export.h"

namespace Valdrin {

namespace {

constexpr const char* kSuite = "valdrin";
constexpr const char* kSeparator = "\"function evaluation\" \"best-so-far f(x)\"";

bool isNameCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; }

// The problem's name as a part of a file name: letters, digits and hyphens, every other run of
// characters one hyphen, none at either end.
std::string fileNamePart(const std::string& name) {
    std::string part;
    bool pending = false;
    for (char c : name) {
        if (!isNameCharacter(c)) {
            pending = true;
            continue;
        }
        if (pending && !part.empty()) part += '-';
        pending = false;
        part += c;
    }
    return part;
}

// A name as a quoted value of the meta-data's first line, whose reader splits the line at commas
// and ends a value at a double quote: those and the control characters (a printed name's line
// breaks) become spaces, runs of spaces one space, none at either end.
std::string quotedValue(const std::string& name) {
    std::string value;
    bool pending = false;
    for (char c : name) {
        if (c == ' ' || c == '"' || c == ',' || std::iscntrl(static_cast<unsigned char>(c)) != 0) {
            pending = true;
            continue;
        }
        if (pending && !value.empty()) value += ' ';
        pending = false;
        value += c;
    }
    return '"' + value + '"';
}

bool isSolved(const QRunSummary& run) { return run.evaluationsToSolution != 0; }

void writeRecord(std::ostream& out, int evaluation, double fitness) {
    out << evaluation << ' ';
    writeShortestNumber(out, fitness);
    out << '\n';
}

void writeData(const std::vector<QRunSummary>& runs, std::ostream& out) {
    for (const QRunSummary& run : runs) {
        out << kSeparator << '\n';
        for (const FitnessImprovement& improvement : run.improvements) {
            writeRecord(out, improvement.evaluation, improvement.fitness);
        }
        // An unsolved run's budget: the evaluations it spent without reaching the error level.
        const int lastImprovement = run.improvements.empty() ? 0 : run.improvements.back().evaluation;
        if (!isSolved(run) && run.evaluationsCount > lastImprovement) {
            writeRecord(out, run.evaluationsCount, bestSoFar(run).fitness);
        }
    }
}

void writeKeyParameters(const QEAParameters& params, std::ostream& out) {
    out << "% populationSize = " << params.populationSize << ", generationsNumber = " << params.generationsNumber
        << ", errorLevel = ";
    writeShortestNumber(out, params.errorLevel);
    out << ", encoding ID = " << number(params.encoding) << ", selectionType ID = " << number(params.selectionType)
        << ", tournamentSize = " << params.tournamentSize << ", xType ID = " << number(params.xType) << ", xRate = ";
    writeShortestNumber(out, params.xRate);
    out << ", mutationType ID = " << number(params.mutationType) << ", mRate = ";
    writeShortestNumber(out, params.mRate);
    out << ", eliteCount = " << params.eliteCount << ", nichingType ID = " << number(params.nichingType)
        << ", populationSizerType ID = " << number(params.populationSizerType) << ", RNG seed = " << params.rngSeed
        << "\n";
}

}  // namespace

void writeIohProfilerData(const std::vector<QRunSummary>& runs, const QEAParameters& params, int functionId,
                          const std::string& algorithmName, const std::string& problemName, const std::string& folder) {
    std::string function = "f";
    function += std::to_string(functionId);
    const std::string problemPart = fileNamePart(problemName);
    const std::string suffix = problemPart.empty() ? "" : "_" + problemPart;
    const std::string dataFolder = "data_" + function + suffix;
    // The meta-data names the data file by its path from the meta-data's folder, with "/".
    const std::string dataPath = dataFolder + "/IOHprofiler_" + function + "_DIM" + std::to_string(params.chromosomeLength) + ".dat";

    makeResultsFolder(resultsFile(folder, dataFolder));
    {
        AtomicOutputFile data(resultsFile(folder, dataPath));
        writeData(runs, data);
        data.commit();
    }

    AtomicOutputFile info(resultsFile(folder, "IOHprofiler_" + function + suffix + ".info"));
    info << "suite = \"" << kSuite << "\", funcId = " << functionId << ", DIM = " << params.chromosomeLength
         << ", algId = " << quotedValue(algorithmName) << ", funcName = " << quotedValue(problemName)
         << ", maximization = F\n";
    writeKeyParameters(params, info);
    info << dataPath;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        info << ", " << r + 1 << ':' << runs[r].evaluationsCount << '|';
        writeShortestNumber(info, bestSoFar(runs[r]).fitness);
    }
    info << '\n';
    info.commit();
}

}  // namespace Valdrin
