// Fuzz target: the input as the submatrix task's matrix.txt. The task's file reader loads it;
// when it accepts the data, the task sizes both chromosome forms from it and evaluates one mask
// and one list of rows, where hostile weights, costs, harms and targets show. A Failure is a
// refusal in words and ends an input normally; anything else is a fault.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/engine.h"
#include "core/failure.h"
#include "core/parameters.h"
#include "fuzz_support.h"
#include "problems/submatrix.h"
#include "representation/integer.h"
#include "representation/string.h"

namespace {

using namespace Valdrin;

// The task reads "matrix.txt" from the working folder when it is made: it is made once, in the
// scratch folder, from a one-by-one matrix; every input is then loaded into it by file name.
QSubmatrixTask& task() {
    static Engine engine;
    static const std::unique_ptr<QSubmatrixTask> made = [] {
        const std::string& folder = fuzzing::scratchFolder();
        fuzzing::writeWhole(folder + "/matrix.txt", "1 1\n1\n1\n1\n1\n1\n");
        char previous[4096];
        if (getcwd(previous, sizeof previous) == nullptr || chdir(folder.c_str()) != 0) {
            std::perror("valdrin matrix fuzzer: scratch folder");
            std::abort();
        }
        auto built = std::make_unique<QSubmatrixTask>(engine);
        if (chdir(previous) != 0) std::abort();
        return built;
    }();
    return *made;
}

// A mask that takes every other row.
void evaluateMask(QSubmatrixTask& submatrix) {
    // The task keeps a pointer to the record it was given: the record outlives the input.
    static QEAParameters params;
    params = QEAParameters{};
    params.geneSize = 1;
    params.geneOffset = 0.0;
    params.genePrecision = 1.0;
    submatrix.setParameters(&params);
    submatrix.adjustParameters(&params);
    QIntegerIndividual mask;
    mask._params = &params;
    mask.genes.resize(static_cast<std::size_t>(submatrix.getRowsNumber()));
    for (std::size_t i = 0; i < mask.genes.size(); i += 2) mask.genes[i] = 1;
    submatrix.evaluateIndividual(mask);
}

// A list of the target's number of rows (at most one per row), counting down from the last.
void evaluateList(QSubmatrixTask& submatrix) {
    static QEAParameters params;
    params = QEAParameters{};
    params.permutation = true;
    submatrix.setParameters(&params);
    submatrix.adjustParameters(&params);
    QStringIndividual list;
    list._params = &params;
    const int rows = submatrix.getRowsNumber();
    const int length = std::min(submatrix.targetRows, rows);
    for (int i = 0; i < length; ++i) list.genes.push_back(rows - 1 - i);
    submatrix.evaluateIndividual(list);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzzing::silenceStandardStreams();
    task();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzzing::scratchFolder() + "/input.txt";
    fuzzing::writeWhole(path, std::string_view(reinterpret_cast<const char*>(data), size));
    QSubmatrixTask& submatrix = task();
    try {
        submatrix.readDataFromFile(path);
    } catch (const Failure&) {
        return 0;
    }
    try {
        evaluateMask(submatrix);
    } catch (const Failure&) {
    }
    try {
        evaluateList(submatrix);
    } catch (const Failure&) {
    }
    return 0;
}
