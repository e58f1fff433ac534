// A small markup reader for the report tests: whether a text is well-formed XML (one root,
// balanced tags, quoted attributes, references only), its elements and its decoded text; and
// the rows of an HTML table.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace Valdrin::testing {

struct MarkupElement {
    std::string name;
    std::map<std::string, std::string> attributes;  // as written
};

struct MarkupDocument {
    std::string error;                    // empty when well-formed
    std::vector<MarkupElement> elements;  // in document order, the root first
    std::string text;                     // character data, references decoded

    int count(const std::string& name) const;
};

MarkupDocument parseMarkup(const std::string& text);

// The rows with cells of the table with that id: their data- attributes (named without
// "data-") and the text of their cells, references decoded.
struct TableRow {
    std::map<std::string, std::string> data;
    std::vector<std::string> cells;
};
std::vector<TableRow> tableRows(const std::string& html, const std::string& tableId);

}  // namespace Valdrin::testing
