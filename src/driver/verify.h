// Re-running an experiment from its manifest.json and comparing what it writes with the files of
// its folder (valdrin --verify DIR).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "driver/manifest.h"

namespace Valdrin {

// The exit status of a verification that could not start: the folder holds no readable manifest.
constexpr int kExitNotVerifiable = 2;

// The first line at which two files differ once their measured durations are blanked: "" when
// they agree, else "differs at line N: the folder's file has \"...\", the re-run's \"...\"" (or
// says which one ended first), showing the lines as written; "cannot be read" when one cannot.
std::string firstDifference(const std::string& expectedPath, const std::string& gotPath);

// The arguments to re-run a manifest's experiment with: its outputs go to outputFolder (--out),
// files outside its folder (an absolute --ioh) to elsewhere; without the checkpoint options
// (they change nothing it writes) and without output on the terminal.
std::vector<std::string> rerunArguments(const std::vector<std::string>& recorded, const std::string& outputFolder,
                                        const std::string& elsewhere);

// Verifies the experiment in folder with program (a valdrin executable): refuses it (exit 1,
// naming the file) when its configuration or an input file changed since it ran, else re-runs it
// in a scratch folder and says on out, file by file, whether each output reproduces. Returns 0
// when every output reproduces, 1 when one does not or the re-run failed, and kExitNotVerifiable
// when the folder holds no readable manifest. name begins the messages ("valdrin").
int verifyExperiment(const std::string& folder, const std::string& program, std::ostream& out, std::ostream& err,
                     const std::string& name = "valdrin");

// The running program's own executable.
std::string runningProgram();

}  // namespace Valdrin
