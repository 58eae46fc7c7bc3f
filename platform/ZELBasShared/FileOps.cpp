// File access. A stream opened to write a regular file writes to a new,
// private file beside it, which takes the target's place only when closed
// with everything written: a failed write never leaves the target
// half-written. Everything about the target is read from the file opened
// once, and its folder is opened once, so swapping names meanwhile cannot
// redirect the write.
#include <fcntl.h>
#include <linux/limits.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "ZELBasShared.h"

namespace {

std::atomic<size_t> writeBudget(SIZE_MAX);  // bytes left before writes fail (tests)

// Takes `size` bytes from the test budget; false when they exceed it.
bool TakeBudget(size_t size) {
  size_t left = writeBudget.load(std::memory_order_relaxed);
  for (;;) {
    if (left == SIZE_MAX) return true;
    size_t after = size <= left ? left - size : 0;
    if (writeBudget.compare_exchange_weak(left, after, std::memory_order_relaxed)) return size <= left;
  }
}

// Owns one file descriptor. Closing keeps errno, so the cause of a failure
// survives the clean-up after it.
class Descriptor {
public:
  explicit Descriptor(int opened = -1) : fd(opened) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }

  void Reset(int opened = -1) {
    if (fd >= 0) {
      int error = errno;
      close(fd);
      errno = error;
    }
    fd = opened;
  }
  int Release() {
    int released = fd;
    fd = -1;
    return released;
  }

  int fd;
};

bool WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The permission bits fopen gives a new file: 0666 less the umask. The
// umask is read where the system shows it: setting it to read it back would
// change it for other threads meanwhile, which only happens without /proc,
// and then to the strictest mask.
mode_t NewFileMode() {
  unsigned mask = 0;
  bool known = false;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (!known && std::fgets(line, sizeof line, status) != nullptr) {
      known = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
  }
  if (!known) {
    mask = umask(077);
    umask(static_cast<mode_t>(mask));
  }
  return 0666 & ~static_cast<mode_t>(mask);
}

// Where the file a path names lives: its folder, opened once, and its name
// there. Symbolic links in the last component are followed by their text,
// at most 40 like the kernel does; links among the folders are the kernel's
// to follow. A folder that can be searched but not read is opened for
// lookups only (and is then not synced).
bool Locate(const char* path, Descriptor& folder, std::string& name) {
  std::string rest = path;
  for (int links = 0;; ++links) {
    size_t slash = rest.rfind('/');
    std::string where = slash == std::string::npos ? std::string(".") : rest.substr(0, slash + 1);
    int from = folder.fd >= 0 ? folder.fd : AT_FDCWD;
    int fd = openat(from, where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = openat(from, where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    folder.Reset(fd);
    name = rest.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
      errno = EISDIR;
      return false;
    }
    char link[PATH_MAX];
    ssize_t length = readlinkat(folder.fd, name.c_str(), link, sizeof link);
    if (length < 0) return errno == EINVAL || errno == ENOENT;  // not a link, or nothing there yet
    if (links == 40 || length == sizeof link) {
      errno = links == 40 ? ELOOP : ENAMETOOLONG;
      return false;
    }
    rest.assign(link, static_cast<size_t>(length));
  }
}

// One write that replaces a file: the target (if it exists) held open, its
// folder and name, and the new file, unnamed while it is written where the
// file system allows. When no new file can be made beside the target, the
// text is kept in memory instead and written over the target at the close.
struct Replacement {
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  // Removes a new file that never took the target's place.
  ~Replacement() {
    int error = errno;
    if (tempName[0] != '\0') unlinkat(folder.fd, tempName, 0);
    std::free(memory);
    errno = error;
  }

  Descriptor folder, target, temp;
  std::string name;
  struct stat opened = {};           // the target as first opened
  char tempName[NAME_MAX + 1] = "";  // the new file's name while it has one
  mode_t newMode = 0;                // for a new file
  bool failed = false;
  int error = 0;           // why it failed
  size_t length = 0;       // bytes written so far
  char* memory = nullptr;  // the text, when kept in memory
  size_t room = 0;
};

// False with errno EAGAIN when the name no longer holds the file opened (or
// EEXIST when a file came where there was none): what was decided for one
// file must not be done to another.
bool StillThere(const Replacement& r) {
  struct stat now;
  bool found = fstatat(r.folder.fd, r.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
  if (r.target.fd < 0) {
    if (!found) return errno == ENOENT;
    errno = EEXIST;
    return false;
  }
  if (found && now.st_dev == r.opened.st_dev && now.st_ino == r.opened.st_ino) return true;
  errno = EAGAIN;
  return false;
}

// Runs `make` under fresh unpredictable names beside the target, as long as
// the name is taken (EEXIST); a name planted there is never used.
template <class Make>
bool UnderNewName(Replacement& r, Make make) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t random;
    ssize_t got;
    while ((got = getrandom(&random, sizeof random, 0)) < 0 && errno == EINTR) {
    }
    if (got != sizeof random) return false;
    std::snprintf(r.tempName, sizeof r.tempName, ".%.200s.%016llx.tmp", r.name.c_str(),
                  static_cast<unsigned long long>(random));
    if (make()) return true;
    if (errno != EEXIST) break;
  }
  r.tempName[0] = '\0';
  return false;
}

// The new file, readable and writable by this process only: unnamed where
// the file system allows, so that nothing is left if the process dies.
bool CreateTemporary(Replacement& r) {
#if defined(O_TMPFILE)
  r.temp.Reset(openat(r.folder.fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (r.temp.fd >= 0) return true;
#endif
  return UnderNewName(r, [&r] {
    r.temp.Reset(openat(r.folder.fd, r.tempName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    return r.temp.fd >= 0;
  });
}

// Gives the finished unnamed file a name beside the target, by its
// descriptor or, without the right to that, through its name in /proc.
bool Link(Replacement& r) {
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", r.temp.fd);
  return UnderNewName(r, [&r, &self] {
    if (linkat(r.temp.fd, "", r.folder.fd, r.tempName, AT_EMPTY_PATH) == 0) return true;
    return errno == ENOENT && linkat(AT_FDCWD, self, r.folder.fd, r.tempName, AT_SYMLINK_FOLLOW) == 0;
  });
}

// Copies the replaced file's extended attributes, and with them its ACLs and
// security labels. Those of the security and trusted namespaces that this
// process may not set are left out, and so are those it may not read; any
// other that cannot be copied fails the write.
bool CopyAttributes(int from, int to) {
  ssize_t listed = flistxattr(from, nullptr, 0);
  if (listed <= 0) return listed == 0 || errno == ENOTSUP;
  char* names = static_cast<char*>(std::malloc(XATTR_LIST_MAX + XATTR_SIZE_MAX));
  if (names == nullptr) return false;
  char* value = names + XATTR_LIST_MAX;
  listed = flistxattr(from, names, XATTR_LIST_MAX);
  bool ok = listed >= 0;
  for (char* name = names; ok && name < names + listed; name += std::strlen(name) + 1) {
    ssize_t size = fgetxattr(from, name, value, XATTR_SIZE_MAX);
    if (size < 0) {
      ok = errno == ENODATA || errno == EACCES;  // gone meanwhile, or not ours to read
    } else if (fsetxattr(to, name, value, static_cast<size_t>(size), 0) != 0) {
      ok = (errno == EPERM || errno == ENOTSUP) &&
           (std::strncmp(name, "security.", 9) == 0 || std::strncmp(name, "trusted.", 8) == 0);
    }
  }
  int error = errno;
  std::free(names);
  errno = error;
  return ok;
}

// Gives the new file the owner, group, attributes and mode the target has
// now, read from the file itself; a new file gets fopen's mode.
bool Finalize(Replacement& r) {
  if (r.target.fd < 0) return fchmod(r.temp.fd, r.newMode) == 0;
  struct stat old;
  if (fstat(r.target.fd, &old) != 0) return false;
  mode_t mode = old.st_mode & 07777;
  if (fchown(r.temp.fd, old.st_uid, old.st_gid) != 0) {
    // Not ours to give away: the file stays ours, without the set-user-ID
    // bit, and grants nothing to a group other than the old one.
    mode &= ~S_ISUID;
    if (fchown(r.temp.fd, static_cast<uid_t>(-1), old.st_gid) != 0) mode &= ~(S_ISGID | S_IRWXG);
  }
  // After the owner, whose change clears a file's capabilities.
  return CopyAttributes(r.target.fd, r.temp.fd) && fchmod(r.temp.fd, mode) == 0;
}

// Writes the whole text over the target, which keeps its inode: from memory,
// or from the finished new file. Not atomic; used only where no rename can
// be.
bool Overwrite(Replacement& r) {
  if (r.temp.fd < 0) {
    if (!WriteAll(r.target.fd, r.memory, r.length)) return false;
  } else {
    off_t from = 0;
    while (static_cast<size_t>(from) < r.length) {
      ssize_t n = sendfile(r.target.fd, r.temp.fd, &from, r.length - static_cast<size_t>(from));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        return false;
      }
    }
  }
  return ftruncate(r.target.fd, static_cast<off_t>(r.length)) == 0 && fsync(r.target.fd) == 0;
}

bool Commit(Replacement& r) {
  if (r.temp.fd < 0) return Overwrite(r);
  if (!Finalize(r) || fsync(r.temp.fd) != 0) return false;
  if (r.tempName[0] == '\0' && !Link(r)) return false;
  if (!StillThere(r)) return false;
  if (renameat(r.folder.fd, r.tempName, r.folder.fd, r.name.c_str()) == 0) {
    r.tempName[0] = '\0';
    // Make the rename itself durable; the text is already in place.
    fsync(r.folder.fd);
    return true;
  }
  // A mount point cannot be renamed over: copy the finished text into it.
  return errno == EBUSY && r.target.fd >= 0 && Overwrite(r);
}

// Keeps `size` more bytes in memory.
bool Keep(Replacement& r, const char* bytes, size_t size) {
  if (size > r.room - r.length) {
    if (size > SIZE_MAX / 4 - r.length) {
      errno = ENOMEM;
      return false;
    }
    size_t room = std::max({size_t(65536), r.room * 2, r.length + size});
    char* grown = static_cast<char*>(std::realloc(r.memory, room));
    if (grown == nullptr) return false;
    r.memory = grown;
    r.room = room;
  }
  std::memcpy(r.memory + r.length, bytes, size);
  return true;
}

ssize_t Write(void* cookie, const char* bytes, size_t size) {
  Replacement& r = *static_cast<Replacement*>(cookie);
  if (!r.failed && !TakeBudget(size)) {
    r.failed = true;
    r.error = EIO;
  } else if (!r.failed && !(r.temp.fd >= 0 ? WriteAll(r.temp.fd, bytes, size) : Keep(r, bytes, size))) {
    r.failed = true;
    r.error = errno;
  }
  if (r.failed) {
    errno = r.error;
    return 0;  // the stream takes 0 as an error
  }
  r.length += size;
  return static_cast<ssize_t>(size);
}

// Called by fclose after the last flush: the target is replaced only if
// every write succeeded and the new file was finished and synced.
int Finish(void* cookie) {
  Replacement* r = static_cast<Replacement*>(cookie);
  bool ok = !r->failed && Commit(*r);
  int error = r->failed ? r->error : errno;
  delete r;
  errno = error;
  return ok ? 0 : EOF;
}

// Devices, pipes and other special files are written in place, blocking as
// fopen's stream would.
FILE* InPlace(Descriptor& target) {
  int flags = fcntl(target.fd, F_GETFL);
  if (flags < 0 || fcntl(target.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
  FILE* stream = fdopen(target.fd, "w");
  if (stream != nullptr) target.Release();
  return stream;
}

FILE* OpenReplacement(const char* path) {
  if (*path == '\0') {
    errno = ENOENT;
    return nullptr;
  }
  // The file the path names, opened once: what kind it is, and later its
  // owner and mode, come from what was opened. Only a pipe without a reader
  // is opened again, waiting for one as fopen would.
  Descriptor target(open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (target.fd < 0 && (errno == ENXIO || errno == EWOULDBLOCK)) {
    target.Reset(open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC));
  }
  if (target.fd < 0 && errno != ENOENT) return nullptr;
  std::unique_ptr<Replacement> r(new (std::nothrow) Replacement());
  if (r == nullptr) return nullptr;
  if (target.fd >= 0) {
    if (fstat(target.fd, &r->opened) != 0) return nullptr;
    if (!S_ISREG(r->opened.st_mode)) return InPlace(target);
  } else {
    r->newMode = NewFileMode();
  }
  r->target.Reset(target.Release());
  // Where that file lives; the end of a dangling link is where a new one goes.
  if (!Locate(path, r->folder, r->name) || !StillThere(*r)) return nullptr;
  if (!CreateTemporary(*r)) {
    // No new file can be made beside the file, but the file itself is
    // writable: keep the text and write it over the file at the close.
    if (r->target.fd < 0 || (errno != EACCES && errno != EPERM && errno != EROFS)) return nullptr;
  }
  cookie_io_functions_t functions = {nullptr, &Write, nullptr, &Finish};
  FILE* stream = fopencookie(r.get(), "w", functions);
  if (stream != nullptr) static_cast<void>(r.release());  // Finish deletes it
  return stream;
}

// "w", "wb" or "wt": the modes that replace a file's whole content.
bool Replaces(const char* mode) {
  if (mode[0] != 'w') return false;
  for (const char* c = mode + 1; *c != '\0'; ++c) {
    if (*c != 'b' && *c != 't') return false;
  }
  return true;
}

}  // namespace

FILE* ZELBasFileOps::Fopen(const ZELString& fileName, const char* mode) {
  const char* path = fileName.CastToCharPtr();
  if (Replaces(mode)) return OpenReplacement(path);
  FILE* stream = std::fopen(path, mode);
  // A folder opens for reading on this system, but holds no text to read.
  struct stat info;
  if (stream != nullptr && fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(stream);
    errno = EISDIR;
    return nullptr;
  }
  return stream;
}

void ZELBasShared_FailWritesAfter(size_t bytes) { writeBudget.store(bytes, std::memory_order_relaxed); }
