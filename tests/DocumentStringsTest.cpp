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

// Attribute values and texts that switch between heavily repeated and all
// distinct, short and just past 24 bytes, and pairs such as AaAa and BBBB
// that many string hashes take for equal: each reads back as it was given.
TEST(DocumentTest, RepeatedAndDistinctValuesReadBackAsGiven) {
  const char* const kTwins[] = {"AaAa", "AaBB", "BBAa", "BBBB"};
  struct Element {
    std::vector<std::string> values;  // of v0, v1, ...
    std::string text;
    bool split;  // across a chunk boundary: ReadFile keeps a trailing piece
  };
  std::vector<Element> given;
  std::string xml = "<r>";
  for (int i = 0; i < 4000; ++i) {
    Element e{{}, "text number " + std::to_string(i), false};
    if (i / 1000 != 2) {
      // A short value, a value just too long to be short that starts with
      // it, and the short one again.
      for (int k = 0; k < 3; ++k) {
        std::string brief = k == 2
                                ? kTwins[i % 4] + std::to_string(i / 4)  // colliding in fours
                                : std::to_string(i * 3 + k) + std::string(k == 0 ? i % 20 : 0, 's');  // to 24
        e.values.insert(e.values.end(), {brief, brief + std::string(25 - brief.size() + i % 4, '-'), brief});
      }
      e.text = i % 3 != 0 ? " \t " : std::string("text ") + kTwins[(i + 1) % 4];
    } else {
      e.values.push_back("distinct " + std::to_string(i));
    }
    xml += "<e";
    for (size_t v = 0; v < e.values.size(); ++v) xml += " v" + std::to_string(v) + "=\"" + e.values[v] + "\"";
    xml += ">";
    e.split = xml.size() / kChunk != (xml.size() + e.text.size()) / kChunk;
    xml += e.text + "</e>";
    given.push_back(e);
  }
  BothWays read(xml + "</r>");
  for (ZELBasXmlDocument* d : {&read.file, &read.string}) {
    const ZELBasVector<ZELBasXmlNode>& elements = d->GetRoot().Children();
    ASSERT_EQ(elements.size(), given.size());
    std::string wrong;
    for (size_t i = 0; i < given.size(); ++i) {
      for (size_t v = 0; v < given[i].values.size(); ++v) {
        ZELString got;
        elements[i].GetAttribute(ZELString(("v" + std::to_string(v)).c_str()), got);
        if (std::string_view(got) != given[i].values[v])
          wrong += given[i].values[v] + " as " + got.CastToCharPtr() + "\n";
      }
      std::string_view text = elements[i].GetData(), expected = given[i].text;
      if (given[i].split && d == &read.file)
        expected.remove_prefix(expected.size() - std::min(expected.size(), text.size()));
      if (text.empty() || text != expected) wrong += given[i].text + " as " + std::string(text) + "\n";
    }
    EXPECT_EQ(wrong, "");
  }
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
