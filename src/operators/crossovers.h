// The crossover family: integer (bit-string), string and real-coded crossovers. The pairing step
// that chooses parents and children for them is the breeding strategy's (algorithms/breeding.h).
#pragma once

#include "operators/operator.h"

namespace Valdrin {

class QIntegerCrossover : public QCrossoverOperator {
public:
    Encoding getEncoding() const override { return Encoding::Integer; }
};

class QIntegerCrossover1 final : public QIntegerCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
    // Refuses a record that leaves fewer than two cut positions.
    int setParameters(const QEAParameters& params) override;
};

class QIntegerCrossover2 final : public QIntegerCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
    // Refuses a record that leaves fewer than two cut positions.
    int setParameters(const QEAParameters& params) override;
};

class QIntegerCrossoverPGX1 final : public QIntegerCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
};

class QIntegerCrossoverPGX2 final : public QIntegerCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
    // Refuses a record that leaves fewer than two cut positions.
    int setParameters(const QEAParameters& params) override;
};

class QStringCrossover : public QCrossoverOperator {
public:
    Encoding getEncoding() const override { return Encoding::String; }
};

class QStringCrossover1 final : public QStringCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
};

class QStringCrossover2 final : public QStringCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
    // Refuses a record that leaves fewer than two cut positions.
    int setParameters(const QEAParameters& params) override;
};

class QStringCrossoverUniform final : public QStringCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
};

class QStringCrossoverOrder final : public QStringCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;

private:
    std::vector<int> list_;  // the child being assembled, reused between calls
};

class QRCCrossover : public QCrossoverOperator {
public:
    double alpha = 0.0;

    ~QRCCrossover() override { alpha = 0.0; }
    // Stores the record and copies xAlpha into alpha.
    int setParameters(const QEAParameters& params) override;
    Encoding getEncoding() const override { return Encoding::Real; }
};

class QRCCrossoverArithmetic final : public QRCCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
};

class QRCCrossoverSBX final : public QRCCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
    // Refuses xAlpha = -1, whose exponent 1/(alpha + 1) does not exist.
    int setParameters(const QEAParameters& params) override;
};

class QRCCrossoverBLX final : public QRCCrossover {
public:
    int cross(const ParentPair& parents, const ChildPair& children) override;
    std::unique_ptr<QCrossoverOperator> clone() const override;
};

}  // namespace Valdrin
