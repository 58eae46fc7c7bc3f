// The operations of edit on a tree: what each does to elements and
// attributes, on every match, nested ones included.
#include <gtest/gtest.h>

#include <string>

#include "Arguments.h"
#include "Edits.h"
#include "ZELBasXmlDocument.h"

namespace {

using zelbasxml_detail::Applied;
using zelbasxml_detail::Apply;
using zelbasxml_detail::Operation;

std::string Str(const ZELString& s) { return std::string(std::string_view(s)); }

// tag[name=value ...]:text(children) in one line, to compare trees.
std::string Shape(const ZELBasXmlNode& node) {
  std::string shape = Str(node.GetTagName());
  std::string attributes;
  for (const auto& attribute : node.GetAttributes()) {
    attributes += (attributes.empty() ? "" : " ") + Str(attribute.first) + "=" + Str(attribute.second);
  }
  if (!attributes.empty()) shape += "[" + attributes + "]";
  if (node.GetData().GetLengthInBytes() != 0) shape += ":" + Str(node.GetData());
  if (node.Children().size() == 0) return shape;
  shape += "(";
  for (size_t i = 0; i < node.Children().size(); ++i) shape += (i == 0 ? "" : " ") + Shape(node.ChildAt(i));
  return shape + ")";
}

class EditsTest : public testing::Test {
protected:
  void SetUp() override {
    document.SetOptions(ZELBasXmlWholeText);
    ASSERT_EQ(document.ReadString(ZELString("<r v='1'><b k='x'>t<b k='y'>u</b></b><c>w</c><b/></r>")), S_OK);
  }

  // Applies one operation; the problem, or the number of matches.
  std::string Run(char kind, const char* path, const char* value = nullptr, const char* type = "",
                  const char* name = "") {
    Operation operation;
    operation.kind = kind;
    operation.path = path;
    EXPECT_EQ(zelbasxml_detail::ParsePath(path, operation.parsed), "");
    operation.type = type;
    operation.name = name;
    if (value != nullptr) operation.value = value;
    Applied applied = Apply(operation, document.GetRoot());
    return applied.problem.empty() ? std::to_string(applied.matches) : applied.problem;
  }

  std::string Tree() { return Shape(document.GetRoot()); }

  ZELBasXmlDocument document;
};

TEST_F(EditsTest, UpdateReplacesAnElementsContentAndAnAttributesValue) {
  EXPECT_EQ(Run('u', "/r/b[1]", "new"), "1");
  EXPECT_EQ(Tree(), "r[v=1](b[k=x]:new c:w b)");
  EXPECT_EQ(Run('u', "//@k", "z"), "1");
  EXPECT_EQ(Run('u', "/r/@v", "<&>"), "1");
  EXPECT_EQ(Tree(), "r[v=<&>](b[k=z]:new c:w b)");
}

TEST_F(EditsTest, UpdateOfNestedMatchesLeavesTheOutermost) {
  EXPECT_EQ(Run('u', "//b", "n"), "3");
  EXPECT_EQ(Tree(), "r[v=1](b[k=x]:n c:w b:n)");
}

TEST_F(EditsTest, DeleteTakesEveryMatchNestedOnesFirst) {
  EXPECT_EQ(Run('d', "//b"), "3");
  EXPECT_EQ(Tree(), "r[v=1](c:w)");
  EXPECT_EQ(Run('d', "//@v"), "1");
  EXPECT_EQ(Tree(), "r(c:w)");
}

TEST_F(EditsTest, DeleteKeepsTheSiblingsOfWhatGoes) {
  EXPECT_EQ(Run('d', "/r/*[2]"), "1");
  EXPECT_EQ(Tree(), "r[v=1](b[k=x]:t(b[k=y]:u) b)");
}

TEST_F(EditsTest, TheRootIsNeverDeleted) {
  EXPECT_EQ(Run('d', "/*"), "the root element cannot be deleted");
  EXPECT_EQ(Run('d', "//r"), "the root element cannot be deleted");
}

TEST_F(EditsTest, SubnodeAddsALastChildOrAnAttributeToEachMatch) {
  EXPECT_EQ(Run('s', "//b", "v", "elem", "n"), "3");
  EXPECT_EQ(Tree(), "r[v=1](b[k=x]:t(b[k=y]:u(n:v) n:v) c:w b(n:v))");
  EXPECT_EQ(Run('s', "/r/c", nullptr, "attr", "a"), "1");
  EXPECT_EQ(Run('s', "/r", "2", "attr", "v"), "1");
  EXPECT_EQ(Tree(), "r[v=2](b[k=x]:t(b[k=y]:u(n:v) n:v) c[a=]:w b(n:v))");
}

TEST_F(EditsTest, RenameKeepsContentAndValues) {
  EXPECT_EQ(Run('r', "//b[@k]", "e"), "2");
  EXPECT_EQ(Run('r', "//@k", "key"), "2");
  EXPECT_EQ(Tree(), "r[v=1](e[key=x]:t(e[key=y]:u) c:w b)");
}

TEST_F(EditsTest, NoMatchChangesNothing) {
  EXPECT_EQ(Run('d', "//missing"), "0");
  EXPECT_EQ(Run('u', "//@missing", "x"), "0");
  EXPECT_EQ(Tree(), "r[v=1](b[k=x]:t(b[k=y]:u) c:w b)");
}

}  // namespace
