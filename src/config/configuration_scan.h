// The strict scan of a configuration file: the elements with the lines they start on, the
// (name, value) pairs with their lines, and every place where the text is not well-formed or
// where the lenient reader (light_xml.h) would read something other than what was written.
// The scan only looks; what runs is still read by QLightXMLIO.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Valdrin {

enum class Severity { Warning, Error };

// One problem found in a configuration. Line 0 stands for the file as a whole.
struct Finding {
    Severity severity = Severity::Error;
    int line = 0;
    std::string message;
};

// "line 7: warning: message" ("warning: message" for line 0).
std::string formatFinding(const Finding& finding);

// Puts the findings in line order, those about the whole file (line 0) last; findings on the
// same line keep their order.
void sortByLine(std::vector<Finding>& findings);

// An element as the scan reads it: its name and its text as the lenient reader keeps them (the
// name up to the first blank, the text trimmed piece by piece), and the line of its "<".
struct ScannedElement {
    std::string name;
    std::string text;
    int line = 0;
    std::vector<ScannedElement> children;
};

// A parameter: the text of a "name" element and of the "value" element that goes with it.
struct ScannedPair {
    std::string key;
    std::string value;
    int keyLine = 0;
    int valueLine = 0;
};

struct ConfigurationScan {
    // The outermost element; an empty name when the file holds none.
    ScannedElement root;
    // Each element's own names and values paired in order, in document order. Where every
    // element pairs its names and values (no finding says otherwise) these are exactly the
    // pairs the parameter reader makes by position over the whole file.
    std::vector<ScannedPair> pairs;
    // Text that is not well-formed or is read otherwise than written, in file order.
    std::vector<Finding> findings;
};

// Scans the text of a configuration file.
ConfigurationScan scanConfiguration(std::string_view text);

// Scans a file; one error finding when it cannot be read.
ConfigurationScan scanConfigurationFile(const std::string& path);

// Every element named name in document pre-order, the root included.
std::vector<const ScannedElement*> elementsNamed(const ScannedElement& root, std::string_view name);

}  // namespace Valdrin
