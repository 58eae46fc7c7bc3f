// Reading and writing files: chunked reads, long values, links after the
// vectors grew, and the sinks a write goes through.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "DocumentReads.h"

namespace {

// Collects what a sink is given; refuses from call number `refuseAt` on.
struct Collected {
  std::string bytes;
  int calls = 0;
  int refuseAt = 0;
  static bool Take(void* context, const char* bytes, size_t length) {
    Collected* c = static_cast<Collected*>(context);
    if (++c->calls == c->refuseAt) return false;
    c->bytes.append(bytes, length);
    return true;
  }
};

}  // namespace

// Chunks of 262,144 bytes: a text split at the first boundary inside a
// character, a long attribute value across the second. ReadFile keeps the
// last piece of the text, starting with that character; all else reads alike.
TEST(DocumentTest, FileReadsInChunksKeepingTheLastPieceOfATextWhole) {
  std::string xml = "<a>" + std::string(kChunk - 4, 'x') + "\xc3\xa9tail";
  while (xml.size() < 2 * kChunk - 20) xml += "<e k=\"v\" n=\"" + std::to_string(xml.size()) + "\"/>";
  std::string value(10 << 20, 'v');  // ten megabytes, a tab normalized to a space
  value[12345] = '\t';
  xml += "<edge value=\"" + value + "\"/>";
  for (int i = 0; i < 5000; ++i) xml += "<t i=\"" + std::to_string(i) + "\"><x/></t>";
  BothWays read(xml + "</a>");
  EXPECT_EQ(read.fileReport + read.stringReport, "");
  EXPECT_STREQ(read.file.GetRoot().GetData().CastToCharPtr(), "\xc3\xa9tail");
  EXPECT_TRUE(Body(read.string).erase(3, kChunk - 4) == Body(read.file));
  ZELString got;
  read.file.GetRoot().Children()[read.file.GetRoot().Children().size() - 5001].GetAttribute(
      ZELString("value"), got);
  EXPECT_TRUE(std::string_view(got) == value.replace(12345, 1, " "));
  // Children link to their parents once the vectors grew, in the tree and in
  // the copies a search gives.
  for (ZELBasXmlDocument* d : {&read.file, &read.string}) {
    ZELBasVector<ZELBasXmlNode> found;
    d->GetRoot().GetElementsByTagName(ZELString("t"), found);
    ASSERT_EQ(found.size(), 5000u);
    for (int i = 0; i < 5000; i += 99) {
      for (const ZELBasXmlNode* t : {d->GetRoot().Children().end() - 5000 + i, &found[i]}) {
        ZELBasXmlNode parent, grandparent;
        ZELString value;
        ASSERT_EQ(t->Children()[0].GetParent(parent), S_OK);
        parent.GetAttribute(ZELString("i"), value);
        EXPECT_EQ(std::to_string(i), value.CastToCharPtr());
        EXPECT_TRUE(i != 0 || (parent.GetParent(grandparent) == S_OK && grandparent.GetTagName() == "a"));
      }
    }
  }
  // A sink gets what WriteString and Serialize give, a 64 KiB buffer at a
  // time (a longer text or indentation whole), and no more once it refused.
  ZELString written, indent(std::string(70000, ' ').c_str()), serialized;
  ASSERT_EQ(read.string.WriteString(written), S_OK);
  const ZELBasXmlNode& first = read.string.GetRoot().Children()[0];
  ASSERT_EQ(first.Serialize(serialized, indent), S_OK);
  Collected all, some, nested;
  some.refuseAt = 3;
  EXPECT_EQ(read.string.WriteTo(&Collected::Take, &all), S_OK);
  EXPECT_EQ(read.string.WriteTo(&Collected::Take, &some), E_FAIL);
  EXPECT_EQ(some.calls, 3) << "not called again after it refused";
  EXPECT_EQ(first.SerializeTo(&Collected::Take, &nested, indent), S_OK);
  EXPECT_TRUE(std::string_view(written) == all.bytes && std::string_view(serialized) == nested.bytes);
  EXPECT_EQ(nested.bytes.substr(69999, 4), " <e ");
}
