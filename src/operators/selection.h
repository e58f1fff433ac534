// Selection (neutral, tournament) and parent selection (random): which individuals reproduce.
#pragma once

#include "operators/operator.h"

namespace Valdrin {

// Fills the destination with one uniformly drawn copy per source individual.
class QNeutralSelection final : public QSelection {
public:
    int select(const QPopulation& source, QPopulation& destination) override;
    std::unique_ptr<QSelection> clone() const override;
};

// Fills the destination with the winners of one tournament per source individual; contestants
// are drawn with replacement and the earlier contestant wins on equal fitness.
class QTournamentSelection final : public QSelection {
public:
    int select(const QPopulation& source, QPopulation& destination) override;
    std::unique_ptr<QSelection> clone() const override;
};

class QRandomParentSelector final : public QParentSelector {
public:
    QIndividual* selectParent(const QPopulation& parents) override;
    std::unique_ptr<QParentSelector> clone() const override;
};

}  // namespace Valdrin
