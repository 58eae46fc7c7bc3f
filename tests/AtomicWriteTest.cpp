#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "TempDir.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

namespace {

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

mode_t Mode(const std::string& path) {
  struct stat info;
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// A document whose text is well past the stream's buffer.
void Fill(ZELBasXmlDocument& document) {
  std::string xml = "<big>";
  for (int i = 0; i < 3000; ++i) xml += "<item n=\"" + std::to_string(i) + "\">some text</item>";
  ASSERT_EQ(document.ReadString(ZELString((xml + "</big>").c_str())), S_OK);
}

std::string Text(ZELBasXmlDocument& document) {
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  return out.CastToCharPtr();
}

class FailWrites {
public:
  explicit FailWrites(size_t bytes) { ZELBasShared_FailWritesAfter(bytes); }
  ~FailWrites() { ZELBasShared_FailWritesAfter(SIZE_MAX); }
};

}  // namespace

TEST(AtomicWriteTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old content\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ZELBasXmlDocument document;
  Fill(document);
  size_t size = Text(document).size();
  ASSERT_GT(size, 100000u);
  // Nothing written, part-way, and the last byte: the last flush fails in fclose.
  for (size_t budget : {size_t(0), size_t(1000), size / 2, size - 1}) {
    FailWrites failing(budget);
    EXPECT_EQ(document.WriteFile(ZELString(target.c_str())), E_FAIL) << budget;
    EXPECT_EQ(TempDir::Read(target), "old content\n") << budget;
    EXPECT_EQ(Listing(dir.path), std::set<std::string>{"doc.xml"}) << budget;
  }
  {
    FailWrites enough(size);
    ASSERT_EQ(document.WriteFile(ZELString(target.c_str())), S_OK);
  }
  EXPECT_EQ(TempDir::Read(target), Text(document));
  EXPECT_EQ(Mode(target), 0640u) << "the replaced file's permission bits";
  EXPECT_EQ(Listing(dir.path), std::set<std::string>{"doc.xml"});

  // A stream closed after a failed write reports it, whatever was buffered.
  FailWrites failing(0);
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("short", stream);
  EXPECT_NE(std::fclose(stream), 0);
  EXPECT_EQ(TempDir::Read(target), Text(document));
}

TEST(AtomicWriteTest, NewFilesLinksAndSpecialFiles) {
  TempDir dir;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<a b=\"c\"/>")), S_OK);
  std::string text = Text(document);

  mode_t previous = umask(027);
  std::string fresh = dir.File("fresh.xml");
  EXPECT_EQ(document.WriteFile(ZELString(fresh.c_str())), S_OK);
  umask(previous);
  EXPECT_EQ(Mode(fresh), 0640u) << "0666 less the umask";
  std::string longest = dir.Write(std::string(255, 'n'), "old");  // no room left for a suffix
  EXPECT_EQ(document.WriteFile(ZELString(longest.c_str())), S_OK);
  EXPECT_EQ(TempDir::Read(longest), text);

  // A link is followed: the file it names is replaced, the link stays.
  std::filesystem::create_directory(dir.File("real"));
  std::string real = dir.Write("real/doc.xml", "old");
  std::string link = dir.File("link.xml");
  ASSERT_EQ(symlink("real/doc.xml", link.c_str()), 0);
  EXPECT_EQ(document.WriteFile(ZELString(link.c_str())), S_OK);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(TempDir::Read(real), text);
  EXPECT_EQ(Listing(dir.File("real")), std::set<std::string>{"doc.xml"});

  // A pipe is written in place, and stays a pipe.
  std::string fifo = dir.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = TempDir::Read(fifo); });
  EXPECT_EQ(document.WriteFile(ZELString(fifo.c_str())), S_OK);
  reader.join();
  EXPECT_EQ(received, text);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));

  EXPECT_EQ(document.WriteFile(ZELString("/dev/null")), S_OK);
  EXPECT_EQ(document.WriteFile(ZELString("/dev/full")), E_FAIL) << "written in place, so the close fails";
}

TEST(AtomicWriteTest, FoldersThatTakeNoNewFileFail) {
  TempDir dir;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<a/>")), S_OK);
  // Not even root may create files here.
  EXPECT_EQ(document.WriteFile(ZELString("/proc/zelbas.xml")), E_FAIL);
  EXPECT_EQ(document.WriteFile(ZELString(dir.path.c_str())), E_FAIL);
  if (geteuid() == 0) return;  // root writes anywhere else
  std::string kept = dir.Write("kept.xml", "old");
  ASSERT_EQ(chmod(kept.c_str(), 0444), 0);
  EXPECT_EQ(document.WriteFile(ZELString(kept.c_str())), E_FAIL) << "a read-only file is not replaced";
  ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
  EXPECT_EQ(document.WriteFile(ZELString(dir.File("new.xml").c_str())), E_FAIL);
  ASSERT_EQ(chmod(kept.c_str(), 0644), 0);
  EXPECT_EQ(document.WriteFile(ZELString(kept.c_str())), E_FAIL) << "no new file in the folder";
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
  EXPECT_EQ(TempDir::Read(kept), "old");
}
