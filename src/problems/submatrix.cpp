// The submatrix formation task: loading its data, the fitness of a row selection and its report.
#include "problems/submatrix.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <fstream>
#include <ostream>
#include <limits>
#include <sstream>
#include <system_error>
#include <type_traits>
#include <utility>

namespace Valdrin {

namespace {

constexpr const char* kReadHeader = "\n\n[QSubmatrixTask::readDataFromFile] error:\n";
constexpr const char* kAdjustHeader = "\n\n[QSubmatrixTask::adjustParameters] error:\n";
constexpr const char* kSetDataHeader = "\n\n[QSubmatrixTask::setData] error:\n";
constexpr const char* kEvaluateHeader = "\n\n[QSubmatrixTask::evaluatePopulation] error:\n";
constexpr const char* kReportHeader = "\n\n[QSubmatrixTask::reportSolution] error:\n";

// Reads whitespace-separated numbers and insists that every token is a number as a whole, so
// that a stray letter or a truncated file is reported where it happens instead of silently
// leaving the rest of the task at zero.
class NumberReader {
public:
    NumberReader(std::istream& in, const std::string& fileName) : in_(in), fileName_(fileName) {}

    template <typename Number>
    Number read(const std::string& what) {
        std::string token;
        if (!(in_ >> token)) {
            fail(std::string(kReadHeader) + "\tCan't read " + what + ": " + fileName_ +
                  " ends before it\n\n");
        }
        Number value{};
        const char* first = token.data();
        const char* last = token.data() + token.size();
        if (token.size() > 1 && *first == '+' && first[1] != '-') ++first;
        const auto [end, error] = std::from_chars(first, last, value);
        bool valid = error == std::errc() && end == last;
        if constexpr (std::is_floating_point_v<Number>) valid = valid && std::isfinite(value);
        if (!valid) {
            fail(std::string(kReadHeader) + "\tCan't read " + what + " from " + fileName_ + " (found \"" +
                  token + "\")\n\n");
        }
        return value;
    }

private:
    std::istream& in_;
    const std::string& fileName_;
};

std::string cellName(std::size_t row, std::size_t column) {
    return "row " + std::to_string(row + 1) + ", column " + std::to_string(column + 1);
}

int countSet(const std::vector<int>& flags) {
    int count = 0;
    for (int flag : flags) count += flag == 1 ? 1 : 0;
    return count;
}

// The largest sum, counted without signs, that the row weights, costs or harms may reach: the
// fitness subtracts such sums from each other and scales them by up to 20, so this leaves it
// room to stay a finite number.
constexpr double kLargestSum = std::numeric_limits<double>::max() / 64;

std::string numberText(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// One kind of column value as the messages name it.
struct ValueKind {
    const char* singular;
    const char* plural;
};
constexpr ValueKind kWeights{"weight", "weights"};
constexpr ValueKind kCosts{"cost", "costs"};
constexpr ValueKind kHarms{"harm", "harms"};

// Why the values of one kind cannot give a finite fitness, or an empty text when they can: a
// value that is not a finite number, or a row, or all rows together, whose products of matrix
// cell and column value add up (without their signs) beyond kLargestSum. Rows are read up to
// the given number of columns; source names where the data came from (" of matrix.txt").
std::string unusableValues(const std::vector<std::vector<int>>& rows, const std::vector<double>& values,
                           std::size_t columns, ValueKind kind, const std::string& source) {
    for (std::size_t j = 0; j < columns; ++j) {
        if (!std::isfinite(values[j])) {
            return std::string("The ") + kind.singular + " of column " + std::to_string(j + 1) + source +
                   " is not a finite number (" + numberText(values[j]) + ")";
        }
    }
    const std::string tooLarge = " add up to more than " + numberText(kLargestSum) +
                                 " (counted without signs): the fitness would not stay a number";
    double total = 0.0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        double row = 0.0;
        for (std::size_t j = 0; j < columns && j < rows[i].size(); ++j) row += std::fabs(rows[i][j] * values[j]);
        if (!(row <= kLargestSum)) {
            return std::string("The ") + kind.plural + " in row " + std::to_string(i + 1) + source + tooLarge;
        }
        total += row;
    }
    if (!(total <= kLargestSum)) return std::string("The ") + kind.plural + " of all rows" + source + tooLarge;
    return {};
}

// The first of the three kinds that cannot give a finite fitness, as unusableValues words it.
std::string unusableData(const std::vector<std::vector<int>>& rows, const std::vector<double>& weights,
                         const std::vector<double>& costs, const std::vector<double>& harms, std::size_t columns,
                         const std::string& source) {
    std::string problem = unusableValues(rows, weights, columns, kWeights, source);
    if (problem.empty()) problem = unusableValues(rows, costs, columns, kCosts, source);
    if (problem.empty()) problem = unusableValues(rows, harms, columns, kHarms, source);
    return problem;
}

// The largest row sum of one kind, without its sign.
double largestMagnitude(const std::vector<double>& rowSums) {
    double largest = 0.0;
    for (double sum : rowSums) largest = std::max(largest, std::fabs(sum));
    return largest;
}

}  // namespace

QSubmatrixTask::QSubmatrixTask(Engine& engine) : QProblem(engine) {
    readDataFromFile("matrix.txt");
    log_.openFile(engine.files, "submatrix.log");
}

QSubmatrixTask::QSubmatrixTask(const QSubmatrixTask& task, Engine& engine)
    : QProblem(engine),
      columnsNumber(task.columnsNumber),
      rowsNumber(task.rowsNumber),
      targetRows(task.targetRows),
      totalWeight(task.totalWeight),
      totalCost(task.totalCost),
      totalHarm(task.totalHarm),
      matrix(task.matrix),
      columnWeights(task.columnWeights),
      columnCosts(task.columnCosts),
      columnHarms(task.columnHarms),
      rowWeights(task.rowWeights),
      rowCosts(task.rowCosts),
      rowHarms(task.rowHarms) {
    _params = task._params;
}

// The evaluation reads the task's data and the record and writes only the fitness and the scratch
// vectors (a chromosome it cannot read gets its message from the calling thread, in its turn).
std::unique_ptr<QProblem> QSubmatrixTask::threadCopy() const {
    return std::unique_ptr<QProblem>(new QSubmatrixTask(*this, engine()));
}

int QSubmatrixTask::adjustParameters(QEAParameters* params) {
    int length = 0;
    if (params->permutation) {
        // A target below one row would give the list no genes (or a negative length) and the
        // mutation rate 0.7 / 0.
        if (targetRows < 1) {
            fail(std::string(kAdjustHeader) + "\tA list of rows needs a target of at least one row (target = " +
                  std::to_string(targetRows) + ")\n\n");
        }
        // A list may name its heaviest row at every position.
        const std::array<std::pair<const std::vector<double>*, ValueKind>, 3> kinds = {
            {{&rowWeights, kWeights}, {&rowCosts, kCosts}, {&rowHarms, kHarms}}};
        for (const auto& [sums, kind] : kinds) {
            const double largest = largestMagnitude(*sums);
            if (!(static_cast<double>(targetRows) * largest <= kLargestSum)) {
                const std::string count = std::to_string(targetRows);
                fail(std::string(kAdjustHeader) + "\tThe " + kind.plural + " of a list of " + count +
                     " rows could add up to more than " + numberText(kLargestSum) + " (" + count +
                     " times the largest row sum, " + numberText(largest) +
                     "): the fitness would not stay a number\n\n");
            }
        }
        params->arity = rowsNumber;
        params->chromosomeLength = targetRows;
        length = targetRows;
    } else {
        params->chromosomeLength = rowsNumber;
        length = getRowsNumber();
    }
    params->mRate = 0.7 / length;
    params->unitsRatio = static_cast<double>(targetRows) / rowsNumber;
    return 1;
}

SubmatrixData readSubmatrixData(const std::string& fileName) {
    std::ifstream in(fileName);
    if (!in.is_open()) {
        fail("[QSubmatrixTask::readDataFromFile] error:\n\tCan't open input file (" + fileName + ") for reading\n");
    }
    NumberReader reader(in, fileName);
    const int rows = reader.read<int>("the number of rows");
    if (rows < 1) {
        fail(std::string(kReadHeader) + "\tThe number of rows must be positive (" + fileName + " gives " +
              std::to_string(rows) + ")\n\n");
    }
    const int columns = reader.read<int>("the number of columns");
    if (columns < 1) {
        fail(std::string(kReadHeader) + "\tThe number of columns must be positive (" + fileName +
              " gives " + std::to_string(columns) + ")\n\n");
    }

    // Rows grow as values arrive, so an absurd size in a short file ends in a message about the
    // first missing value rather than in an attempt to reserve memory for it.
    std::vector<std::vector<int>> cells;
    for (std::size_t i = 0; i < static_cast<std::size_t>(rows); ++i) {
        std::vector<int> row;
        for (std::size_t j = 0; j < static_cast<std::size_t>(columns); ++j) {
            row.push_back(reader.read<int>("the matrix value in " + cellName(i, j)));
        }
        cells.push_back(std::move(row));
    }
    std::vector<double> weights, costs, harms;
    const auto readColumnValues = [&](std::vector<double>& values, const char* what) {
        for (int j = 0; j < columns; ++j) {
            values.push_back(reader.read<double>(std::string("the ") + what + " of column " + std::to_string(j + 1)));
        }
    };
    readColumnValues(weights, "weight");
    readColumnValues(costs, "cost");
    readColumnValues(harms, "harm");
    // Any target is kept here: the mask form copes with every value, and the list form, which
    // needs at least one row, checks it when it sizes the chromosome.
    const int target = reader.read<int>("the target number of rows");
    const std::string unusable =
        unusableData(cells, weights, costs, harms, static_cast<std::size_t>(columns), " of " + fileName);
    if (!unusable.empty()) fail(std::string(kReadHeader) + "\t" + unusable + "\n\n");

    return {rows, columns, std::move(cells), std::move(weights), std::move(costs), std::move(harms), target};
}

int QSubmatrixTask::readDataFromFile(const std::string& fileName) {
    SubmatrixData data = readSubmatrixData(fileName);
    rowsNumber = data.rows;
    columnsNumber = data.columns;
    matrix = std::move(data.cells);
    columnWeights = std::move(data.weights);
    columnCosts = std::move(data.costs);
    columnHarms = std::move(data.harms);
    targetRows = data.target;
    computeDerivedValues();
    return 1;
}

int QSubmatrixTask::setData(const std::vector<std::vector<int>>& rows,
                            const std::vector<std::vector<double>>& data) {
    if (rows.empty()) return 0;
    const std::size_t columns = rows.front().size();
    const auto reject = [this](const std::string& text) {
        engine().err() << kSetDataHeader << '\t' << text << "\n\n";
        return 0;
    };
    if (columns == 0) return reject("The first row of the matrix is empty");
    if (data.size() < 4 || data[0].size() < columns || data[1].size() < columns || data[2].size() < columns ||
        data[3].empty()) {
        return reject("Expected the weights, costs and harms of " + std::to_string(columns) +
                      " columns, then the target number of rows");
    }
    // The target is truncated to an int, which only a finite value inside the int range allows.
    const double target = data[3][0];
    if (!(target > static_cast<double>(INT_MIN) - 1.0 && target < static_cast<double>(INT_MAX) + 1.0)) {
        std::ostringstream text;
        text << "The target number of rows (" << target << ") lies outside the integer range";
        return reject(text.str());
    }
    const std::string unusable = unusableData(rows, data[0], data[1], data[2], columns, "");
    if (!unusable.empty()) return reject(unusable);

    rowsNumber = static_cast<int>(rows.size());
    columnsNumber = static_cast<int>(columns);
    // Rows are taken with the first row's length: longer rows are cut, shorter ones padded with 0.
    matrix.assign(rows.size(), std::vector<int>(columns, 0));
    log_ << "The submatrix formation task (construction of subset of the irredundant diagostic tests):\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t j = 0; j < columns && j < rows[i].size(); ++j) matrix[i][j] = rows[i][j];
        for (int value : matrix[i]) log_ << value << " ";
        log_ << "\n";
    }
    log_ << "\n";
    log_.flush();
    columnWeights.assign(data[0].begin(), data[0].begin() + static_cast<std::ptrdiff_t>(columns));
    columnCosts.assign(data[1].begin(), data[1].begin() + static_cast<std::ptrdiff_t>(columns));
    columnHarms.assign(data[2].begin(), data[2].begin() + static_cast<std::ptrdiff_t>(columns));
    targetRows = static_cast<int>(target);
    computeDerivedValues();
    return 1;
}

void QSubmatrixTask::computeDerivedValues() {
    const std::size_t rows = matrix.size();
    rowWeights.assign(rows, 0.0);
    rowCosts.assign(rows, 0.0);
    rowHarms.assign(rows, 0.0);
    for (std::size_t i = 0; i < rows; ++i) {
        for (std::size_t j = 0; j < matrix[i].size(); ++j) {
            rowWeights[i] += matrix[i][j] * columnWeights[j];
            rowCosts[i] += matrix[i][j] * columnCosts[j];
            rowHarms[i] += matrix[i][j] * columnHarms[j];
        }
    }
    totalWeight = 0.0;
    totalCost = 0.0;
    totalHarm = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        totalWeight += rowWeights[i];
        totalCost += rowCosts[i];
        totalHarm += rowHarms[i];
    }
}

void QSubmatrixTask::collectSelectedRows(const char* header) {
    selected_.clear();
    if (_params != nullptr && _params->permutation) {
        for (std::size_t p = 0; p < decoded_.size(); ++p) {
            const int row = decoded_[p];
            if (row < 0 || row >= rowsNumber) {
                fail(std::string(header) + "\tGene " + std::to_string(p) + " names row " + std::to_string(row) +
                      ", outside the matrix (rows 0 to " + std::to_string(rowsNumber - 1) + ")\n\n");
            }
            selected_.push_back(row);
        }
        return;
    }
    if (decoded_.size() > static_cast<std::size_t>(rowsNumber)) {
        fail(std::string(header) + "\tThe mask holds " + std::to_string(decoded_.size()) +
              " genes but the matrix has " + std::to_string(rowsNumber) + " rows\n\n");
    }
    for (std::size_t i = 0; i < decoded_.size(); ++i) {
        if (decoded_[i] == 1) selected_.push_back(static_cast<int>(i));
    }
}

int QSubmatrixTask::evaluateIndividual(QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return reportDecodingFailure(kEvaluateHeader, individual);
    collectSelectedRows(kEvaluateHeader);
    const auto columns = static_cast<std::size_t>(columnsNumber);
    commonColumns_.assign(columns, 1);
    coveredColumns_.assign(columns, 0);
    double weight = 0.0;
    double cost = 0.0;
    double harm = 0.0;
    for (int row : selected_) {
        const std::vector<int>& cells = matrix[static_cast<std::size_t>(row)];
        for (std::size_t j = 0; j < columns; ++j) {
            commonColumns_[j] &= cells[j];
            coveredColumns_[j] |= cells[j];
        }
        weight += rowWeights[static_cast<std::size_t>(row)];
        cost += rowCosts[static_cast<std::size_t>(row)];
        harm += rowHarms[static_cast<std::size_t>(row)];
    }
    const int common = countSet(commonColumns_);
    const int covered = countSet(coveredColumns_);
    // In the list form every position names a row, repeats included; in the mask form only
    // the genes equal to 1 select. The distance to the target stays below 2^32, so its square is
    // exact in 64 unsigned bits, whatever target the data give.
    const long long surplus = static_cast<long long>(selected_.size()) - targetRows;
    const auto distance = static_cast<unsigned long long>(surplus < 0 ? -surplus : surplus);

    const double f = static_cast<double>(columnsNumber);
    double fitness = (f - common) * 40 / f;
    fitness += 100.0 * static_cast<double>(distance * distance);
    fitness += covered * 30 / f;
    // Without weight or cost data the share of it is 0 / 0; such a term is left out.
    const double weightFactor = totalHarm != 0.0 ? 15.0 : 20.0;
    if (totalWeight != 0.0) fitness += (totalWeight - weight) * weightFactor / totalWeight;
    if (totalCost != 0.0) fitness += cost / totalCost * 10;
    if (totalHarm != 0.0) fitness += harm / totalHarm * 5;

    individual.fitness = fitness;
    individual.fitnessComponents.clear();
    return 1;
}

int QSubmatrixTask::printName(std::ostream& out) const {
    out << "Submatrix problem\n";
    return 1;
}

int QSubmatrixTask::reportSolution(const QIndividual& individual) {
    if (individual.decode(decoded_) == 0) return 1;
    collectSelectedRows(kReportHeader);
    const auto columns = static_cast<std::size_t>(columnsNumber);

    log_ << "\n\nCurrent solution:\n" << "---------------------\n";
    double weight = 0.0;
    double cost = 0.0;
    double harm = 0.0;
    commonColumns_.assign(columns, 1);
    coveredColumns_.assign(columns, 0);
    std::vector<int> featureCounts(columns, 0);
    for (int row : selected_) {
        const auto r = static_cast<std::size_t>(row);
        log_ << row << ":\t";
        for (int value : matrix[r]) log_ << value << " ";
        log_ << "\n";
        weight += rowWeights[r];
        cost += rowCosts[r];
        harm += rowHarms[r];
        for (std::size_t j = 0; j < columns; ++j) {
            commonColumns_[j] &= matrix[r][j];
            coveredColumns_[j] |= matrix[r][j];
            featureCounts[j] += matrix[r][j] == 1 ? 1 : 0;
        }
    }
    const int listed = static_cast<int>(selected_.size());
    log_ << "\nNumber of rows: " << listed << "\n";
    log_ << "Total columns:\t" << countSet(coveredColumns_) << "\n";
    log_ << "Common columns:\t" << countSet(commonColumns_) << "\n";
    log_ << "\nFeatures count distribution:\n";
    for (std::size_t j = 0; j < columns; ++j) {
        if (featureCounts[j] != 0) log_ << j + 1 << ":\t" << featureCounts[j] << "\n";
    }
    log_ << "\nTotal weight | cost | harm:\t" << weight << "\t" << cost << "\t" << harm << "\n";

    // For comparison: the same number of rows taken from the top of the matrix.
    double firstWeight = 0.0;
    double firstCost = 0.0;
    double firstHarm = 0.0;
    for (int i = 0; i < listed && i < rowsNumber; ++i) {
        firstWeight += rowWeights[static_cast<std::size_t>(i)];
        firstCost += rowCosts[static_cast<std::size_t>(i)];
        firstHarm += rowHarms[static_cast<std::size_t>(i)];
    }
    log_ << "\nTotal weight | cost | harm for the first " << listed << " rows:\t" << firstWeight << "\t" << firstCost
         << "\t" << firstHarm << "\n";
    log_.flush();
    return 1;
}

}  // namespace Valdrin
