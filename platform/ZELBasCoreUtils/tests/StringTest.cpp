// The string: sharing, byte order, lengths of invalid UTF-8, the lengths
// where its layout changes, and appending.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "AllocationScope.h"
#include "ZELString.h"

namespace {

// Reads a string's share count; the probe itself holds one share.
struct Probe : ZELString {
  explicit Probe(const ZELString& s) : ZELString(s) {}
  int32_t Shares() const { return representation != nullptr ? representation->refCount - 1 : 0; }
};

// Every byte of the text, through ConvertToUTF8 and a buffer of four bytes
// per character, as callers size it.
std::string Bytes(const ZELString& s) {
  std::string out(4 * s.GetLengthInChar(), '\0');
  size_t size = out.size();
  s.ConvertToUTF8(&out[0], &size);
  return out.substr(0, size);
}

}  // namespace

TEST(StringTest, EmptyStringsTakeNoMemoryAndCopiesShareOneText) {
  AllocationScope scope;
  ZELString none, empty(""), view{std::string_view()};
  ZELString copy(none);
  copy = empty;
  EXPECT_EQ(scope.Taken(), 0u);
  EXPECT_TRUE(none == empty && view == nullptr && std::string_view(view).empty() &&
              none.GetLengthInChar() == 0);
  EXPECT_STREQ(none.CastToCharPtr(), "");

  ZELString* a = new ZELString("shared text");
  ZELString b;
  b = *a;
  EXPECT_EQ(Probe(b).Shares(), 2);
  EXPECT_EQ(a->CastToCharPtr(), b.CastToCharPtr());
  delete a;
  EXPECT_EQ(scope.Live(), 1);
  b = b;
  EXPECT_EQ(Probe(b).Shares(), 1);
  EXPECT_STREQ(b.CastToCharPtr(), "shared text");
  b = ZELString();
  EXPECT_EQ(scope.Live(), 0);
}

TEST(StringTest, ComparesByUnsignedBytes) {
  const char* ordered[] = {"", "B", "a", "ab", "abc", "zzz", "\x80z", "\xff"};
  for (const char* x : ordered) {
    for (const char* y : ordered) {
      // Every form: two strings, and a string against C text on either side.
      const ZELString a(x), b(y);
      const int order = std::strcmp(x, y);
      for (bool less : {a < b, a < y, x < b}) EXPECT_EQ(less, order < 0) << x << " < " << y;
      for (bool equal : {a == b, a == y, x == b, !(a != b), !(a != y), !(x != b)}) {
        EXPECT_EQ(equal, order == 0) << x << " == " << y;
      }
    }
  }
}

TEST(StringTest, LengthsCountEveryByteOfInvalidUtf8AsACharacter) {
  // A view gives exactly its bytes, and gets them back, NULs inside too.
  const std::string_view withNul("a\0\xc3\xa9", 4);
  ZELString part(std::string_view("abcdef", 3)), bytes(withNul);
  EXPECT_STREQ(part.CastToCharPtr(), "abc");
  EXPECT_EQ(std::string_view(bytes), withNul);
  EXPECT_EQ(bytes.GetLengthInBytes(), 4u);
  const std::pair<const char*, int> cases[] = {
      {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", 4},
      {"\xc3", 1},
      {"\xe2\x82", 2},
      {"\x80\x80\x80", 3},
      {"\xc0\xaf", 2},          // overlong
      {"\xed\xa0\x80", 3},      // surrogate
      {"\xf4\x90\x80\x80", 4},  // beyond U+10FFFF
  };
  for (const auto& [text, chars] : cases) EXPECT_EQ(ZELString(text).GetLengthInChar(), chars) << text;
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 40, '\0');
    for (char& b : text) b = static_cast<char>(random() % 255 + 1);
    ASSERT_EQ(Bytes(ZELString(text.c_str())), text);
  }
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  size_t size = 4;
  ZELString("0123456789").ConvertToUTF8(buffer, &size);
  EXPECT_EQ(std::string(buffer, 5), "0123#");
}

// Texts of up to 32,767 bytes and longer ones are held differently; a text
// built, appended to or concatenated across that length, or across 65,536,
// reads back whole, and measures and compares the same.
TEST(StringTest, TextsAcrossTheLengthsWhereTheirFormChanges) {
  for (size_t length : {32766, 32767, 32768, 32769, 65535, 65536, 65537}) {
    SCOPED_TRACE(length);
    std::string text(length - 2, 'x');
    text += "\xc3\xa9";  // one character of two bytes
    const ZELString built(text), head(text.substr(0, length - 1));
    ZELString appended(head);
    appended.Append(ZELString("\xa9"));
    for (const ZELString* s : {&built, const_cast<const ZELString*>(&appended)}) {
      for (int twice = 0; twice < 2; ++twice) EXPECT_EQ(s->GetLengthInChar(), static_cast<int>(length) - 1);
      EXPECT_EQ(s->GetLengthInBytes(), length);
      EXPECT_TRUE(Bytes(*s) == text);
      EXPECT_TRUE(*s == text.c_str() && *s == built && head < *s && *s < (text + "y").c_str());
      EXPECT_FALSE(s->IsAscii());
    }
    EXPECT_TRUE(head + "\xa9" == built);
    EXPECT_EQ(head.GetLengthInChar(), static_cast<int>(length) - 1) << "the lone lead byte counts as one";
  }
}

TEST(StringTest, AppendGrowsGeometricallyAndNeverWritesIntoSharedText) {
  AllocationScope scope;
  ZELString piece("0123456789"), out("<");
  ZELString before(out);
  for (int i = 0; i < 100000; ++i) out.Append(piece);
  EXPECT_STREQ(before.CastToCharPtr(), "<");
  EXPECT_EQ(out.GetLengthInChar(), 1 + 100000 * 10);
  EXPECT_LT(scope.Taken(), 40u);
  EXPECT_EQ(std::string(out.CastToCharPtr()).substr(0, 12), "<01234567890");
  ZELString copy(out);
  out.Append(ZELString("\xc3\xa9"));
  EXPECT_TRUE(copy.IsAscii());
  EXPECT_FALSE(out.IsAscii());
  EXPECT_EQ(copy.GetLengthInBytes() + 2, out.GetLengthInBytes());
}
