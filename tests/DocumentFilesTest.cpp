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

// One document of two chunks and more, read both ways once for all the
// tests below: a text split at the first boundary inside a character, a
// three-megabyte attribute value across the second, and 5,000 elements after
// it, whose vectors grew many times.
class ChunkedFile : public testing::Test {
protected:
  static void SetUpTestSuite() {
    std::string xml = "<a>" + std::string(kChunk - 4, 'x') + "\xc3\xa9tail";
    while (xml.size() < 2 * kChunk - 20) xml += "<e k=\"v\" n=\"" + std::to_string(xml.size()) + "\"/>";
    value = new std::string(3 << 20, 'v');
    (*value)[12345] = '\t';  // normalized to a space
    xml += "<edge value=\"" + *value + "\"/>";
    for (int i = 0; i < 5000; ++i) xml += "<t i=\"" + std::to_string(i) + "\"><x/></t>";
    read = new BothWays(xml + "</a>");
  }
  static void TearDownTestSuite() {
    delete read;
    delete value;
  }
  static BothWays* read;
  static std::string* value;
};
BothWays* ChunkedFile::read = nullptr;
std::string* ChunkedFile::value = nullptr;

TEST_F(ChunkedFile, ReadsWithoutAReport) { EXPECT_EQ(read->fileReport + read->stringReport, ""); }

// ReadFile keeps the last piece of a text cut by the boundary: it starts
// with the character the boundary fell in. All else reads as from a string.
TEST_F(ChunkedFile, KeepsTheLastPieceOfATextCutByTheBoundaryWhole) {
  EXPECT_STREQ(read->file.GetRoot().GetData().CastToCharPtr(), "\xc3\xa9tail");
  EXPECT_TRUE(Body(read->string).erase(3, kChunk - 4) == Body(read->file));
}

TEST_F(ChunkedFile, ReadsAValueAcrossABoundaryWhole) {
  const ZELBasVector<ZELBasXmlNode>& children = read->file.GetRoot().Children();
  ZELString got;
  children[children.size() - 5001].GetAttribute(ZELString("value"), got);
  std::string expected = *value;
  EXPECT_TRUE(std::string_view(got) == expected.replace(12345, 1, " "));
}

// In the tree and in the copies a search gives.
TEST_F(ChunkedFile, ChildrenLinkToTheirParentsOnceTheVectorsGrew) {
  for (ZELBasXmlDocument* d : {&read->file, &read->string}) {
    ZELBasVector<ZELBasXmlNode> found;
    d->GetRoot().GetElementsByTagName(ZELString("t"), found);
    ASSERT_EQ(found.size(), 5000u);
    for (int i = 0; i < 5000; i += 99) {
      for (const ZELBasXmlNode* t : {d->GetRoot().Children().end() - 5000 + i, &found[i]}) {
        ZELBasXmlNode parent, grandparent;
        ZELString number;
        ASSERT_EQ(t->Children()[0].GetParent(parent), S_OK);
        parent.GetAttribute(ZELString("i"), number);
        EXPECT_EQ(std::to_string(i), number.CastToCharPtr());
        EXPECT_TRUE(i != 0 || (parent.GetParent(grandparent) == S_OK && grandparent.GetTagName() == "a"));
      }
    }
  }
}

// A 64 KiB buffer at a time, a longer text or indentation whole.
TEST_F(ChunkedFile, ASinkGetsWhatWriteStringAndSerializeGive) {
  ZELString written, indent(std::string(70000, ' ').c_str()), serialized;
  ASSERT_EQ(read->string.WriteString(written), S_OK);
  const ZELBasXmlNode& first = read->string.GetRoot().Children()[0];
  ASSERT_EQ(first.Serialize(serialized, indent), S_OK);
  Collected all, nested;
  EXPECT_EQ(read->string.WriteTo(&Collected::Take, &all), S_OK);
  EXPECT_EQ(first.SerializeTo(&Collected::Take, &nested, indent), S_OK);
  EXPECT_TRUE(std::string_view(written) == all.bytes && std::string_view(serialized) == nested.bytes);
  EXPECT_EQ(nested.bytes.substr(69999, 4), " <e ");
}

TEST_F(ChunkedFile, ASinkThatRefusedIsNotCalledAgain) {
  Collected some;
  some.refuseAt = 3;
  EXPECT_EQ(read->string.WriteTo(&Collected::Take, &some), E_FAIL);
  EXPECT_EQ(some.calls, 3);
}
