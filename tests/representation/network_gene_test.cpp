// Tests of the network node: evaluation, link editing, comparison and printing.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "representation/network_gene.h"

namespace Valdrin {
namespace {

// A node reading signal 1 with the given weight and writing signal 3 with offset 0.
QRNGene oneInputNode(int type, double weight, double bias) {
    QRNGene gene;
    gene.typeID = type;
    gene.bias = bias;
    gene.addInput({1, 0.0}, weight);
    gene.addOutput({3, 0.0}, 0.0);
    return gene;
}

// Activation that oneInputNode writes to signal 3 for the input value 0.25.
double activation(int type, double weight, double bias) {
    QRNGene gene = oneInputNode(type, weight, bias);
    std::vector<double> out;
    gene.calculate({0.0, 0.25}, out, std::cout);
    return out.at(3);
}

class ForeignGene final : public QGene {
public:
    std::unique_ptr<QGene> clone() const override { return std::make_unique<ForeignGene>(*this); }
    Encoding getEncoding() const override { return Encoding::Integer; }
    bool equalsTo(const QGene&) const override { return false; }
    int assign(const QGene&) override { return 0; }
};

TEST(QRNGeneTest, CalculateGrowsAndAccumulatesOutputSignals) {
    std::vector<double> out;
    EXPECT_EQ(QRNGene().calculate({0.0, 1.0}, out, std::cout), 1);
    EXPECT_TRUE(out.empty());

    QRNGene gene = oneInputNode(1, 2.0, 0.5);
    EXPECT_EQ(gene.calculate({0.0, 0.25}, out, std::cout), 1);
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.0, 0.0, 1.0}));
    EXPECT_EQ(gene.inputs[0].value, 0.25);
    EXPECT_EQ(gene.outputs[0].value, 1.0);
    gene.calculate({0.0, 0.25}, out, std::cout);
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.0, 0.0, 2.0}));
}

TEST(QRNGeneTest, ActivationFunctions) {
    EXPECT_DOUBLE_EQ(activation(3, -0.5, 0.5), 0.375);
    EXPECT_EQ(activation(3, 0.0, 1.0), 1.0);
    EXPECT_EQ(activation(3, 0.0, -1.0), -1.0);
    EXPECT_EQ(activation(1, 0.0, 0.0), -1.0);
    EXPECT_EQ(activation(1, 0.0, 1e-300), 1.0);
    EXPECT_NEAR(activation(2, 2.0, 0.1), std::tanh(0.6), 1e-15);
    EXPECT_NEAR(activation(4, 2.0, 0.1), std::sin(0.6), 1e-15);
    // Far below zero the exponential overflows; the activation still saturates at -1.
    EXPECT_EQ(activation(2, 0.0, -1000.0), -1.0);

    // The gain multiplies the bias as well; the offset is added after the gain.
    QRNGene gene = oneInputNode(3, 1.0, 0.5);
    gene.A = 0.5;
    gene.outputOffsets[0] = 0.125;
    std::vector<double> out;
    gene.calculate({0.0, 0.25}, out, std::cout);
    EXPECT_DOUBLE_EQ(out[3], 0.5 * (0.5 + 0.25) + 0.125);
}

TEST(QRNGeneTest, LinkRulesOfCalculate) {
    QRNGene gene;
    gene.typeID = 3;
    gene.addInput({0, 7.0}, 1.0);   // unconnected: not read, keeps its value
    gene.addInput({5, 7.0}, 1.0);   // beyond the input vector: reads 0.0
    gene.addInput({-1, 7.0}, 1.0);  // no such signal: reads 0.0
    gene.addInput({1, 0.0}, 1.0);
    gene.addOutput({0, 9.0}, 0.0);
    gene.addOutput({2, 0.0}, 0.0);
    gene.addOutput({2, 0.0}, 0.25);
    gene.addOutput({-2, 0.0}, 0.0);
    std::vector<double> out;
    gene.calculate({0.0, 0.25}, out, std::cout);
    EXPECT_EQ(gene.inputs[0].value, 7.0);
    EXPECT_EQ(gene.inputs[1].value, 0.0);
    EXPECT_EQ(gene.inputs[2].value, 0.0);
    EXPECT_EQ(gene.outputs[0].value, 9.0);
    EXPECT_EQ(gene.outputs[3].value, 0.25);
    // Both links on signal 2 add up; the unconnected and the negative link write nothing.
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.0, 0.75}));

    gene.enabled = false;
    gene.inputs[3].value = 3.0;
    EXPECT_EQ(gene.calculate({0.0, 0.25}, out, std::cout), 0);
    EXPECT_EQ(gene.inputs[3].value, 3.0);
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.0, 0.75}));
}

TEST(QRNGeneTest, UnknownTypeReportsOnStandardOutputAndWritesNothing) {
    QRNGene gene = oneInputNode(7, 1.0, 0.0);
    std::vector<double> out{1.0};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(gene.calculate({0.0, 0.25}, out, std::cout), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "\n\n[QRNGene::calculate] error:\nUnknown node type (typeID = 7)\n");
    EXPECT_EQ(out, (std::vector<double>{1.0}));
    EXPECT_EQ(gene.inputs[0].value, 0.25);  // read before the type is checked
    EXPECT_EQ(gene.outputs[0].value, 0.0);
}

TEST(QRNGeneTest, EditingLinksKeepsWeightsAndOffsetsAligned) {
    QRNGene gene;
    gene.addInput({4, 0.0}, 1.0);
    gene.addInput({5, 0.0}, 2.0);
    gene.addInput({4, 0.0}, 3.0);
    gene.removeInputs(4);
    ASSERT_EQ(gene.inputs.size(), 1u);
    EXPECT_EQ(gene.inputs[0].ID, 5);
    EXPECT_EQ(gene.inputWeights, std::vector<double>{2.0});

    gene.addOutput({6, 0.0}, 0.5);
    gene.addOutput({7, 0.0}, 0.75);
    gene.addOutput({6, 0.0}, 1.5);
    EXPECT_EQ(gene.findOutput(6), &gene.outputs[0]);
    gene.removeOutputs(6);
    EXPECT_EQ(gene.outputOffsets, std::vector<double>{0.75});

    gene.setInputs({{9, 0.0}, {3, 0.0}, {9, 0.0}});
    EXPECT_EQ(gene.inputWeights, (std::vector<double>{2.0, 0.0, 0.0}));
    EXPECT_EQ(gene.setInputValueByID(9, 1.5), 1);
    EXPECT_EQ(gene.inputs[0].value, 1.5);
    EXPECT_EQ(gene.inputs[2].value, 0.0);
    EXPECT_EQ(gene.setInputValueByID(4, 1.5), 0);
    gene.setOutputs({{-3, 0.0}});
    EXPECT_EQ(gene.getMaxOutputID(), 0);
}

TEST(QRNGeneTest, ComparisonIgnoresNodeSettingsButCopiesKeepThem) {
    QRNGene a = oneInputNode(1, 2.0, 0.5);
    QRNGene b = a;
    b.typeID = 4;
    b.bias = -1.0;
    b.A = 3.0;
    b.enabled = false;
    EXPECT_TRUE(a.equalsTo(b));
    b.inputWeights[0] = 2.5;
    EXPECT_FALSE(a.equalsTo(b));
    b = a;
    b.outputs[0].value = 0.5;
    EXPECT_FALSE(a.equalsTo(b));
    EXPECT_FALSE(a.equalsTo(ForeignGene()));

    a.enabled = false;
    EXPECT_FALSE(static_cast<const QRNGene&>(*a.clone()).enabled);
    QRNGene target;
    EXPECT_EQ(target.assign(ForeignGene()), 0);
    EXPECT_TRUE(target.enabled);
    EXPECT_EQ(target.assign(a), 1);
    EXPECT_FALSE(target.enabled);
    EXPECT_EQ(target.typeID, 1);
}

TEST(QRNGeneTest, PrintText) {
    QRNGene gene = oneInputNode(3, 2.0, 0.5);
    gene.inputs[0].value = 0.25;
    gene.outputs[0].value = 1.0;
    gene.addOutput({0, 0.0}, -0.5);
    gene.enabled = false;
    std::ostringstream out;
    EXPECT_EQ(gene.print(out), 1);
    EXPECT_EQ(out.str(),
              "\tType ID:\t3\n\tEnabled:\t0\n\tBias:\t0.5\n\tA:\t1\n"
              "\tInputs (1):\t(1, 0.25:2)\t\n"
              "\tOutputs (2):\t(3, 1:0)\t(0, 0:-0.5)\t\n");
}

}  // namespace
}  // namespace Valdrin
