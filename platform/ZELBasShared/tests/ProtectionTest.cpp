// Writes attacked by another local user: links, files and FIFOs planted in
// sticky folders under the kernel's fs.protected_* settings, and files in
// folders that take no new file. Run as root, which makes the other user;
// the settings are restored to what they were.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "TempDir.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

namespace fs = std::filesystem;

static const uid_t kOther = 4242;  // a user of no account: owns only what the test gives it

// Sets /proc/sys/fs/protected_<name> for the test's time.
class Sysctl {
public:
  Sysctl(const std::string& name, const std::string& value) : path("/proc/sys/fs/protected_" + name) {
    std::ifstream(path) >> old;
    std::ofstream(path) << value;
  }
  ~Sysctl() { std::ofstream(path) << old; }

private:
  std::string path, old;
};

// Runs `body` in a child process as kOther; its exit status is `body`'s.
static int AsOther(const std::function<bool()>& body) {
  pid_t child = fork();
  if (child == 0) {
    bool ok = setgroups(0, nullptr) == 0 && setresgid(kOther, kOther, kOther) == 0 &&
              setresuid(kOther, kOther, kOther) == 0 && body();
    std::_Exit(ok ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

static std::string Owned(const std::string& file, uid_t uid, const std::string& text) {
  std::ofstream(file) << text;
  EXPECT_EQ(lchown(file.c_str(), uid, uid), 0);
  return file;
}

class ProtectionTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (geteuid() != 0 || access("/proc/sys/fs/protected_regular", W_OK) != 0) {
      GTEST_SKIP() << "needs root and writable fs.protected_* settings";
    }
    ASSERT_EQ(document.ReadString(ZELString("<a>new</a>")), S_OK);
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);  // the other user may enter
  }
  // A folder others may write, sticky.
  std::string Sticky(mode_t mode = 01777) {
    std::string folder = dir.File("sticky");
    fs::create_directory(folder);
    chmod(folder.c_str(), mode);
    chown(folder.c_str(), 0, kOther);
    return folder;
  }
  long Write(const std::string& path) { return document.WriteFile(ZELString(path.c_str())); }

  TempDir dir;
  ZELBasXmlDocument document;
};

TEST_F(ProtectionTest, PlantedFilesAndFifosAreRefusedAsTheKernelRefusesThem) {
  const struct {
    const char* setting;
    const char* level;
    mode_t folder;
    bool fifo, refused;
  } cases[] = {{"regular", "1", 01777, false, true},  {"regular", "0", 01777, false, false},
               {"regular", "1", 01770, false, false}, {"regular", "2", 01770, false, true},
               {"fifos", "1", 01777, true, true},     {"fifos", "0", 01777, true, false}};
  for (const auto& c : cases) {
    Sysctl setting(c.setting, c.level);
    std::string folder = Sticky(c.folder), planted = folder + "/out.xml";
    std::string where = std::string(c.setting) + "=" + c.level + " in " + std::to_string(c.folder);
    int reader = -1;
    if (c.fifo) {
      ASSERT_EQ(mkfifo(planted.c_str(), 0666), 0);
      ASSERT_EQ(lchown(planted.c_str(), kOther, kOther), 0);
      reader = open(planted.c_str(), O_RDWR | O_NONBLOCK);  // the attacker listening
    } else {
      Owned(planted, kOther, "planted");
    }
    errno = 0;
    EXPECT_EQ(Write(planted), c.refused ? E_FAIL : S_OK) << where;
    EXPECT_EQ(c.refused ? errno : EACCES, EACCES) << where;
    char heard[64];
    EXPECT_EQ(c.fifo ? read(reader, heard, sizeof heard) > 0 : !c.refused, !c.refused) << where;
    EXPECT_EQ(!c.fifo && TempDir::Read(planted) == "planted", !c.fifo && c.refused) << where;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << where;
    if (reader >= 0) close(reader);
    fs::remove_all(folder);
  }
}

TEST_F(ProtectionTest, ALinkFlippedByAnotherUserIsNotFollowed) {
  // The other user flips a link at the name between nothing and a file in
  // a folder only root may enter, while root writes the name again and
  // again; the link must never be followed.
  Sysctl setting("symlinks", "1");
  std::string folder = Sticky(), target = folder + "/out.xml", secret = dir.File("secret");
  fs::create_directory(secret);
  chmod(secret.c_str(), 0700);
  pid_t flipper = fork();
  if (flipper == 0) {
    if (setresgid(kOther, kOther, kOther) != 0 || setresuid(kOther, kOther, kOther) != 0) std::_Exit(1);
    std::string link = folder + "/link";
    for (;;) {
      symlink((secret + "/authorized_keys").c_str(), link.c_str());
      rename(link.c_str(), target.c_str());
      unlink(target.c_str());
    }
  }
  int refused = 0;
  for (int i = 0; i < 300 && !fs::exists(secret + "/authorized_keys"); ++i) {
    errno = 0;
    if (Write(target) == S_OK) {
      unlink(target.c_str());  // root's file: the other user may not remove it
    } else {
      EXPECT_TRUE(errno == EACCES || errno == EEXIST || errno == EAGAIN) << std::strerror(errno);
      refused += errno == EACCES;
    }
  }
  kill(flipper, SIGKILL);
  waitpid(flipper, nullptr, 0);
  EXPECT_FALSE(fs::exists(secret + "/authorized_keys"));
  EXPECT_GT(refused, 0) << "the race was never met";
  // Without the protection the same link is followed, as the kernel would.
  Sysctl off("symlinks", "0");
  unlink(target.c_str());  // whatever the flipper was killed leaving
  ASSERT_EQ(symlink((secret + "/authorized_keys").c_str(), target.c_str()), 0);
  ASSERT_EQ(lchown(target.c_str(), kOther, kOther), 0);
  EXPECT_EQ(Write(target), S_OK);
  EXPECT_TRUE(fs::exists(secret + "/authorized_keys"));
}

// Writes `text` to `path` through the shared module; 0, or why it failed.
static int Put(const std::string& path, const std::string& text) {
  FILE* stream = ZELBasFileOps::Fopen(ZELString(path.c_str()), "w");
  if (stream == nullptr) return errno;
  std::fwrite(text.data(), 1, text.size(), stream);
  return std::fclose(stream) == 0 ? 0 : errno;
}

// A file the other user may write in a folder it may not: written in place,
// and only when all of it fits, the process's size limit allows it, and the
// name still holds the file.
TEST_F(ProtectionTest, InPlaceWritesFailBeforeTheFirstByte) {
  const std::string old(200000, 'o'), text(300000, 'n');
  // A small disk of its own, in a mount namespace of the test's own.
  std::string disk = dir.File("disk");
  fs::create_directory(disk);
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0) {
    GTEST_SKIP() << "no tmpfs mount here: " << std::strerror(errno);
  }
  std::string file = Owned(disk + "/doc.xml", kOther, old), moved = disk + "/moved.xml";
  Owned(disk + "/filler", 0, std::string(300000, 'f'));
  ASSERT_EQ(chown(disk.c_str(), kOther, kOther) | chmod(disk.c_str(), 0555), 0);
  EXPECT_EQ(AsOther([&] {
              signal(SIGXFSZ, SIG_IGN);
              struct rlimit limit = {250000, 250000};
              return setrlimit(RLIMIT_FSIZE, &limit) == 0 && Put(file, text) == EFBIG &&
                     TempDir::Read(file) == old;
            }),
            0)
      << "a size limit";
  EXPECT_EQ(AsOther([&] { return Put(file, text) == ENOSPC && TempDir::Read(file) == old; }), 0)
      << "a full disk";
  fs::remove(disk + "/filler");
  EXPECT_EQ(AsOther([&] {
              FILE* stream = ZELBasFileOps::Fopen(ZELString(file.c_str()), "w");
              return stream != nullptr && std::fputs("new", stream) >= 0 && chmod(disk.c_str(), 0755) == 0 &&
                     rename(file.c_str(), moved.c_str()) == 0 && std::fclose(stream) == EOF &&
                     errno == EAGAIN && TempDir::Read(moved) == old;
            }),
            0)
      << "renamed away";
  EXPECT_EQ(AsOther([&] { return chmod(disk.c_str(), 0555) == 0 && Put(moved, text) == 0; }), 0);
  EXPECT_EQ(TempDir::Read(moved), text);
  umount(disk.c_str());
}

TEST(ProcTest, AFileUnderProcIsWrittenInPlace) {
  char name[16] = {};
  prctl(PR_GET_NAME, name);
  ZELBasXmlDocument document;
  EXPECT_EQ(document.WriteFile(ZELString("/proc/self/comm")), S_OK);
  EXPECT_EQ(TempDir::Read("/proc/self/comm"), "<?xml version=\"\n");
  prctl(PR_SET_NAME, name);
}
