// File access on Linux: Fopen, and the stream that replaces a file. Such a
// stream writes to a new file beside the target, which takes the target's
// place only when fclose finds everything written: a failed write never
// leaves the target half-written. Where no new file can take its place, the
// text is gathered in a new file all the same and copied over the target at
// the close. Where the target is and what it is are decided once, at the
// open (Resolve.cpp).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "Replacement.h"
#include "ZELBasShared.h"

namespace zelshared_detail {

std::atomic<size_t> writeBudget(SIZE_MAX);  // bytes left before writes fail (tests)

void CloseDescriptor(int fd) {
  int error = errno;
  close(fd);
  errno = error;
}

Replacement::~Replacement() { Unname(*this); }

// Takes `size` bytes from the test budget; false when they exceed it.
bool TakeBudget(size_t size) {
  size_t left = writeBudget.load(std::memory_order_relaxed);
  for (;;) {
    if (left == SIZE_MAX) return true;
    size_t after = size <= left ? left - size : 0;
    if (writeBudget.compare_exchange_weak(left, after, std::memory_order_relaxed)) return size <= left;
  }
}

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

// The replacing streams open now, for Fdiscard.
std::mutex openLock;
std::vector<std::pair<FILE*, Replacement*>> openStreams;

void Remember(FILE* stream, Replacement* r) {
  std::lock_guard<std::mutex> guard(openLock);
  openStreams.emplace_back(stream, r);
}

void Forget(const Replacement* r) {
  std::lock_guard<std::mutex> guard(openLock);
  auto found =
      std::find_if(openStreams.begin(), openStreams.end(), [r](auto& open) { return open.second == r; });
  if (found != openStreams.end()) openStreams.erase(found);
}

// Makes the stream's close fail and leave the target as it was.
void Abandon(FILE* stream) {
  std::lock_guard<std::mutex> guard(openLock);
  for (auto& open : openStreams) {
    if (open.first == stream && !open.second->failed) {
      open.second->failed = true;
      open.second->error = ECANCELED;
    }
  }
}

ssize_t Write(void* cookie, const char* bytes, size_t size) {
  Replacement& r = *static_cast<Replacement*>(cookie);
  if (!r.failed && !TakeBudget(size)) {
    r.failed = true;
    r.error = EIO;
  } else if (!r.failed && !WriteAll(r.temp.Get(), bytes, size)) {
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
// every write succeeded.
int Finish(void* cookie) {
  Replacement* r = static_cast<Replacement*>(cookie);
  Forget(r);
  bool ok = !r->failed && (r->inPlace ? Overwrite(*r) : Replace(*r));
  int error = r->failed ? r->error : errno;
  delete r;
  errno = error;
  return ok ? 0 : EOF;
}

// Devices, pipes and other special files are written in place, blocking as
// fopen's stream would. A socket is this process's own descriptor shared
// (Resolve.cpp): its flags are its owner's.
FILE* InPlace(Descriptor& special) {
  struct stat info;
  int flags = fcntl(special.Get(), F_GETFL);
  if (flags < 0 || fstat(special.Get(), &info) != 0) return nullptr;
  if (!S_ISSOCK(info.st_mode) && fcntl(special.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
  FILE* stream = fdopen(special.Get(), "w");
  if (stream != nullptr) special.Take();
  return stream;
}

// Why no new file could be made beside an existing target, when writing
// the target in place is the answer: a folder this process may not write,
// or a file system that makes no new files (/proc).
bool NoNewFileHere(int error) {
  return error == EACCES || error == EPERM || error == EROFS || error == ENOENT || error == EOPNOTSUPP ||
         error == EINVAL || error == EISDIR;
}

FILE* OpenReplacement(const char* path) {
  if (*path == '\0') {
    errno = ENOENT;
    return nullptr;
  }
  std::unique_ptr<Replacement> r(new (std::nothrow) Replacement());
  if (r == nullptr) return nullptr;
  r->began = Now();
  Descriptor special = NoDescriptor();
  if (!Resolve(path, *r, special)) return nullptr;
  if (special) return InPlace(special);
  if (r->inPlace || !CreateTemporary(*r)) {
    // The text is gathered elsewhere, then written over the target.
    if (!r->target || (!r->inPlace && !NoNewFileHere(errno))) return nullptr;
    r->inPlace = true;
    if (!CreateSpool(*r)) return nullptr;
  }
  cookie_io_functions_t functions = {nullptr, &Write, nullptr, &Finish};
  FILE* stream = fopencookie(r.get(), "w", functions);
  if (stream != nullptr) Remember(stream, r.release());  // Finish deletes it
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

}  // namespace zelshared_detail

FILE* ZELBasFileOps::Fopen(const ZELString& fileName, const char* mode) {
  const char* path = fileName.CastToCharPtr();
  if (zelshared_detail::Replaces(mode)) return zelshared_detail::OpenReplacement(path);
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

int ZELBasFileOps::Fdiscard(FILE* stream) {
  zelshared_detail::Abandon(stream);
  return std::fclose(stream);
}

void ZELBasShared_FailWritesAfter(size_t bytes) {
  zelshared_detail::writeBudget.store(bytes, std::memory_order_relaxed);
}
