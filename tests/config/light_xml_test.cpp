// Tests of the configuration reader: tree shape, its tag-splitting quirks, failures and
// inputs that end early or nest too deep.
#include "config/light_xml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace Valdrin {
namespace {

using testing::ScratchDir;
using testing::writeFile;

// Reads the text from a file and returns what the reader wrote on standard error.
std::string parse(QLightXMLIO& tree, const std::string& text) {
    writeFile("input.xml", text);
    ::testing::internal::CaptureStderr();
    tree.readFromFile("input.xml", std::cerr);
    return ::testing::internal::GetCapturedStderr();
}

TEST(LightXml, ReadsTheConfigurationShape) {
    ScratchDir dir;
    QLightXMLIO tree;
    const std::string err = parse(tree,
                                  "<?xml version=\"1.0\"?>\n"
                                  "<experiment kind=\"test\">\n"
                                  "  <algorithm><type>GA</type></algorithm>\n"
                                  "  <problem>\n"
                                  "    <type>\n"
                                  "      Double\tsin\n"
                                  "    </type>\n"
                                  "  </problem>\n"
                                  "  <parameter><name>Encoding</name><value>real</value></parameter>\n"
                                  "  <note>\n    first line\n\t  second line \r\n  </note>\n"
                                  "</experiment>\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(tree.name, "experiment");
    ASSERT_EQ(tree.children.size(), 4U);
    EXPECT_EQ(tree.children[0].name, "algorithm");
    ASSERT_EQ(tree.children[0].children.size(), 1U);
    EXPECT_EQ(tree.children[0].children[0].text, "GA");
    EXPECT_EQ(tree.children[1].children[0].text, "Double\tsin");
    const XmlNode& parameter = tree.children[2];
    ASSERT_EQ(parameter.children.size(), 2U);
    EXPECT_EQ(parameter.children[0].name, "name");
    EXPECT_EQ(parameter.children[0].text, "Encoding");
    EXPECT_EQ(parameter.children[1].text, "real");
    EXPECT_EQ(parameter.text, "");
    // Line feeds go wherever they stand; only blanks and tabs are trimmed, and only at the ends,
    // so a carriage return stays.
    EXPECT_EQ(tree.children[3].text, "first line\t  second line \r");
}

TEST(LightXml, TagsSplitOnlyAtBracketsAndSlashes) {
    ScratchDir dir;
    QLightXMLIO tree;
    parse(tree,
          "<?xml version=\"1.0\"?>\n"
          "<root>\n"
          "<!-- settings -->\n"
          "<a>x<b>inner</b>y</a>\n"
          "</comment>\n"
          "<d>Tom &amp; Jerry &lt;3</d>\n"
          "<e attr=\"1\" other=\"2\">text</e>\n"
          "<c>before<empty/>after</c>\n"
          "<ignored>the root closed above</ignored>\n");
    // The comment opens an element that holds everything up to the next closing tag.
    ASSERT_EQ(tree.children.size(), 4U);
    EXPECT_EQ(tree.children[0].name, "!--");
    ASSERT_EQ(tree.children[0].children.size(), 1U);
    const XmlNode& a = tree.children[0].children[0];
    EXPECT_EQ(a.text, "xy");
    ASSERT_EQ(a.children.size(), 1U);
    EXPECT_EQ(a.children[0].text, "inner");
    // Entities stay as written; attributes are dropped from the name.
    EXPECT_EQ(tree.children[1].text, "Tom &amp; Jerry &lt;3");
    EXPECT_EQ(tree.children[2].name, "e");
    EXPECT_EQ(tree.children[2].text, "text");
    // A self-closing tag closes the element around it: the text after it goes to the root, and
    // the closing tag that was meant for the element closes the root.
    EXPECT_EQ(tree.children[3].name, "c");
    EXPECT_EQ(tree.children[3].text, "before");
    EXPECT_TRUE(tree.children[3].children.empty());
    EXPECT_EQ(tree.text, "after");
}

TEST(LightXml, ReportsUnreadableAndForeignFiles) {
    ScratchDir dir;
    QLightXMLIO tree;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(tree.readFromFile("missing.xml", std::cerr), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "[QLightXMLIO::readFromFile] error:\n\tCan't read file (missing.xml)\n");
    EXPECT_TRUE(tree.name.empty());

    EXPECT_EQ(parse(tree, "name = value\n<a>1</a>\n"),
              "[QLightXMLIO::readFromFile] error:\n\tInput file (input.xml) is not in xml format\n");
    EXPECT_TRUE(tree.name.empty());
    EXPECT_TRUE(tree.children.empty());
    EXPECT_NE(parse(tree, "<?XML version=\"1.0\"?>\n<a>1</a>\n"), "");
    EXPECT_NE(parse(tree, ""), "");

    // Without a question mark the line itself must begin with the three letters.
    EXPECT_EQ(parse(tree, "xml\n<root><a>1</a></root>\n"), "");
    EXPECT_EQ(tree.name, "root");
    ASSERT_EQ(tree.children.size(), 1U);

    // A new file replaces the tree read before.
    parse(tree, "garbage\n");
    EXPECT_TRUE(tree.name.empty());
    EXPECT_TRUE(tree.children.empty());
}

TEST(LightXml, EndOfFileClosesEveryOpenElement) {
    ScratchDir dir;
    QLightXMLIO tree;
    EXPECT_EQ(parse(tree, "<?xml?>\n<root>\n<a>\n<b>text"), "");
    ASSERT_EQ(tree.children.size(), 1U);
    ASSERT_EQ(tree.children[0].children.size(), 1U);
    EXPECT_EQ(tree.children[0].children[0].text, "text");

    parse(tree, "<?xml?>\n<root><a>1</a><b");  // a tag cut off by the end is dropped
    EXPECT_EQ(tree.children.size(), 1U);

    parse(tree, "<?xml?>\n");
    EXPECT_EQ(tree.name, "");
    EXPECT_TRUE(tree.children.empty());

    parse(tree, "<?xml?>\n<root>\n</root>\n<after>ignored</after>\n");
    EXPECT_TRUE(tree.children.empty());
}

TEST(LightXml, NestingDepthIsBounded) {
    ScratchDir dir;
    QLightXMLIO tree;
    const auto nested = [](std::size_t depth) {
        std::string text = "<?xml?>\n<root>";
        for (std::size_t i = 0; i < depth; ++i) text += "<n>";
        return text;
    };
    EXPECT_EQ(parse(tree, nested(QLightXMLIO::kMaxDepth)), "");
    std::vector<XmlNode> found;
    tree.collectByName("n", found);
    EXPECT_EQ(found.size(), QLightXMLIO::kMaxDepth);

    EXPECT_EQ(parse(tree, nested(200000)),
              "[QLightXMLIO::readFromFile] error:\n\tInput file (input.xml) nests elements more than 256 "
              "levels deep\n");
    EXPECT_TRUE(tree.name.empty());
    EXPECT_TRUE(tree.children.empty());
}

TEST(LightXml, CollectByNameCopiesInPreOrder) {
    QLightXMLIO tree;
    tree.name = "x";
    tree.children = {XmlNode{"x", "1", {XmlNode{"x", "2", {}}}}, XmlNode{"y", "", {XmlNode{"x", "3", {}}}}};
    std::vector<XmlNode> found{XmlNode{"kept", "", {}}};
    tree.collectByName("x", found);
    ASSERT_EQ(found.size(), 5U);
    EXPECT_EQ(found[0].name, "kept");
    EXPECT_EQ(found[1].children.size(), 2U);  // the root itself comes first
    EXPECT_EQ(found[2].text, "1");
    EXPECT_EQ(found[3].text, "2");
    EXPECT_EQ(found[4].text, "3");
    found[2].children[0].text = "changed";
    EXPECT_EQ(tree.children[0].children[0].text, "2");

    found.clear();
    tree.collectByName("X", found);
    EXPECT_TRUE(found.empty());
}

}  // namespace
}  // namespace Valdrin
