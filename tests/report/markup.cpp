// The report tests' markup reader.
#include "report/markup.h"

#include <cctype>
#include <cstdlib>

namespace Valdrin::testing {

namespace {

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Decodes the reference at text[at] == '&' into out and moves past it; false when it is none.
bool decodeReference(const std::string& text, std::size_t& at, std::string& out) {
    static const std::map<std::string, std::string> named{{"amp", "&"},  {"lt", "<"},          {"gt", ">"},
                                                          {"quot", "\""}, {"mdash", "\u2014"}, {"infin", "\u221e"}};
    const std::size_t end = text.find(';', at);
    if (end == std::string::npos || end - at < 3 || end - at > 10) return false;
    const std::string body = text.substr(at + 1, end - at - 1);
    if (body[0] == '#') {
        char* stop = nullptr;
        const bool hex = body[1] == 'x';
        const unsigned long code = std::strtoul(body.c_str() + (hex ? 2 : 1), &stop, hex ? 16 : 10);
        if (*stop != '\0') return false;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += {static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 0x3F))};
        } else {
            out += {static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | (code >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (code & 0x3F))};
        }
    } else {
        const auto found = named.find(body);
        if (found == named.end()) return false;
        out += found->second;
    }
    at = end + 1;
    return true;
}

std::string decoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '&' || !decodeReference(text, i, out)) out += text[i++];
    }
    return out;
}

}  // namespace

int MarkupDocument::count(const std::string& name) const {
    int n = 0;
    for (const MarkupElement& element : elements) n += element.name == name ? 1 : 0;
    return n;
}

MarkupDocument parseMarkup(const std::string& text) {
    MarkupDocument document;
    std::vector<std::string> open;
    bool rootDone = false;
    std::size_t i = 0;
    const auto broken = [&](const std::string& what) {
        document.error = what + " at offset " + std::to_string(i);
        return document;
    };
    while (i < text.size()) {
        if (text[i] == '&') {
            std::string ignored;
            if (!decodeReference(text, i, open.empty() ? ignored : document.text)) return broken("a bare '&'");
        } else if (text[i] != '<') {
            if (text[i] == '>' || (open.empty() && !isSpace(text[i]))) return broken("stray text");
            if (!open.empty()) document.text += text[i];
            ++i;
        } else if (text.compare(i, 2, "<?") == 0 || text.compare(i, 2, "<!") == 0) {
            if (!document.elements.empty()) return broken("a declaration inside the document");
            i = text.find('>', i);
            if (i == std::string::npos) return broken("an unclosed declaration");
            ++i;
        } else if (text.compare(i, 2, "</") == 0) {
            const std::size_t end = text.find('>', i);
            if (end == std::string::npos || open.empty() || text.substr(i + 2, end - i - 2) != open.back()) {
                return broken("an end tag out of place");
            }
            open.pop_back();
            rootDone = open.empty();
            i = end + 1;
        } else {
            if (rootDone) return broken("a second root");
            std::size_t at = i + 1;
            while (at < text.size() && !isSpace(text[at]) && text[at] != '>' && text[at] != '/') ++at;
            MarkupElement element{text.substr(i + 1, at - i - 1), {}};
            for (;;) {
                while (at < text.size() && isSpace(text[at])) ++at;
                if (at >= text.size()) return broken("an unclosed tag");
                if (text[at] == '>' || text.compare(at, 2, "/>") == 0) break;
                const std::size_t equals = text.find('=', at);
                const std::string name = text.substr(at, equals - at);
                if (equals == std::string::npos || name.find_first_of(" \n\t<>\"'") != std::string::npos ||
                    text[equals + 1] != '"') {
                    return broken("a malformed attribute in <" + element.name + ">");
                }
                const std::size_t close = text.find('"', equals + 2);
                const std::string value = text.substr(equals + 2, close - equals - 2);
                if (close == std::string::npos || value.find('<') != std::string::npos ||
                    !element.attributes.emplace(name, value).second) {
                    return broken("a malformed attribute in <" + element.name + ">");
                }
                at = close + 1;
            }
            const bool empty = text[at] == '/';
            if (!empty) open.push_back(element.name);
            rootDone = empty && open.empty();
            document.elements.push_back(std::move(element));
            i = at + (empty ? 2 : 1);
        }
    }
    if (document.elements.empty() || !open.empty()) return broken("an unclosed or missing root");
    return document;
}

std::vector<TableRow> tableRows(const std::string& html, const std::string& tableId) {
    std::vector<TableRow> rows;
    const std::size_t start = html.find("id=\"" + tableId + "\"");
    const std::size_t end = html.find("</table>", start);
    for (std::size_t row = html.find("<tr", start); start != std::string::npos && row < end;
         row = html.find("<tr", row + 1)) {
        const std::size_t tagEnd = html.find('>', row);
        const std::size_t rowEnd = html.find("</tr>", tagEnd);
        TableRow read;
        const std::string tag = html.substr(row, tagEnd - row);
        for (std::size_t a = tag.find(" data-"); a != std::string::npos; a = tag.find(" data-", a + 1)) {
            const std::size_t equals = tag.find("=\"", a);
            read.data[tag.substr(a + 6, equals - a - 6)] = decoded(tag.substr(equals + 2, tag.find('"', equals + 2) - equals - 2));
        }
        for (std::size_t cell = html.find("<td", tagEnd); cell < rowEnd; cell = html.find("<td", cell + 1)) {
            std::string content;
            bool inTag = false;
            const std::size_t cellEnd = html.find("</td>", cell);
            for (std::size_t k = html.find('>', cell) + 1; k < cellEnd; ++k) {
                if (html[k] == '<' || html[k] == '>') {
                    inTag = html[k] == '<';
                } else if (!inTag) {
                    content += html[k];
                }
            }
            read.cells.push_back(decoded(content));
        }
        if (!read.cells.empty()) rows.push_back(std::move(read));
    }
    return rows;
}

}  // namespace Valdrin::testing
