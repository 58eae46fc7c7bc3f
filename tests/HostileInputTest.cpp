// Text past what one parse call takes: refused before the parser sees it.
// (Entity expansion and long texts read in chunks, in bounded memory, are
// the command's tests, tests/cli/.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ZELBasXmlDocument.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

TEST(HostileInputTest, TextPastWhatOnePieceTakesIsRefusedUnparsed) {
  // `unit` doubled up to `bytes` and then one more unit, built without a
  // second copy of the text.
  auto grown = [](const char* unit, size_t bytes) {
    ZELString text(unit);
    for (size_t size = std::strlen(unit); size < bytes; size *= 2) {
      ZELString copy = text;
      text.Append(copy);
    }
    text.Append(ZELString(unit));
    return text;
  };
  // One character past the character limit, and a text of four-byte
  // characters within it but one character past the parser's 1 GiB.
  for (const auto& [unit, bytes] : {std::pair<const char*, size_t>{"x", size_t{1} << 29},
                                    std::pair<const char*, size_t>{"\xf0\x9f\x98\x80", size_t{1} << 30}}) {
    ZELString text = grown(unit, bytes);
    ZELBasXmlDocument d;
    CaptureStderr();
    EXPECT_EQ(d.ReadString(ZELString("<a>")), E_FAIL);
    EXPECT_EQ(d.ReadString(text), E_FAIL);
    EXPECT_EQ(GetCapturedStderr(), "XML parse error: no element found\n  Line: 1, Column: 3\n")
        << "refused before the parser saw it";
    ZELString message;
    unsigned long line, column;
    EXPECT_EQ(d.GetParseError(message, line, column), E_FAIL) << "the earlier read's error is gone";
  }
}
