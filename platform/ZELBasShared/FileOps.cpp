// File access. A stream opened to write a regular file writes to a new file
// beside it and takes the target's place only when closed with everything
// written: a failed write never leaves the target half-written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "ZELBasShared.h"

namespace {

std::atomic<size_t> writeBudget(SIZE_MAX);  // bytes left before writes fail (tests)
std::atomic<unsigned> tempCounter(0);

// Takes `size` bytes from the test budget; false when they exceed it.
bool TakeBudget(size_t size) {
  size_t left = writeBudget.load(std::memory_order_relaxed);
  for (;;) {
    if (left == SIZE_MAX) return true;
    size_t after = size <= left ? left - size : 0;
    if (writeBudget.compare_exchange_weak(left, after, std::memory_order_relaxed)) return size <= left;
  }
}

struct Replacement {
  int fd;
  bool failed;
  std::string temp;
  std::string target;
};

ssize_t WriteAll(void* cookie, const char* bytes, size_t size) {
  Replacement* r = static_cast<Replacement*>(cookie);
  if (r->failed) return 0;
  if (!TakeBudget(size)) {
    r->failed = true;
    errno = EIO;
    return 0;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(r->fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      r->failed = true;
      return 0;  // the stream takes 0 as an error
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

// Called by fclose after the last flush: the new file takes the target's
// place only if every write, the sync and the close succeeded.
int Finish(void* cookie) {
  Replacement* r = static_cast<Replacement*>(cookie);
  bool ok = !r->failed && fsync(r->fd) == 0;
  if (close(r->fd) != 0) ok = false;
  if (ok && rename(r->temp.c_str(), r->target.c_str()) != 0) ok = false;
  int error = errno;
  if (!ok) unlink(r->temp.c_str());
  if (ok) {
    // Make the rename itself durable; the text is already in place.
    std::string folder = r->target.substr(0, r->target.rfind('/') + 1);
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
  }
  delete r;
  errno = error;
  return ok ? 0 : EOF;
}

// "w", "wb" or "wt": the modes that replace a file's whole content.
bool Replaces(const char* mode) {
  if (mode[0] != 'w') return false;
  for (const char* c = mode + 1; *c != '\0'; ++c) {
    if (*c != 'b' && *c != 't') return false;
  }
  return true;
}

FILE* OpenReplacement(const char* path, const char* mode) {
  struct stat existing;
  std::string target;
  bool exists = stat(path, &existing) == 0;
  if (exists) {
    // Devices, pipes and the like are written in place.
    if (!S_ISREG(existing.st_mode)) return std::fopen(path, mode);
    // Through symbolic links to the file they name, whose folder gets the
    // new file.
    char* real = realpath(path, nullptr);
    if (real == nullptr) return nullptr;
    target = real;
    std::free(real);
    // A file that could not be opened for writing is not replaced either.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return nullptr;
  } else {
    struct stat link;
    // A dangling link, or a path that cannot be looked at: as before.
    if (errno != ENOENT || lstat(path, &link) == 0) return std::fopen(path, mode);
    target = path;
  }
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  // Room for the suffix within a file name's 255 bytes.
  std::string base = target.substr(folder.size(), 200);
  Replacement* r = new (std::nothrow) Replacement{-1, false, std::string(), target};
  if (r == nullptr) return nullptr;
  for (int attempt = 0; attempt < 100 && r->fd < 0; ++attempt) {
    r->temp = folder;
    r->temp += ".";
    r->temp += base;
    r->temp += "." + std::to_string(getpid());
    r->temp += "." + std::to_string(tempCounter.fetch_add(1, std::memory_order_relaxed));
    r->temp += ".tmp";
    // New files get 0666 less the umask, as fopen would give them.
    r->fd = open(r->temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (r->fd < 0 && errno != EEXIST) break;
  }
  if (r->fd >= 0 && exists) {
    // Keep the replaced file's permission bits, and its owner where allowed.
    if (fchown(r->fd, existing.st_uid, existing.st_gid) != 0) {
      // Not ours to give away: the new file stays ours.
    }
    if (fchmod(r->fd, existing.st_mode & 07777) != 0) {
      int error = errno;
      close(r->fd);
      unlink(r->temp.c_str());
      r->fd = -1;
      errno = error;
    }
  }
  if (r->fd < 0) {
    int error = errno;
    delete r;
    errno = error;
    return nullptr;
  }
  cookie_io_functions_t functions = {nullptr, &WriteAll, nullptr, &Finish};
  FILE* stream = fopencookie(r, "w", functions);
  if (stream == nullptr) {
    close(r->fd);
    unlink(r->temp.c_str());
    delete r;
  }
  return stream;
}

}  // namespace

FILE* ZELBasFileOps::Fopen(const ZELString& fileName, const char* mode) {
  const char* path = fileName.CastToCharPtr();
  if (Replaces(mode)) return OpenReplacement(path, mode);
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
