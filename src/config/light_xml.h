// QLightXMLIO: the configuration reader that turns a small XML-like file into a tree of named
// elements with text, and collects elements by name.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Valdrin {

// One element: copying a node copies its whole subtree.
struct XmlNode {
    std::string name;
    std::string text;
    std::vector<XmlNode> children;
};

// Removes every line feed, then blanks and tabs at both ends (carriage returns stay).
void trimLine(std::string& line);

// The root of the configuration tree plus the reader's operations. Attributes, entities and
// closing-tag names are not looked at: a tag with a "/" anywhere closes the open element.
class QLightXMLIO final : public XmlNode {
public:
    // Elements nested deeper than this below the root make the whole file unreadable; the bound
    // keeps copying and destroying a hostile tree within a small, fixed stack depth.
    static constexpr std::size_t kMaxDepth = 256;

    // Replaces the tree by the file's content. Failures are reported on err and leave the tree
    // empty; always returns 1. The parse ends at the end of the file, every element still open
    // counting as closed.
    int readFromFile(const std::string& path, std::ostream& err);

    // Appends a copy of every node named name (the root included), in document pre-order.
    void collectByName(const std::string& name, std::vector<XmlNode>& result) const;
};

}  // namespace Valdrin
