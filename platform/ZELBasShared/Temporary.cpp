// The new file a replacing write fills: unnamed where the file system
// allows (no other user can reach a file without a name), and otherwise
// under an unpredictable name created exclusively, private to the writer.
// A new file is locked (an open-file-description lock, which the kernel
// drops when its process dies) for as long as it lives, so that named ones
// left by killed writers are told from live ones (Leftovers.cpp).
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "Replacement.h"

namespace zelshared_detail {

// Takes the new file's lock; false with EAGAIN when another process has
// it (a cleaner that found the name first). A file system without locks
// goes without.
bool Lock(int fd) {
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &whole) == 0) return true;
  return errno != EAGAIN && errno != EACCES;
}

bool UnderNewName(Replacement& r, bool (*make)(Replacement&)) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t random;
    ssize_t got;
    while ((got = getrandom(&random, sizeof random, 0)) < 0 && errno == EINTR) {
    }
    if (got != sizeof random) return false;
    int length = LeftoverPrefix(r, r.tempName, sizeof r.tempName);
    std::snprintf(r.tempName + length, sizeof r.tempName - static_cast<size_t>(length), "%016llx.tmp",
                  static_cast<unsigned long long>(random));
    if (make(r)) return true;
    if (errno != EEXIST) break;
  }
  r.tempName[0] = '\0';
  return false;
}

// Creates the new file under r.tempName. A cleaner may take it between its
// creation and the lock, and remove it: it is ours once locked and still
// named.
bool MakeNamed(Replacement& r) {
  r.temp.Reset(openat(r.folder.Get(), r.tempName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!r.temp) return false;
  struct stat made, named;
  if (Lock(r.temp.Get()) && fstat(r.temp.Get(), &made) == 0 &&
      fstatat(r.folder.Get(), r.tempName, &named, AT_SYMLINK_NOFOLLOW) == 0 && made.st_ino == named.st_ino &&
      made.st_dev == named.st_dev) {
    return true;
  }
  r.temp.Reset(-1);
  errno = EEXIST;
  return false;
}

// An unnamed file can be given a name through its descriptor with the
// capability to read any file, or else through /proc.
bool MayNameUnnamedFiles() {
  struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  struct __user_cap_data_struct capabilities[2] = {};
  bool capable = syscall(SYS_capget, &header, capabilities) == 0 &&
                 (capabilities[0].effective & (1u << CAP_DAC_READ_SEARCH)) != 0;
  return capable || access("/proc/self/fd", X_OK) == 0;
}

bool CreateTemporary(Replacement& r) {
  RemoveLeftovers(r);
  // A file new to the folder is made with fopen's mode, so that the kernel
  // gives it what open(O_CREAT) would: the folder's default ACL, or the
  // umask. One that replaces a file is private until it inherits.
  if (MayNameUnnamedFiles()) {
    r.temp.Reset(openat(r.folder.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, r.target ? 0600 : 0666));
  } else {
    errno = EOPNOTSUPP;
  }
  if (r.temp && Lock(r.temp.Get())) {
    r.kernelMode = !r.target;
    return true;
  }
  // No unnamed files on this file system (or kernel).
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  return UnderNewName(r, &MakeNamed);
}

bool CreateSpool(Replacement& r) {
  r.temp.Reset(open(P_tmpdir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (!r.temp) r.temp.Reset(memfd_create("zelbas-spool", MFD_CLOEXEC));
  return static_cast<bool>(r.temp);
}

bool LinkAs(const Replacement& r, const char* name) {
  if (linkat(r.temp.Get(), "", r.folder.Get(), name, AT_EMPTY_PATH) == 0) return true;
  if (errno != ENOENT) return false;
  // Without the right to link by descriptor: through its name in /proc.
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", r.temp.Get());
  return linkat(AT_FDCWD, self, r.folder.Get(), name, AT_SYMLINK_FOLLOW) == 0;
}

bool LinkUnderTempName(Replacement& r) { return LinkAs(r, r.tempName); }

// The child's work: 0, or why it failed, with no name left either way.
int LinkAndRename(Replacement& r) {
  if (!UnderNewName(r, &LinkUnderTempName)) return errno;
  if (RenameOver(r)) return 0;
  int error = errno;
  unlinkat(r.folder.Get(), r.tempName, 0);
  return error;
}

int RunChild(void* replacement) { return LinkAndRename(*static_cast<Replacement*>(replacement)); }

// A child that shares this process's memory, on a stack of its own, and
// runs while this process waits (as posix_spawn's does); a kill of this
// process lets the child finish. The sanitizers follow only a child with a
// copy of the memory: they get one.
pid_t StartChild(Replacement& r) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  pid_t child = fork();
  if (child == 0) _exit(LinkAndRename(r));
  return child;
#else
  const size_t kStack = size_t{256} * 1024;
  std::unique_ptr<char[]> stack(new (std::nothrow) char[kStack]);
  if (stack == nullptr) return -1;
  return clone(&RunChild, stack.get() + kStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &r);
#endif
}

bool LinkOver(Replacement& r) {
  pid_t child = StartChild(r);
  if (child < 0) return false;
  int status = 0;
  pid_t waited;
  while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  r.tempName[0] = '\0';  // renamed or removed by the child
  struct stat placed, ours;
  // A host that reaps every child leaves only the name to tell.
  if (waited < 0) {
    bool done = fstatat(r.folder.Get(), r.name.c_str(), &placed, AT_SYMLINK_NOFOLLOW) == 0 &&
                fstat(r.temp.Get(), &ours) == 0 && placed.st_ino == ours.st_ino &&
                placed.st_dev == ours.st_dev;
    status = done ? 0 : EAGAIN << 8;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  errno = WIFEXITED(status) ? WEXITSTATUS(status) : EINTR;
  return false;
}

void Unname(Replacement& r) {
  if (r.tempName[0] == '\0') return;
  int error = errno;
  unlinkat(r.folder.Get(), r.tempName, 0);
  r.tempName[0] = '\0';
  errno = error;
}

}  // namespace zelshared_detail
