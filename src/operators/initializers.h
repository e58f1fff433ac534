// The initializers: first genes for every individual of a freshly created population.
#pragma once

#include "operators/operator.h"

namespace Valdrin {

class QIntegerInitializer final : public QInitializer {
public:
    double unitsRatio = 0.5;  // probability that a bit is 1

    int initialize(QPopulation& population) override;
    int setParameters(const QEAParameters& params) override;  // also copies unitsRatio
    int initRandom(QPopulation& population) override;
    int initUnmixed(QPopulation& population) override { return initRandom(population); }
    std::unique_ptr<QInitializer> clone() const override;
    Encoding getEncoding() const override { return Encoding::Integer; }
};

class QRCInitializer final : public QInitializer {
public:
    int initialize(QPopulation& population) override;
    int initRandom(QPopulation& population) override;
    int initUnmixed(QPopulation& population) override { return initRandom(population); }
    std::unique_ptr<QInitializer> clone() const override;
    Encoding getEncoding() const override { return Encoding::Real; }
};

class QRNGene;

class QRNInitializer final : public QInitializer {
public:
    // Every external input read with a weight U(-0.1, 0.1), every external output written with
    // offset 1.0, then bias U(-0.1, 0.1) and gain 10 * gaussian, drawn in that order.
    static void connectFully(QRNGene& node, int nIn, int nOut, Random& random);
    int initialize(QPopulation& population) override;
    int initRandom(QPopulation& population) override;
    int initUnmixed(QPopulation& population) override { return initRandom(population); }
    std::unique_ptr<QInitializer> clone() const override;
    Encoding getEncoding() const override { return Encoding::Network; }
};

class QStringInitializer final : public QInitializer {
public:
    int initialize(QPopulation& population) override;
    // Refuses permutations over fewer symbols than the chromosome length.
    int setParameters(const QEAParameters& params) override;
    int initRandom(QPopulation& population) override;
    int initUnmixed(QPopulation& population) override;
    std::unique_ptr<QInitializer> clone() const override;
    Encoding getEncoding() const override { return Encoding::String; }

private:
    std::vector<int> symbols_;            // reused between individuals
    std::vector<unsigned char> taken_;    // which symbols the permutation being drawn holds
};

}  // namespace Valdrin
