// Whole texts on read, the well-formed layout on write, and the round trip
// of the two: files of the tests and examples and generated documents read
// the same from a file and a string, and write and read back as the same
// tree, the second write giving the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "TempDir.h"
#include "ZELBasXmlDocument.h"

namespace {

const unsigned long kRoundTrip = ZELBasXmlWholeText | ZELBasXmlWellFormed | ZELBasXmlQuiet;

std::string Text(const ZELString& s) { return std::string(std::string_view(s)); }

// The tree as one line per element: depth, tag, attributes, text.
std::string Outline(const ZELBasXmlNode& node, int depth = 0) {
  std::string line = std::string(depth, '.') + Text(node.GetTagName());
  for (auto it = node.GetAttributes().begin(); it != node.GetAttributes().end(); ++it) {
    line += " " + Text(it->first) + "=[" + Text(it->second) + "]";
  }
  line += " {" + Text(node.GetData()) + "}\n";
  for (size_t i = 0; i < node.Children().size(); ++i) line += Outline(node.ChildAt(i), depth + 1);
  return line;
}

std::string Written(ZELBasXmlDocument& d) {
  ZELString out;
  EXPECT_EQ(d.WriteString(out), S_OK);
  return Text(out);
}

// `xml` read with whole texts from a file and from a string gives one tree;
// written well-formed and read back it gives that tree again, and writing
// that gives the same bytes. False when `xml` does not parse.
bool RoundTrips(const std::string& xml, const std::string& what) {
  TempDir dir;
  ZELBasXmlDocument file, string, again;
  file.SetOptions(kRoundTrip);
  string.SetOptions(kRoundTrip);
  again.SetOptions(kRoundTrip);
  EXPECT_EQ(file.ReadFile(ZELString(dir.Write("in.xml", xml).c_str())), S_OK) << what;
  ZELString message;
  unsigned long line, column;
  if (file.GetParseError(message, line, column) == S_OK) return false;
  EXPECT_EQ(string.ReadString(ZELString(std::string_view(xml))), S_OK) << what;
  std::string tree = Outline(file.GetRoot());
  EXPECT_TRUE(tree == Outline(string.GetRoot())) << what;
  std::string first = Written(file);
  EXPECT_EQ(again.ReadString(ZELString(std::string_view(first))), S_OK) << what << "\n" << first;
  EXPECT_TRUE(tree == Outline(again.GetRoot())) << what << "\n" << first;
  EXPECT_TRUE(first == Written(again)) << what;
  return true;
}

// The text of each element in document order, read with whole texts.
std::vector<std::string> WholeTexts(const std::string& xml) {
  ZELBasXmlDocument d;
  d.SetOptions(ZELBasXmlWholeText);
  EXPECT_EQ(d.ReadString(ZELString(std::string_view(xml))), S_OK) << xml;
  std::vector<std::string> texts;
  std::vector<const ZELBasXmlNode*> open = {&d.GetRoot()};
  while (!open.empty()) {
    const ZELBasXmlNode* node = open.back();
    open.pop_back();
    texts.push_back(Text(node->GetData()));
    for (size_t i = node->Children().size(); i-- > 0;) open.push_back(&node->ChildAt(i));
  }
  return texts;
}

typedef std::vector<std::string> Texts;

}  // namespace

TEST(WholeTextTest, RunsAreJoinedHoweverTheParserSplitsThem) {
  EXPECT_EQ(WholeTexts("<t>Tom &amp; Jerry's shop</t>"), Texts({"Tom & Jerry's shop"}));
  EXPECT_EQ(WholeTexts("<t>one\r\ntwo\nthree&#13;</t>"), Texts({"one\ntwo\nthree\r"}));
  EXPECT_EQ(WholeTexts("<t>a<![CDATA[<b> & ]]>c</t>"), Texts({"a<b> & c"}));
  EXPECT_EQ(WholeTexts("<t>a<!-- x -->b<?pi y?>c</t>"), Texts({"abc"}));
  EXPECT_EQ(WholeTexts("<p>Hello <b>big</b> world</p>"), Texts({"Hello  world", "big"}));
  // Runs of white space alone are left out, however many pieces they come in.
  EXPECT_EQ(WholeTexts("<a>\n  <b/>\n</a>"), Texts({"", ""}));
  EXPECT_EQ(WholeTexts("<a>\n&#32;\t<b/>x</a>"), Texts({"x", ""}));
  EXPECT_EQ(WholeTexts("<a>\n  &amp;<b> y </b>\n</a>"), Texts({"\n  &", " y "}));
  EXPECT_EQ(WholeTexts("<a>x&amp;<b/>\n<c/>y&lt;</a>"), Texts({"x&y<", "", ""}));
}

// A text of three chunks' length, in pieces at every line and entity, one
// line crossing each boundary: the file reads as the string.
TEST(WholeTextTest, TextsCrossChunkBoundariesWhole) {
  std::string text, expected;
  while (text.size() < 3 * 262144) {
    std::string line = "line " + std::to_string(text.size());
    text += line + " &amp; more\n";
    expected += line + " & more\n";
  }
  std::string xml = "<r><t>" + text + "</t><u>" + std::string(262144, 'u') + "</u></r>";
  EXPECT_TRUE(RoundTrips(xml, "long texts"));
  ZELBasXmlDocument d;
  d.SetOptions(ZELBasXmlWholeText);
  TempDir dir;
  ASSERT_EQ(d.ReadFile(ZELString(dir.Write("long.xml", xml).c_str())), S_OK);
  EXPECT_TRUE(Text(d.GetRoot().ChildAt(0).GetData()) == expected);
  EXPECT_EQ(d.GetRoot().ChildAt(1).GetData().GetLengthInBytes(), 262144u);
}

TEST(WellFormedTest, EscapesTextAndValuesAndKeepsTextsFreeOfAddedSpace) {
  ZELBasXmlNode root(ZELString("r")), item(ZELString("item")), price(ZELString("price")), b(ZELString("b")),
      empty(ZELString("e")), p(ZELString("p"));
  item.InsertAttribute(ZELString("v"), ZELString("tab\tlf\ncr\rq\"a'<&>"));
  price.SetData(ZELString("1 < 2 & 3 > 2]]>\r\n"));
  item.Append(price);
  item.Append(empty);
  root.Append(item);
  p.SetData(ZELString("Hello  world"));
  b.SetData(ZELString("big"));
  p.Append(b);
  p.Append(empty);
  root.Append(p);
  ZELString out("kept|");
  ASSERT_EQ(root.Serialize(out, ZELString("  "), ZELBasXmlWellFormed), S_OK);
  EXPECT_EQ(Text(out),
            "kept|  <r>\n"
            "      <item v=\"tab&#9;lf&#10;cr&#13;q&quot;a'&lt;&amp;>\">\n"
            "          <price>1 &lt; 2 &amp; 3 &gt; 2]]&gt;&#13;\n</price>\n"
            "          <e/>\n"
            "      </item>\n"
            "      <p>Hello  world<b>big</b><e/></p>\n"
            "  </r>\n");
  ZELBasXmlDocument d;
  ASSERT_EQ(d.SetRootElement(root), S_OK);
  ASSERT_EQ(d.SetOptions(kRoundTrip), S_OK);
  EXPECT_TRUE(RoundTrips(Written(d), "built in code"));
  // Without the option, the same tree in the default layout.
  ZELString plain, given;
  ASSERT_EQ(root.Serialize(plain, ZELString()), S_OK);
  ASSERT_EQ(root.Serialize(given, ZELString(), 0), S_OK);
  EXPECT_TRUE(Text(plain) == Text(given));
}

TEST(RoundTripTest, FilesOfTheTestsAndExamples) {
  int parsed = 0;
  for (const char* folder : {"tests", "examples"}) {
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::string(ZELBAS_SOURCE_DIR) + "/" + folder)) {
      if (entry.path().extension() != ".xml") continue;
      parsed += RoundTrips(TempDir::Read(entry.path().string()), entry.path().string()) ? 1 : 0;
    }
  }
  EXPECT_GE(parsed, 5);
}
