// WriteFile on top of the file module's replacing writes: the bytes
// WriteString gives, rendered into the file a piece at a time; a write that
// fails, or a render that throws, leaves the old file and nothing else.
// (The file module's own guarantees are tested beside it.)
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <iterator>
#include <new>
#include <string>

#include "AllocationScope.h"
#include "TempDir.h"
#include "ZELBasAlloc.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

namespace fs = std::filesystem;

static long Count(const std::string& folder) {
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// Every byte WriteString renders, a NUL inside a text included.
static std::string Text(ZELBasXmlDocument& document) {
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  return std::string(out.CastToCharPtr(), out.GetLengthInBytes());
}

// A document of many 64 KiB buffers, with characters that the well-formed
// layout escapes, and a NUL inside a text, which it cannot write.
static void Fill(ZELBasXmlDocument& document, bool nul = true) {
  const char* none[] = {nullptr};
  ZELBasXmlDocument::unknownStartTag(&document, "big", none);
  for (int i = 0; i < 10000; ++i) {
    std::string n = std::to_string(i);
    const char* attributes[] = {"n", n.c_str(), "q", "\"<&", nullptr};
    ZELBasXmlDocument::unknownStartTag(&document, "item", attributes);
    ZELBasXmlDocument::dataHandler(&document, "some & text", 11);
    ZELBasXmlDocument::unknownEndTag(&document, "item");
  }
  ZELBasXmlDocument::unknownStartTag(&document, "nul", none);
  ZELBasXmlDocument::dataHandler(&document, "x\0y", nul ? 3 : 1);
  ZELBasXmlDocument::unknownEndTag(&document, "nul");
  ZELBasXmlDocument::unknownEndTag(&document, "big");
}

TEST(WriteFileTest, TheFileHoldsTheBytesWriteStringGivesInEitherLayout) {
  TempDir dir;
  for (unsigned long options : {0ul, static_cast<unsigned long>(ZELBasXmlWellFormed)}) {
    ZELBasXmlDocument document;
    Fill(document, options == 0);
    document.SetOptions(options);
    std::string file = dir.File("doc.xml"), text = Text(document);
    ASSERT_GT(text.size(), 300000u);
    EXPECT_EQ(document.WriteFile(ZELString(file.c_str())), S_OK);
    EXPECT_TRUE(TempDir::Read(file) == text) << options;
  }
  // A tree the well-formed layout cannot write leaves the file as it was.
  ZELBasXmlDocument unwritable;
  Fill(unwritable);
  unwritable.SetOptions(ZELBasXmlWellFormed);
  std::string old = TempDir::Read(dir.File("doc.xml"));
  EXPECT_EQ(unwritable.WriteFile(ZELString(dir.File("doc.xml").c_str())), E_FAIL);
  EXPECT_TRUE(TempDir::Read(dir.File("doc.xml")) == old);
  EXPECT_EQ(Count(dir.path), 1);
}

// A document written over a file of old content.
class OverAnOldFile : public ::testing::Test {
protected:
  void SetUp() override { Fill(document); }

  TempDir dir;
  ZELBasXmlDocument document;
  const std::string old = "old content\n", file = dir.Write("doc.xml", old);
};

TEST_F(OverAnOldFile, AFailedWriteLeavesTheOldFileAndNothingElse) {
  const size_t length = Text(document).size();
  // At length - 1 only the last flush, in the close, fails.
  for (size_t budget : {size_t(0), size_t(1000), length / 2, length - 1}) {
    ZELBasShared_FailWritesAfter(budget);
    EXPECT_EQ(document.WriteFile(ZELString(file.c_str())), E_FAIL) << budget;
    ZELBasShared_FailWritesAfter(SIZE_MAX);
    EXPECT_EQ(TempDir::Read(file), old) << budget;
  }
  EXPECT_EQ(document.WriteFile(ZELString(dir.File("none/doc.xml").c_str())), E_FAIL);
  EXPECT_EQ(Count(dir.path), 1);
}

TEST_F(OverAnOldFile, ARenderThatThrowsLeavesTheOldFileAndNothingElse) {
  AllocationScope scope;
  for (uint64_t failAt = 1;; ++failAt) {
    mem_FailAfter(failAt);
    try {
      EXPECT_EQ(document.WriteFile(ZELString(file.c_str())), S_OK);
      mem_FailAfter(0);
      break;
    } catch (const std::bad_alloc&) {
      mem_FailAfter(0);
    }
    EXPECT_EQ(TempDir::Read(file), old) << failAt;
    EXPECT_EQ(Count(dir.path), 1) << failAt;
  }
  EXPECT_EQ(TempDir::Read(file), Text(document));
}

TEST(WriteFileTest, WriteWithoutANameCreatesNothing) {
  TempDir dir;
  ZELBasXmlDocument document;
  EXPECT_EQ(document.Write(), E_FAIL);
  ZELBasXmlDocument named(ZELString(dir.File("named.xml").c_str()));
  EXPECT_EQ(named.Write(), S_OK);
  EXPECT_EQ(TempDir::Read(dir.File("named.xml")), Text(named));
  EXPECT_EQ(Count(dir.path), 1);
}
