// The command line: edit's operations in order with their flags, options
// anywhere, and the combinations refused before anything is read.
#include <getopt.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "Arguments.h"

namespace {

using zelbasxml_detail::Options;

// The exit status ParseArguments gives (-1: go on).
int Parse(std::initializer_list<const char*> words, Options& options) {
  std::vector<std::string> strings{"zelbasxml"};
  strings.insert(strings.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& word : strings) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  optind = 0;  // getopt starts over
  return zelbasxml_detail::ParseArguments(static_cast<int>(strings.size()), argv.data(), options)
      .value_or(-1);
}

int Parse(std::initializer_list<const char*> words) {
  Options options;
  return Parse(words, options);
}

TEST(ArgumentsTest, EditOperationsKeepTheirOrderAndFlags) {
  Options options;
  ASSERT_EQ(Parse({"edit", "-u", "/a/@x", "-v", "-5", "-d", "//b", "-s", "/a", "-t", "elem", "-n", "c", "-r",
                   "//d", "-v", "e", "-L", "in.xml"},
                  options),
            -1);
  ASSERT_EQ(options.operations.size(), 4u);
  EXPECT_EQ(options.operations[0].kind, 'u');
  EXPECT_EQ(options.operations[0].value.value_or(""), "-5");
  EXPECT_TRUE(options.operations[0].parsed.SelectsAttributes());
  EXPECT_EQ(options.operations[1].kind, 'd');
  EXPECT_FALSE(options.operations[1].value.has_value());
  EXPECT_EQ(options.operations[2].type, "elem");
  EXPECT_EQ(options.operations[2].name, "c");
  EXPECT_EQ(options.operations[3].path, "//d");
  EXPECT_TRUE(options.inPlace);
  EXPECT_EQ(options.Input(), "in.xml");
}

TEST(ArgumentsTest, OptionsMayFollowTheOperands) {
  Options options;
  ASSERT_EQ(Parse({"find", "b[2]", "in.xml", "--text", "-0"}, options), -1);
  EXPECT_EQ(options.path, "b[2]");
  EXPECT_TRUE(options.text && options.null);
  ASSERT_EQ(Parse({"check", "a.xml", "b.xml", "c.xml", "--chunked"}, options = Options()), -1);
  EXPECT_EQ(options.inputs.size(), 3u);
  ASSERT_EQ(Parse({"find", "@id", "--null"}, options = Options()), -1);
  ASSERT_EQ(Parse({"format", "--chunked"}, options = Options()), -1);
  EXPECT_EQ(options.Input(), "-");
}

TEST(ArgumentsTest, EditOperationsNeedTheirFlags) {
  EXPECT_EQ(Parse({"edit", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-v", "x", "-u", "/a", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-u", "/a", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-u", "/a", "-v", "x", "-v", "y", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-r", "/a", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-r", "/a", "-v", "1x", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-s", "/a", "-n", "b", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-s", "/a", "-t", "text", "-n", "b", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-s", "/a", "-t", "elem", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-s", "/a", "-t", "elem", "-n", "a b", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-s", "/a/@x", "-t", "attr", "-n", "b", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-d", "/a", "-v", "x", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-d", "/a", "-n", "x", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-d", "/a[", "in.xml"}), 2);
}

TEST(ArgumentsTest, OptionsOfOtherCommandsAndClashesAreRefused) {
  EXPECT_EQ(Parse({"format", "--text", "in.xml"}), 2);
  EXPECT_EQ(Parse({"format", "-d", "/a", "in.xml"}), 2);
  EXPECT_EQ(Parse({"check", "-o", "out.xml", "in.xml"}), 2);
  EXPECT_EQ(Parse({"check", "--xml", "in.xml"}), 2);
  EXPECT_EQ(Parse({"find", "a", "-L", "in.xml"}), 2);
  EXPECT_EQ(Parse({"find", "a", "--xml", "--text", "in.xml"}), 2);
  EXPECT_EQ(Parse({"find", "a", "--wrap", "w", "--text", "in.xml"}), 2);
  EXPECT_EQ(Parse({"find", "a", "--wrap", "1w", "in.xml"}), 2);
  EXPECT_EQ(Parse({"find", "a", "--null", "in.xml"}), 2);
  EXPECT_EQ(Parse({"find", "//@a", "--xml", "in.xml"}), 2);
  EXPECT_EQ(Parse({"find", "a", "one.xml", "two.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-d", "/a", "-L", "-o", "out.xml", "in.xml"}), 2);
  EXPECT_EQ(Parse({"edit", "-d", "/a", "-L"}), 2);
}

}  // namespace
