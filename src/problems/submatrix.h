// QSubmatrixTask: choosing a subset of the rows of a 0/1 matrix (diagnostic tests over features)
// read from "matrix.txt"; the chromosome is a 0/1 mask over the rows or a list of row indices.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/output_file.h"
#include "problems/problem.h"

namespace Valdrin {

// The task's data as a file gives them.
struct SubmatrixData {
    int rows = 0;
    int columns = 0;
    std::vector<std::vector<int>> cells;
    std::vector<double> weights;
    std::vector<double> costs;
    std::vector<double> harms;
    int target = 0;
};

// Reads the task's data from a whitespace-separated text file; a missing file, a value that
// cannot be read or an impossible size ends with a Failure whose message names what is wrong.
// Writes nothing.
SubmatrixData readSubmatrixData(const std::string& fileName);

class QSubmatrixTask final : public QProblem {
public:
    int columnsNumber = 0;
    int rowsNumber = 0;
    int targetRows = 0;
    double totalWeight = 0.0;
    double totalCost = 0.0;
    double totalHarm = 0.0;
    std::vector<std::vector<int>> matrix;
    std::vector<double> columnWeights;
    std::vector<double> columnCosts;
    std::vector<double> columnHarms;
    std::vector<double> rowWeights;
    std::vector<double> rowCosts;
    std::vector<double> rowHarms;

    // Reads "matrix.txt" from the working directory (ending the process when it cannot), then
    // opens "submatrix.log" in the engine's folder.
    explicit QSubmatrixTask(Engine& engine);

    // Mask form: chromosomeLength = rows. List form (permutation): arity = rows and
    // chromosomeLength = targetRows. Both: mRate = 0.7 / chromosomeLength, unitsRatio = target/rows.
    int adjustParameters(QEAParameters* params) override;
    int evaluateIndividual(QIndividual& individual) override;
    // A copy of the task's data that evaluates as the task does and writes nothing.
    std::unique_ptr<QProblem> threadCopy() const override;
    int printName(std::ostream& out) const override;
    std::vector<std::string> outputFiles() const override { return {"submatrix.log"}; }
    std::vector<std::string> inputFiles() const override { return {"matrix.txt"}; }
    void verifyOutputs() override { log_.verify(); }

    // Loads the task from a whitespace-separated text file; a missing file, a value that cannot
    // be read or an impossible size ends the process with a message naming what is wrong.
    int readDataFromFile(const std::string& fileName);
    // Loads the task from memory: rows of the matrix, then {column weights, column costs,
    // column harms, {target}}. Returns 0 (task unchanged) when the data cannot form a task.
    int setData(const std::vector<std::vector<int>>& rows, const std::vector<std::vector<double>>& data);
    int getRowsNumber() const { return rowsNumber; }
    // Writes the selected rows and their totals to "submatrix.log".
    int reportSolution(const QIndividual& individual);

private:
    // threadCopy's copy: the data, without the log.
    QSubmatrixTask(const QSubmatrixTask& task, Engine& engine);

    OutputFile log_;
    // Reused by every evaluation so that the hot path does not allocate.
    std::vector<int> decoded_;
    std::vector<int> selected_;
    std::vector<int> commonColumns_;
    std::vector<int> coveredColumns_;

    void computeDerivedValues();
    // Fills selected_ with the rows the decoded chromosome selects (list positions in order,
    // repeats kept); stops the process when a gene names no row of the matrix.
    void collectSelectedRows(const char* header);
};

}  // namespace Valdrin
