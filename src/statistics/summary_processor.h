// QSummaryProcessor: collects one record per run and writes the report over all runs
// ("summary.log", "solution.log", "candidate.log").
#pragma once

#include <iosfwd>
#include <vector>

#include "driver/parameters.h"
#include "statistics/run_summary.h"

namespace Valdrin {

class QSummaryProcessor {
public:
    std::vector<QRunSummary> runs;  // in run order
    QEAParameters* params;          // not owned; never null

    explicit QSummaryProcessor(QEAParameters* parameters) : params(parameters) {}
    QSummaryProcessor(const QSummaryProcessor&) = delete;
    QSummaryProcessor& operator=(const QSummaryProcessor&) = delete;

    // Writes the encoding-oriented parameter block; returns 1.
    virtual int printParameters(std::ostream& out) const;
    virtual ~QSummaryProcessor() = default;
    // Appends a copy of the record; returns the new number of records.
    virtual int addSummary(const QRunSummary& record);
    virtual int summariesCount() const;
    // Writes the three report files; returns 1, or 0 (with a message) when there are no records.
    virtual int operate();
};

}  // namespace Valdrin
