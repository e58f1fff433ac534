// Tests of the parameter record's number conversions and its printed dump.
#include "core/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace Valdrin {
namespace {

TEST(ParameterConversions, IntegersReadTheLeadingDecimalNumber) {
    EXPECT_EQ(parseIntegerText(""), 0);
    EXPECT_EQ(parseIntegerText("-"), 0);
    EXPECT_EQ(parseIntegerText("-12"), -12);
    EXPECT_EQ(parseIntegerText("2147483647"), 2147483647);
    EXPECT_EQ(parseIntegerText("-2147483648"), std::numeric_limits<int>::min());
    // Anything from the first character that is not a digit on is ignored.
    EXPECT_EQ(parseIntegerText("12abc"), 12);
    EXPECT_EQ(parseIntegerText("1e3"), 1);
    EXPECT_EQ(parseIntegerText("+5"), 0);
    EXPECT_EQ(parseIntegerText(" 5"), 0);
    // Too many digits stop at the nearest int32 value.
    EXPECT_EQ(parseIntegerText("2147483648"), std::numeric_limits<int>::max());
    EXPECT_EQ(parseIntegerText("-99999999999999999999999"), std::numeric_limits<int>::min());
}

TEST(ParameterConversions, RealsReadTheLeadingDecimalNumber) {
    EXPECT_EQ(parseRealText(""), 0.0);
    EXPECT_EQ(parseRealText("-"), 0.0);
    EXPECT_EQ(parseRealText("3.25"), 3.25);
    EXPECT_EQ(parseRealText("-0.5"), -0.5);
    EXPECT_EQ(parseRealText("0.01"), 0.01);
    EXPECT_EQ(parseRealText(".5"), 0.5);
    // The fraction is scaled by one division and then added to the whole part, in that order.
    EXPECT_EQ(parseRealText("-5.12"), -(12.0 / 100.0 + 5.0));
    // Anything from the first character that does not belong to the number on is ignored.
    EXPECT_EQ(parseRealText("1.5e3"), 1.5);
    EXPECT_EQ(parseRealText("1.2.3"), 1.2);
    EXPECT_EQ(parseRealText("+2"), 0.0);
    // Absurdly long numbers give no NaN.
    EXPECT_EQ(parseRealText("1" + std::string(400, '0')), std::numeric_limits<double>::infinity());
    EXPECT_NEAR(parseRealText("0." + std::string(400, '3')), 1.0 / 3.0, 1e-12);
    EXPECT_NEAR(parseRealText("-0." + std::string(400, '9')), -1.0, 1e-12);
}

TEST(ParameterDump, WritesEveryPrintedFieldInOrder) {
    QEAParameters params;
    params.encoding = Encoding::String;
    params.permutation = true;
    params.geneOffset = -5.123456789;
    params.rngSeed = 4000000000U;
    params.untilFirstHit = true;
    std::ostringstream out;
    EXPECT_EQ(dumpParameters(params, "", "", out), 1);
    EXPECT_EQ(out.str(),
              "EA parameters:\n"
              "---------------------------\n"
              "Algorithm's name:\t\n"
              "Problem:\t\n"
              "EA type ID:\t1\n"
              "populations number:\t1\n"
              "chromosomeLength:\t10\n"
              "arity:\t2\n"
              "geneSize:\t10\n"
              "geneOffset:\t-5.12346\n"
              "genePrecision:\t0.01\n"
              "populationSize:\t50\n"
              "generationsNumber:\t500\n"
              "tournamentSize:\t2\n"
              "eliteCount:\t2\n"
              "parentsNumber:\t2\n"
              "childrenNumber:\t2\n"
              "xRate:\t0.7\n"
              "mRate:\t0.01\n"
              "errorLevel:\t0.01\n"
              "encoding ID:\t1\n"
              "permutation:\t1\n"
              "encoding order ID:\t0\n"
              "initializationType ID:\t1\n"
              "units ratio:\t0.5\n"
              "nichingType ID:\t0\n"
              "sharing sigma:\t0\n"
              "selectionType ID:\t0\n"
              "parentSelectorType ID:\t0\n"
              "populationSizerType ID:\t1\n"
              "min allowed population size:\t10\n"
              "max allowed population size:\t200\n"
              "duplicate chromosomes removal:\t0\n"
              "xType ID:\t2\n"
              "mutationType ID:\t1\n"
              "RNG seed:\t4000000000\n"
              "Until first hit:\t1\n"
              "\n");

    std::ostringstream named;
    dumpParameters(params, "", "Sphere function\n", named);
    EXPECT_NE(named.str().find("Algorithm's name:\t\nProblem:\tSphere function\nEA type ID:\t1\n"), std::string::npos);
}

}  // namespace
}  // namespace Valdrin
