// QSummaryProcessor: collects one record per run and writes the report over all runs
// ("summary.log", "solution.log", "candidate.log").
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/engine.h"
#include "core/parameters.h"
#include "statistics/run_summary.h"

namespace Valdrin {

class QSummaryProcessor {
public:
    std::vector<QRunSummary> runs;  // in run order
    QEAParameters* params;          // not owned; never null

    // What the reports say about the experiment beyond the record: the algorithm's and the
    // problem's printed names (with their line breaks) and the algorithm's own report over runs,
    // written at the end of "summary.log" (none when empty).
    std::string algorithmName;
    std::string problemName;
    std::function<void(const std::vector<QRunSummary>&, std::ostream&)> algorithmReport;
    // The runs the experiment was asked for, when it was interrupted before they all finished;
    // "summary.log" then says how many of them it covers ("Report covers:\t3 of 8 runs
    // (interrupted)", after the parameter dump). 0, or no more than the records: nothing is said.
    int runsAsked = 0;

    // The report files go to the engine's folder, its messages to the engine's error stream.
    QSummaryProcessor(QEAParameters* parameters, Engine& engine) : params(parameters), engine_(&engine) {}
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

private:
    Engine* engine_;  // not owned
};

}  // namespace Valdrin
