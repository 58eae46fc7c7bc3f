// The kept layout: a read with ZELBasXmlKeepLayout written back gives the
// input's bytes, and an edit changes only its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "DocumentReads.h"

namespace {

std::string Text(const ZELString& s) { return std::string(s.CastToCharPtr(), s.GetLengthInBytes()); }
ZELString S(const std::string& bytes) { return ZELString(std::string_view(bytes)); }

// `xml` read keeping its layout, edited, and written back.
std::string Edited(const std::string& xml, const std::function<void(ZELBasXmlNode&)>& edit) {
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlKeepLayout);
  EXPECT_EQ(document.ReadString(S(xml)), S_OK) << xml;
  edit(document.GetRoot());
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  std::string written = Text(out);
  // Whatever was done, the result reads back as the tree it was written from.
  ZELBasXmlDocument back;
  back.SetOptions(ZELBasXmlStandard);
  EXPECT_EQ(back.ReadString(out), S_OK) << written;
  return written;
}

const char kConfig[] =
    "<?xml version=\"1.0\"?>\n"
    "<!-- settings -->\n"
    "<config version='2'>\n"
    "  <!-- the server -->\n"
    "  <server host=\"example.org\"  port=\"80\"/>\n"
    "  <name>Old &amp; tired</name>\n"
    "  <list>\n"
    "    <item>a</item>\n"
    "    <item>b</item>\n"
    "  </list>\n"
    "  <empty></empty>\n"
    "</config>\n";

// Written back after a read of `xml` from a string, or from a file.
std::string Kept(const std::string& xml, bool fromFile) {
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlKeepLayout | ZELBasXmlQuiet);
  TempDir dir;
  if (fromFile) {
    EXPECT_EQ(document.ReadFile(ZELString(dir.Write("in.xml", xml).c_str())), S_OK);
  } else {
    EXPECT_EQ(document.ReadString(S(xml)), S_OK);
  }
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  return Text(out);
}

// `xml`, read from a string and from a file, and from files where a comment
// in front puts the chunk boundary at points spread over it, is written
// back as it was.
void ExpectKept(const std::string& xml, const std::string& what) {
  EXPECT_TRUE(Kept(xml, false) == xml) << what;
  EXPECT_TRUE(Kept(xml, true) == xml) << what;
  size_t bom = xml.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  size_t front = xml.compare(bom, 5, "<?xml") == 0 ? xml.find("?>") + 2 : bom;
  for (size_t k = 1; k < 8; ++k) {
    size_t boundary = front + (xml.size() - front) * k / 8;
    if (boundary + 7 > kChunk) continue;
    std::string padded = xml;
    padded.insert(front, "<!--" + std::string(kChunk - boundary - 7, ' ') + "-->");
    EXPECT_TRUE(Kept(padded, true) == padded) << what << ", the boundary at byte " << boundary;
  }
}

// Whether the file is one the kept layout writes back: well-formed, UTF-8.
bool KeptInput(const std::string& xml) {
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlStandard);
  if (document.ReadString(S(xml)) != S_OK) return false;
  if (xml.size() >= 2 && (xml[0] == '\0' || xml[1] == '\0' || static_cast<unsigned char>(xml[0]) >= 0xFE)) {
    return false;
  }
  std::string declaration = xml.substr(0, xml.find("?>"));
  for (const char* other : {"ISO-8859", "iso-8859", "UTF-16", "utf-16", "windows-", "Shift_JIS"}) {
    if (xml.compare(0, 5, "<?xml") == 0 && declaration.find(other) != std::string::npos) return false;
  }
  return true;
}

}  // namespace

TEST(KeepLayoutTest, EveryUtf8FileOfTheTestsAndExamplesIsWrittenBackAsRead) {
  int kept = 0;
  for (const char* folder : {"tests", "examples"}) {
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::string(ZELBAS_SOURCE_DIR) + "/" + folder)) {
      if (entry.path().extension() != ".xml") continue;
      std::string xml = TempDir::Read(entry.path().string());
      if (!KeptInput(xml)) continue;
      ExpectKept(xml, entry.path().string());
      ++kept;
    }
  }
  EXPECT_GE(kept, 5);
}

TEST(KeepLayoutTest, DocumentsOfEveryShapeAreWrittenBackAsRead) {
  const char* const documents[] = {
      "<?xml version=\"1.0\"?>\r\n<r>\r\n  <a x=\"1\">t\r\nu</a>\r\n  <b/>\r\n</r>\r\n",
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><a>\xC3\xA9</a></r>\n",
      "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n  <!ENTITY e \"ent\">\n  <!ATTLIST a d CDATA \"def\">\n"
      "  <!-- in the subset -->\n]>\n<!-- before -->\n<?pi before?>\n<r>\n  <a>&e; and &amp; "
      "&#65;&#x42;</a>\n"
      "  <a d=\"def\">x</a>\n</r>\n<!-- after -->\n<?pi after?>\n",
      "<p>Hello <b>big</b> world &amp; <i>more</i>!<!--c-->\n  <?x y?> end</p>",
      "<r><![CDATA[<x> & ]]]]><![CDATA[>]]>tail<a><![CDATA[]]></a></r>",
      "<r a='1' b = \"2\"\n   c='it&apos;s'\td=\"&quot;q&quot;\"  ><e  f='x\ny'   /></r>",
      "<r><a></a><b/><c  ></c ><d\n/></r>",
      "<r xml:space=\"preserve\">  <a>   </a>\n\t<b> x </b>  </r>",
      "<r a=\"&#x3C;&lt;&gt;&#9;\">&gt; &#x20AC; ]]&gt; &#13;</r>",
      "<r/>",
      "<r/>\n\n<!-- x -->\n",
  };
  for (const char* xml : documents) ExpectKept(xml, xml);
  // Long enough for runs, tags and comments to cross chunk boundaries.
  std::string xml = "<?xml version=\"1.0\"?>\n<root>\n";
  for (int i = 0; xml.size() < 3 * kChunk; ++i) {
    std::string n = std::to_string(i);
    xml += "  <item id=\"" + n + "\" name='n&amp;" + n + "'>text &lt; " + n + "</item>\n  <!-- " + n +
           " -->\r\n" + "  <p>mixed <b>bold</b> &#233;<![CDATA[" + std::string(i % 4000, 'c') + "]]></p>\n" +
           "  <t>" + std::string(i % 9000, 't') + "</t>\n";
  }
  ExpectKept(xml + "</root>\n", "long");
}

TEST(KeepLayoutTest, AnUneditedDocumentIsWrittenBackByteForByte) {
  EXPECT_EQ(Edited(kConfig, [](ZELBasXmlNode&) {}), kConfig);
}

TEST(KeepLayoutTest, ATextEditChangesTheTextOnly) {
  std::string expected = kConfig;
  expected.replace(expected.find("Old &amp; tired"), 15, "New &lt;&amp;> shiny");
  EXPECT_EQ(Edited(kConfig, [](ZELBasXmlNode& r) { r.FirstChild(S("name"))->SetData(S("New <&> shiny")); }),
            expected);
}

TEST(KeepLayoutTest, AttributeEditsChangeTheirOwnBytes) {
  std::string expected = kConfig;
  expected.replace(expected.find("\"80\""), 4, "\"8080\"");
  expected.replace(expected.find("version='2'"), 11, "version='3&apos;'");
  expected.replace(expected.find(" host=\"example.org\""), 19, "");
  expected.replace(expected.find("\"8080\"") + 6, 0, " tls=\"on\"");
  EXPECT_EQ(Edited(kConfig,
                   [](ZELBasXmlNode& r) {
                     r.InsertAttribute(S("version"), S("3'"));
                     ZELBasXmlNode& server = *r.FirstChild(S("server"));
                     server.InsertAttribute(S("port"), S("8080"));
                     server.RemoveAttribute(S("host"));
                     server.InsertAttribute(S("tls"), S("on"));
                   }),
            expected);
}

TEST(KeepLayoutTest, ChildrenAppendedAfterTheLastRemovedWithTheirLine) {
  std::string expected = kConfig;
  expected.replace(expected.find("    <item>a</item>\n"), 19, "");
  expected.replace(expected.find("    <item>b</item>\n") + 19, 0, "    <item>c</item>\n");
  expected.replace(expected.find("  <empty></empty>\n") + 18, 0, "  <added a=\"1\">\n    <x/>\n  </added>\n");
  EXPECT_EQ(Edited(kConfig,
                   [](ZELBasXmlNode& r) {
                     ZELBasXmlNode& list = *r.FirstChild(S("list"));
                     list.RemoveChild(0);
                     ZELBasXmlNode item(S("item")), added(S("added")), x(S("x"));
                     item.SetData(S("c"));
                     list.Append(item);
                     added.InsertAttribute(S("a"), S("1"));
                     added.Append(x);
                     r.Append(added);
                   }),
            expected);
}

TEST(KeepLayoutTest, EmptyElementsTakeContentOnLinesOfTheirOwn) {
  std::string expected = kConfig;
  expected.replace(expected.find("<empty></empty>"), 15, "<empty>\n    <x/>\n  </empty>");
  expected.replace(expected.find("port=\"80\"/>"), 11, "port=\"80\">on</server>");
  EXPECT_EQ(Edited(kConfig,
                   [](ZELBasXmlNode& r) {
                     ZELBasXmlNode x(S("x"));
                     r.FirstChild(S("empty"))->Append(x);
                     r.FirstChild(S("server"))->SetData(S("on"));
                   }),
            expected);
}

// What the document type gives is not written, unless the element is no
// longer the one it gives it to.
TEST(KeepLayoutTest, DefaultAttributesStayUnwrittenWhileTheyApply) {
  const std::string xml = "<!DOCTYPE r [<!ATTLIST a d CDATA 'def'>]><r><a/></r>";
  EXPECT_EQ(Edited(xml, [](ZELBasXmlNode&) {}), xml);
  EXPECT_EQ(Edited(xml, [](ZELBasXmlNode& r) { r.ChildAt(0).InsertAttribute(S("d"), S("other")); }),
            "<!DOCTYPE r [<!ATTLIST a d CDATA 'def'>]><r><a d=\"other\"/></r>");
  EXPECT_EQ(Edited(xml, [](ZELBasXmlNode& r) { r.ChildAt(0).SetTagName(S("b")); }),
            "<!DOCTYPE r [<!ATTLIST a d CDATA 'def'>]><r><b d=\"def\"/></r>");
}

TEST(KeepLayoutTest, MixedContentKeepsItsOrderAndTakesNewTextInItsFirstRun) {
  const std::string p = "<p>Hello <b>big</b> world &amp; <i>more</i>!</p>";
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode&) {}), p);
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode& r) { r.RemoveChild(0); }), "<p>Hello  world &amp; <i>more</i>!</p>");
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode& r) { r.SetData(S("Hi")); }), "<p>Hi<b>big</b><i>more</i></p>");
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode& r) { r.SetTagName(S("para")); }),
            "<para>Hello <b>big</b> world &amp; <i>more</i>!</para>");
}

namespace {

std::string Items(const ZELBasXmlNode& node) {
  std::string items;
  static const char* const kKinds[] = {"element", "text", "comment", "instruction"};
  for (size_t i = 0; i < node.ContentCount(); ++i) {
    ZELBasXmlContent kind;
    ZELString text;
    EXPECT_EQ(node.ContentAt(i, kind, text), S_OK);
    items += std::string(kKinds[kind]) + "[" + Text(text) + "]";
  }
  ZELBasXmlContent kind;
  ZELString text;
  EXPECT_EQ(node.ContentAt(node.ContentCount(), kind, text), E_FAIL);
  return items;
}

}  // namespace

TEST(KeepLayoutTest, RunsCommentsAndInstructionsAreItemsOfTheirOwn) {
  const std::string p = "<p>Hello <b>big</b> world &amp; <!--c--><?pi x?>!</p>";
  ZELBasXmlDocument d;
  d.SetOptions(ZELBasXmlKeepLayout);
  ASSERT_EQ(d.ReadString(S(p)), S_OK);
  ZELBasXmlNode& root = d.GetRoot();
  EXPECT_EQ(Items(root), "text[Hello ]element[b]text[ world & ]comment[c]instruction[pi x]text[!]");
  EXPECT_EQ(Text(root.GetData()), "Hello  world & !");
  EXPECT_EQ(root.SetContent(2, S(" small <world> ")), S_OK);
  EXPECT_EQ(root.SetContent(3, S(" two words ")), S_OK);
  EXPECT_EQ(root.SetContent(4, S("pi y")), S_OK);
  EXPECT_EQ(Text(root.GetData()), "Hello  small <world> !");
  // What an item cannot hold, and an element, are refused.
  EXPECT_EQ(root.SetContent(3, S("a--b")), E_FAIL);
  EXPECT_EQ(root.SetContent(4, S("xml version")), E_FAIL);
  EXPECT_EQ(root.SetContent(4, S("p ?> q")), E_FAIL);
  EXPECT_EQ(root.SetContent(1, S("x")), E_FAIL);
  EXPECT_EQ(root.RemoveContent(1), E_FAIL);
  ZELString out;
  ASSERT_EQ(d.WriteString(out), S_OK);
  EXPECT_EQ(Text(out), "<p>Hello <b>big</b> small &lt;world> <!-- two words --><?pi y?>!</p>");
  EXPECT_EQ(root.RemoveContent(5), S_OK);
  EXPECT_EQ(root.InsertComment(0, S(" first ")), S_OK);
  EXPECT_EQ(root.InsertComment(root.ContentCount(), S("last")), S_OK);
  ASSERT_EQ(d.WriteString(out), S_OK);
  EXPECT_EQ(Text(out),
            "<p><!-- first -->Hello <b>big</b> small &lt;world> <!-- two words --><?pi y?><!--last--></p>");
  EXPECT_EQ(Text(root.GetData()), "Hello  small <world> ");
}

TEST(KeepLayoutTest, AnElementWithoutAKeptLayoutHasItsTextThenItsChildren) {
  ZELBasXmlNode node(S("n")), child(S("c"));
  node.SetData(S("t"));
  node.Append(child);
  EXPECT_EQ(Items(node), "text[t]element[c]");
  EXPECT_EQ(node.SetContent(0, S("u")), S_OK);
  EXPECT_EQ(Text(node.GetData()), "u");
  EXPECT_EQ(node.InsertComment(0, S("c")), E_FAIL);
  EXPECT_EQ(node.RemoveContent(0), S_OK);
  EXPECT_EQ(Items(node), "element[c]");
}
