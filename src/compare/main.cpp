// valdrin-compare's entry: hands the command line to the comparison.
#include <string>
#include <vector>

#include "compare/compare_program.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return Valdrin::runCompare(arguments);
}
