#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <random>
#include <string>

#include "AllocationScope.h"
#include "ZELString.h"

namespace {

// Reads a string's share count; the probe itself holds one share.
struct Probe : ZELString {
  explicit Probe(const ZELString& s) : ZELString(s) {}
  int32_t Shares() const { return representation != nullptr ? representation->refCount - 1 : 0; }
};

int32_t Shares(const ZELString& s) { return Probe(s).Shares(); }

std::string Text(const ZELString& s) { return s.CastToCharPtr(); }

}  // namespace

TEST(StringTest, DefaultAndEmptyStringsAreAlikeAndFree) {
  AllocationScope scope;
  ZELString none;
  ZELString empty("");
  ZELString copy(none);
  copy = empty;
  EXPECT_EQ(scope.Taken(), 0u);
  EXPECT_STREQ(none.CastToCharPtr(), "");
  EXPECT_TRUE(none.IsAscii());
  EXPECT_EQ(none.GetLengthInChar(), 0);
  EXPECT_TRUE(none == empty);
  EXPECT_TRUE(none < ZELString("a"));
  EXPECT_FALSE(ZELString("a") < none);
}

TEST(StringTest, CopiesShareOneRepresentationUntilTheLastGoes) {
  AllocationScope scope;
  {
    ZELString* a = new ZELString("shared text");
    EXPECT_EQ(scope.Live(), 1);
    ZELString b;
    b = *a;
    EXPECT_EQ(Shares(b), 2);
    EXPECT_EQ(a->CastToCharPtr(), b.CastToCharPtr());
    delete a;
    EXPECT_EQ(Shares(b), 1);
    EXPECT_EQ(scope.Live(), 1);
    b = b;  // self-assignment must not drop the count to zero
    EXPECT_EQ(Shares(b), 1);
    EXPECT_EQ(Text(b), "shared text");
    b = ZELString();
    EXPECT_EQ(scope.Live(), 0);
  }
}

TEST(StringTest, ComparesByUnsignedBytes) {
  ZELString high("\x80z");
  EXPECT_TRUE(ZELString("zzz") < high);
  EXPECT_FALSE(high < ZELString("zzz"));
  EXPECT_TRUE(ZELString("B") < ZELString("a"));
  EXPECT_TRUE(ZELString("ab") < ZELString("abc"));
  EXPECT_FALSE(ZELString("abc") < ZELString("ab"));
  EXPECT_TRUE(ZELString("abc") == ZELString("abc"));
  EXPECT_FALSE(ZELString("abc") == ZELString("abd"));
  EXPECT_TRUE(ZELString("\xff") == ZELString("\xff"));
}

TEST(StringTest, BuildsFromExactlyTheGivenBytes) {
  ZELString s;
  s.BuildFromUTF8("abcdef", 3);
  EXPECT_EQ(Text(s), "abc");
  EXPECT_TRUE(s.IsAscii());
  ZELString t;
  t.BuildFromUTF8("caf\xc3\xa9");
  EXPECT_FALSE(t.IsAscii());
  EXPECT_EQ(t.GetLengthInChar(), 4);
}

TEST(StringTest, CountsCharactersSoThatFourPerCharacterAlwaysFits) {
  struct Case {
    const char* bytes;
    int chars;
  } cases[] = {
      {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", 4},  // 1-, 2-, 3- and 4-byte forms
      {"\xc3", 1},                                   // truncated sequence
      {"\xe2\x82", 2},                               // each byte of a broken one counts
      {"\x80\x80\x80", 3},                           // lone continuation bytes
      {"\xc0\xaf", 2},                               // overlong
      {"\xed\xa0\x80", 3},                           // surrogate
      {"\xf4\x90\x80\x80", 4},                       // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ZELString(c.bytes).GetLengthInChar(), c.chars) << c.bytes;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 40, '\0');
    for (char& b : bytes) b = static_cast<char>(random() % 255 + 1);
    ZELString s(bytes.c_str());
    ASSERT_GE(4 * static_cast<size_t>(s.GetLengthInChar()), bytes.size());
    std::string out(4 * s.GetLengthInChar(), '\0');
    size_t size = out.size();
    s.ConvertToUTF8(&out[0], &size);
    ASSERT_EQ(out.substr(0, size), bytes);
  }
}

TEST(StringTest, ConvertNeverWritesPastTheCapacity) {
  ZELString s("0123456789");
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  size_t size = 4;
  s.ConvertToUTF8(buffer, &size);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::string(buffer, 5), "0123#");
}

TEST(StringTest, AppendIsLinearAndNeverWritesIntoSharedText) {
  AllocationScope scope;
  {
    ZELString piece("0123456789");
    ZELString out("<");
    ZELString before(out);
    for (int i = 0; i < 100000; ++i) out.Append(piece);
    EXPECT_EQ(Text(before), "<");
    EXPECT_EQ(out.GetLengthInChar(), 1 + 100000 * 10);
    EXPECT_LT(scope.Taken(), 40u) << "appends must grow geometrically";
    std::string text = Text(out);
    EXPECT_EQ(text.substr(0, 12), "<01234567890");
    ZELString copy(out);
    out.Append(ZELString("\xc3\xa9"));
    EXPECT_EQ(copy.GetLengthInChar(), 1 + 100000 * 10);
    EXPECT_TRUE(copy.IsAscii());
    EXPECT_FALSE(out.IsAscii());
  }
}

TEST(StringTest, ConcatenationLeavesTheSourceAlone) {
  ZELString indent("  ");
  ZELString deeper = indent + "    ";
  EXPECT_EQ(Text(indent), "  ");
  EXPECT_EQ(Text(deeper), "      ");
  EXPECT_EQ(Text(ZELString() + ""), "");
}

TEST(StringTest, FailedBuildInConstructorLeaksNothing) {
  AllocationScope scope;
  mem_FailAfter(1);
  EXPECT_THROW(ZELString("needs a block"), std::bad_alloc);
  mem_FailAfter(0);
}
