#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "WithoutUnnamedFiles.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
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

// Every byte WriteString renders, a NUL inside a text included.
static std::string Text(ZELBasXmlDocument& document) {
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  return std::string(out.CastToCharPtr(), out.GetLengthInBytes());
}

struct FailWrites {
  explicit FailWrites(size_t bytes) { ZELBasShared_FailWritesAfter(bytes); }
  ~FailWrites() { ZELBasShared_FailWritesAfter(SIZE_MAX); }
};

// WriteFile, with writes failing after `budget` bytes.
static long Write(ZELBasXmlDocument& document, const std::string& path, size_t budget = SIZE_MAX) {
  FailWrites failing(budget);
  return document.WriteFile(ZELString(path.c_str()));
}

// Writes in turn, each with a budget, the result it must give and the
// content it must leave; "" when all went so, else the path of the first
// that did not.
struct Step {
  std::string path;
  size_t budget;
  long result;
  std::string content;
};
static std::string Steps(ZELBasXmlDocument& document, const std::vector<Step>& steps) {
  for (const Step& s : steps) {
    if (Write(document, s.path, s.budget) != s.result || TempDir::Read(s.path) != s.content) return s.path;
  }
  return "";
}

TEST(AtomicWriteTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old content\n");
  Protect(target);
  std::string xml = "<big>";  // well past the stream's buffer
  for (int i = 0; i < 3000; ++i) xml += "<item n=\"" + std::to_string(i) + "\">some text</item>";
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString((xml + "</big>").c_str())), S_OK);
  const std::string text = Text(document), old = "old content\n";
  ASSERT_GT(text.size(), 100000u);
  // At size - 1 only the last flush, in fclose, fails.
  EXPECT_EQ(Steps(document, {{target, 0, E_FAIL, old},
                             {target, 1000, E_FAIL, old},
                             {target, text.size() / 2, E_FAIL, old},
                             {target, text.size() - 1, E_FAIL, old},
                             {target, text.size(), S_OK, text}}),
            "");
  EXPECT_TRUE(Protected(target)) << "the replaced file's permission bits or attributes";
  EXPECT_EQ(Count(dir.path), 1);
}

TEST(AtomicWriteTest, NewFilesLinksAndSpecialFiles) {
  TempDir dir;
  ZELBasXmlDocument document;  // through the callbacks, with a NUL inside a text
  const char* attributes[] = {"b", "c", nullptr};
  ZELBasXmlDocument::unknownStartTag(&document, "a", attributes);
  ZELBasXmlDocument::dataHandler(&document, "x\0y", 3);
  ZELBasXmlDocument::unknownEndTag(&document, "a");
  std::string text = Text(document);
  ASSERT_NE(text.find(std::string("x\0y\n</a>\n", 8)), std::string::npos);

  std::string longest = dir.Write(std::string(255, 'n'), "old");           // no room left for a suffix
  std::string accented = dir.File("d\xc3\xa9j\xc3\xa0 \xe2\x82\xac.xml");  // UTF-8 names
  for (const std::string& file : {longest, accented}) {
    EXPECT_EQ(document.WriteFile(ZELString(file.c_str())), S_OK);
    EXPECT_EQ(TempDir::Read(file), text);
  }
#if defined(_WIN32)
  EXPECT_EQ(document.WriteFile(ZELString("NUL")), S_OK) << "written in place";
  // A dangling link: the file is made where it points, the link stays.
  fs::create_directory(dir.File("real"));
  std::string dangling = dir.File("dangling.xml");
  if (!CreateSymbolicLinkA(dangling.c_str(), "real\\made.xml",
                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
      GetFileAttributesA(dangling.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links here (Wine makes none); umask and FIFOs are POSIX only";
  }
  EXPECT_EQ(Steps(document, {{dangling, 10, E_FAIL, ""}, {dangling, SIZE_MAX, S_OK, text}}), "");
  EXPECT_EQ(TempDir::Read(dir.File("real\\made.xml")), text);
  EXPECT_NE(GetFileAttributesA(dangling.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(Count(dir.File("real")), 1);
#else
  mode_t previous = umask(027);
  std::string fresh = dir.File("fresh.xml");
  EXPECT_EQ(document.WriteFile(ZELString(fresh.c_str())), S_OK);
  umask(previous);
  EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0640)) << "0666 less the umask";

  // The file a link names is replaced; the link stays. A dangling link: the
  // file is made where it points, as atomically.
  fs::create_directory(dir.File("real"));
  std::string real = dir.Write("real/doc.xml", "old"), link = dir.File("link.xml");
  std::string dangling = dir.File("dangling.xml"), made = dir.File("real/made.xml");
  ASSERT_EQ(symlink("real/doc.xml", link.c_str()) | symlink("real/made.xml", dangling.c_str()), 0);
  EXPECT_EQ(Write(document, dangling, 10), E_FAIL);
  EXPECT_EQ(Count(dir.File("real")), 1) << "nothing made by a failed write";
  EXPECT_EQ(Steps(document, {{link, SIZE_MAX, S_OK, text}, {dangling, SIZE_MAX, S_OK, text}}), "");
  EXPECT_TRUE(fs::is_symlink(link) && fs::is_symlink(dangling));
  EXPECT_EQ(TempDir::Read(real) + TempDir::Read(made), text + text);
  EXPECT_EQ(Count(dir.File("real")), 2);

  std::string fifo = dir.File("pipe"), received;
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread reader([&] { received = TempDir::Read(fifo); });
  EXPECT_EQ(document.WriteFile(ZELString(fifo.c_str())), S_OK);
  reader.join();
  EXPECT_EQ(received, text);
  EXPECT_TRUE(fs::is_fifo(fifo)) << "written in place";
  EXPECT_EQ(document.WriteFile(ZELString("/dev/null")), S_OK);
#endif
}

#if defined(_WIN32)
TEST(AtomicWriteTest, AHeldOrReadOnlyFileIsNotReplaced) {
  TempDir dir;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<a/>")), S_OK);
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
}

TEST(AtomicWriteTest, ANameThatCameToHoldAnotherFileIsLeftAlone) {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old"), other = dir.Write("other", "other");
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("new", stream);
  ASSERT_TRUE(MoveFileExA(other.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
  errno = 0;
  EXPECT_EQ(ZELBasFileOps::Fclose(stream), EOF);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_EQ(TempDir::Read(target), "other");
  EXPECT_EQ(Count(dir.path), 1) << "the new file is gone";
}
#else
static ino_t Inode(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Empty, or why the attributes were not checked.
static std::string CheckPrivateReplacement();

// Both ways of making the new file: unnamed, and, in a child process
// where unnamed files fail, under a fresh name.
TEST(AtomicWriteTest, TheNewFileIsPrivateUntilItTakesTheOldOnesOwnerModeAndAttributes) {
  std::string unchecked = CheckPrivateReplacement();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!WithoutUnnamedFiles()) _exit(2);
    CheckPrivateReplacement();
    _exit(testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "no seccomp filter here";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "with named temporary files";
  if (!unchecked.empty()) GTEST_SKIP() << unchecked;
}

static std::string CheckPrivateReplacement() {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old"), victim = dir.Write("victim", "untouched");
  bool root = geteuid() == 0;
  EXPECT_EQ(root ? chown(target.c_str(), 65534, 65534) : 0, 0);
  int noAttributes = setxattr(target.c_str(), "user.zelbas", "kept", 4, 0) == 0 ? 0 : errno;
  // Links planted under the names temporary files once had.
  for (int n = 0; n < 100; ++n) {
    std::string name = ".doc.xml." + std::to_string(getpid()) + "." + std::to_string(n) + ".tmp";
    EXPECT_EQ(symlink("victim", dir.File(name).c_str()), 0);
  }
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  if (stream == nullptr) {
    ADD_FAILURE() << "Fopen failed";
    return "";
  }
  std::fputs("new", stream);
  std::fflush(stream);
  struct stat temporary = {};  // the file this process holds open in the folder, other than the target
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    std::string name = fs::read_symlink(entry.path(), error).string();
    if (name.rfind(dir.path + "/", 0) == 0 && name != target) stat(entry.path().c_str(), &temporary);
  }
  EXPECT_EQ(temporary.st_mode & 07777, 0600u);
  EXPECT_EQ(temporary.st_uid, geteuid());
  // Owner, group and mode are the file's at the close; the set-group-ID bit
  // outlives the change of owner.
  EXPECT_EQ(chmod(target.c_str(), 02604), 0);
  ino_t old = Inode(target);
  EXPECT_EQ(std::fclose(stream), 0);
  struct stat now = {};
  EXPECT_EQ(stat(target.c_str(), &now), 0);
  EXPECT_NE(now.st_ino, old);
  EXPECT_EQ(now.st_mode & 07777, 02604u);
  EXPECT_EQ(std::make_pair(now.st_uid, now.st_gid),
            root ? std::make_pair(65534u, 65534u) : std::make_pair(getuid(), getgid()));
  EXPECT_EQ(TempDir::Read(target) + TempDir::Read(victim), "newuntouched");
  EXPECT_EQ(Count(dir.path), 102);
  if (noAttributes != 0) return "no user.* attributes in " + dir.path + ": " + std::strerror(noAttributes);
  char value[8] = {};
  EXPECT_EQ(getxattr(target.c_str(), "user.zelbas", value, sizeof value), 4);
  EXPECT_STREQ(value, "kept");
  return "";
}

TEST(AtomicWriteTest, WhatTheCloseReplacesIsWhatWasOpened) {
  // Between Fopen and fclose, `from` is renamed over `to`. A name that now
  // holds another file (one no writer of the name would have made: another
  // mode), or a file where there was none, fails the close and is left
  // alone; a link turned elsewhere changes nothing.
  const struct {
    const char *opened, *from, *to;
    int error;
    long files;  // none left behind
  } cases[] = {{"doc.xml", "other", "doc.xml", EAGAIN, 4},
               {"new.xml", "other", "new.xml", EEXIST, 5},
               {"link.xml", "turned", "link.xml", 0, 4}};
  for (const auto& c : cases) {
    TempDir dir;
    dir.Write("doc.xml", "old");
    dir.Write("a.xml", "a");
    chmod(dir.Write("other", "other").c_str(), 0600);
    ASSERT_EQ(symlink("a.xml", dir.File("link.xml").c_str()) | symlink("other", dir.File("turned").c_str()),
              0);
    FILE* stream = ZELBasFileOps::Fopen(ZELString(dir.File(c.opened).c_str()), "w");
    ASSERT_NE(stream, nullptr) << c.opened;
    std::fputs("new", stream);
    ASSERT_EQ(rename(dir.File(c.from).c_str(), dir.File(c.to).c_str()), 0);
    errno = 0;
    EXPECT_EQ(std::fclose(stream), c.error == 0 ? 0 : EOF) << c.opened;
    EXPECT_EQ(c.error == 0 ? 0 : errno, c.error) << c.opened;
    EXPECT_EQ(TempDir::Read(dir.File(c.to)), "other") << c.opened;
    EXPECT_EQ(TempDir::Read(dir.File("a.xml")), c.error == 0 ? "new" : "a") << c.opened;
    EXPECT_EQ(Count(dir.path), c.files) << c.opened;
  }
}

TEST(AtomicWriteTest, ConcurrentWritersAllSucceedAndReadersSeeWholeDocuments) {
  TempDir dir;
  std::string target = dir.File("doc.xml");
  std::vector<std::string> texts, sources;
  std::vector<std::thread> writers;
  std::atomic<bool> done(false);
  std::atomic<int> failed(0), torn(0);
  for (int w = 0; w < 8; ++w) {
    ZELBasXmlDocument document;
    std::string xml = "<a>" + std::string(20000 + w * 1000, static_cast<char>('a' + w)) + "</a>";
    EXPECT_EQ(document.ReadString(ZELString(xml.c_str())), S_OK);
    texts.push_back(Text(document));
    sources.push_back(xml);
  }
  std::thread reader([&] {
    while (!done) {
      std::string seen = TempDir::Read(target);
      if (!seen.empty() && std::find(texts.begin(), texts.end(), seen) == texts.end() && torn++ == 0) {
        ADD_FAILURE() << seen.size() << ": " << seen.substr(0, 100);
      }
    }
  });
  for (int w = 0; w < 8; ++w) {
    writers.emplace_back([&, w] {
      ZELBasXmlDocument document;
      document.ReadString(ZELString(sources[w].c_str()));
      for (int i = 0; i < 50; ++i) {
        if (document.WriteFile(ZELString(target.c_str())) != S_OK && failed++ == 0) ADD_FAILURE() << errno;
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  done = true;
  reader.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(Count(dir.path), 1);
}

TEST(AtomicWriteTest, FoldersThatTakeNoNewFileFailOrWriteInPlace) {
  TempDir dir;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<a/>")), S_OK);
  std::string text = Text(document);

  // A user who may write the file but not its folder (nobody, when run as
  // root) has it written in place, as fopen would, but only once the whole
  // text is there. A read-only file and a new file stay unwritten.
  std::string kept = dir.Write("kept.xml", "old"), locked = dir.Write("locked.xml", "old");
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  bool root = geteuid() == 0;
  ASSERT_EQ(root ? chown(kept.c_str(), 65534, 65534) | chown(locked.c_str(), 65534, 65534) : 0, 0);
  ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
  ino_t inode = Inode(kept);
  EXPECT_EXIT(
      {
        if (root && (setgroups(0, nullptr) | setresgid(65534, 65534, 65534) | setresuid(65534, 65534, 65534)))
          std::_Exit(2);
        std::string report = Steps(document, {{kept, 10, E_FAIL, "old"},
                                              {kept, SIZE_MAX, S_OK, text},
                                              {locked, SIZE_MAX, E_FAIL, "old"},
                                              {dir.File("new.xml"), SIZE_MAX, E_FAIL, ""}});
        std::fputs(report.c_str(), stderr);
        std::_Exit(report.empty() && Inode(kept) == inode ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);

  // A mount point, which no rename can replace, is written in place once the
  // new file is complete, and the new file is removed. The mount lives in
  // this process's own mount namespace.
  std::string mounted = dir.Write("mounted.xml", "old"), source = dir.Write("source.xml", "source");
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount(source.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "no bind mount here: " << std::strerror(errno);
  }
  EXPECT_EQ(Steps(document, {{mounted, 10, E_FAIL, "source"}, {mounted, SIZE_MAX, S_OK, text}}), "");
  EXPECT_EQ(Count(dir.path), 4);
  ASSERT_EQ(umount(mounted.c_str()), 0);
  EXPECT_EQ(TempDir::Read(source), text) << "the mounted file, in place";
}
#endif

TEST(AtomicWriteTest, NewFilesKilledWritersLeftAreRemoved) {
  // Under the names the new files of doc.xml take: one left by a killed
  // writer, one a live writer holds (locked; on Windows shared with no
  // other handle), one of another user.
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old");
  std::string left = dir.Write(".doc.xml.0123456789abcdef.tmp", "left");
  std::string held = dir.Write(".doc.xml.fedcba9876543210.tmp", "held");
  std::string theirs = dir.Write(".doc.xml.00000000000000ff.tmp", "theirs");
#if defined(_WIN32)
  HANDLE live = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(live, INVALID_HANDLE_VALUE);
  bool other = false;  // no second user made here
#else
  int live = open(held.c_str(), O_RDWR);
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  ASSERT_EQ(fcntl(live, F_OFD_SETLK, &whole), 0);
  bool other = geteuid() == 0;
  ASSERT_EQ(other ? chown(theirs.c_str(), 4242, 4242) : 0, 0);
#endif
  ZELBasXmlDocument document;
  EXPECT_EQ(document.WriteFile(ZELString(target.c_str())), S_OK);
#if defined(_WIN32)
  CloseHandle(live);
#else
  close(live);
#endif
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(held));
  EXPECT_EQ(fs::exists(theirs), other);
}
