// PATH as find and edit take it: what each form selects, in document order
// and once each, and what a bad PATH is told.
#include <gtest/gtest.h>

#include <string>

#include "Path.h"
#include "ZELBasXmlDocument.h"

namespace {

using zelbasxml_detail::Match;
using zelbasxml_detail::ParsePath;
using zelbasxml_detail::Path;
using zelbasxml_detail::WalkMatches;

// Every element has an id; k marks some; b elements nest in b.
const char kDocument[] =
    "<r id='0'><a id='1'><b id='2'>x</b><b id='3'><b id='4'/></b></a>"
    "<c id='5' k='v'/><a id='6' k='w'><b id='7' k='v'/></a></r>";

class PathTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(document.ReadString(ZELString(kDocument)), S_OK); }

  // The ids of the matched elements, or NAME=VALUE of matched attributes,
  // space-separated in the order they came.
  std::string Select(const char* text) {
    Path path;
    std::string problem = ParsePath(text, path);
    if (!problem.empty()) return "error: " + problem;
    std::string found;
    WalkMatches(path, document.GetRoot(), [&found](const Match& match) {
      ZELString value;
      if (match.attribute != nullptr) {
        match.element->GetAttribute(*match.attribute, value);
        found += std::string(std::string_view(*match.attribute)) + "=";
      } else {
        match.element->GetAttribute(ZELString("id"), value);
      }
      found += std::string(std::string_view(value)) + " ";
      return true;
    });
    return found;
  }

  ZELBasXmlDocument document;
};

TEST_F(PathTest, AbsoluteStepsGoDownFromTheRoot) {
  EXPECT_EQ(Select("/r"), "0 ");
  EXPECT_EQ(Select("/x"), "");
  EXPECT_EQ(Select("/*"), "0 ");
  EXPECT_EQ(Select("/r/a/b"), "2 3 7 ");
  EXPECT_EQ(Select("/r/*"), "1 5 6 ");
  EXPECT_EQ(Select("/r/a/b/b"), "4 ");
}

TEST_F(PathTest, DoubleSlashIsAnyDepthInDocumentOrderOnce) {
  EXPECT_EQ(Select("//b"), "2 3 4 7 ");
  EXPECT_EQ(Select("//r"), "0 ");
  // Nested b under b is reached from two b ancestors, but comes once.
  EXPECT_EQ(Select("//b//b"), "4 ");
  EXPECT_EQ(Select("//*//b"), "2 3 4 7 ");
  EXPECT_EQ(Select("/r//b/b"), "4 ");
}

TEST_F(PathTest, RelativePathIsAnyDepthBelowTheRoot) {
  EXPECT_EQ(Select("b"), "2 3 4 7 ");
  EXPECT_EQ(Select("r"), "");
  EXPECT_EQ(Select("*"), "1 2 3 4 5 6 7 ");
  EXPECT_EQ(Select("a/b"), "2 3 7 ");
}

TEST_F(PathTest, PositionsCountAmongSiblingsOfEachParent) {
  EXPECT_EQ(Select("b[1]"), "2 4 7 ");
  EXPECT_EQ(Select("b[2]"), "3 ");
  EXPECT_EQ(Select("//b[last()]"), "3 4 7 ");
  EXPECT_EQ(Select("/r/*[2]"), "5 ");
  EXPECT_EQ(Select("/r/a[2]/b"), "7 ");
  EXPECT_EQ(Select("/r[1]"), "0 ");
  EXPECT_EQ(Select("/r[2]"), "");
  EXPECT_EQ(Select("/r[last()]"), "0 ");
}

TEST_F(PathTest, PredicatesApplyInOrder) {
  EXPECT_EQ(Select("//*[@k]"), "5 6 7 ");
  EXPECT_EQ(Select("//*[@k='v']"), "5 7 ");
  EXPECT_EQ(Select("//*[@k=\"w\"]"), "6 ");
  // The second of the siblings with k, against the one with k among the
  // first two.
  EXPECT_EQ(Select("/r/*[@k][2]"), "6 ");
  EXPECT_EQ(Select("/r/*[2][@k]"), "5 ");
  EXPECT_EQ(Select("/r/*[@k][last()]"), "6 ");
  EXPECT_EQ(Select("/r/*[ @k = 'w' ]"), "6 ");
}

TEST_F(PathTest, AttributesAsTheLastStep) {
  EXPECT_EQ(Select("/r/@id"), "id=0 ");
  EXPECT_EQ(Select("/r/a/@*"), "id=1 id=6 k=w ");
  EXPECT_EQ(Select("//@k"), "k=v k=w k=v ");
  EXPECT_EQ(Select("/r/a//@k"), "k=w k=v ");
  EXPECT_EQ(Select("@k"), "k=v k=w k=v ");
  EXPECT_EQ(Select("/@id"), "");
  EXPECT_EQ(Select("b[@k]/@id"), "id=7 ");
}

TEST_F(PathTest, BadPathsAreToldWhereTheyWentWrong) {
  const struct {
    const char* path;
    const char* problem;
  } cases[] = {
      {"", "an empty PATH"},
      {"/", "expected a name, '*' or '@' at character 2 of '/'"},
      {"a/", "a step must follow '/' at character 3"},
      {"a[", "expected a position, last() or @NAME at character 3"},
      {"a[1", "expected ']' at character 4"},
      {"a[0]", "positions count from 1 at character 3"},
      {"a[1234567890]", "a position too large"},
      {"a[@k='v]", "the quoted value does not end"},
      {"a[@k=v]", "expected a quoted value"},
      {"@k/a", "an attribute must end the PATH"},
      {"@k[1]", "an attribute takes no '['"},
      {"a/text()", "expected '/' or '['"},
      {"..", "expected a name, '*' or '@' at character 1"},
      {"a b", "expected '/' or '[' at character 2"},
  };
  for (const auto& c : cases) {
    Path path;
    std::string problem = ParsePath(c.path, path);
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.path << ": " << problem;
  }
}

TEST(PathNames, XmlNamesOnly) {
  using zelbasxml_detail::IsXmlName;
  for (const char* name : {"a", "_x", "svg:rect", "a-b.c9", "\xc3\xa9t\xc3\xa9"})
    EXPECT_TRUE(IsXmlName(name)) << name;
  for (const char* name : {"", "1x", "-a", ".a", "a b", "a>", "a=b"}) EXPECT_FALSE(IsXmlName(name)) << name;
}

TEST(PathWalk, StopsWhenTheVisitSaysSo) {
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<r><a/><a/><a/></r>")), S_OK);
  Path path;
  ASSERT_EQ(ParsePath("a", path), "");
  int seen = 0;
  EXPECT_FALSE(WalkMatches(path, document.GetRoot(), [&seen](const Match&) { return ++seen < 2; }));
  EXPECT_EQ(seen, 2);
}

}  // namespace
