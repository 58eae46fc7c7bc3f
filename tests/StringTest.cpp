#include <gtest/gtest.h>

#include <cstring>
#include <new>
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

int32_t Shares(const ZELString& s) { return Probe(s).Shares(); }

std::string Text(const ZELString& s) { return s.CastToCharPtr(); }

}  // namespace

TEST(StringTest, EmptyStringsTakeNoMemory) {
  AllocationScope scope;
  ZELString none, empty(""), view{std::string_view()};
  ZELString copy(none);
  copy = empty;
  EXPECT_EQ(scope.Taken(), 0u);
  EXPECT_EQ(Text(none), "");
  EXPECT_EQ(none.GetLengthInChar(), 0);
  EXPECT_TRUE(none == empty && view == nullptr && std::string_view(view).empty());
}

TEST(StringTest, CopiesShareOneRepresentationUntilTheLastGoes) {
  AllocationScope scope;
  ZELString* a = new ZELString("shared text");
  ZELString b;
  b = *a;
  EXPECT_EQ(Shares(b), 2);
  EXPECT_EQ(a->CastToCharPtr(), b.CastToCharPtr());
  delete a;
  EXPECT_EQ(scope.Live(), 1);
  b = b;
  EXPECT_EQ(Shares(b), 1);
  EXPECT_EQ(Text(b), "shared text");
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

TEST(StringTest, CountsEveryByteOfInvalidUtf8AsACharacter) {
  // A view gives exactly its bytes, and gets them back, NULs inside too.
  const std::string_view withNul("a\0\xc3\xa9", 4);
  ZELString part(std::string_view("abcdef", 3)), bytes(withNul);
  EXPECT_EQ(Text(part), "abc");
  EXPECT_EQ(std::string_view(bytes), withNul);
  EXPECT_EQ(bytes.GetLengthInBytes(), 4u);
  struct Case {
    const char* bytes;
    int chars;
  } cases[] = {
      {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", 4},
      {"\xc3", 1},
      {"\xe2\x82", 2},
      {"\x80\x80\x80", 3},
      {"\xc0\xaf", 2},          // overlong
      {"\xed\xa0\x80", 3},      // surrogate
      {"\xf4\x90\x80\x80", 4},  // beyond U+10FFFF
  };
  for (const Case& c : cases) EXPECT_EQ(ZELString(c.bytes).GetLengthInChar(), c.chars) << c.bytes;
  // Callers size buffers as four bytes per character.
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 40, '\0');
    for (char& b : bytes) b = static_cast<char>(random() % 255 + 1);
    ZELString s(bytes.c_str());
    std::string out(4 * s.GetLengthInChar(), '\0');
    size_t size = out.size();
    s.ConvertToUTF8(&out[0], &size);
    ASSERT_EQ(out.substr(0, size), bytes);
  }
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  size_t size = 4;
  ZELString("0123456789").ConvertToUTF8(buffer, &size);
  EXPECT_EQ(std::string(buffer, 5), "0123#");
}

TEST(StringTest, AppendGrowsGeometricallyAndNeverWritesIntoSharedText) {
  AllocationScope scope;
  {
    ZELString piece("0123456789"), out("<");
    ZELString before(out);
    for (int i = 0; i < 100000; ++i) out.Append(piece);
    EXPECT_EQ(Text(before), "<");
    EXPECT_EQ(out.GetLengthInChar(), 1 + 100000 * 10);
    EXPECT_LT(scope.Taken(), 40u);
    EXPECT_EQ(Text(out).substr(0, 12), "<01234567890");
    ZELString copy(out);
    out.Append(ZELString("\xc3\xa9"));
    EXPECT_TRUE(copy.IsAscii());
    EXPECT_FALSE(out.IsAscii());
    ZELString indent("  ");
    EXPECT_EQ(Text(indent + "    "), "      ");
    EXPECT_EQ(Text(indent), "  ");
  }
}

TEST(StringTest, FailedBuildInConstructorLeaksNothing) {
  AllocationScope scope;
  mem_FailAfter(1);
  EXPECT_THROW(ZELString("needs a block"), std::bad_alloc);
  mem_FailAfter(0);
}
