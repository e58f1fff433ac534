// The experiments' configurations: the base configuration with the swept values and the seed
// put in, and the judgement of every combination by the configuration check before anything
// runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sweep/sweep_plan.h"

namespace Valdrin {

struct Setting {
    std::string key;
    std::string value;
};

// The swept words that are not keys: "Algorithm" and "Problem" choose the configuration's
// algorithm and problem, the text of the first child of its first <algorithm> or <problem>
// element (<algorithm><type>GA</type></algorithm>). The element's name for such a word; "" for a
// key.
std::string chosenElement(std::string_view word);

// The base text with the settings put in. A key the base gives has the value element of its last
// pair (the one the program uses) replaced, so every other line stays as written; a key the base
// does not give gets a parameter element of its own, on a line before the root's closing tag.
// "Algorithm" and "Problem" replace the text of the element the program reads the algorithm's or
// the problem's word from; a base without that element gets one (<problem><type>WORD</type>
// </problem>) on a line before the root's closing tag. Ends with a Failure when the base's values
// cannot be found as written: every pair must be a <value> element holding only its text, and a
// chosen word the text of its element alone, as the configuration check reads them.
std::string configurationWith(const std::string& baseText, const std::vector<Setting>& settings);

// The settings of one experiment: its swept values, then "RNG seed".
std::vector<Setting> settingsOf(const std::vector<SweptKey>& keys, const std::vector<std::string>& values, int seed);

// Why the sweep must not start, one line each; empty when it may. Every combination of values is
// put into the base (with the first seed) and checked as the program checks a configuration. A
// swept key the program does not know, a word the key does not take, a word the experiment
// cannot use (an error on the word's line: a crossover that does not fit the encoding, say) and
// a number that is not written as one are refused, each once, as "KEY=VALUE: " and the check's
// message. Numbers that cannot make a run (a population of 0) are not refused: those
// experiments fail by themselves and are reported, and the rest of the grid runs. An algorithm
// or problem word is refused when the program has no such algorithm or problem, or when a
// combination with it has an error on its line or one that the same combination with the base's
// own word does not have (a problem that cannot evaluate the encoding, say). When no combination
// could run at all, the errors of the first one are given instead ("BASE:LINE: " and the
// check's message). baseName names the base in the messages.
std::vector<std::string> sweepRefusals(const std::string& baseText, const std::string& baseName,
                                       const std::vector<SweptKey>& keys, int seed);

// The warning for a sweep that gives several seeds to experiments on the legacy generator, whose
// seeds are one stream moved on by a few draws (so the runs of different seeds are far from
// independent); empty when there is one seed or no combination uses that generator.
std::string sharedStreamWarning(const std::string& baseText, const std::vector<SweptKey>& keys,
                                const std::vector<int>& seeds);

}  // namespace Valdrin
