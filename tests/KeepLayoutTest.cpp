// The kept layout: a read with ZELBasXmlKeepLayout written back gives the
// input's bytes, and an edit changes only its own.
#include <gtest/gtest.h>

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

}  // namespace

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

TEST(KeepLayoutTest, MixedContentKeepsItsOrderAndTakesNewTextInItsFirstRun) {
  const std::string p = "<p>Hello <b>big</b> world &amp; <i>more</i>!</p>";
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode&) {}), p);
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode& r) { r.RemoveChild(0); }), "<p>Hello  world &amp; <i>more</i>!</p>");
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode& r) { r.SetData(S("Hi")); }), "<p>Hi<b>big</b><i>more</i></p>");
  EXPECT_EQ(Edited(p, [](ZELBasXmlNode& r) { r.SetTagName(S("para")); }),
            "<para>Hello <b>big</b> world &amp; <i>more</i>!</para>");
}
