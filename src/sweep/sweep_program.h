// valdrin-sweep from start to end: the command line, the check of every combination, the
// experiments' folders, parallel, and the results.
#pragma once

#include <string>
#include <vector>

namespace Valdrin {

// The whole program: reads the command line (the words after the program's name), refuses a
// sweep whose keys, words or seeds cannot run before anything is written, lays out the sweep's
// folder (or checks it is the same sweep on --resume), runs the experiments through GNU
// parallel, and writes results.sqlite, sweep.csv and sweep.html. Returns the exit status: 0 when
// every experiment ran, 1 when the sweep was refused or some experiment failed or did not run,
// 2 for a misused command line, 128 + the signal when interrupted.
int runSweep(const std::vector<std::string>& arguments);

// The program every experiment runs: "valdrin" in the folder of the running executable.
std::string programBesideThis();

}  // namespace Valdrin
