// The command line: the configuration file, the number of runs and the options, read with CLI11;
// and the help text generated from the registry.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace Valdrin {

struct CommandLine {
    std::string configuration = "config.xml";
    int runs = 1;
    bool check = false;     // check the configuration and run nothing
    bool strict = false;    // warnings are errors
    bool quiet = false;     // nothing on standard output, no progress line
    bool progress = false;  // the progress line even when standard error is not a terminal
    std::string outputFolder;  // where every file is written; "" for the working folder
    bool csv = false;          // also write generations.csv and runs.csv
    std::string iohFolder;     // also write the runs in the IOHprofiler format there ("" for none)
    std::string label;         // what the IOHprofiler files call the algorithm ("" for the default)
    bool report = false;       // also write report.html
    bool plot = false;         // also write convergence.svg
    int recordEvery = 1;       // generations.csv and the plots keep every N-th generation (and the first and last)
    std::string checkpointFile;  // write the experiment's state there as it goes ("" for none)
    int checkpointEvery = 0;     // after every N generations of a run (0: every 10 minutes)
    std::string resumeFile;      // go on from the checkpoint in that file ("" to start afresh)
    std::string problemLibrary;  // with --help: a plugin library whose problem the help lists
    int threads = 1;             // threads that evaluate a generation's individuals
    // Also write manifest.json into the output folder (--out gives it; --manifest where there is none).
    bool manifest = false;
    std::string verifyFolder;    // --verify: the experiment folder to re-run and check ("" for none)
};

// The exit statuses of the program.
constexpr int kExitRan = 0;
constexpr int kExitFailed = 1;
constexpr int kExitMisused = 2;

struct ParsedCommandLine {
    std::optional<CommandLine> commandLine;  // absent when the program has nothing to run
    int exitStatus = kExitRan;               // the status to end with when it is absent
};

// Reads the words after the program's name. --help and --version write their text to out and
// end with status 0; a misused command line is reported on err ("valdrin: error: ...") and ends
// with status 2.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// Parses the words after a program's name with its CLI11 description. --help and --version write
// their text to out and give status 0; a misused command line is reported on err ("PROGRAM:
// error: ..." and where to find the command line) and gives status 2. Returns nothing when the
// command line was read and the program goes on.
std::optional<int> parseOrEnd(CLI::App& app, const std::vector<std::string>& arguments, const std::string& program,
                              std::ostream& out, std::ostream& err);

// The help text's second half: every algorithm, problem, key and word, with defaults, from the
// registry.
std::string vocabularyHelp(const std::string& problemLibrary = "");

// The program's version.
const char* programVersion();

}  // namespace Valdrin
