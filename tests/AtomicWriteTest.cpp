#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "TempDir.h"
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
  std::string bytes(static_cast<size_t>(out.GetLengthInChar()) * 4, '\0');
  size_t size = bytes.size();
  out.ConvertToUTF8(&bytes[0], &size);
  bytes.resize(size);
  return bytes;
}

static ino_t Inode(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Runs `body` in a child process, which may change its user or its mounts,
// and returns its report: "" when all went well, else what went wrong, or
// "skip: " and why it could not be tried.
static std::string InChild(const std::function<std::string()>& body) {
  int out[2];
  if (pipe(out) != 0) return "no pipe";
  pid_t child = fork();
  if (child == 0) {
    std::string report = body();
    _exit(write(out[1], report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  close(out[1]);
  std::string report;
  char buffer[256];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
    report.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? report : report + " (the child failed)";
}

struct FailWrites {
  explicit FailWrites(size_t bytes) { ZELBasShared_FailWritesAfter(bytes); }
  ~FailWrites() { ZELBasShared_FailWritesAfter(SIZE_MAX); }
};

TEST(AtomicWriteTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old content\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
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
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640)) << "the replaced file's permission bits";
  EXPECT_EQ(Count(dir.path), 1);

  // A close after a failed write reports it, whatever was buffered.
  FailWrites failing(0);
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("short", stream);
  EXPECT_NE(std::fclose(stream), 0);
  EXPECT_EQ(TempDir::Read(target), Text(document)) << "the file is replaced only on success";
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

  mode_t previous = umask(027);
  std::string fresh = dir.File("fresh.xml");
  EXPECT_EQ(document.WriteFile(ZELString(fresh.c_str())), S_OK);
  umask(previous);
  EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0640)) << "0666 less the umask";
  std::string longest = dir.Write(std::string(255, 'n'), "old");  // no room left for a suffix
  EXPECT_EQ(document.WriteFile(ZELString(longest.c_str())), S_OK);
  EXPECT_EQ(TempDir::Read(longest), text);

  // The file a link names is replaced; the link stays.
  fs::create_directory(dir.File("real"));
  std::string real = dir.Write("real/doc.xml", "old"), link = dir.File("link.xml");
  ASSERT_EQ(symlink("real/doc.xml", link.c_str()), 0);
  EXPECT_EQ(document.WriteFile(ZELString(link.c_str())), S_OK);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(TempDir::Read(real), text);
  // A dangling link: the file is made where it points, as atomically.
  std::string dangling = dir.File("dangling.xml"), made = dir.File("real/made.xml");
  ASSERT_EQ(symlink("real/made.xml", dangling.c_str()), 0);
  {
    FailWrites failing(10);
    EXPECT_EQ(document.WriteFile(ZELString(dangling.c_str())), E_FAIL);
  }
  EXPECT_EQ(Count(dir.File("real")), 1) << "nothing made by a failed write";
  EXPECT_EQ(document.WriteFile(ZELString(dangling.c_str())), S_OK);
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(TempDir::Read(made), text);
  EXPECT_EQ(Count(dir.File("real")), 2);

  std::string fifo = dir.File("pipe"), received;
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread reader([&] { received = TempDir::Read(fifo); });
  EXPECT_EQ(document.WriteFile(ZELString(fifo.c_str())), S_OK);
  reader.join();
  EXPECT_EQ(received, text);
  EXPECT_TRUE(fs::is_fifo(fifo)) << "written in place";
  EXPECT_EQ(document.WriteFile(ZELString("/dev/null")), S_OK);
  EXPECT_EQ(document.WriteFile(ZELString("/dev/full")), E_FAIL) << "written in place, so the close fails";
}

TEST(AtomicWriteTest, TheNewFileIsPrivateUntilItTakesTheOldOnesOwnerModeAndAttributes) {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old"), victim = dir.Write("victim", "untouched");
  bool root = geteuid() == 0;
  ASSERT_EQ(root ? chown(target.c_str(), 65534, 65534) : 0, 0);
  bool attributes = setxattr(target.c_str(), "user.zelbas", "kept", 4, 0) == 0;
  // Links planted under the names temporary files once had.
  for (int n = 0; n < 100; ++n) {
    std::string name = ".doc.xml." + std::to_string(getpid()) + "." + std::to_string(n) + ".tmp";
    ASSERT_EQ(symlink("victim", dir.File(name).c_str()), 0);
  }
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(stream, nullptr);
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
  ASSERT_EQ(chmod(target.c_str(), 02604), 0);
  ino_t old = Inode(target);
  ASSERT_EQ(std::fclose(stream), 0);
  struct stat now;
  ASSERT_EQ(stat(target.c_str(), &now), 0);
  EXPECT_NE(now.st_ino, old);
  EXPECT_EQ(now.st_mode & 07777, 02604u);
  EXPECT_EQ(std::make_pair(now.st_uid, now.st_gid),
            root ? std::make_pair(65534u, 65534u) : std::make_pair(getuid(), getgid()));
  EXPECT_EQ(TempDir::Read(target), "new");
  EXPECT_EQ(TempDir::Read(victim), "untouched");
  EXPECT_EQ(Count(dir.path), 102);
  if (!attributes) GTEST_SKIP() << "no user.* attributes on " << dir.path << ": " << std::strerror(errno);
  char value[8] = {};
  EXPECT_EQ(getxattr(target.c_str(), "user.zelbas", value, sizeof value), 4);
  EXPECT_STREQ(value, "kept");
}

TEST(AtomicWriteTest, WhatTheCloseReplacesIsWhatWasOpened) {
  // Each case changes the folder between Fopen and fclose. A name that now
  // holds another file, or a file where there was none, fails the close and
  // is left alone; a link turned elsewhere changes nothing.
  const struct {
    const char* opened;
    void (*meanwhile)(const TempDir& dir);
    int error;
    const char* file;
    const char* expected;
    long files;
  } cases[] = {
      {"doc.xml", [](const TempDir& d) { rename(d.Write("o", "other").c_str(), d.File("doc.xml").c_str()); },
       EAGAIN, "doc.xml", "other", 4},
      {"new.xml", [](const TempDir& d) { d.Write("new.xml", "other"); }, EEXIST, "new.xml", "other", 5},
      {"link.xml",
       [](const TempDir& d) {
         unlink(d.File("link.xml").c_str());
         symlink("b.xml", d.File("link.xml").c_str());
       },
       0, "a.xml", "new", 4},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.Write("doc.xml", "old");
    dir.Write("a.xml", "a");
    dir.Write("b.xml", "b");
    ASSERT_EQ(symlink("a.xml", dir.File("link.xml").c_str()), 0);
    FILE* stream = ZELBasFileOps::Fopen(ZELString(dir.File(c.opened).c_str()), "w");
    ASSERT_NE(stream, nullptr) << c.opened;
    std::fputs("new", stream);
    c.meanwhile(dir);
    errno = 0;
    EXPECT_EQ(std::fclose(stream), c.error == 0 ? 0 : EOF) << c.opened;
    EXPECT_EQ(errno, c.error) << c.opened;
    EXPECT_EQ(TempDir::Read(dir.File(c.file)), c.expected) << c.opened;
    EXPECT_EQ(TempDir::Read(dir.File("b.xml")), "b") << c.opened;
    EXPECT_EQ(Count(dir.path), c.files) << c.opened;
  }
}

TEST(AtomicWriteTest, FoldersThatTakeNoNewFileFailOrWriteInPlace) {
  TempDir dir;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString("<a/>")), S_OK);
  std::string text = Text(document);
  EXPECT_EQ(document.WriteFile(ZELString("/proc/zelbas.xml")), E_FAIL) << "not even root creates files here";
  EXPECT_EQ(document.WriteFile(ZELString(dir.path.c_str())), E_FAIL);

  // A user who may write the file but not its folder (nobody, when run as
  // root) has it written in place, as fopen would, but only once the whole
  // text is there. A read-only file and a new file stay unwritten.
  std::string kept = dir.Write("kept.xml", "old"), locked = dir.Write("locked.xml", "old");
  std::string fresh = dir.File("new.xml");
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  bool root = geteuid() == 0;
  ASSERT_EQ(root ? chown(kept.c_str(), 65534, 65534) | chown(locked.c_str(), 65534, 65534) : 0, 0);
  ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
  ino_t inode = Inode(kept);
  std::string report = InChild([&]() -> std::string {
    if (root && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                 setresuid(65534, 65534, 65534) != 0)) {
      return "cannot become nobody";
    }
    {
      FailWrites failing(10);
      if (document.WriteFile(ZELString(kept.c_str())) != E_FAIL || TempDir::Read(kept) != "old") {
        return "a failed write touched the file";
      }
    }
    if (document.WriteFile(ZELString(kept.c_str())) != S_OK || TempDir::Read(kept) != text ||
        Inode(kept) != inode) {
      return "not written in place";
    }
    if (document.WriteFile(ZELString(locked.c_str())) != E_FAIL || TempDir::Read(locked) != "old") {
      return "a read-only file was written";
    }
    if (document.WriteFile(ZELString(fresh.c_str())) != E_FAIL || Inode(fresh) != 0)
      return "a new file was made";
    return "";
  });
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
  EXPECT_EQ(report, "");

  // A mount point, which no rename can replace, is written in place once the
  // new file is complete, and the new file is removed.
  std::string mounted = dir.Write("mounted.xml", "old"), source = dir.Write("source.xml", "source");
  report = InChild([&]() -> std::string {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(source.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      return std::string("skip: no bind mount here: ") + std::strerror(errno);
    }
    {
      FailWrites failing(10);
      if (document.WriteFile(ZELString(mounted.c_str())) != E_FAIL || TempDir::Read(mounted) != "source") {
        return "a failed write touched the file";
      }
    }
    if (document.WriteFile(ZELString(mounted.c_str())) != S_OK || TempDir::Read(mounted) != text) {
      return "not written";
    }
    return Count(dir.path) == 4 ? "" : "a file left behind";
  });
  if (report.rfind("skip:", 0) == 0) GTEST_SKIP() << report;
  EXPECT_EQ(report, "");
  EXPECT_EQ(TempDir::Read(source), text) << "the mounted file, in place";
}
