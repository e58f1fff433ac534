// Tests of the strict scan: the tree and pairs with their lines, agreement with the lenient
// reader on well-formed files, and each kind of fault with its line and message.
#include "config/configuration_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/light_xml.h"
#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::ScratchDir;
using testing::writeFile;

std::vector<std::string> formatted(const std::vector<Finding>& findings) {
    std::vector<std::string> lines;
    for (const Finding& finding : findings) lines.push_back(formatFinding(finding));
    return lines;
}

std::vector<std::string> findingsOf(const std::string& text) { return formatted(scanConfiguration(text).findings); }

// The scanned tree has the lenient reader's names, texts and shape.
void expectSameTree(const ScannedElement& scanned, const XmlNode& read) {
    EXPECT_EQ(scanned.name, read.name);
    EXPECT_EQ(scanned.text, read.text) << "in <" << read.name << ">";
    ASSERT_EQ(scanned.children.size(), read.children.size()) << "in <" << read.name << ">";
    for (std::size_t i = 0; i < read.children.size(); ++i) expectSameTree(scanned.children[i], read.children[i]);
}

// The lenient reader's own parse of the text and its positional pairs.
struct ReaderResult {
    QLightXMLIO tree;
    std::vector<std::pair<std::string, std::string>> pairs;
};

ReaderResult readLeniently(const std::string& text) {
    ScratchDir dir;
    writeFile("config.xml", text);
    ReaderResult result;
    result.tree.readFromFile("config.xml", std::cerr);
    std::vector<XmlNode> names;
    std::vector<XmlNode> values;
    result.tree.collectByName("name", names);
    result.tree.collectByName("value", values);
    for (std::size_t i = 0; i < std::min(names.size(), values.size()); ++i) {
        result.pairs.emplace_back(names[i].text, values[i].text);
    }
    return result;
}

void expectAgreesWithTheReader(const std::string& text) {
    const ConfigurationScan scan = scanConfiguration(text);
    EXPECT_TRUE(scan.findings.empty()) << formatFinding(scan.findings.front());
    const ReaderResult reader = readLeniently(text);
    expectSameTree(scan.root, reader.tree);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const ScannedPair& pair : scan.pairs) pairs.emplace_back(pair.key, pair.value);
    EXPECT_EQ(pairs, reader.pairs);
}

const std::string kWellFormed =
    "<?xml version=\"1.0\"?>\n"                                                  // 1
    "<experiment>\n"                                                             // 2
    "  <algorithm><type>GA</type></algorithm>\n"                                 // 3
    "  <problem>\n"                                                              // 4
    "    <type>Double sin</type>\n"                                              // 5
    "  </problem>\n"                                                             // 6
    "  <parameter><name>Encoding</name><value>real</value></parameter>\n"        // 7
    "  <parameter>\n"                                                            // 8
    "    <name>Population\n  size</name>\n"                                      // 9, 10
    "    <value>\t40 </value>\n"                                                 // 11
    "  </parameter>\n"                                                           // 12
    "  <note>first <b>bold</b> last</note>\n"                                    // 13
    "</experiment>\n";                                                           // 14

TEST(ConfigurationScan, GivesElementsAndPairsTheirLines) {
    const ConfigurationScan scan = scanConfiguration(kWellFormed);
    EXPECT_TRUE(scan.findings.empty());
    EXPECT_EQ(scan.root.name, "experiment");
    EXPECT_EQ(scan.root.line, 2);
    ASSERT_EQ(scan.root.children.size(), 5U);
    EXPECT_EQ(scan.root.children[1].line, 4);
    ASSERT_EQ(scan.root.children[1].children.size(), 1U);
    EXPECT_EQ(scan.root.children[1].children[0].line, 5);
    EXPECT_EQ(scan.root.children[4].children[0].line, 13);

    ASSERT_EQ(scan.pairs.size(), 2U);
    EXPECT_EQ(scan.pairs[0].key, "Encoding");
    EXPECT_EQ(scan.pairs[0].value, "real");
    EXPECT_EQ(scan.pairs[0].keyLine, 7);
    EXPECT_EQ(scan.pairs[0].valueLine, 7);
    // Texts are kept as the reader keeps them: line feeds dropped, blanks and tabs trimmed.
    EXPECT_EQ(scan.pairs[1].key, "Population  size");
    EXPECT_EQ(scan.pairs[1].value, "40");
    EXPECT_EQ(scan.pairs[1].keyLine, 9);
    EXPECT_EQ(scan.pairs[1].valueLine, 11);

    const std::vector<const ScannedElement*> types = elementsNamed(scan.root, "type");
    ASSERT_EQ(types.size(), 2U);
    EXPECT_EQ(types[0]->text, "GA");
    EXPECT_EQ(types[1]->text, "Double sin");
    EXPECT_EQ(elementsNamed(scan.root, "experiment").size(), 1U);
    EXPECT_TRUE(elementsNamed(scan.root, "Type").empty());
}

TEST(ConfigurationScan, ReadsWellFormedFilesAsTheReaderDoes) {
    expectAgreesWithTheReader(kWellFormed);
    // Carriage returns stay where the reader keeps them.
    std::string crlf;
    for (char c : kWellFormed) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    expectAgreesWithTheReader(crlf);
    const auto examples = testing::exampleFolders();
    EXPECT_FALSE(examples.empty());
    for (const auto& folder : examples) {
        SCOPED_TRACE(folder.string());
        expectAgreesWithTheReader(testing::readFile((folder / "config.xml").string()));
    }
}

TEST(ConfigurationScan, DemandsTheDeclarationOnTheFirstLine) {
    EXPECT_EQ(findingsOf("<experiment>\n</experiment>\n"),
              (std::vector<std::string>{"line 1: error: the file does not begin with an XML declaration such as "
                                        "<?xml version=\"1.0\"?>: the reader reads nothing of it"}));
    EXPECT_EQ(findingsOf("\n<?xml version=\"1.0\"?>\n<experiment></experiment>\n"),
              (std::vector<std::string>{"line 1: error: the XML declaration must be the file's first line (it is on "
                                        "line 2): the reader reads nothing of this file"}));
    // The rest of the declaration line is skipped, so the root is taken from the next line.
    EXPECT_EQ(findingsOf("<?xml version=\"1.0\"?><experiment>\n<a>1</a>\n<b>2</b>\n</experiment>\n"),
              (std::vector<std::string>{
                  "line 1: error: the reader skips the rest of the declaration line: \"<experiment>\" is not read",
                  "line 2: error: the reader stops here: by its count this tag closes the root element, so it reads "
                  "nothing from line 3 on"}));
    EXPECT_EQ(findingsOf("xml\n<experiment></experiment>\n"),
              (std::vector<std::string>{"line 1: warning: the reader takes line 1 for the XML declaration, but it is "
                                        "not one: write <?xml version=\"1.0\"?>"}));
    EXPECT_TRUE(findingsOf("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<e></e>\r\n").empty());
    EXPECT_TRUE(findingsOf("<?xml?>\n<e/>\n").empty());
    EXPECT_EQ(findingsOf(""), (std::vector<std::string>{
                                  "line 1: error: the file does not begin with an XML declaration such as <?xml "
                                  "version=\"1.0\"?>: the reader reads nothing of it",
                                  "error: the file holds no elements: it needs a root element around the algorithm, "
                                  "the problem and the parameters"}));
}

TEST(ConfigurationScan, ReportsTagsThatDoNotNestAndTheLinesTheyOpenOn) {
    // Unclosed: each open element with the line of its opening tag.
    EXPECT_EQ(findingsOf("<?xml?>\n<experiment>\n  <parameter>\n    <name>Arity</name>\n"),
              (std::vector<std::string>{"line 2: error: <experiment> is never closed",
                                        "line 3: error: <parameter> is never closed",
                                        "line 3: error: <parameter> holds the name \"Arity\" but no <value>"}));
    // A closing tag for an outer element leaves the inner ones open.
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<parameter><name>A</name>\n<value>1\n</parameter>\n</e>\n"),
              (std::vector<std::string>{"line 4: error: <value> is not closed before </parameter> on line 5"}));
    // A misspelt closing tag is taken for the innermost element's.
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<parameter><name>A</nmae><value>1</value></parameter>\n</e>\n"),
              (std::vector<std::string>{"line 3: error: the closing tag </nmae> does not match <name> (line 3)"}));
    // A closing tag that matches nothing open is left out.
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<parameter><name>A</name></value>\n<value>1</value></parameter>\n</e>\n"),
              (std::vector<std::string>{"line 3: error: the closing tag </value> closes no open element (the "
                                        "innermost one is <parameter>, line 3), so it closes <parameter> (line 3)",
                                        "line 4: error: the reader stops here: by its count this tag closes the root "
                                        "element, so it reads nothing from line 5 on"}));
    EXPECT_EQ(findingsOf("<?xml?>\n</a>\n<e></e>\n"),
              (std::vector<std::string>{"line 2: error: the closing tag </a> comes before any element"}));
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<a><b>x</a>\n</e>\n"),
              (std::vector<std::string>{"line 3: error: <b> is not closed before </a> on line 3"}));
}

TEST(ConfigurationScan, ReportsWhatTheReaderReadsOtherwiseThanWritten) {
    // A self-closing tag closes the element around it, and the closing tag meant for that
    // element then closes the root: the reader stops there.
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<parameter><name>A</name><value>1</value><flag/></parameter>\n"
                         "<parameter><name>B</name><value>2</value></parameter>\n</e>\n"),
              (std::vector<std::string>{
                  "line 3: error: <flag/> is read as a closing tag: the reader takes every tag holding \"/\" for one, "
                  "so it closes <parameter> (line 3); write <flag></flag> for an empty element",
                  "line 3: error: the reader stops here: by its count this tag closes the root element, so it reads "
                  "nothing from line 4 on"}));
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<link href=\"a/b\">x</link>\n</e>\n"),
              (std::vector<std::string>{"line 3: warning: the attributes of <link> are ignored: the reader keeps no "
                                        "attributes",
                                        "line 3: error: the tag \"<link href=\"a/b\">\" holds a \"/\": the reader "
                                        "takes it for a closing tag, so it closes <e> (line 2)",
                                        "line 3: error: the reader stops here: by its count this tag closes the root "
                                        "element, so it reads nothing from line 3 on"}));
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<!-- <parameter><name>A</name><value>1</value></parameter> -->\n</e>\n"),
              (std::vector<std::string>{"line 3: error: comments are not understood: the reader takes <!-- for an "
                                        "element, reads every tag inside the comment, and a \"/\" in it closes an "
                                        "element"}));
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<!DOCTYPE e>\n<?style x?>\n<?xml?>\n</e>\n"),
              (std::vector<std::string>{
                  "line 3: error: the reader does not understand \"<!DOCTYPE e>\": it takes it for an element",
                  "line 4: error: the reader does not understand \"<?style x?>\": it takes it for an element",
                  "line 5: error: the XML declaration must stand alone on the first line"}));
    EXPECT_EQ(findingsOf("<?xml?>\nstray words\n<e>\n<>\n<a<b>1</a>\n</e>\ntail"),
              (std::vector<std::string>{"line 2: error: the text \"stray words\" before the root element is not read",
                                        "line 4: error: \"<>\" is a tag without a name",
                                        "line 5: error: the tag \"<a<b>\" holds a \"<\": a tag ends only at \">\"",
                                        "line 7: error: everything after the end of the root element <e> (line 6) is "
                                        "ignored"}));
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<a>1</a\n"),
              (std::vector<std::string>{"line 2: error: <e> is never closed",
                                        "line 3: error: the tag \"/a\" is not ended with \">\": the reader drops it",
                                        "line 3: error: <a> is never closed"}));
}

TEST(ConfigurationScan, BoundsTheNestingDepthAsTheReaderDoes) {
    std::string text = "<?xml?>\n<e>";
    for (std::size_t i = 0; i < QLightXMLIO::kMaxDepth; ++i) text += "<n>";
    EXPECT_EQ(findingsOf(text).size(), QLightXMLIO::kMaxDepth + 1);  // each one never closed, nothing else
    text += "\n<n>";
    EXPECT_EQ(findingsOf(text),
              (std::vector<std::string>{"line 3: error: elements nest more than 256 levels deep here: the reader "
                                        "then reads nothing of the file"}));
}

TEST(ConfigurationScan, ReportsNamesAndValuesThatDoNotPair) {
    const ConfigurationScan scan = scanConfiguration(
        "<?xml?>\n"
        "<experiment>\n"
        "  <algorithm><name>GA</name></algorithm>\n"                              // 3
        "  <parameter><name>Encoding</name><value>real</value></parameter>\n"     // 4
        "  <parameter><name>Population size</name></parameter>\n"                // 5
        "  <parameter><name>Generations number</name><value>100</value></parameter>\n"
        "  <parameter><value>3</value></parameter>\n"                             // 7
        "  <parameter><name>A</name><name>B</name><value>1</value></parameter>\n" // 8
        "  <parameter>Elite count = 2</parameter>\n"                              // 9
        "</experiment>\n");
    EXPECT_EQ(formatted(scan.findings),
              (std::vector<std::string>{
                  "line 3: error: <algorithm> holds a <name> or <value> element, which the reader takes for part of a "
                  "parameter: write the algorithm's word in another element, e.g. <type>...</type>",
                  "line 3: error: names and values pair by position over the whole file, so the key \"GA\" would take "
                  "the value \"real\" from line 4, and later keys shifted values",
                  "line 5: error: <parameter> holds the name \"Population size\" but no <value>",
                  "line 7: error: <parameter> holds the value \"3\" but no <name>",
                  "line 8: error: <parameter> holds 2 <name> and 1 <value> elements; each <name> needs one <value>",
                  "line 9: warning: <parameter> holds no <name> and no <value>: it sets nothing"}));
    // Each element's own names and values still pair, so the checks see what was meant.
    ASSERT_EQ(scan.pairs.size(), 3U);
    EXPECT_EQ(scan.pairs[0].key, "Encoding");
    EXPECT_EQ(scan.pairs[1].key, "Generations number");
    EXPECT_EQ(scan.pairs[1].value, "100");
    EXPECT_EQ(scan.pairs[1].keyLine, 6);
    EXPECT_EQ(scan.pairs[2].key, "A");
    EXPECT_EQ(scan.pairs[2].value, "1");

    // A missing value first shows where it shifts the later values.
    EXPECT_EQ(findingsOf("<?xml?>\n<e>\n<p><name>A</name></p>\n<p><name>B</name><value>2</value></p>\n</e>\n"),
              (std::vector<std::string>{
                  "line 3: error: <p> holds the name \"A\" but no <value>",
                  "line 3: error: names and values pair by position over the whole file, so the key \"A\" would take "
                  "the value \"2\" from line 4, and later keys shifted values"}));
}

TEST(ConfigurationScan, ReportsEveryFaultInLineOrder) {
    const std::vector<std::string> found = findingsOf(
        "<experiment>\n"                                                      // 1
        "  <parameter><name>Arity</name><value>4</value></parametr>\n"        // 2
        "  <parameter><name>Gene size</name><value>4<value/></parameter>\n"   // 3
        "  <parameter><name>Elite count</name>\n"                             // 4
        "</experiment>\n");                                                   // 5
    EXPECT_EQ(found, (std::vector<std::string>{
                         "line 1: error: the file does not begin with an XML declaration such as <?xml "
                         "version=\"1.0\"?>: the reader reads nothing of it",
                         "line 2: error: the closing tag </parametr> does not match <parameter> (line 2)",
                         "line 3: error: <value/> is read as a closing tag: the reader takes every tag holding \"/\" "
                         "for one, so it closes <value> (line 3); write <value></value> for an empty element",
                         "line 3: error: <value> is not closed before </parameter> on line 3",
                         // As written, the empty <value/> stands inside the <value> before it.
                         "line 3: error: <value> holds the value \"\" but no <name>",
                         "line 4: error: <parameter> is not closed before </experiment> on line 5",
                         "line 4: error: <parameter> holds the name \"Elite count\" but no <value>",
                         "line 4: error: names and values pair by position over the whole file, so the key \"Elite "
                         "count\" would take the value \"\" from line 3, and later keys shifted values"}));
}

TEST(ConfigurationScan, ReportsAnUnreadableFileAndFormatsFindings) {
    ScratchDir dir;
    const ConfigurationScan missing = scanConfigurationFile("missing.xml");
    EXPECT_EQ(formatted(missing.findings), (std::vector<std::string>{"error: cannot read missing.xml: No such file or directory"}));
    EXPECT_TRUE(missing.root.name.empty());
    writeFile("config.xml", kWellFormed);
    EXPECT_EQ(scanConfigurationFile("config.xml").pairs.size(), 2U);

    std::vector<Finding> findings{{Severity::Error, 0, "whole file"},
                                  {Severity::Warning, 9, "nine"},
                                  {Severity::Error, 2, "two"},
                                  {Severity::Warning, 9, "nine again"}};
    sortByLine(findings);
    EXPECT_EQ(formatted(findings), (std::vector<std::string>{"line 2: error: two", "line 9: warning: nine",
                                                             "line 9: warning: nine again", "error: whole file"}));
}

}  // namespace
}  // namespace Valdrin
