#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

#include "TempDir.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

// What of a replaced file's protection is kept: its permission bits, or on
// Windows its attributes.
#if defined(_WIN32)
static void Protect(const std::string& file) { SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN); }
static bool Protected(const std::string& file) {
  return (GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0;
}
#else
static void Protect(const std::string& file) { chmod(file.c_str(), 0640); }
static bool Protected(const std::string& file) { return fs::status(file).permissions() == fs::perms(0640); }
#endif

static long Count(const std::string& folder) {
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

static std::string Text(ZELBasXmlDocument& document) {
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  return out.CastToCharPtr();
}

struct FailWrites {
  explicit FailWrites(size_t bytes) { ZELBasShared_FailWritesAfter(bytes); }
  ~FailWrites() { ZELBasShared_FailWritesAfter(SIZE_MAX); }
};

TEST(AtomicWriteTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old content\n");
  Protect(target);
  std::string xml = "<big>";  // well past the stream's buffer
  for (int i = 0; i < 3000; ++i) xml += "<item n=\"" + std::to_string(i) + "\">some text</item>";
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString((xml + "</big>").c_str())), S_OK);
  size_t size = Text(document).size();
  ASSERT_GT(size, 100000u);
  // At size - 1 only the last flush, in fclose, fails.
  for (size_t budget : {size_t(0), size_t(1000), size / 2, size - 1}) {
    FailWrites failing(budget);
    EXPECT_EQ(document.WriteFile(ZELString(target.c_str())), E_FAIL) << budget;
    EXPECT_EQ(TempDir::Read(target), "old content\n") << budget;
    EXPECT_EQ(Count(dir.path), 1) << budget;
  }
  {
    FailWrites enough(size);
    ASSERT_EQ(document.WriteFile(ZELString(target.c_str())), S_OK);
  }
  EXPECT_EQ(TempDir::Read(target), Text(document));
  EXPECT_TRUE(Protected(target)) << "the replaced file's permission bits or attributes";
  EXPECT_EQ(Count(dir.path), 1);

  // A close after a failed write reports it, whatever was buffered.
  FailWrites failing(0);
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("short", stream);
  EXPECT_NE(ZELBasFileOps::Fclose(stream), 0);
  EXPECT_EQ(TempDir::Read(target), Text(document)) << "the file is replaced only on success";
}

TEST(AtomicWriteTest, NewFilesLinksAndSpecialFiles) {
  TempDir dir;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<a b=\"c\"/>")), S_OK);
  std::string text = Text(document);

  std::string longest = dir.Write(std::string(255, 'n'), "old");           // no room left for a suffix
  std::string accented = dir.File("d\xc3\xa9j\xc3\xa0 \xe2\x82\xac.xml");  // UTF-8 names
  for (const std::string& file : {longest, accented}) {
    EXPECT_EQ(document.WriteFile(ZELString(file.c_str())), S_OK);
    EXPECT_EQ(TempDir::Read(file), text);
  }
#if defined(_WIN32)
  EXPECT_EQ(document.WriteFile(ZELString("NUL")), S_OK) << "written in place";
  GTEST_SKIP() << "umask, symbolic links, FIFOs and a full device are POSIX only";
#else
  mode_t previous = umask(027);
  std::string fresh = dir.File("fresh.xml");
  EXPECT_EQ(document.WriteFile(ZELString(fresh.c_str())), S_OK);
  umask(previous);
  EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0640)) << "0666 less the umask";

  // The file a link names is replaced; the link stays.
  fs::create_directory(dir.File("real"));
  std::string real = dir.Write("real/doc.xml", "old"), link = dir.File("link.xml");
  ASSERT_EQ(symlink("real/doc.xml", link.c_str()), 0);
  EXPECT_EQ(document.WriteFile(ZELString(link.c_str())), S_OK);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(TempDir::Read(real), text);
  EXPECT_EQ(Count(dir.File("real")), 1);

  std::string fifo = dir.File("pipe"), received;
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread reader([&] { received = TempDir::Read(fifo); });
  EXPECT_EQ(document.WriteFile(ZELString(fifo.c_str())), S_OK);
  reader.join();
  EXPECT_EQ(received, text);
  EXPECT_TRUE(fs::is_fifo(fifo)) << "written in place";
  EXPECT_EQ(document.WriteFile(ZELString("/dev/null")), S_OK);
  EXPECT_EQ(document.WriteFile(ZELString("/dev/full")), E_FAIL) << "written in place, so the close fails";
#endif
}

TEST(AtomicWriteTest, FoldersThatTakeNoNewFileFail) {
  TempDir dir;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<a/>")), S_OK);
  EXPECT_EQ(document.WriteFile(ZELString(dir.path.c_str())), E_FAIL);
#if defined(_WIN32)
  // A file another handle holds without sharing its deletion cannot be
  // replaced; one marked read-only is not written at all.
  std::string held = dir.Write("held.xml", "old"), kept = dir.Write("kept.xml", "old");
  HANDLE other = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(document.WriteFile(ZELString(held.c_str())), E_FAIL);
  CloseHandle(other);
  EXPECT_EQ(TempDir::Read(held), "old");
  EXPECT_EQ(Count(dir.path), 2) << "the new file is removed";
  SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE probe = CreateFileA(kept.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  long result = document.WriteFile(ZELString(kept.c_str()));
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (probe != INVALID_HANDLE_VALUE) GTEST_SKIP() << "read-only files are written here (Wine run as root)";
  EXPECT_EQ(result, E_FAIL);
  EXPECT_EQ(TempDir::Read(kept), "old");
#else
  EXPECT_EQ(document.WriteFile(ZELString("/proc/zelbas.xml")), E_FAIL) << "not even root creates files here";
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
#endif
}
