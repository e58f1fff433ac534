// valdrin-compare: the comparison page, CSV and database of experiments that were not one sweep.
#pragma once

#include <string>
#include <vector>

namespace Valdrin {

// Runs valdrin-compare with the words after its name; returns the exit status: 0 when the files
// were written, 1 when they could not be, 2 for a misused command line (a folder that holds no
// experiment's results among them).
int runCompare(const std::vector<std::string>& arguments);

// What one compared entry is made of: its label and the folders of its experiments (each with a
// runs.csv and a generations.csv).
struct ComparedEntry {
    std::string label;
    std::vector<std::string> folders;
};

// The entries of the folders given: a folder written by `valdrin --out DIR --csv` is one entry; a
// sweep's folder is one entry per combination of its values (its experiments' folders grouped
// by their values, the seeds together), labelled by the sweep's folder and those values. The
// single experiments are labelled by what differs between their configurations (the parameters
// their summary.log lists: "mRate=0.3, populationSize=40"), or by their folders when nothing
// differs or two labels would be the same. Throws UsageError for a folder that holds neither.
std::vector<ComparedEntry> comparedEntries(const std::vector<std::string>& folders);

}  // namespace Valdrin
