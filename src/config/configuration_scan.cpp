// The strict scan of a configuration file. Two passes over the text: the first follows the
// lenient reader's own rules (any tag holding "/" closes the innermost element; the reader stops
// when the root closes) to learn where it would read otherwise than written; the second reads
// the text as well-formed XML would be read, recovers from each fault, and builds the tree.
#include "config/configuration_scan.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>

#include "config/light_xml.h"
#include "config/word_distance.h"
#include "core/file_content.h"

namespace Valdrin {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(std::string_view text) { return text.find_first_not_of(kBlanks) == std::string_view::npos; }

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string_view upToFirstBlank(std::string_view text) { return text.substr(0, text.find(' ')); }

std::string_view upToWhitespace(std::string_view text) { return text.substr(0, text.find_first_of(kBlanks)); }

// Text the user wrote, as a message quotes it: on one line and not too long.
std::string quoted(std::string_view text) {
    constexpr std::size_t kLongest = 40;
    std::string shown(trimmed(text));
    std::replace_if(shown.begin(), shown.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    if (shown.size() > kLongest) shown = shown.substr(0, kLongest - 3) + "...";
    shown.insert(shown.begin(), '"');
    shown.push_back('"');
    return shown;
}

std::string tagText(std::string_view name) { return "<" + std::string(name) + ">"; }

// The line of each offset in the text, counted from 1.
class LineIndex {
public:
    explicit LineIndex(std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') breaks_.push_back(i);
        }
    }
    int at(std::size_t offset) const {
        const auto before = std::lower_bound(breaks_.begin(), breaks_.end(), offset) - breaks_.begin();
        return static_cast<int>(before) + 1;
    }

private:
    std::vector<std::size_t> breaks_;
};

struct OpenElement {
    std::string name;
    int line = 0;
};

// What the lenient reader does with the text from start on.
struct ReaderView {
    // The element closed by each tag holding "/", by the offset of the tag's "<".
    std::map<std::size_t, OpenElement> closes;
    // Where the reader stops because the root closed: the offset after that tag and its line.
    std::size_t stopEnd = std::string_view::npos;
    int stopLine = 0;
    // The line of the tag that nests too deep, when the reader refuses the file for it.
    int refusedLine = 0;
};

// Follows QLightXMLIO::readFromFile step by step from the text after the declaration line.
ReaderView followReader(std::string_view text, std::size_t start, const LineIndex& lines) {
    ReaderView view;
    std::size_t gt = text.find('>', start);
    const std::string_view rootTag = text.substr(start, gt == std::string_view::npos ? gt : gt - start);
    const std::size_t open = rootTag.find('<');
    std::vector<OpenElement> stack{{std::string(upToFirstBlank(rootTag.substr(open == std::string_view::npos ? 0 : open + 1))),
                                    lines.at(start + (open == std::string_view::npos ? 0 : open))}};
    if (gt == std::string_view::npos) return view;
    std::size_t pos = text.find('<', gt + 1);
    while (pos != std::string_view::npos) {
        gt = text.find('>', pos + 1);
        if (gt == std::string_view::npos) break;
        std::string tag(text.substr(pos + 1, gt - pos - 1));
        trimLine(tag);
        if (tag.find('/') != std::string::npos) {
            view.closes[pos] = stack.back();
            stack.pop_back();
            if (stack.empty()) {
                view.stopEnd = gt + 1;
                view.stopLine = lines.at(pos);
                break;
            }
        } else {
            if (stack.size() > QLightXMLIO::kMaxDepth) {
                view.refusedLine = lines.at(pos);
                break;
            }
            stack.push_back({std::string(upToFirstBlank(tag)), lines.at(pos)});
        }
        pos = text.find('<', gt + 1);
    }
    return view;
}

// The well-formed reading: builds the tree and reports each fault where it stands.
class StrictReader {
public:
    StrictReader(std::string_view text, const LineIndex& lines, const ReaderView& reader, ConfigurationScan& scan)
        : text_(text), lines_(lines), reader_(reader), scan_(scan) {}

    void read(std::size_t start) {
        std::size_t pos = start;
        while (!stopped_ && pos < text_.size()) {
            const std::size_t lt = text_.find('<', pos);
            const std::string_view between = text_.substr(pos, lt == std::string_view::npos ? lt : lt - pos);
            if (rootClosed_) {
                const std::size_t rest = text_.find_first_not_of(kBlanks, pos);
                if (rest != std::string_view::npos) {
                    error(lines_.at(rest), "everything after the end of the root element " + tagText(scan_.root.name) +
                                               " (line " + std::to_string(rootEndLine_) + ") is ignored");
                }
                return;
            }
            takeText(between, pos);
            if (lt == std::string_view::npos) break;
            pos = takeTag(lt);
            noteReaderStop(pos);
        }
        if (stopped_) return;
        if (!rootSeen_) {
            error(0, "the file holds no elements: it needs a root element around the algorithm, the problem and "
                     "the parameters");
        }
        for (const ScannedElement* element : open_) {
            error(element->line, tagText(element->name) + " is never closed");
        }
    }

    bool reportedDepth() const { return depthReported_; }

private:
    void error(int line, std::string message) { scan_.findings.push_back({Severity::Error, line, std::move(message)}); }
    void warning(int line, std::string message) {
        scan_.findings.push_back({Severity::Warning, line, std::move(message)});
    }

    void takeText(std::string_view between, std::size_t at) {
        if (!open_.empty()) {
            // Appended piece by piece, as the reader does, carriage returns included.
            std::string piece(between);
            trimLine(piece);
            open_.back()->text += piece;
            return;
        }
        if (!isBlank(between)) {
            error(lines_.at(at + between.find_first_not_of(kBlanks)),
                  "the text " + quoted(between) + " before the root element is not read");
        }
    }

    // Reads the tag whose "<" is at lt; returns the offset after it.
    std::size_t takeTag(std::size_t lt) {
        const int line = lines_.at(lt);
        const std::string_view after = text_.substr(lt + 1);
        if (after.starts_with("!--")) {
            const std::size_t end = text_.find("-->", lt + 4);
            error(line, "comments are not understood: the reader takes <!-- for an element, reads every tag "
                        "inside the comment, and a \"/\" in it closes an element");
            if (end == std::string_view::npos) {
                error(line, "the comment is never ended with \"-->\"");
                return text_.size();
            }
            return end + 3;
        }
        const std::size_t gt = text_.find('>', lt + 1);
        if (gt == std::string_view::npos) {
            error(line, "the tag " + quoted(after) + " is not ended with \">\": the reader drops it");
            return text_.size();
        }
        const std::string_view raw = text_.substr(lt + 1, gt - lt - 1);
        if (raw.find('<') != std::string_view::npos) {
            error(line, "the tag " + quoted("<" + std::string(raw) + ">") + " holds a \"<\": a tag ends only at \">\"");
        }
        const std::string_view inner = trimmed(raw);
        if (inner.starts_with("?xml")) {
            error(line, "the XML declaration must stand alone on the first line");
        } else if (inner.starts_with('?') || inner.starts_with('!')) {
            error(line, "the reader does not understand " + quoted("<" + std::string(raw) + ">") +
                            ": it takes it for an element");
        } else if (inner.starts_with('/')) {
            closeTag(trimmed(inner.substr(1)), line, lt);
        } else if (inner.empty()) {
            error(line, "\"<>\" is a tag without a name");
        } else {
            openTag(raw, line, lt);
        }
        return gt + 1;
    }

    // "so it closes <parameter> (line 7)", as the reader would, when it still reads there.
    std::string whatTheReaderCloses(std::size_t lt) const {
        const auto found = reader_.closes.find(lt);
        if (found == reader_.closes.end()) return {};
        return ", so it closes " + tagText(found->second.name) + " (line " + std::to_string(found->second.line) + ")";
    }

    void openTag(std::string_view raw, int line, std::size_t lt) {
        std::string_view inner = trimmed(raw);
        const bool empty = inner.ends_with('/');
        if (empty) inner = trimmed(inner.substr(0, inner.size() - 1));
        // The name as the reader keeps it (up to the first blank of the trimmed tag), and without
        // a stray "<" and what follows it.
        std::string lenient(inner);
        trimLine(lenient);
        const std::string name(upToFirstBlank(lenient).substr(0, lenient.find('<')));
        if (name.empty()) {
            error(line, "\"<" + std::string(raw) + ">\" is a tag without a name");
            return;
        }
        if (!isBlank(inner.substr(upToWhitespace(inner).size()))) {
            warning(line, "the attributes of " + tagText(name) + " are ignored: the reader keeps no attributes");
        }
        // The reader takes the first tag for the root whatever it holds.
        if (empty && rootSeen_) {
            error(line, "<" + name + "/> is read as a closing tag: the reader takes every tag holding \"/\" for one" +
                            whatTheReaderCloses(lt) + "; write <" + name + "></" + name + "> for an empty element");
        } else if (rootSeen_ && raw.find('/') != std::string_view::npos) {
            error(line, "the tag " + quoted("<" + std::string(raw) + ">") +
                            " holds a \"/\": the reader takes it for a closing tag" + whatTheReaderCloses(lt));
        }
        if (!rootSeen_) {
            rootSeen_ = true;
            scan_.root = ScannedElement{name, {}, line, {}};
            open_.push_back(&scan_.root);
        } else {
            if (open_.size() > QLightXMLIO::kMaxDepth) {
                error(line, "elements nest more than " + std::to_string(QLightXMLIO::kMaxDepth) +
                                " levels deep here: the reader then reads nothing of the file");
                depthReported_ = true;
                stopped_ = true;
                return;
            }
            // Only the innermost element gains children, so the pointers to the outer ones stay valid.
            open_.back()->children.push_back(ScannedElement{name, {}, line, {}});
            open_.push_back(&open_.back()->children.back());
        }
        if (empty) closeInnermost(line);
    }

    void closeTag(std::string_view written, int line, std::size_t lt) {
        const std::string name(upToWhitespace(written));
        if (open_.empty()) {
            error(line, "the closing tag </" + name + "> comes before any element");
            return;
        }
        if (open_.back()->name == name) {
            closeInnermost(line);
            return;
        }
        for (std::size_t k = open_.size() - 1; k-- > 0;) {
            if (open_[k]->name != name) continue;
            // The elements inside the one this tag closes were left open.
            while (open_.size() > k + 1) {
                error(open_.back()->line, tagText(open_.back()->name) + " is not closed before </" + name +
                                              "> on line " + std::to_string(line));
                open_.pop_back();
            }
            closeInnermost(line);
            return;
        }
        const std::string innermost = open_.back()->name;
        const std::string_view candidate[] = {innermost};
        if (!nearWords(name, candidate).empty()) {
            error(line, "the closing tag </" + name + "> does not match " + tagText(innermost) + " (line " +
                            std::to_string(open_.back()->line) + ")");
            closeInnermost(line);
            return;
        }
        error(line, "the closing tag </" + name + "> closes no open element (the innermost one is " +
                        tagText(innermost) + ", line " + std::to_string(open_.back()->line) + ")" +
                        whatTheReaderCloses(lt));
    }

    void closeInnermost(int line) {
        open_.pop_back();
        if (open_.empty()) {
            rootClosed_ = true;
            rootEndLine_ = line;
        }
    }

    // Once the reader has stopped early, everything after its stop is lost; said once, unless
    // the root really ends there (the text after the root is reported as such).
    void noteReaderStop(std::size_t pos) {
        if (stopNoted_ || reader_.stopEnd == std::string_view::npos || pos < reader_.stopEnd) return;
        stopNoted_ = true;
        if (rootClosed_ && pos == reader_.stopEnd) return;
        const std::size_t rest = text_.find_first_not_of(kBlanks, reader_.stopEnd);
        if (rest == std::string_view::npos) return;
        error(reader_.stopLine, "the reader stops here: by its count this tag closes the root element, so it "
                                "reads nothing from line " +
                                    std::to_string(lines_.at(rest)) + " on");
    }

    std::string_view text_;
    const LineIndex& lines_;
    const ReaderView& reader_;
    ConfigurationScan& scan_;
    std::vector<ScannedElement*> open_;
    bool rootSeen_ = false;
    bool rootClosed_ = false;
    int rootEndLine_ = 0;
    bool stopped_ = false;
    bool stopNoted_ = false;
    bool depthReported_ = false;
};

// Where the reader and the scan start: after the declaration line, which is checked here.
struct Start {
    std::size_t reader = 0;
    std::size_t strict = 0;
};

Start checkDeclaration(std::string_view text, const LineIndex& lines, std::vector<Finding>& findings) {
    const std::size_t eol = text.find('\n');
    const std::string_view first = text.substr(0, eol);
    const std::size_t afterFirst = eol == std::string_view::npos ? text.size() : eol + 1;
    const std::size_t mark = first.find('?');
    const bool readerAccepts = first.substr(mark == std::string_view::npos ? 0 : mark + 1).starts_with("xml");

    std::string_view declaration = trimmed(first);
    if (declaration.starts_with(kByteOrderMark)) declaration = trimmed(declaration.substr(kByteOrderMark.size()));
    const std::size_t close = declaration.find("?>");
    const bool opens = declaration.starts_with("<?xml") &&
                       (declaration.size() == 5 || kBlanks.find(declaration[5]) != std::string_view::npos ||
                        declaration[5] == '?');
    if (readerAccepts) {
        if (opens && close != std::string_view::npos && close + 2 == declaration.size()) return {afterFirst, afterFirst};
        if (close != std::string_view::npos && !isBlank(declaration.substr(close + 2))) {
            findings.push_back({Severity::Error, 1,
                                "the reader skips the rest of the declaration line: " +
                                    quoted(declaration.substr(close + 2)) + " is not read"});
            return {afterFirst, static_cast<std::size_t>(first.find("?>") + 2)};
        }
        findings.push_back({Severity::Warning, 1,
                            "the reader takes line 1 for the XML declaration, but it is not one: write "
                            "<?xml version=\"1.0\"?>"});
        return {afterFirst, afterFirst};
    }
    // The reader reads nothing of the file; the rest is scanned as if the declaration were there.
    const std::size_t content = text.find_first_not_of(kBlanks);
    if (content != std::string_view::npos && text.substr(content).starts_with("<?xml")) {
        const std::size_t end = text.find("?>", content);
        findings.push_back({Severity::Error, 1,
                            "the XML declaration must be the file's first line (it is on line " +
                                std::to_string(lines.at(content)) + "): the reader reads nothing of this file"});
        const std::size_t after = end == std::string_view::npos ? text.size() : end + 2;
        return {after, after};
    }
    findings.push_back({Severity::Error, 1,
                        "the file does not begin with an XML declaration such as <?xml version=\"1.0\"?>: the "
                        "reader reads nothing of it"});
    return {0, 0};
}

struct Collected {
    const ScannedElement* element;
    const ScannedElement* parent;
};

// Pairs each element's own names and values, and reports the elements where they do not pair
// and the first place where pairing by position over the whole file goes wrong.
void pairParameters(ConfigurationScan& scan) {
    std::vector<Collected> names;
    std::vector<Collected> values;
    std::vector<Collected> pending{{&scan.root, nullptr}};
    while (!pending.empty()) {
        const Collected current = pending.back();
        pending.pop_back();
        const ScannedElement& element = *current.element;
        if (element.name == "name") names.push_back(current);
        if (element.name == "value") values.push_back(current);

        std::vector<const ScannedElement*> ownNames;
        std::vector<const ScannedElement*> ownValues;
        for (const ScannedElement& child : element.children) {
            if (child.name == "name") ownNames.push_back(&child);
            if (child.name == "value") ownValues.push_back(&child);
        }
        for (std::size_t i = 0; i < std::min(ownNames.size(), ownValues.size()); ++i) {
            scan.pairs.push_back({ownNames[i]->text, ownValues[i]->text, ownNames[i]->line, ownValues[i]->line});
        }
        const std::string where = tagText(element.name);
        if ((element.name == "algorithm" || element.name == "problem") && !(ownNames.empty() && ownValues.empty())) {
            scan.findings.push_back(
                {Severity::Error, element.line,
                 where + " holds a <name> or <value> element, which the reader takes for part of a parameter: "
                         "write the " + element.name + "'s word in another element, e.g. <type>...</type>"});
        } else if (ownNames.size() == 1 && ownValues.empty()) {
            scan.findings.push_back({Severity::Error, element.line,
                                     where + " holds the name " + quoted(ownNames[0]->text) + " but no <value>"});
        } else if (ownNames.empty() && ownValues.size() == 1) {
            scan.findings.push_back({Severity::Error, element.line,
                                     where + " holds the value " + quoted(ownValues[0]->text) + " but no <name>"});
        } else if (ownNames.size() != ownValues.size()) {
            scan.findings.push_back({Severity::Error, element.line,
                                     where + " holds " + std::to_string(ownNames.size()) + " <name> and " +
                                         std::to_string(ownValues.size()) +
                                         " <value> elements; each <name> needs one <value>"});
        } else if (element.name == "parameter" && ownNames.empty()) {
            scan.findings.push_back(
                {Severity::Warning, element.line, where + " holds no <name> and no <value>: it sets nothing"});
        }
        for (auto child = element.children.rbegin(); child != element.children.rend(); ++child) {
            pending.push_back({&*child, &element});
        }
    }
    std::stable_sort(scan.pairs.begin(), scan.pairs.end(),
                     [](const ScannedPair& a, const ScannedPair& b) { return a.keyLine < b.keyLine; });

    for (std::size_t i = 0; i < std::min(names.size(), values.size()); ++i) {
        if (names[i].parent == values[i].parent) continue;
        scan.findings.push_back({Severity::Error, names[i].element->line,
                                 "names and values pair by position over the whole file, so the key " +
                                     quoted(names[i].element->text) + " would take the value " +
                                     quoted(values[i].element->text) + " from line " +
                                     std::to_string(values[i].element->line) + ", and later keys shifted values"});
        break;
    }
}

}  // namespace

std::string formatFinding(const Finding& finding) {
    std::string text = finding.line > 0 ? "line " + std::to_string(finding.line) + ": " : std::string();
    text += finding.severity == Severity::Error ? "error: " : "warning: ";
    return text + finding.message;
}

void sortByLine(std::vector<Finding>& findings) {
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        if ((a.line == 0) != (b.line == 0)) return b.line == 0;
        return a.line < b.line;
    });
}

ConfigurationScan scanConfiguration(std::string_view text) {
    ConfigurationScan scan;
    const LineIndex lines(text);
    const Start start = checkDeclaration(text, lines, scan.findings);
    const ReaderView reader = followReader(text, start.reader, lines);
    StrictReader strict(text, lines, reader, scan);
    strict.read(start.strict);
    if (reader.refusedLine > 0 && !strict.reportedDepth()) {
        scan.findings.push_back({Severity::Error, reader.refusedLine,
                                 "elements nest more than " + std::to_string(QLightXMLIO::kMaxDepth) +
                                     " levels deep here (as the reader counts them): it then reads nothing of "
                                     "the file"});
    }
    pairParameters(scan);
    sortByLine(scan.findings);
    return scan;
}

ConfigurationScan scanConfigurationFile(const std::string& path) {
    std::string text;
    if (!readFileContent(path, text)) {
        ConfigurationScan scan;
        scan.findings.push_back({Severity::Error, 0, cannotRead(path, errno)});
        return scan;
    }
    return scanConfiguration(text);
}

std::vector<const ScannedElement*> elementsNamed(const ScannedElement& root, std::string_view name) {
    std::vector<const ScannedElement*> found;
    std::vector<const ScannedElement*> pending{&root};
    while (!pending.empty()) {
        const ScannedElement* element = pending.back();
        pending.pop_back();
        if (element->name == name) found.push_back(element);
        for (auto child = element->children.rbegin(); child != element->children.rend(); ++child) {
            pending.push_back(&*child);
        }
    }
    return found;
}

}  // namespace Valdrin
