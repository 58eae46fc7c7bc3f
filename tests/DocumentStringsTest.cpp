// Reading strings and the strings a read builds: repeated and distinct
// values, and texts past what one parse call takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "DocumentReads.h"

namespace {

// Elements with the attribute values v0, v1, ... and the texts given,
// read from a file and from a string: what each value and text read back
// as, where it differs ("" when none does). A text cut by a chunk boundary
// keeps its trailing piece in the file read, as it should.
std::string ReadBackDifferences(const std::vector<std::vector<std::string>>& values,
                                const std::vector<std::string>& texts) {
  std::string xml = "<r>";
  std::vector<bool> split;
  for (size_t i = 0; i < values.size(); ++i) {
    xml += "<e";
    for (size_t v = 0; v < values[i].size(); ++v)
      xml += " v" + std::to_string(v) + "=\"" + values[i][v] + "\"";
    xml += ">";
    split.push_back(xml.size() / kChunk != (xml.size() + texts[i].size()) / kChunk);
    xml += texts[i] + "</e>";
  }
  BothWays read(xml + "</r>");
  std::string wrong;
  for (ZELBasXmlDocument* d : {&read.file, &read.string}) {
    const ZELBasVector<ZELBasXmlNode>& elements = d->GetRoot().Children();
    if (elements.size() != values.size()) return "elements lost";
    for (size_t i = 0; i < values.size(); ++i) {
      for (size_t v = 0; v < values[i].size(); ++v) {
        ZELString got;
        elements[i].GetAttribute(ZELString(("v" + std::to_string(v)).c_str()), got);
        if (std::string_view(got) != values[i][v])
          wrong += values[i][v] + " as " + got.CastToCharPtr() + "\n";
      }
      std::string_view text = elements[i].GetData(), expected = texts[i];
      if (split[i] && d == &read.file)
        expected.remove_prefix(expected.size() - std::min(expected.size(), text.size()));
      if (text != expected) wrong += texts[i] + " as " + std::string(text) + "\n";
    }
  }
  return wrong;
}

}  // namespace

// Values repeated many times over, among them pairs such as AaAa and BBBB
// that many string hashes take for equal.
TEST(DocumentTest, RepeatedShortValuesReadBackAsGiven) {
  const char* const kTwins[] = {"AaAa", "AaBB", "BBAa", "BBBB"};
  std::vector<std::vector<std::string>> values;
  for (int i = 0; i < 3000; ++i) values.push_back({"true", kTwins[i % 4] + std::to_string(i / 400), "en"});
  EXPECT_EQ(ReadBackDifferences(values, std::vector<std::string>(values.size(), "x")), "");
}

// A short value, and a value just too long to be short that starts with it.
TEST(DocumentTest, ValuesJustPastShortReadBackWhole) {
  std::vector<std::vector<std::string>> values;
  for (int i = 0; i < 3000; ++i) {
    std::string brief = std::to_string(i * 3) + std::string(i % 20, 's');
    values.push_back({brief, brief + std::string(25 - brief.size() + i % 4, '-'), brief});
  }
  EXPECT_EQ(ReadBackDifferences(values, std::vector<std::string>(values.size(), "x")), "");
}

// Repeated values, then a stretch of values all distinct (where sharing
// stops paying and values are built directly), then repeated ones again.
TEST(DocumentTest, ValuesSwitchingBetweenRepeatedAndDistinctReadBackAsGiven) {
  std::vector<std::vector<std::string>> values;
  for (int i = 0; i < 12000; ++i) {
    values.push_back({i / 4000 == 1 ? "distinct " + std::to_string(i) : "same " + std::to_string(i % 7)});
  }
  EXPECT_EQ(ReadBackDifferences(values, std::vector<std::string>(values.size(), "x")), "");
}

// Texts of white space between texts with words, many the same: each is its
// element's own, over chunk boundaries too.
TEST(DocumentTest, TextsReadBackAsGiven) {
  std::vector<std::string> texts;
  for (int i = 0; i < 30000; ++i)
    texts.push_back(i % 3 != 0 ? " \t " : "text number " + std::to_string(i % 100));
  EXPECT_EQ(ReadBackDifferences(std::vector<std::vector<std::string>>(texts.size()), texts), "");
}

// Text past what one parse call takes: refused before the parser sees it.
TEST(DocumentTest, TextPastWhatOnePieceTakesIsRefusedUnparsed) {
  // `unit` doubled up to `bytes`, then `more` units, built without a second
  // copy of the text.
  auto grown = [](const char* unit, size_t bytes, int more) {
    ZELString text(unit);
    for (size_t size = std::strlen(unit); size < bytes; size *= 2) {
      ZELString copy = text;
      text.Append(copy);
    }
    while (more-- > 0) text.Append(ZELString(unit));
    return text;
  };
  // Exactly one character past the character limit, and a text of
  // four-byte characters within it but one character past the parser's
  // 1 GiB.
  static_assert(ZELBasXmlDocument::MaxStringCharacters + 1 == 1 << 29, "the limit below");
  for (const auto& [unit, bytes, more] :
       {std::tuple<const char*, size_t, int>{"x", size_t{1} << 29, 0},
        std::tuple<const char*, size_t, int>{"\xf0\x9f\x98\x80", size_t{1} << 30, 1}}) {
    ZELString text = grown(unit, bytes, more);
    ZELBasXmlDocument d;
    StderrCapture capture;
    EXPECT_EQ(d.ReadString(ZELString("<a>")), E_FAIL);
    EXPECT_EQ(d.ReadString(text), E_FAIL);
    EXPECT_EQ(capture.Stop(), "XML parse error: no element found\n  Line: 1, Column: 3\n")
        << "refused before the parser saw it";
    ZELString message;
    unsigned long line, column;
    EXPECT_EQ(d.GetParseError(message, line, column), E_FAIL) << "the earlier read's error is gone";
  }
}
