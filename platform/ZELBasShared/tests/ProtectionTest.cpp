// Writes attacked or shared by other local users, as root: the kernel's own
// open compared with Fopen under the fs.protected_* settings, with and
// without /proc; a link flipped while root writes; in-place writes that
// must fail before the first byte, or take turns; copy-on-write file
// systems; leftovers of another owner's target and a folder full of
// planted names. Every setting changed is restored. scripts/write-probes.sh
// runs the long versions (write_probes).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ProbeSupport.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using namespace probes;

class ProtectionTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (geteuid() != 0 || access("/proc/sys/fs/protected_regular", W_OK) != 0) {
      GTEST_SKIP() << "needs root and writable fs.protected_* settings";
    }
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);  // the other users may enter
  }
  // A folder others may write, sticky.
  std::string Sticky(mode_t mode = 01777) {
    std::string folder = dir.File("sticky");
    fs::create_directory(folder);
    chmod(folder.c_str(), mode);
    chown(folder.c_str(), 0, kUserA);
    return folder;
  }
  // A mount namespace of the test's own, where it may mount freely.
  bool OwnMounts() {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  }

  TempDir dir;
};

TEST_F(ProtectionTest, FopenRefusesWhatTheKernelsOwnOpenRefusesAndNothingElse) {
  // A tenth of the matrix (every writer, folder, file and setting); the
  // script runs all 900 cases.
  for (bool hidden : {false, true}) {
    int otherErrors = 0;
    std::vector<std::string> found = Disagreements(dir.path, 7, hidden, otherErrors);
    std::string all;
    for (const std::string& line : found) all += line + "\n";
    EXPECT_EQ(all, "") << (hidden ? "without /proc" : "with /proc");
    EXPECT_EQ(otherErrors, 0) << (hidden ? "without /proc" : "with /proc");
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
    if (!BecomeUser(kUserA)) std::_Exit(1);
    std::string link = folder + "/link";
    for (;;) {
      symlink((secret + "/authorized_keys").c_str(), link.c_str());
      rename(link.c_str(), target.c_str());
      unlink(target.c_str());
    }
  }
  int refused = 0;
  for (int i = 0; i < 20000 && refused < 5 && !fs::exists(secret + "/authorized_keys"); ++i) {
    int error = Put(target, "new");
    if (error == 0) {
      unlink(target.c_str());  // root's file: the other user may not remove it
    } else {
      EXPECT_TRUE(error == EACCES || error == EEXIST || error == EAGAIN) << std::strerror(error);
      refused += error == EACCES;
    }
  }
  kill(flipper, SIGKILL);
  waitpid(flipper, nullptr, 0);
  EXPECT_FALSE(fs::exists(secret + "/authorized_keys"));
  EXPECT_GT(refused, 0) << "the race was never met";
  // Without the protection the same link is followed, as the kernel would.
  setting.Set("0");
  unlink(target.c_str());  // whatever the flipper was killed leaving
  ASSERT_EQ(symlink((secret + "/authorized_keys").c_str(), target.c_str()), 0);
  ASSERT_EQ(lchown(target.c_str(), kUserA, kUserA), 0);
  EXPECT_EQ(Put(target, "new"), 0);
  EXPECT_TRUE(fs::exists(secret + "/authorized_keys"));
}

TEST_F(ProtectionTest, AnotherUsersWritableFileInAStickyFolderIsWrittenInPlace) {
  // The kernel lets A write B's file there (fs.protected_regular at 0), but
  // no rename may replace it: written over, owner and inode kept.
  Sysctl setting("regular", "0");
  std::string folder = Sticky(), file = Made(folder + "/out.xml", "old text", kUserB, 0666);
  struct stat before, after;
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  EXPECT_EQ(As(kUserA, [&] { return Put(file, "new"); }), 0);
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(TempDir::Read(file), "new");
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_uid, kUserB);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// A file the other user may write in a folder it may not: written in place,
// and only when all of it fits, the process's size limit allows it, and the
// name still holds the file.
TEST_F(ProtectionTest, InPlaceWritesFailBeforeTheFirstByte) {
  const std::string old(200000, 'o'), text(300000, 'n');
  std::string disk = dir.File("disk");
  fs::create_directory(disk);
  if (!OwnMounts() || mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0) {
    GTEST_SKIP() << "no tmpfs mount here: " << std::strerror(errno);
  }
  std::string file = Made(disk + "/doc.xml", old, kUserA, 0644), moved = disk + "/moved.xml";
  Made(disk + "/filler", std::string(300000, 'f'), 0, 0644);
  ASSERT_EQ(chown(disk.c_str(), kUserA, kUserA) | chmod(disk.c_str(), 0555), 0);
  EXPECT_EQ(As(kUserA,
               [&] {
                 signal(SIGXFSZ, SIG_IGN);
                 struct rlimit limit = {250000, 250000};
                 return setrlimit(RLIMIT_FSIZE, &limit) == 0 && Put(file, text) == EFBIG &&
                        TempDir::Read(file) == old;
               }),
            1)
      << "a size limit";
  EXPECT_EQ(As(kUserA, [&] { return Put(file, text) == ENOSPC && TempDir::Read(file) == old; }), 1)
      << "a full disk";
  fs::remove(disk + "/filler");
  EXPECT_EQ(As(kUserA,
               [&] {
                 FILE* stream = ZELBasFileOps::Fopen(ZELString(file.c_str()), "w");
                 return stream != nullptr && std::fputs("new", stream) >= 0 &&
                        chmod(disk.c_str(), 0755) == 0 && rename(file.c_str(), moved.c_str()) == 0 &&
                        std::fclose(stream) == EOF && errno == EAGAIN && TempDir::Read(moved) == old;
               }),
            1)
      << "renamed away";
  EXPECT_EQ(As(kUserA, [&] { return chmod(disk.c_str(), 0555) == 0 && Put(moved, text) == 0; }), 1);
  EXPECT_EQ(TempDir::Read(moved), text);
  umount(disk.c_str());
}

TEST_F(ProtectionTest, InPlaceAndMountPointWritersTakeTurns) {
  // Eight writers released together, three rounds each: one writer's whole
  // text after each (the script: 8 and 32 writers, 70 rounds).
  int failed = 0;
  std::string folder = dir.File("read-only");
  fs::create_directory(folder);
  std::string file = Made(folder + "/doc.xml", "old", kUserA, 0644);
  Own(folder, kUserA, kUserA, 0555);
  EXPECT_EQ(Together(file, file, kUserA, 8, 3, failed), 3) << "in place";
  EXPECT_EQ(failed, 0);
  std::string mounted = Made(dir.File("mounted.xml"), "old", 0, 0644),
              source = Made(dir.File("source"), "", 0, 0644);
  if (!OwnMounts() || mount(source.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "no bind mount here: " << std::strerror(errno);
  }
  EXPECT_EQ(Together(mounted, mounted, 0, 8, 3, failed), 3) << "mount point";
  EXPECT_EQ(failed, 0);
  umount(mounted.c_str());
}

TEST_F(ProtectionTest, CopyOnWriteFileSystemsRefuseWhatDoesNotFit) {
  // btrfs reserves nothing over a file's blocks: an in-place write is
  // refused, the file untouched, unless the whole new length is free.
  std::string image = dir.File("btrfs.img"), disk = dir.File("btrfs");
  fs::create_directory(disk);
  int made =
      std::system(("truncate -s 160M " + image + " && mkfs.btrfs -q " + image + " >/dev/null 2>&1").c_str());
  if (made != 0 || !OwnMounts() || std::system(("mount -o loop " + image + " " + disk).c_str()) != 0) {
    GTEST_SKIP() << "no btrfs here (btrfs-progs and a loop device)";
  }
  // The new text is shorter: the old file's blocks would do, were they not
  // copied on write.
  const std::string old(20 << 20, 'o'), text(10 << 20, 'n');
  std::string file = Made(disk + "/doc.xml", old, kUserA, 0644), filler = disk + "/filler";
  // Full but for 4 MiB: room for a part of the text, not for all of it.
  std::system(
      ("dd if=/dev/zero of=" + filler + " bs=1M >/dev/null 2>&1; sync; truncate -s -4M " + filler + "; sync")
          .c_str());
  Own(disk, kUserA, kUserA, 0555);
  EXPECT_EQ(As(kUserA, [&] { return Put(file, text); }), ENOSPC);
  EXPECT_TRUE(TempDir::Read(file) == old) << "the old text, whole";
  fs::remove(filler);
  std::system("sync");
  EXPECT_EQ(As(kUserA, [&] { return Put(file, text); }), 0);
  EXPECT_TRUE(TempDir::Read(file) == text);
  umount(disk.c_str());
}

TEST_F(ProtectionTest, LeftoversAreRemovedWhoeverOwnsTheTargetAPartOfTheFolderAWrite) {
  // Root writes B's file; what a killed root writer left is B's (the new
  // file had taken the target's owner): removed. A planted hard link to
  // root's own private file is left alone, and not locked.
  std::string target = Made(dir.File("doc.xml"), "old", kUserB, 0644);
  std::string left = Made(dir.File(".doc.xml.0123456789abcdef.tmp"), "left", kUserB, 0644);
  std::string secret = Made(dir.File("secret"), "secret", 0, 0600),
              linked = dir.File(".doc.xml.00000000000000aa.tmp");
  ASSERT_EQ(link(secret.c_str(), linked.c_str()), 0);
  EXPECT_EQ(Put(target, "new"), 0);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(linked));
  // 5,000 leftovers under the target's pattern: a write reads one bounded
  // part of the folder, the next one the part after it, so they go in a
  // few writes, never all in one. (What that costs, beside a million names,
  // scripts/write-probes.sh measures.)
  auto leftovers = [&] {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(dir.path)) {
      count += entry.path().filename().string().compare(0, 9, ".doc.xml.") == 0 ? 1 : 0;
    }
    return count - (fs::exists(linked) ? 1 : 0);
  };
  for (int i = 0; i < 5000; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, ".doc.xml.%016x.tmp", i + 0x1000);
    close(open(dir.File(name).c_str(), O_CREAT | O_WRONLY, 0600));
  }
  EXPECT_EQ(Put(target, "new"), 0);
  size_t afterOne = leftovers();
  EXPECT_GT(afterOne, 0u);
  EXPECT_LT(afterOne, 5000u);
  for (int i = 0; i < 100 && leftovers() != 0; ++i) EXPECT_EQ(Put(target, "new"), 0);
  EXPECT_EQ(leftovers(), 0u);
  EXPECT_TRUE(fs::exists(linked));
}

TEST_F(ProtectionTest, AFuseFilePlantedUnderTheNewFilesNamesIsNeverOpened) {
  // Its open never returns: a write that opened it would hang for as long
  // as its owner likes.
  std::string target = Made(dir.File("doc.xml"), "old", 0, 0644);
  std::string planted = Made(dir.File(".doc.xml.0123456789abcdef.tmp"), "", 0, 0644);
  if (!OwnMounts()) GTEST_SKIP() << "no mount namespace here";
  HangingFuseFile fuse(planted);
  if (!fuse.Mounted()) GTEST_SKIP() << "no FUSE here: " << std::strerror(errno);
  pid_t writer = fork();
  if (writer == 0) {
    fuse.CloseInChild();
    std::_Exit(Put(target, "new"));
  }
  int status = -1;
  for (int waited = 0; waited < 100 && waitpid(writer, &status, WNOHANG) == 0; ++waited) usleep(100000);
  EXPECT_EQ(fuse.Opens(), 0);
  if (status == -1) {
    ADD_FAILURE() << "the write hung on the planted file";
    kill(writer, SIGKILL);
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(TempDir::Read(target), "new");
}

TEST(ProcTest, AFileUnderProcIsWrittenInPlace) {
  char name[16] = {};
  prctl(PR_GET_NAME, name);
  EXPECT_EQ(Put("/proc/self/comm", "written"), 0);
  EXPECT_EQ(TempDir::Read("/proc/self/comm"), "written\n");
  prctl(PR_SET_NAME, name);
}
