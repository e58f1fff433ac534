// Run records written to and read from a saved state.
#include "statistics/run_summary_state.h"

namespace Valdrin {

void writeRunSummary(StateWriter& out, const QRunSummary& record) {
    out.i32(record.generationsDone);
    out.i32(record.evaluationsCount);
    out.reals(record.meanFitness);
    out.reals(record.fitnessVariance);
    out.reals(record.bestFitness);
    out.reals(record.worstFitness);
    out.reals(record.populationSizes);
    out.integers(record.evaluationsByGeneration);
    out.count(record.improvements.size());
    for (const FitnessImprovement& improvement : record.improvements) {
        out.i32(improvement.evaluation);
        out.real(improvement.fitness);
    }
    out.i64(record.startClock);
    out.i64(record.endClock);
    out.i64(record.hitClock);
    out.real(record.duration);
    out.real(record.timeToSolution);
    out.i32(record.evaluationsToSolution);
    out.i32(record.generationOfSolution);
    out.i32(record.convergenceGeneration);
    writeOptionalIndividual(out, record.bestIndividual.get());
    writeOptionalIndividual(out, record.solutionIndividual.get());
}

void readRunSummary(StateReader& in, QRunSummary& record, const RecordForEncoding& recordFor) {
    record.generationsDone = in.i32();
    record.evaluationsCount = in.i32();
    record.meanFitness = in.reals();
    record.fitnessVariance = in.reals();
    record.bestFitness = in.reals();
    record.worstFitness = in.reals();
    record.populationSizes = in.reals();
    record.evaluationsByGeneration = in.integers();
    record.improvements.resize(in.count(12));
    for (FitnessImprovement& improvement : record.improvements) {
        improvement.evaluation = in.i32();
        improvement.fitness = in.real();
    }
    record.startClock = static_cast<long>(in.i64());
    record.endClock = static_cast<long>(in.i64());
    record.hitClock = static_cast<long>(in.i64());
    record.duration = in.real();
    record.timeToSolution = in.real();
    record.evaluationsToSolution = in.i32();
    record.generationOfSolution = in.i32();
    record.convergenceGeneration = in.i32();
    readOptionalIndividual(in, record.bestIndividual, recordFor);
    readOptionalIndividual(in, record.solutionIndividual, recordFor);
}

}  // namespace Valdrin
