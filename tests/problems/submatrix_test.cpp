// Tests of the submatrix task: loading, parameter overrides, both fitness forms, the report and
// the reactions to faulty data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <string>
#include <utility>

#include "problems/submatrix.h"
#include "representation/integer.h"
#include "representation/string.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::readFile;
using testing::writeFile;

// Four tests over three features. Row weights 3, 3, 5, 4 (total 15); every row costs 2
// (total 8); row harms 1, 1, 1.5, 1.5 (total 5). Target 2.
const char* const kMatrix = "4 3\n1 1 0\n1 1 0\n0 1 1\n1 0 1\n1 2 3\n1 1 1\n0.5 0.5 1\n2\n";

template <class Individual>
Individual make(QEAParameters& params, std::initializer_list<int> values) {
    Individual individual;
    individual._params = &params;
    individual.genes.assign(values.begin(), values.end());
    return individual;
}
// A mask over the rows as the genetic algorithm builds it (one-bit integer genes), and a list.
auto maskOf = make<QIntegerIndividual>;
auto listOf = make<QStringIndividual>;

class SubmatrixTest : public ::testing::Test {
protected:
    SubmatrixTest() {
        mask.geneSize = 1;
        mask.geneOffset = 0.0;
        mask.genePrecision = 1.0;
        list.permutation = true;
        task.setParameters(&mask);
    }
    double fitnessOf(QIndividual&& individual) {
        individual.fitnessComponents = {1.0};
        EXPECT_EQ(task.evaluateIndividual(individual), 1);
        EXPECT_TRUE(individual.fitnessComponents.empty());
        return individual.fitness;
    }

    testing::ScratchDir scratch;
    bool written = (writeFile("matrix.txt", kMatrix), true);
    QSubmatrixTask task{testing::testEngine()};
    QEAParameters mask;
    QEAParameters list;
};

TEST_F(SubmatrixTest, LoadsFileAndAdjustsParameters) {
    EXPECT_EQ(task.getRowsNumber(), 4);
    EXPECT_EQ(task.columnsNumber, 3);
    EXPECT_EQ(task.targetRows, 2);
    EXPECT_EQ(task.rowWeights, (std::vector<double>{3, 3, 5, 4}));
    EXPECT_EQ(task.rowHarms, (std::vector<double>{1, 1, 1.5, 1.5}));
    EXPECT_EQ(task.totalCost, 8.0);
    EXPECT_TRUE(testing::fileExists("submatrix.log"));
    std::ostringstream name;
    task.printName(name);
    EXPECT_EQ(name.str(), "Submatrix problem\n");

    EXPECT_EQ(task.adjustParameters(&mask), 1);
    EXPECT_EQ(mask.chromosomeLength, 4);
    EXPECT_DOUBLE_EQ(mask.mRate, 0.7 / 4);
    EXPECT_DOUBLE_EQ(mask.unitsRatio, 0.5);
    task.adjustParameters(&list);
    EXPECT_EQ(list.arity, 4);
    EXPECT_EQ(list.chromosomeLength, 2);
    EXPECT_DOUBLE_EQ(list.mRate, 0.7 / 2);
}

TEST_F(SubmatrixTest, FitnessOfMaskAndListForms) {
    // No row: every column stays common, none is covered, the target is missed by 2.
    EXPECT_EQ(fitnessOf(maskOf(mask, {0, 0, 0, 0})), 100 * 4 + 15.0);
    // Rows 0 and 1 share the pattern 1 1 0: common = covered = 2, weight 6, cost 4, harm 2.
    EXPECT_DOUBLE_EQ(fitnessOf(maskOf(mask, {1, 1, 0, 0})), 40.0 / 3 + 20 + 9 + 5 + 2);
    // Rows 1 and 2 share one feature and cover all three; values other than 1 select nothing.
    EXPECT_DOUBLE_EQ(fitnessOf(maskOf(mask, {2, 1, 1})), 80.0 / 3 + 30 + 7 + 5 + 2.5);
    // Three rows miss the target by one.
    EXPECT_DOUBLE_EQ(fitnessOf(maskOf(mask, {1, 1, 1, 0})), 80.0 / 3 + 100 + 30 + 4 + 7.5 + 3.5);

    task.setParameters(&list);
    EXPECT_DOUBLE_EQ(fitnessOf(listOf(list, {1, 0})), 40.0 / 3 + 20 + 9 + 5 + 2);
    // A repeated row counts twice; the list always holds targetRows entries.
    EXPECT_DOUBLE_EQ(fitnessOf(listOf(list, {2, 2})), 40.0 / 3 + 20 + 5 + 5 + 3);

    // Without harm data the weight share counts 20 instead of 15; without weights and costs
    // their shares are left out instead of becoming 0 / 0.
    task.setParameters(&mask);
    const std::vector<std::vector<int>> rows = {{1, 1, 0}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    ASSERT_EQ(task.setData(rows, {{1, 2, 3}, {1, 1, 1}, {0, 0, 0}, {2}}), 1);
    EXPECT_EQ(fitnessOf(maskOf(mask, {0, 0, 0, 0})), 100 * 4 + 20.0);
    EXPECT_DOUBLE_EQ(fitnessOf(maskOf(mask, {1, 1, 0, 0})), 40.0 / 3 + 20 + 12 + 5);
    ASSERT_EQ(task.setData(rows, {{0, 0, 0}, {0, 0, 0}, {0.5, 0.5, 1}, {2.9}}), 1);
    EXPECT_EQ(fitnessOf(maskOf(mask, {0, 0, 0, 0})), 400.0);
    EXPECT_DOUBLE_EQ(fitnessOf(maskOf(mask, {1, 1, 0, 0})), 40.0 / 3 + 20 + 2);
}

// The terms are formed and added in their stated order, with F as a real; these data make the
// neighbouring orders give different doubles.
TEST_F(SubmatrixTest, FitnessKeepsItsOperatorOrder) {
    const std::vector<std::vector<int>> rows = {{1, 1, 0}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    ASSERT_EQ(task.setData(rows, {{1, 1.5, 0.5}, {1.0, 1.6, 2.8}, {0.3, 1.4, 2.0}, {2}}), 1);
    // Rows 0, 1 and 3: common = 1, covered = 3, one row over the target.
    const double F = 3.0;
    const double W = task.rowWeights[0] + task.rowWeights[1] + task.rowWeights[3];
    const double K = task.rowCosts[0] + task.rowCosts[1] + task.rowCosts[3];
    const double H = task.rowHarms[0] + task.rowHarms[1] + task.rowHarms[3];
    const double TW = task.totalWeight, TK = task.totalCost, TH = task.totalHarm;
    const double expected = (F - 1) * 40 / F + 100 + 3 * 30 / F + (TW - W) * 15 / TW + K / TK * 10 + H / TH * 5;
    ASSERT_NE(expected, (F - 1) / F * 40 + 100 + 3 * 30 / F + (TW - W) * 15 / TW + K / TK * 10 + H / TH * 5);
    ASSERT_NE(expected, (F - 1) * 40 / F + 100 + 3 * 30 / F + (TW - W) * 15 / TW + K * 10 / TK + H / TH * 5);
    ASSERT_NE(expected, (F - 1) * 40 / F + 100 + 3 * 30 / F + (TW - W) * 15 / TW + K / TK * 10 + H * 5 / TH);
    EXPECT_EQ(fitnessOf(maskOf(mask, {1, 1, 0, 1})), expected);
}

// Values other than 0 and 1 are kept: they scale the row sums, combine bitwise, and a column
// only counts as common or covered where the combination is exactly 1.
TEST_F(SubmatrixTest, OtherMatrixValuesCombineBitwise) {
    writeFile("matrix.txt", "3 2\n3 1\n1 2\n1 0\n1 1\n1 1\n1 1\n1\n");
    QSubmatrixTask other{testing::testEngine()};
    other.setParameters(&mask);
    EXPECT_EQ(other.rowWeights, (std::vector<double>{4, 3, 1}));
    QIntegerIndividual first = maskOf(mask, {1, 0, 0});
    other.evaluateIndividual(first);
    // AND = (1, 1), OR = (3, 1): common 2, covered 1; W = K = H = 4 of 8.
    EXPECT_EQ(first.fitness, 0 + 0 + 15 + 7.5 + 5 + 2.5);
    QIntegerIndividual two = maskOf(mask, {1, 1, 0});
    other.evaluateIndividual(two);
    // AND = (1, 0), OR = (3, 3): common 1, covered 0; W = K = H = 7 of 8.
    EXPECT_EQ(two.fitness, 20 + 100 + 0 + 1.875 + 8.75 + 4.375);

    other.reportSolution(two);
    EXPECT_EQ(readFile("submatrix.log"),
              "\n\nCurrent solution:\n---------------------\n0:\t3 1 \n1:\t1 2 \n"
              "\nNumber of rows: 2\nTotal columns:\t0\nCommon columns:\t1\n"
              "\nFeatures count distribution:\n1:\t1\n2:\t1\n"
              "\nTotal weight | cost | harm:\t7\t7\t7\n"
              "\nTotal weight | cost | harm for the first 2 rows:\t7\t7\t7\n");
}

// The target is not bounded by the rows: the mask form works with any target, only the list
// form needs at least one row to list.
TEST_F(SubmatrixTest, TargetOutsideTheRowsServesTheMaskForm) {
    const std::vector<std::vector<int>> rows = {{1, 1, 0}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    const std::vector<double> weights = {1, 2, 3}, costs = {1, 1, 1}, harms = {0.5, 0.5, 1};
    ASSERT_EQ(task.setData(rows, {weights, costs, harms, {0}}), 1);
    task.adjustParameters(&mask);
    EXPECT_EQ(mask.chromosomeLength, 4);
    EXPECT_EQ(mask.unitsRatio, 0.0);
    EXPECT_EQ(fitnessOf(maskOf(mask, {0, 0, 0, 0})), 15.0);
    EXPECT_DOUBLE_EQ(fitnessOf(maskOf(mask, {1, 1, 0, 0})), 40.0 / 3 + 400 + 20 + 9 + 5 + 2);

    ASSERT_EQ(task.setData(rows, {weights, costs, harms, {7.9}}), 1);
    EXPECT_EQ(task.targetRows, 7);
    task.adjustParameters(&mask);
    EXPECT_EQ(mask.unitsRatio, 7.0 / 4);
    EXPECT_EQ(fitnessOf(maskOf(mask, {0, 0, 0, 0})), 100 * 49 + 15.0);
    // The farthest target: the distance 2^31 + 4 is squared without overflow.
    ASSERT_EQ(task.setData(rows, {weights, costs, harms, {-2147483648.0}}), 1);
    EXPECT_EQ(fitnessOf(maskOf(mask, {1, 1, 1, 1})), 40 + 100 * 4611686035607257104.0 + 30 + 0 + 10 + 5);
}

TEST_F(SubmatrixTest, DecodingFailureLeavesFitnessAndReport) {
    mask.genePrecision = 0.01;  // the integer reading is refused
    QIntegerIndividual coded = maskOf(mask, {1, 0, 0, 1});
    coded.fitness = 4.25;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(task.evaluateIndividual(coded), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QSubmatrixTask::evaluatePopulation] error:\n"
              "\tIncorrect encoding type or encoding parameters! (encoding ID = 2)\n\n");
    EXPECT_EQ(coded.fitness, 4.25);
    EXPECT_EQ(task.reportSolution(coded), 1);
    EXPECT_EQ(readFile("submatrix.log"), "");
}

TEST_F(SubmatrixTest, ReportListsRowsAndTotals) {
    EXPECT_EQ(task.reportSolution(maskOf(mask, {0, 1, 1, 0})), 1);
    const std::string maskReport =
        "\n\nCurrent solution:\n---------------------\n"
        "1:\t1 1 0 \n2:\t0 1 1 \n"
        "\nNumber of rows: 2\nTotal columns:\t3\nCommon columns:\t1\n"
        "\nFeatures count distribution:\n1:\t1\n2:\t2\n3:\t1\n"
        "\nTotal weight | cost | harm:\t8\t4\t2.5\n"
        "\nTotal weight | cost | harm for the first 2 rows:\t6\t4\t2\n";
    EXPECT_EQ(readFile("submatrix.log"), maskReport);

    // A list is reported by the rows it names, in its own order.
    task.setParameters(&list);
    task.reportSolution(listOf(list, {3, 0}));
    const std::string listStart = "\n\nCurrent solution:\n---------------------\n3:\t1 0 1 \n0:\t1 1 0 \n";
    EXPECT_EQ(readFile("submatrix.log").substr(maskReport.size(), listStart.size()), listStart);
}

TEST_F(SubmatrixTest, SetDataLogsMatrixAndRejectsUnusableData) {
    EXPECT_EQ(task.setData({}, {}), 0);
    // Rows take the first row's length: a longer row is cut, a shorter one padded with 0.
    ASSERT_EQ(task.setData({{1, 0}, {1, 1, 1}, {0}}, {{2, 4, 9}, {1, 3}, {0, 1}, {1.0}}), 1);
    EXPECT_EQ(task.matrix, (std::vector<std::vector<int>>{{1, 0}, {1, 1}, {0, 0}}));
    EXPECT_EQ(task.rowWeights, (std::vector<double>{2, 6, 0}));
    EXPECT_EQ(task.totalCost, 5.0);
    const std::string logged =
        "The submatrix formation task (construction of subset of the irredundant diagostic tests):\n"
        "1 0 \n1 1 \n0 0 \n\n";
    EXPECT_EQ(readFile("submatrix.log"), logged);

    const std::vector<std::vector<double>> columns = {{1, 1}, {1, 1}, {1, 1}, {1}};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(task.setData({{}, {1}}, columns), 0);
    EXPECT_EQ(task.setData({{1, 0}, {0, 1}}, {{1, 1}, {1, 1}, {1}, {1}}), 0);
    EXPECT_EQ(task.setData({{1, 0}, {0, 1}}, {{1, 1}, {1, 1}, {1, 1}, {3e9}}), 0);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("\n\n[QSubmatrixTask::setData] error:\n\tExpected the weights, costs and harms of 2 "
                          "columns, then the target number of rows\n\n"),
              std::string::npos);
    EXPECT_NE(errors.find("\tThe target number of rows (3e+09) lies outside the integer range\n\n"), std::string::npos);
    EXPECT_EQ(task.getRowsNumber(), 3);
    EXPECT_EQ(readFile("submatrix.log"), logged);
}



TEST_F(SubmatrixTest, GenesOutsideTheMatrixStop) {
    task.setParameters(&list);
    QStringIndividual beyond = listOf(list, {1, 4});
    EXPECT_FAILURE(task.evaluateIndividual(beyond),
                "QSubmatrixTask::evaluatePopulation. error:\n\tGene 1 names row 4, outside the matrix .rows 0 to 3.");
    EXPECT_FAILURE(task.reportSolution(listOf(list, {-1, 0})),
                "QSubmatrixTask::reportSolution. error:\n\tGene 0 names row -1");
    task.setParameters(&mask);
    QIntegerIndividual longMask = maskOf(mask, {0, 0, 0, 0, 1});
    EXPECT_FAILURE(task.evaluateIndividual(longMask),
                "The mask holds 5 genes but the matrix has 4 rows");

    ASSERT_EQ(task.setData({{1, 0}, {0, 1}}, {{1, 1}, {1, 1}, {1, 1}, {0}}), 1);
    EXPECT_FAILURE(task.adjustParameters(&list),
                "^\n\n\\[QSubmatrixTask::adjustParameters\\] error:\n\tA list of rows needs a target of at least "
                "one row \\(target = 0\\)\n\n$");
}

TEST_F(SubmatrixTest, FaultyDataFilesStop) {
    std::remove("matrix.txt");
    EXPECT_FAILURE(QSubmatrixTask(testing::testEngine()),
                "^\\[QSubmatrixTask::readDataFromFile\\] error:\n\tCan't open input file \\(matrix.txt\\) for "
                "reading\n$");

    const std::pair<const char*, const char*> faulty[] = {
        {"4 3\n1 1 0\n1 1 0\n0 1 1\n1 0 1\n1 2 3\n1 1 1\n0.5 0.5\n",
         "Can't read the harm of column 3: matrix.txt ends before it"},
        {"2 2\n1 0\nx 1\n", "Can't read the matrix value in row 2, column 1 from matrix.txt .found \"x\"."},
        {"-3 2\n", "The number of rows must be positive .matrix.txt gives -3."},
        {"1000000000 1000000000\n1 0\n", "Can't read the matrix value in row 1, column 3: matrix.txt ends"},
        {"2 2\n1 0\n0 1\n1 1\n1 1\n1 1\n", "Can't read the target number of rows: matrix.txt ends before it"},
    };
    for (const auto& [text, message] : faulty) {
        writeFile("matrix.txt", text);
        EXPECT_FAILURE(QSubmatrixTask(testing::testEngine()), message) << text;
    }

    // A leading plus sign and text after the last value are accepted.
    writeFile("matrix.txt", "+2 2\n1 0\n0 1\n1 +2.5\n1 1\n0 0\n1\nnotes that are never read\n");
    QSubmatrixTask accepted{testing::testEngine()};
    EXPECT_EQ(accepted.totalWeight, 3.5);
}

// Weights, costs and harms whose sums, counted without signs, leave the fitness no room to stay a
// number end the experiment, naming the first row at fault or all rows.
TEST_F(SubmatrixTest, SumsBeyondTheFitnessRangeStop) {
    const std::string tooLarge = " add up to more than 2.8089e\\+306 \\(counted without signs\\): the fitness "
                                 "would not stay a number\n\n$";
    const std::pair<const char*, std::string> faulty[] = {
        {"2 2\n1 0\n0 1\n1e308 1\n1 1\n1 1\n1\n", "The weights in row 1 of matrix.txt"},
        {"2 2\n0 1\n1 1\n1 1\n1.5e306 1.5e306\n1 1\n1\n", "The costs in row 2 of matrix.txt"},
        {"1 1\n3\n1\n1\n1e306\n1\n", "The harms in row 1 of matrix.txt"},  // scaled by the cell
        {"3 1\n1\n1\n1\n1e306\n1\n1\n1\n", "The weights of all rows of matrix.txt"},
        {"2 2\n1 0\n0 1\n1 1\n-2e306 2e306\n1 1\n1\n", "The costs of all rows of matrix.txt"},  // no cancelling
    };
    for (const auto& [text, message] : faulty) {
        writeFile("matrix.txt", text);
        EXPECT_FAILURE(QSubmatrixTask(testing::testEngine()), "^\n\n\\[QSubmatrixTask::readDataFromFile\\] error:\n\t" + message + tooLarge)
            << text;
    }

    // Just inside the limit every selection has a finite fitness, whatever the signs.
    writeFile("matrix.txt", "2 2\n1 0\n0 1\n1.4e306 -1.3e306\n-1e306 1.7e306\n2e306 -5e305\n2\n");
    QSubmatrixTask large{testing::testEngine()};
    large.setParameters(&mask);
    for (const auto& genes : {std::vector<int>{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
        QIntegerIndividual individual = maskOf(mask, {});
        individual.genes = genes;
        large.evaluateIndividual(individual);
        EXPECT_TRUE(std::isfinite(individual.fitness)) << genes[0] << genes[1];
    }

    // A list may name its largest row at every position, so its target multiplies that row.
    writeFile("matrix.txt", "2 1\n1\n1\n1e306\n1\n1\n3\n");
    QSubmatrixTask heavy{testing::testEngine()};
    EXPECT_EQ(heavy.adjustParameters(&mask), 1);
    EXPECT_FAILURE(heavy.adjustParameters(&list),
                   "^\n\n\\[QSubmatrixTask::adjustParameters\\] error:\n\tThe weights of a list of 3 rows could add "
                   "up to more than 2.8089e\\+306 \\(3 times the largest row sum, 1e\\+306\\): the fitness would not "
                   "stay a number\n\n$");
    EXPECT_EQ(list.chromosomeLength, QEAParameters{}.chromosomeLength);
    heavy.targetRows = 2;
    EXPECT_EQ(heavy.adjustParameters(&list), 1);
}

TEST_F(SubmatrixTest, SetDataRejectsValuesThatAreNotFinite) {
    const std::vector<std::vector<int>> rows = {{1, 1}, {0, 1}};
    const double infinity = std::numeric_limits<double>::infinity();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(task.setData(rows, {{1, infinity}, {1, 1}, {1, 1}, {1}}), 0);
    EXPECT_EQ(task.setData(rows, {{1, 1}, {1e308, 1e308}, {1, 1}, {1}}), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n\n[QSubmatrixTask::setData] error:\n\tThe weight of column 2 is not a finite number (inf)\n\n"
              "\n\n[QSubmatrixTask::setData] error:\n\tThe costs in row 1 add up to more than 2.8089e+306 (counted "
              "without signs): the fitness would not stay a number\n\n");
    EXPECT_EQ(task.totalWeight, 15.0);  // as the file left it
    EXPECT_EQ(readFile("submatrix.log"), "");
    // Values past the columns the rows use are cut off first.
    EXPECT_EQ(task.setData(rows, {{1, 1, std::nan("")}, {1, 1}, {1, 1}, {1}}), 1);
}

}  // namespace
}  // namespace Valdrin
