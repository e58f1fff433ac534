// Reading the swept keys and the seeds, and expanding them into experiments.
#include "sweep/sweep_plan.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace Valdrin {

namespace {

std::string trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> splitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(trimmed(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A seed's text as a number; throws UsageError for anything but a seed from 1 to 32767.
int seedOf(const std::string& text, const std::string& list) {
    if (!allDigits(text)) {
        throw UsageError("--seeds takes whole numbers and ranges such as 1-10 or 1,4,20-25 (\"" + text + "\" in \"" +
                         list + "\" is not one)");
    }
    const std::string digits = text.substr(std::min(text.find_first_not_of('0'), text.size()));
    if (digits.empty()) {
        throw UsageError("seed 0 would take the calendar time and could not be repeated: seeds start at 1");
    }
    if (digits.size() > 5 || std::stoi(digits) > kLargestSeed) {
        throw UsageError("seed " + text + " is above " + std::to_string(kLargestSeed) +
                         ": only the low 15 bits of a seed choose the random stream, so it would repeat a smaller seed");
    }
    return std::stoi(digits);
}

// A value as part of a folder name.
std::string folderWord(const std::string& value) {
    std::string word;
    for (char c : value) {
        const bool kept = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '+' || c == '-';
        if (kept) {
            word += c;
        } else if (word.empty() || word.back() != '-') {
            word += '-';
        }
        if (word.size() >= 24) break;
    }
    return word.empty() ? "-" : word;
}

}  // namespace

SweptKey parseSetting(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        throw UsageError("--set takes KEY=VALUE,VALUE,... such as \"Population size=20,50\" (got \"" + text + "\")");
    }
    SweptKey swept{trimmed(std::string_view(text).substr(0, equals)), splitAt(std::string_view(text).substr(equals + 1), ',')};
    if (swept.key.empty()) throw UsageError("--set \"" + text + "\" names no key before \"=\"");
    std::set<std::string> seen;
    for (const std::string& value : swept.values) {
        if (value.empty()) throw UsageError("--set \"" + text + "\" has an empty value");
        if (value.find_first_of("<>&") != std::string::npos) {
            throw UsageError("--set \"" + text + "\": the value \"" + value +
                             "\" holds <, > or &, which the configuration file cannot hold as text");
        }
        if (!seen.insert(value).second) throw UsageError("--set \"" + text + "\" gives the value \"" + value + "\" twice");
    }
    return swept;
}

std::vector<int> parseSeeds(const std::string& text) {
    std::vector<int> seeds;
    std::set<int> seen;
    for (const std::string& part : splitAt(text, ',')) {
        const std::size_t dash = part.find('-');
        int first = 0;
        int last = 0;
        if (dash == std::string::npos) {
            first = last = seedOf(part, text);
        } else {
            first = seedOf(trimmed(part.substr(0, dash)), text);
            last = seedOf(trimmed(part.substr(dash + 1)), text);
            if (first > last) throw UsageError("the seed range " + part + " runs backwards: write it as " +
                                               std::to_string(last) + "-" + std::to_string(first));
        }
        for (int seed = first; seed <= last; ++seed) {
            if (!seen.insert(seed).second) throw UsageError("seed " + std::to_string(seed) + " is given twice in --seeds");
            seeds.push_back(seed);
        }
    }
    return seeds;
}

void checkSweptKeys(const std::vector<SweptKey>& keys) {
    std::set<std::string> columns;
    for (const SweptKey& swept : keys) {
        if (swept.key == "RNG seed") throw UsageError("the seeds are given with --seeds, not with --set \"RNG seed=...\"");
        if (!columns.insert(columnName(swept.key)).second) {
            throw UsageError("the key \"" + swept.key + "\" is swept twice: give all its values in one --set");
        }
    }
}

int combinationCount(const std::vector<SweptKey>& keys) {
    long long count = 1;
    for (const SweptKey& swept : keys) {
        count = std::min(count * static_cast<long long>(swept.values.size()), kMostExperiments + 1);
    }
    return static_cast<int>(count);
}

void checkPlanSize(const std::vector<SweptKey>& keys, const std::vector<int>& seeds) {
    const long long experiments = static_cast<long long>(combinationCount(keys)) * static_cast<long long>(seeds.size());
    if (experiments > kMostExperiments) {
        throw UsageError("the sweep would hold more than " + std::to_string(kMostExperiments) +
                         " experiments: sweep fewer values or seeds");
    }
}

std::vector<std::string> combinationValues(const std::vector<SweptKey>& keys, int combination) {
    std::vector<std::string> values(keys.size());
    for (std::size_t k = keys.size(); k-- > 0;) {
        const int count = static_cast<int>(keys[k].values.size());
        values[k] = keys[k].values[static_cast<std::size_t>(combination % count)];
        combination /= count;
    }
    return values;
}

std::vector<Experiment> expandPlan(const std::vector<SweptKey>& keys, const std::vector<int>& seeds) {
    const int combinations = combinationCount(keys);
    const std::size_t total = static_cast<std::size_t>(combinations) * seeds.size();
    const std::size_t width = std::to_string(total).size();
    std::vector<Experiment> experiments;
    experiments.reserve(total);
    for (int c = 0; c < combinations; ++c) {
        const std::vector<std::string> values = combinationValues(keys, c);
        for (int seed : seeds) {
            Experiment experiment{static_cast<int>(experiments.size()) + 1, c, values, seed, ""};
            std::string number = std::to_string(experiment.id);
            std::string folder = "experiments/" + std::string(width - number.size(), '0') + number;
            for (const std::string& value : values) folder.append("_").append(folderWord(value));
            experiment.folder = folder + "_seed" + std::to_string(seed);
            experiments.push_back(std::move(experiment));
        }
    }
    return experiments;
}

std::string columnName(std::string_view key) {
    std::string name;
    for (char c : key) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name.empty() ? "key" : name;
}

}  // namespace Valdrin
