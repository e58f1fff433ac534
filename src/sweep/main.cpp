// valdrin-sweep's entry: hands the command line to the sweep.
#include <string>
#include <vector>

#include "sweep/sweep_program.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return Valdrin::runSweep(arguments);
}
