// The plan of a sweep: the swept keys with their values and the seeds, read from the command
// line's words, and the experiments they expand into: one per combination of values and seed,
// each with its own folder.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Valdrin {

// A command line the sweep cannot use (exit status 2); its text says what is wrong.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One --set: a configuration key and the values it takes, in the order given.
struct SweptKey {
    std::string key;
    std::vector<std::string> values;
};

// Reads "KEY=V1,V2,...": the key up to the first "=", the values separated by commas, blanks
// around the key and each value dropped. Throws UsageError when there is no "=", the key or a
// value is empty, a value is given twice, or a value holds a character the configuration file
// cannot carry as text ("<", ">", "&").
SweptKey parseSetting(const std::string& text);

// The largest seed worth giving: only the low 15 bits of a seed choose the random stream.
constexpr int kLargestSeed = 32767;

// Reads a list of seeds: whole numbers and ranges A-B (A <= B) separated by commas, such as
// "1-10" or "1,4,20-25". Each seed must lie from 1 to 32767 and be given once; the order given
// is kept. Throws UsageError otherwise.
std::vector<int> parseSeeds(const std::string& text);

// Checks the swept keys together: each key once, and not "RNG seed" (the seeds are --seeds).
// Throws UsageError otherwise.
void checkSweptKeys(const std::vector<SweptKey>& keys);

// One experiment of the sweep.
struct Experiment {
    int id = 0;           // from 1, in the plan's order
    int combination = 0;  // from 0: which combination of the swept values
    std::vector<std::string> values;  // one per swept key, in the keys' order
    int seed = 0;
    std::string folder;  // relative to the sweep's folder: experiments/NNN_VALUES_seedS
};

// The most experiments a sweep may hold (each is a folder of its own).
constexpr long long kMostExperiments = 1000000;

// The number of combinations of the swept values (1 when nothing is swept), at most
// kMostExperiments + 1.
int combinationCount(const std::vector<SweptKey>& keys);

// Throws UsageError when the combinations times the seeds exceed kMostExperiments.
void checkPlanSize(const std::vector<SweptKey>& keys, const std::vector<int>& seeds);

// The values of combination number c: the last key's values change fastest.
std::vector<std::string> combinationValues(const std::vector<SweptKey>& keys, int combination);

// Every combination with every seed: combinations in order, the seeds in the order given within
// each. Folder names hold the experiment's number (zero-padded to a common width), its values
// (letters, digits, ".", "+" and "-" kept, any other run of characters made one "-", at most 24
// characters each) and its seed.
std::vector<Experiment> expandPlan(const std::vector<SweptKey>& keys, const std::vector<int>& seeds);

// The column that holds a key's values in the results: the key in lower case with every run of
// characters other than letters and digits made one "_" ("Population size" is population_size).
std::string columnName(std::string_view key);

}  // namespace Valdrin
