// Putting values into the base configuration and checking the combinations.
#include "sweep/base_configuration.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "config/configuration_scan.h"
#include "core/failure.h"
#include "registry/configuration_check.h"
#include "registry/registry.h"

namespace Valdrin {

namespace {

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

// Where the text of a value element lies: from after its opening tag to its closing tag.
struct ValueSpan {
    std::size_t begin;
    std::size_t end;
};

// Every <value> element's text in document order; nothing when one holds anything but text or
// is not closed.
std::optional<std::vector<ValueSpan>> valueSpans(const std::string& text) {
    std::vector<ValueSpan> spans;
    for (std::size_t at = text.find("<value"); at != std::string::npos; at = text.find("<value", at + 1)) {
        const std::size_t after = at + 6;
        if (after >= text.size()) return std::nullopt;
        if (text[after] != '>' && std::isspace(static_cast<unsigned char>(text[after])) == 0) continue;  // <values>
        const std::size_t opened = text.find('>', after);
        if (opened == std::string::npos || text[opened - 1] == '/') return std::nullopt;
        const std::size_t closing = text.find('<', opened + 1);
        if (closing == std::string::npos || text.compare(closing, 7, "</value") != 0) return std::nullopt;
        spans.push_back({opened + 1, closing});
    }
    return spans;
}

// Where the text of the element that chooses the algorithm or the problem lies: the text of the
// first child of the first element of that name, found as the lenient reader finds it (comments,
// declarations and processing instructions skipped); nothing when there is no such element, and
// an empty span after the name's position when the element holds no child.
struct ChosenSpan {
    bool found = false;
    ValueSpan text{0, 0};
};

ChosenSpan chosenSpan(const std::string& text, const std::string& element) {
    ChosenSpan span;
    bool inside = false;
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        if (text.compare(at, 4, "<!--") == 0) {
            at = text.find("-->", at);
            if (at == std::string::npos) return span;
            continue;
        }
        if (text.compare(at, 2, "<?") == 0 || text.compare(at, 2, "<!") == 0) {
            at = text.find('>', at);
            if (at == std::string::npos) return span;
            continue;
        }
        const std::size_t close = text.find('>', at);
        if (close == std::string::npos) return span;
        if (text[at + 1] == '/') {
            if (inside) return span;  // the element closed with no child
            continue;
        }
        std::size_t nameEnd = at + 1;
        while (nameEnd < close && std::isspace(static_cast<unsigned char>(text[nameEnd])) == 0 && text[nameEnd] != '/') ++nameEnd;
        if (inside) {
            span.text = {close + 1, text[close - 1] == '/' ? close + 1 : text.find('<', close + 1)};
            if (span.text.end == std::string::npos) return {};
            return span;
        }
        if (text.compare(at + 1, nameEnd - at - 1, element) == 0) {
            span.found = true;
            if (text[close - 1] == '/') return span;
            inside = true;
        }
        at = close;
    }
    return span;
}

[[noreturn]] void cannotPutValues(const std::string& why) {
    failPlainly("cannot put the swept values into the base configuration: " + why +
                " (write each parameter as <parameter><name>KEY</name><value>VALUE</value></parameter>)");
}

// The line of a pair of the key in the scanned text (the last such pair): of its name and of its
// value; zeros when there is none.
std::pair<int, int> linesOf(const ConfigurationScan& scan, const std::string& key) {
    std::pair<int, int> lines{0, 0};
    for (const ScannedPair& pair : scan.pairs) {
        if (pair.key == key) lines = {pair.keyLine, pair.valueLine};
    }
    return lines;
}

// Whether the text is a number as the key's kind reads it in full: an optional minus and digits
// (that fit an int) for whole numbers, with at most one decimal point (finite) for reals.
bool isNumberText(KeyKind kind, const std::string& text) {
    const std::string body = text.substr(text.starts_with('-') ? 1 : 0);
    bool digit = false;
    bool point = false;
    for (char c : body) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && kind == KeyKind::Real && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digit) return false;
    if (kind == KeyKind::Real) return std::isfinite(std::strtod(text.c_str(), nullptr));
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return errno == 0 && value >= -2147483648LL && value <= 2147483647LL;
}

std::string joined(const std::vector<Finding>& findings, const std::string& separator) {
    std::string text;
    for (const Finding& finding : findings) text += (text.empty() ? "" : separator) + finding.message;
    return text;
}

// The line of the word that chooses the algorithm or the problem; 0 when there is none.
int chosenLine(const ConfigurationScan& scan, const std::string& element) {
    const std::vector<const ScannedElement*> found = elementsNamed(scan.root, element);
    if (found.empty()) return 0;
    return found.front()->children.empty() ? found.front()->line : found.front()->children.front().line;
}

// Why the algorithm or problem word of key k cannot be used in the combination whose findings
// are given: an unknown word is refused with what the check says on its line; a known one with
// the check's errors on its line and those the same combination with the base's own word does not
// have (on lines where that one has no error).
std::vector<Finding> wordErrors(const std::string& baseText, const std::string& folder,
                                const std::vector<SweptKey>& keys, const std::vector<std::string>& values, int seed,
                                std::size_t k, const std::vector<Finding>& findings, int line) {
    const std::string element = chosenElement(keys[k].key);
    const bool known = element == "algorithm" ? rowNamed(algorithmRows(), values[k]) != nullptr
                                              : rowNamed(problemRows(), values[k]) != nullptr;
    std::vector<Finding> reasons;
    for (const Finding& finding : findings) {
        if (finding.line == line && (!known || finding.severity == Severity::Error)) reasons.push_back(finding);
    }
    if (!known) {
        if (reasons.empty()) {
            reasons.push_back({Severity::Error, line, "\"" + values[k] + "\" is not " +
                                                          (element == "algorithm" ? "an algorithm" : "a problem") +
                                                          " of the program"});
        }
        return reasons;
    }
    if (!hasErrors(findings)) return reasons;
    const ConfigurationScan baseScan = scanConfiguration(baseText);
    const std::vector<const ScannedElement*> own = elementsNamed(baseScan.root, element);
    if (own.empty() || own.front()->children.empty() || own.front()->children.front().text == values[k]) return reasons;
    // The same combination with the base's own word.
    std::vector<SweptKey> others;
    std::vector<std::string> otherValues;
    for (std::size_t o = 0; o < keys.size(); ++o) {
        if (o == k) continue;
        others.push_back(keys[o]);
        otherValues.push_back(values[o]);
    }
    const std::vector<Finding> without =
        checkConfiguration(scanConfiguration(configurationWith(baseText, settingsOf(others, otherValues, seed))), 1, folder,
                           ProblemTable(), folder);
    std::set<int> erring;
    for (const Finding& finding : without) {
        if (finding.severity == Severity::Error) erring.insert(finding.line);
    }
    for (const Finding& finding : findings) {
        if (finding.severity == Severity::Error && finding.line != line && !erring.contains(finding.line)) {
            reasons.push_back(finding);
        }
    }
    return reasons;
}

}  // namespace

std::string chosenElement(std::string_view word) {
    if (word == "Algorithm") return "algorithm";
    if (word == "Problem") return "problem";
    return "";
}

std::string configurationWith(const std::string& baseText, const std::vector<Setting>& settings) {
    const ConfigurationScan scan = scanConfiguration(baseText);
    const std::optional<std::vector<ValueSpan>> spans = valueSpans(baseText);
    if (!spans) cannotPutValues("a <value> element holds more than its text or is not closed");
    if (spans->size() != scan.pairs.size()) cannotPutValues("its names and values do not pair one to one");
    for (std::size_t i = 0; i < spans->size(); ++i) {
        const ValueSpan& span = (*spans)[i];
        if (trimmed(baseText.substr(span.begin, span.end - span.begin)) != scan.pairs[i].value) {
            cannotPutValues("the value on line " + std::to_string(scan.pairs[i].valueLine) + " is not read as written");
        }
    }
    // Replacements from the end of the text, so that earlier places stay where they are: by
    // where the replaced text begins.
    std::map<std::size_t, std::pair<std::size_t, const Setting*>, std::greater<>> replaced;
    std::vector<const Setting*> added;
    std::vector<const Setting*> addedElements;
    for (const Setting& setting : settings) {
        if (const std::string element = chosenElement(setting.key); !element.empty()) {
            const ChosenSpan span = chosenSpan(baseText, element);
            const std::vector<const ScannedElement*> scanned = elementsNamed(scan.root, element);
            if (!span.found || scanned.empty()) {
                addedElements.push_back(&setting);
                continue;
            }
            const std::string written = trimmed(baseText.substr(span.text.begin, span.text.end - span.text.begin));
            if (scanned.front()->children.empty() || written != scanned.front()->children.front().text ||
                written.empty()) {
                cannotPutValues("the " + element + " on line " + std::to_string(scanned.front()->line) +
                                " is not named by the text of its first element, as in <" + element + "><type>WORD</type></" +
                                element + ">");
            }
            replaced[span.text.begin] = {span.text.end, &setting};
            continue;
        }
        std::optional<std::size_t> last;
        for (std::size_t i = 0; i < scan.pairs.size(); ++i) {
            if (scan.pairs[i].key == setting.key) last = i;
        }
        if (last) {
            replaced[(*spans)[*last].begin] = {(*spans)[*last].end, &setting};
        } else {
            added.push_back(&setting);
        }
    }
    std::string text = baseText;
    if (!added.empty() || !addedElements.empty()) {
        const std::size_t closing = text.rfind("</");
        if (closing == std::string::npos) cannotPutValues("it has no closing tag to put new parameters before");
        const std::size_t lineStart = text.rfind('\n', closing);
        const std::size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
        const bool ownLine = text.find_first_not_of(" \t", from) == closing;
        std::string lines = ownLine ? "" : "\n";
        for (const Setting* setting : addedElements) {
            const std::string element = chosenElement(setting->key);
            lines += "  <" + element + "><type>" + setting->value + "</type></" + element + ">\n";
        }
        for (const Setting* setting : added) {
            lines += "  <parameter><name>" + setting->key + "</name><value>" + setting->value + "</value></parameter>\n";
        }
        text.insert(ownLine ? from : closing, lines);
    }
    for (const auto& [begin, place] : replaced) text.replace(begin, place.first - begin, place.second->value);
    return text;
}

std::vector<Setting> settingsOf(const std::vector<SweptKey>& keys, const std::vector<std::string>& values, int seed) {
    std::vector<Setting> settings;
    for (std::size_t k = 0; k < keys.size(); ++k) settings.push_back({keys[k].key, values[k]});
    settings.push_back({"RNG seed", std::to_string(seed)});
    return settings;
}

std::vector<std::string> sweepRefusals(const std::string& baseText, const std::string& baseName,
                                       const std::vector<SweptKey>& keys, int seed) {
    std::vector<std::string> refusals;
    // A problem library's relative path starts from the base's folder.
    const std::string folder = std::filesystem::path(baseName).parent_path().string();
    std::set<std::string> refused;  // KEY=VALUE already refused
    std::optional<std::vector<std::string>> firstErrors;
    bool someCanRun = false;
    const int combinations = combinationCount(keys);
    for (int c = 0; c < combinations; ++c) {
        const std::vector<std::string> values = combinationValues(keys, c);
        const std::string text = configurationWith(baseText, settingsOf(keys, values, seed));
        const ConfigurationScan scan = scanConfiguration(text);
        // Every experiment takes the matrix.txt beside the base.
        const std::vector<Finding> findings =
            checkConfiguration(scan, 1, folder.empty() ? "." : folder, ProblemTable(), folder.empty() ? "." : folder);
        const auto onLine = [&findings](int line, bool errorsOnly) {
            std::vector<Finding> found;
            for (const Finding& finding : findings) {
                if (finding.line == line && (!errorsOnly || finding.severity == Severity::Error)) found.push_back(finding);
            }
            return found;
        };
        std::map<int, std::string> sweptLines;  // line -> KEY=VALUE, for lines the sweep added
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (const std::string element = chosenElement(keys[k].key); !element.empty()) {
                const std::string named = keys[k].key + "=" + values[k];
                const int line = chosenLine(scan, element);
                sweptLines[line] = named;
                if (refused.contains(named)) continue;
                std::vector<Finding> reasons = wordErrors(baseText, folder.empty() ? "." : folder, keys, values, seed, k, findings, line);
                if (reasons.empty()) continue;
                refused.insert(named);
                refusals.push_back(named + ": " + joined(reasons, "; "));
                continue;
            }
            const KeyRow* row = findKey(keys[k].key);
            // An unknown key is refused once, whatever its values.
            const std::string named = row == nullptr ? keys[k].key : keys[k].key + "=" + values[k];
            const auto [keyLine, valueLine] = linesOf(scan, keys[k].key);
            sweptLines[keyLine] = named;
            sweptLines[valueLine] = named;
            if (refused.contains(named)) continue;
            std::vector<Finding> reasons;
            if (row == nullptr) {
                reasons = onLine(keyLine, false);
                if (reasons.empty()) reasons.push_back({Severity::Error, keyLine, "unknown key \"" + keys[k].key + "\""});
            } else if (row->kind == KeyKind::Word || row->kind == KeyKind::Flag) {
                const std::vector<std::string_view> words = row->words();
                const bool known = std::find(words.begin(), words.end(), values[k]) != words.end();
                reasons = onLine(valueLine, known);
                if (!known && reasons.empty()) {
                    reasons.push_back({Severity::Error, valueLine, "\"" + values[k] + "\" is not a word of \"" + keys[k].key + "\""});
                }
            } else if (row->kind != KeyKind::Text && !isNumberText(row->kind, values[k])) {
                reasons = onLine(valueLine, true);
                if (reasons.empty()) {
                    reasons.push_back({Severity::Error, valueLine, "\"" + values[k] + "\" is not a number as \"" + keys[k].key + "\" reads it"});
                }
            }
            if (reasons.empty()) continue;
            refused.insert(named);
            refusals.push_back(named + ": " + joined(reasons, "; "));
        }
        if (!hasErrors(findings)) {
            someCanRun = true;
        } else if (!firstErrors) {
            firstErrors.emplace();
            std::string combination;
            for (std::size_t k = 0; k < keys.size(); ++k) {
                combination += (k == 0 ? "" : ", ") + keys[k].key + "=" + values[k];
            }
            for (const Finding& finding : findings) {
                if (finding.severity != Severity::Error) continue;
                std::string where = baseName;
                const auto swept = sweptLines.find(finding.line);
                if (swept != sweptLines.end() && finding.line > 0) {
                    where = swept->second;
                } else if (finding.line > 0) {
                    where.append(":").append(std::to_string(finding.line));
                }
                firstErrors->push_back(where + ": " + finding.message +
                                       (combination.empty() ? "" : " (with " + combination + ")"));
            }
        }
    }
    if (refusals.empty() && !someCanRun && firstErrors) {
        refusals.push_back("no combination of the swept values can run; the first one:");
        refusals.insert(refusals.end(), firstErrors->begin(), firstErrors->end());
    }
    return refusals;
}

std::string sharedStreamWarning(const std::string& baseText, const std::vector<SweptKey>& keys,
                                const std::vector<int>& seeds) {
    if (seeds.size() < 2) return "";
    const int combinations = combinationCount(keys);
    for (int c = 0; c < combinations; ++c) {
        const std::string text = configurationWith(baseText, settingsOf(keys, combinationValues(keys, c), seeds.front()));
        if (effectiveParameters(scanConfiguration(text)).generator != GeneratorKind::Legacy) continue;
        return "the experiments run on the legacy generator, on which seed s is seed 0's stream moved on by s "
               "draws: the " + std::to_string(seeds.size()) +
               " seeds give nearly the same starting populations, not independent samples; set \"Random "
               "generator\" to pcg64 in the base (or sweep it) for independent seeds";
    }
    return "";
}

}  // namespace Valdrin
