// The configuration reader: declaration check, the tag-splitting parse and the name query.
#include "config/light_xml.h"

#include <fstream>
#include <ostream>
#include <string_view>

namespace Valdrin {

namespace {

// Reads into text everything up to the delimiter, which is consumed but not stored. Returns
// false when the end of the file came first.
bool readUpTo(std::istream& in, char delimiter, std::string& text) {
    text.clear();
    std::getline(in, text, delimiter);
    return !in.eof() && !in.fail();
}

std::string_view upToFirstBlank(std::string_view text) { return text.substr(0, text.find(' ')); }

}  // namespace

void trimLine(std::string& line) {
    std::erase(line, '\n');
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) {
        line.clear();
        return;
    }
    const std::size_t last = line.find_last_not_of(" \t");
    line = line.substr(first, last - first + 1);
}

int QLightXMLIO::readFromFile(const std::string& path, std::ostream& err) {
    name.clear();
    text.clear();
    children.clear();

    std::ifstream in(path);
    if (!in.is_open()) {
        err << "[QLightXMLIO::readFromFile] error:\n\tCan't read file (" << path << ")\n";
        return 1;
    }

    std::string line;
    readUpTo(in, '\n', line);
    const std::size_t mark = line.find('?');
    const std::size_t start = (mark == std::string::npos) ? 0 : mark + 1;
    if (line.compare(start, 3, "xml") != 0) {
        err << "[QLightXMLIO::readFromFile] error:\n\tInput file (" << path
                  << ") is not in xml format\n";
        return 1;
    }

    std::string chunk;
    readUpTo(in, '>', chunk);
    const std::size_t open = chunk.find('<');
    name = upToFirstBlank(std::string_view(chunk).substr(open == std::string::npos ? 0 : open + 1));

    // The open elements, innermost last. Only the innermost one gains children, so the pointers
    // into the outer elements' child vectors stay valid while they are on the stack.
    std::vector<XmlNode*> openElements{this};
    readUpTo(in, '<', chunk);
    trimLine(chunk);
    text = chunk;
    while (readUpTo(in, '>', chunk)) {
        trimLine(chunk);
        if (chunk.find('/') != std::string::npos) {
            openElements.pop_back();
            if (openElements.empty()) return 1;
        } else {
            if (openElements.size() > kMaxDepth) {
                err << "[QLightXMLIO::readFromFile] error:\n\tInput file (" << path
                          << ") nests elements more than " << kMaxDepth << " levels deep\n";
                name.clear();
                text.clear();
                children.clear();
                return 1;
            }
            XmlNode& parent = *openElements.back();
            parent.children.push_back(XmlNode{std::string(upToFirstBlank(chunk)), {}, {}});
            openElements.push_back(&parent.children.back());
        }
        readUpTo(in, '<', chunk);
        trimLine(chunk);
        openElements.back()->text += chunk;
    }
    return 1;
}

void QLightXMLIO::collectByName(const std::string& wanted, std::vector<XmlNode>& result) const {
    std::vector<const XmlNode*> pending{this};
    while (!pending.empty()) {
        const XmlNode* node = pending.back();
        pending.pop_back();
        if (node->name == wanted) result.push_back(*node);
        for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) {
            pending.push_back(&*child);
        }
    }
}

}  // namespace Valdrin
