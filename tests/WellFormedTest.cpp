// The well-formed layout refuses, before writing anything, what would not
// read back: names that are not XML names, texts and values that are not
// UTF-8 of XML characters, a root without a name.
#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"
#include "ZELBasXmlDocument.h"

namespace {

std::string Text(const ZELString& s) { return std::string(s.CastToCharPtr(), s.GetLengthInBytes()); }
ZELString S(const std::string& bytes) { return ZELString(std::string_view(bytes)); }

// <r><a/><a>...</a></r> with the second a holding what `spoil` gives it.
template <class Spoil>
ZELBasXmlNode Tree(Spoil spoil) {
  ZELBasXmlNode r(S("r")), a(S("a")), b(S("a"));
  r.Append(a);
  spoil(b);
  r.Append(b);
  return r;
}

struct Refused {
  const char* what;
  std::string bytes;
  enum { kTag, kAttributeName, kValue, kText } where;
};

const Refused kRefused[] = {
    {"empty tag", "", Refused::kTag},
    {"space in tag", "a b", Refused::kTag},
    {"digit first", "1x", Refused::kTag},
    {"markup in tag", "<x>", Refused::kTag},
    {"name beyond the parser's tables", "\xE2\x84\x92", Refused::kTag},  // U+2112
    {"empty attribute name", "", Refused::kAttributeName},
    {"space in attribute name", "a b", Refused::kAttributeName},
    {"a second attribute smuggled in", "x=\"1\" y", Refused::kAttributeName},
    {"control character", "a\x01", Refused::kText},
    {"NUL", std::string("a\0b", 3), Refused::kText},
    {"escape", "\x1B[0m", Refused::kText},
    {"U+FFFE", "\xEF\xBF\xBE", Refused::kText},
    {"surrogate", "\xED\xA0\x80", Refused::kText},
    {"lone lead byte", "\xC3", Refused::kText},
    {"overlong", "\xC0\xAF", Refused::kText},
    {"past U+10FFFF", "\xF4\x90\x80\x80", Refused::kValue},
    {"invalid byte in a value", "\xFF", Refused::kValue},
    {"control character in a value", "\x08", Refused::kValue},
};

}  // namespace

TEST(WellFormedTest, RefusesWhatWouldNotReadBackAndWritesNothing) {
  TempDir dir;
  const std::string file = dir.Write("out.xml", "<old/>\n");
  for (const Refused& refused : kRefused) {
    SCOPED_TRACE(refused.what);
    ZELBasXmlNode tree = Tree([&](ZELBasXmlNode& node) {
      if (refused.where == Refused::kTag) node.SetTagName(S(refused.bytes));
      if (refused.where == Refused::kAttributeName) node.InsertAttribute(S(refused.bytes), S("v"));
      if (refused.where == Refused::kValue) node.InsertAttribute(S("k"), S(refused.bytes));
      if (refused.where == Refused::kText) node.SetData(S(refused.bytes));
    });
    ZELString problem;
    ASSERT_EQ(tree.CheckWritable(problem), E_FAIL);
    EXPECT_EQ(Text(problem).rfind(refused.where == Refused::kTag ? "element /r/" : "element /r/a[2] ", 0), 0u)
        << Text(problem);
    ZELString out("kept");
    EXPECT_EQ(tree.Serialize(out, ZELString(), ZELBasXmlWellFormed), E_FAIL);
    EXPECT_EQ(Text(out), "kept");
    ZELBasXmlDocument document;
    document.SetOptions(ZELBasXmlStandard);
    ASSERT_EQ(document.SetRootElement(tree), S_OK);
    EXPECT_EQ(document.WriteString(out), E_FAIL);
    EXPECT_EQ(Text(out), "kept");
    EXPECT_EQ(document.WriteFile(ZELString(file.c_str())), E_FAIL);
    EXPECT_EQ(TempDir::Read(file), "<old/>\n");
    // The default layout writes what it is given.
    document.SetOptions(0);
    EXPECT_EQ(document.WriteString(out), S_OK);
  }
}

TEST(WellFormedTest, AcceptsEveryNameAndCharacterThatReadsBack) {
  ZELBasXmlNode root(S("r:x_y-z.1"));
  root.InsertAttribute(S("\xC3\xA9t\xC3\xA9"), S("\t\r\n\xF4\x8F\xBF\xBF\xEF\xBF\xBD"));
  root.SetData(S("\xF0\x9F\x98\x80 <&> \x7F\xC2\x85"));
  ZELBasXmlNode child(S("\xE3\x80\x87"));  // U+3007, a name character to the parser
  root.Append(child);
  ZELString problem, out;
  EXPECT_EQ(root.CheckWritable(problem), S_OK) << Text(problem);
  ASSERT_EQ(root.Serialize(out, ZELString(), ZELBasXmlWellFormed), S_OK);
  ZELBasXmlDocument back;
  back.SetOptions(ZELBasXmlStandard);
  ASSERT_EQ(back.ReadString(out), S_OK) << Text(out);
  EXPECT_EQ(Text(back.GetRoot().GetData()), Text(root.GetData()));
}

TEST(WellFormedTest, ADocumentWithoutARootIsNotWritten) {
  ZELBasXmlDocument never;
  ZELString out;
  EXPECT_EQ(never.WriteString(out), S_OK);  // the default layout's "</>"
  never.SetOptions(ZELBasXmlWellFormed);
  EXPECT_EQ(never.WriteString(out), E_FAIL);
  ZELString problem;
  EXPECT_EQ(never.GetRoot().CheckWritable(problem), E_FAIL);
  EXPECT_EQ(Text(problem), "element / has no tag name");
}
