// The file module's replacing writes through its own interface: a failed or
// discarded write leaves the old file, what the new file inherits, links,
// special files and magic links, a file swapped in by a stranger or by
// another writer, leftovers of killed writers, concurrent writers.
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

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

static long Count(const std::string& folder) {
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

struct FailWrites {
  explicit FailWrites(size_t bytes) { ZELBasShared_FailWritesAfter(bytes); }
  ~FailWrites() { ZELBasShared_FailWritesAfter(SIZE_MAX); }
};

// Writes `text` to `path` through Fopen(path, "w"), with writes failing
// after `budget` bytes; 0, or the errno of the open or the close.
static int Put(const std::string& path, const std::string& text, size_t budget = SIZE_MAX) {
  FailWrites failing(budget);
  FILE* stream = ZELBasFileOps::Fopen(ZELString(path.c_str()), "w");
  if (stream == nullptr) return errno;
  std::fwrite(text.data(), 1, text.size(), stream);
  return ZELBasFileOps::Fclose(stream) == 0 ? 0 : errno;
}

TEST(WriteTest, AFailedOrDiscardedWriteLeavesTheOldFileAndNothingElse) {
  TempDir dir;
  const std::string old = "old content\n", text(300000, 'x');
  std::string target = dir.Write("doc.xml", old);
  // At size - 1 only the last flush, in the close, fails.
  for (size_t budget : {size_t(0), size_t(1000), text.size() / 2, text.size() - 1}) {
    EXPECT_NE(Put(target, text, budget), 0) << budget;
    EXPECT_EQ(TempDir::Read(target), old) << budget;
  }
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("half", stream);
  errno = 0;
  EXPECT_EQ(ZELBasFileOps::Fdiscard(stream), EOF);
  EXPECT_EQ(errno, ECANCELED);
  EXPECT_EQ(TempDir::Read(target), old);
  // Nothing is made where nothing stood.
  EXPECT_NE(Put(dir.File("new.xml"), text, 10), 0);
  EXPECT_EQ(Count(dir.path), 1);
  EXPECT_EQ(Put(target, text), 0);
  EXPECT_EQ(TempDir::Read(target), text);
  EXPECT_EQ(Count(dir.path), 1);
}

TEST(WriteTest, NamesLinksAndSpecialFiles) {
  TempDir dir;
  std::string longest = dir.Write(std::string(255, 'n'), "old");           // no room left for a suffix
  std::string accented = dir.File("d\xc3\xa9j\xc3\xa0 \xe2\x82\xac.xml");  // UTF-8 names
  for (const std::string& file : {longest, accented}) {
    EXPECT_EQ(Put(file, "text"), 0);
    EXPECT_EQ(TempDir::Read(file), "text");
  }
#if defined(_WIN32)
  EXPECT_EQ(Put("NUL", "text"), 0) << "written in place";
  // A dangling link: the file is made where it points, the link stays.
  fs::create_directory(dir.File("real"));
  std::string dangling = dir.File("dangling.xml");
  if (!CreateSymbolicLinkA(dangling.c_str(), "real\\made.xml",
                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
      GetFileAttributesA(dangling.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links here (Wine makes none)";
  }
  EXPECT_NE(Put(dangling, "text", 2), 0);
  EXPECT_EQ(Put(dangling, "text"), 0);
  EXPECT_EQ(TempDir::Read(dir.File("real\\made.xml")), "text");
  EXPECT_NE(GetFileAttributesA(dangling.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(Count(dir.File("real")), 1);
#else
  // The file a link names is replaced; the link stays. A dangling link: the
  // file is made where it points, as atomically.
  fs::create_directory(dir.File("real"));
  std::string real = dir.Write("real/doc.xml", "old"), link = dir.File("link.xml");
  std::string dangling = dir.File("dangling.xml"), made = dir.File("real/made.xml");
  ASSERT_EQ(symlink("real/doc.xml", link.c_str()) | symlink("real/made.xml", dangling.c_str()), 0);
  EXPECT_NE(Put(dangling, "text", 2), 0);
  EXPECT_EQ(Count(dir.File("real")), 1) << "nothing made by a failed write";
  EXPECT_EQ(Put(link, "one") | Put(dangling, "two"), 0);
  EXPECT_TRUE(fs::is_symlink(link) && fs::is_symlink(dangling));
  EXPECT_EQ(TempDir::Read(real) + TempDir::Read(made), "onetwo");
  // A trailing slash names a folder, as the kernel has it.
  EXPECT_EQ(Put(dir.File("none/"), "x"), EISDIR);
  EXPECT_EQ(Put(dir.File("real/"), "x"), EISDIR);
  EXPECT_EQ(Put(real + "/", "x"), ENOTDIR);
  EXPECT_EQ(Put(dir.path, "x"), EISDIR);
  EXPECT_EQ(Count(dir.File("real")), 2);

  std::string fifo = dir.File("pipe"), received;
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread reader([&] { received = TempDir::Read(fifo); });
  EXPECT_EQ(Put(fifo, "through the pipe"), 0);
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(fifo)) << "written in place";
  EXPECT_EQ(Put("/dev/null", "text"), 0);
#endif
}

#if defined(_WIN32)
TEST(WriteTest, AHeldOrReadOnlyFileIsNotReplaced) {
  TempDir dir;
  // A file another handle holds without sharing its deletion cannot be
  // replaced; one marked read-only is not written at all.
  std::string held = dir.Write("held.xml", "old"), kept = dir.Write("kept.xml", "old");
  HANDLE other = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(Put(held, "new"), 0);
  CloseHandle(other);
  EXPECT_EQ(TempDir::Read(held), "old");
  EXPECT_EQ(Count(dir.path), 2) << "the new file is removed";
  SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE probe = CreateFileA(kept.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  int result = Put(kept, "new");
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (probe != INVALID_HANDLE_VALUE) GTEST_SKIP() << "read-only files are written here (Wine run as root)";
  EXPECT_NE(result, 0);
  EXPECT_EQ(TempDir::Read(kept), "old");
}

TEST(WriteTest, NewFilesKilledWritersLeftAreRemovedAndHeldOnesKept) {
  // Under the names the new files of doc.xml take: one left by a killed
  // writer, one a live writer holds (shared with no other handle).
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old");
  std::string left = dir.Write(".doc.xml.0123456789abcdef.tmp", "left");
  std::string held = dir.Write(".doc.xml.fedcba9876543210.tmp", "held");
  HANDLE live = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(live, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Put(target, "new"), 0);
  CloseHandle(live);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(held));
}

TEST(WriteTest, ANameThatCameToHoldAnotherFileIsLeftAlone) {
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
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Put(target, "new"), 0);
  EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << "attributes kept";
}
#else
static ino_t Inode(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

static mode_t Mode(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Empty, or why the attributes were not checked.
static std::string CheckPrivateReplacement();

// Both ways of making the new file: unnamed, and, in a child process
// where unnamed files fail, under a fresh name.
TEST(WriteTest, TheNewFileIsPrivateUntilItTakesTheOldOnesOwnerModeAndAttributes) {
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
  // Links planted under names new files might take.
  for (int n = 0; n < 100; ++n) {
    std::string name = ".doc.xml." + std::to_string(getpid()) + "." + std::to_string(n) + ".tmp";
    EXPECT_EQ(symlink("victim", dir.File(name).c_str()), 0);
  }
  FILE* stream = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  if (stream == nullptr) {
    ADD_FAILURE() << "Fopen failed: " << std::strerror(errno);
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
  // Owner, group and mode are the file's at the close.
  EXPECT_EQ(chmod(target.c_str(), 0604), 0);
  ino_t old = Inode(target);
  EXPECT_EQ(std::fclose(stream), 0);
  struct stat now = {};
  EXPECT_EQ(stat(target.c_str(), &now), 0);
  EXPECT_NE(now.st_ino, old);
  EXPECT_EQ(now.st_mode & 07777, 0604u);
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

// What a write through write(2) leaves of a mode's set-user-ID and
// set-group-ID bits: the kernel's rule, whoever runs the test.
static mode_t AfterAWrite(const TempDir& dir, mode_t mode) {
  std::string probe = dir.Write("probe", "x");
  chmod(probe.c_str(), mode);
  int fd = open(probe.c_str(), O_WRONLY);
  EXPECT_EQ(write(fd, "y", 1), 1);
  close(fd);
  mode_t after = Mode(probe);
  unlink(probe.c_str());
  return after;
}

TEST(WriteTest, PermissionsAreThoseAShellsRedirectionGives) {
  TempDir dir;
  // A new file: 0666 less the umask.
  mode_t previous = umask(027);
  EXPECT_EQ(Put(dir.File("fresh.xml"), "x"), 0);
  umask(previous);
  EXPECT_EQ(Mode(dir.File("fresh.xml")), 0640u);
  // A replaced file loses set-user-ID and set-group-ID bits as a write
  // would take them.
  for (mode_t mode : {04755u, 02775u, 06755u, 02745u}) {
    std::string file = dir.Write("setid.xml", "old");
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
    EXPECT_EQ(Put(file, "new"), 0);
    EXPECT_EQ(Mode(file), AfterAWrite(dir, mode)) << std::oct << mode;
  }
  // The folder's default ACL, as open(O_CREAT) takes it: no umask, the
  // group class and others from the ACL, a user it grants writing keeps it
  // (stored as the kernel keeps it: version 2, then tag, permissions, id).
  const unsigned char acl[] = {2,    0, 0, 0,                           // version
                               1,    0, 6, 0, 0xff, 0xff, 0xff, 0xff,   // user::rw-
                               2,    0, 6, 0, 0x92, 0x10, 0,    0,      // user:4242:rw-
                               4,    0, 4, 0, 0xff, 0xff, 0xff, 0xff,   // group::r--
                               0x10, 0, 6, 0, 0xff, 0xff, 0xff, 0xff,   // mask::rw-
                               0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};  // other::---
  std::string shared = dir.File("shared");
  fs::create_directory(shared);
  if (setxattr(shared.c_str(), "system.posix_acl_default", acl, sizeof acl, 0) != 0) {
    GTEST_SKIP() << "no ACLs here: " << std::strerror(errno);
  }
  int shell = open((shared + "/shell").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  close(shell);
  EXPECT_EQ(Mode(shared + "/shell"), 0660u);
  for (bool named : {false, true}) {
    std::string ours = shared + (named ? "/named.xml" : "/unnamed.xml");
    pid_t child = fork();
    if (child == 0) _exit((!named || WithoutUnnamedFiles()) && Put(ours, "x") == 0 ? 0 : 1);
    int status = 1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << ours;
    EXPECT_EQ(Mode(ours), Mode(shared + "/shell")) << ours;
    char expected[64] = {}, got[64] = {};
    EXPECT_EQ(getxattr(ours.c_str(), "system.posix_acl_access", got, sizeof got),
              getxattr((shared + "/shell").c_str(), "system.posix_acl_access", expected, sizeof expected));
    EXPECT_EQ(std::memcmp(got, expected, sizeof got), 0) << ours;
  }
}

TEST(WriteTest, AFileAStrangerPutAtTheNameIsLeftAloneAndACoWritersIsReplaced) {
  // Between Fopen and fclose, `from` is renamed over `to`: a file no writer
  // of this module made, or one where there was none, fails the close and
  // is left alone; a link turned elsewhere changes nothing.
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
    dir.Write("other", "other");
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
  // Another writer of the same target, finished meanwhile: replaced.
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old");
  FILE* first = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(first, nullptr);
  std::fputs("first", first);
  if (Put(target, "second") != 0 || getxattr(target.c_str(), "user.zelbas.written", nullptr, 0) < 0) {
    std::fclose(first);
    GTEST_SKIP() << "no user.* attributes here: co-writers are strangers";
  }
  EXPECT_EQ(std::fclose(first), 0);
  EXPECT_EQ(TempDir::Read(target), "first");
  // An earlier writer's file moved in by a stranger is a stranger's.
  std::string earlier = dir.File("earlier.xml");
  ASSERT_EQ(Put(earlier, "earlier"), 0);
  FILE* third = ZELBasFileOps::Fopen(ZELString(target.c_str()), "w");
  ASSERT_NE(third, nullptr);
  ASSERT_EQ(rename(earlier.c_str(), target.c_str()), 0);
  EXPECT_EQ(std::fclose(third), EOF);
  EXPECT_EQ(TempDir::Read(target), "earlier");
}

TEST(WriteTest, MagicLinksLeadWhereTheKernelLeads) {
  TempDir dir;
  // A pipe and a socket behind /proc/self/fd: written as they are.
  int pipes[2], sockets[2];
  ASSERT_EQ(pipe(pipes) | socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  for (const int* ends : {pipes, sockets}) {
    std::string path = "/proc/self/fd/" + std::to_string(ends[1]);
    EXPECT_EQ(Put(path, "through"), 0) << path;
    char got[16] = {};
    EXPECT_EQ(read(ends[0], got, sizeof got), 7) << path;
    EXPECT_STREQ(got, "through") << path;
    close(ends[0]);
    close(ends[1]);
  }
  // A regular file behind one is written in place, as fopen("w") would
  // write it: the same inode, the old text gone; a deleted one stays
  // deleted, and no file named after it is made.
  std::string log = dir.Write("log", "a much longer earlier line\n");
  int fd = open(log.c_str(), O_WRONLY | O_APPEND);
  ino_t inode = Inode(log);
  EXPECT_EQ(Put("/dev/fd/" + std::to_string(fd), "new\n"), 0);
  EXPECT_EQ(TempDir::Read(log), "new\n");
  EXPECT_EQ(Inode(log), inode);
  ASSERT_EQ(unlink(log.c_str()), 0);
  EXPECT_EQ(Put("/proc/self/fd/" + std::to_string(fd), "gone\n"), 0);
  char got[16] = {};
  EXPECT_EQ(pread(fd, got, sizeof got, 0), -1) << "opened to write only";
  struct stat info;
  EXPECT_EQ(fstat(fd, &info), 0);
  EXPECT_EQ(info.st_size, 5);
  close(fd);
  EXPECT_EQ(Count(dir.path), 0);
}

// Writers released together `rounds` times over one file, each writing its
// own text through `path`; "" when every round left one writer's whole text,
// else what a round left.
static std::string Concurrently(const std::string& file, const std::string& path, int writers, int rounds) {
  std::vector<std::string> texts;
  for (int w = 0; w < writers; ++w)
    texts.push_back(std::string(20000 + w * 3001, static_cast<char>('a' + w % 26)));
  for (int round = 0; round < rounds; ++round) {
    std::atomic<int> ready(0), failed(0);
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
      threads.emplace_back([&, w] {
        for (++ready; ready < writers;) std::this_thread::yield();
        if (Put(path, texts[w]) != 0) ++failed;
      });
    }
    for (std::thread& thread : threads) thread.join();
    std::string left = TempDir::Read(file);
    if (std::find(texts.begin(), texts.end(), left) == texts.end() || failed != 0) {
      return std::to_string(left.size()) + " bytes, " + std::to_string(failed) + " failed writes";
    }
  }
  return "";
}

TEST(WriteTest, ConcurrentWritersLeaveOneWholeTextWhateverThePath) {
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old");
  EXPECT_EQ(Concurrently(target, target, 8, 5), "") << "replaced";
  // In place: through a magic link to the file.
  std::string file = dir.Write("in-place.xml", std::string(100000, 'o'));
  int fd = open(file.c_str(), O_RDONLY);
  EXPECT_EQ(Concurrently(file, "/proc/self/fd/" + std::to_string(fd), 8, 5), "") << "in place";
  close(fd);
  EXPECT_EQ(Count(dir.path), 2);
}

TEST(WriteTest, NewFilesKilledWritersLeftAreRemovedAndNothingElse) {
  // Under the names the new files of doc.xml take: one left by a killed
  // writer, one a live writer holds locked, one hard link (a file with
  // another name too), a FIFO, a link; none of the last four is removed or
  // opened (a FIFO opened would block the write).
  TempDir dir;
  std::string target = dir.Write("doc.xml", "old"), other = dir.Write("other", "other");
  std::string left = dir.Write(".doc.xml.0123456789abcdef.tmp", "left");
  std::string held = dir.Write(".doc.xml.fedcba9876543210.tmp", "held");
  std::string linked = dir.File(".doc.xml.00000000000000aa.tmp"),
              fifo = dir.File(".doc.xml.00000000000000bb.tmp");
  std::string symbolic = dir.File(".doc.xml.00000000000000cc.tmp");
  ASSERT_EQ(
      link(other.c_str(), linked.c_str()) | mkfifo(fifo.c_str(), 0600) | symlink("other", symbolic.c_str()),
      0);
  int live = open(held.c_str(), O_RDWR);
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  ASSERT_EQ(fcntl(live, F_OFD_SETLK, &whole), 0);
  // What is not plainly a writer's own is judged without being opened.
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, other.c_str(), IN_OPEN), 0);
  ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  EXPECT_EQ(Put(target, "new"), 0);
  char events[4096];
  EXPECT_EQ(read(watch, events, sizeof events), -1) << "a planted name was opened";
  close(watch);
  close(live);
  EXPECT_FALSE(fs::exists(left));
  for (const std::string& kept : {held, linked, fifo, symbolic})
    EXPECT_TRUE(fs::symlink_status(kept).type() != fs::file_type::not_found) << kept;
  EXPECT_EQ(TempDir::Read(target), "new");
}
#endif
