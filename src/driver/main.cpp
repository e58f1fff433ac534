// The program's entry: hands the command line to the experiment.
#include <string>
#include <vector>

#include "driver/experiment.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return Valdrin::runProgram(arguments);
}
