// Writing the whole text over the target itself, where no new file can take
// its place: a mount point, a writable file in a folder that takes no new
// file, a file system without new files (/proc). Not atomic; so everything
// that can fail is tried before the first byte: the name must still hold
// the file, the text must fit the process's file size limit, and room for
// all of it is reserved on the disk.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "Replacement.h"

namespace zelshared_detail {

// Room for `length` bytes from the start of the file, taken before any is
// written: reserved where the file system can, else seen free.
bool Reserve(int fd, size_t length) {
  if (length == 0 || fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) return false;
  struct stat info;
  struct statvfs space;
  if (fstat(fd, &info) != 0 || fstatvfs(fd, &space) != 0) return false;
  // A file system without blocks (/proc) has nothing to run out of.
  uint64_t held = static_cast<uint64_t>(info.st_blocks) * 512,
           free = uint64_t(space.f_bavail) * space.f_frsize;
  if (space.f_blocks == 0 || length <= held || length - held <= free) return true;
  errno = ENOSPC;
  return false;
}

// The process's file size limit, checked rather than met half-way.
bool WithinSizeLimit(size_t length) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || length <= limit.rlim_cur) {
    return true;
  }
  errno = EFBIG;
  return false;
}

// Back to the start, where the target has one (a file of /proc may not).
bool Rewind(int fd) { return lseek(fd, 0, SEEK_SET) == 0 || errno == ESPIPE; }

bool PutAll(int fd, const char* bytes, size_t size) { return Rewind(fd) && WriteAll(fd, bytes, size); }

// Copies the finished new file, read from its descriptor.
bool CopyAll(int to, int from, size_t size) {
  if (!Rewind(to)) return false;
  off_t at = 0;
  while (static_cast<size_t>(at) < size) {
    ssize_t n = sendfile(to, from, &at, size - static_cast<size_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
  }
  return true;
}

bool Overwrite(Replacement& r) {
  int fd = r.target.Get();
  if (!StillThere(r) || !WithinSizeLimit(r.length) || !Reserve(fd, r.length)) return false;
  if (!(r.temp ? CopyAll(fd, r.temp.Get(), r.length) : PutAll(fd, r.memory, r.length))) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 ||
      (static_cast<uint64_t>(info.st_size) > r.length && ftruncate(fd, static_cast<off_t>(r.length)) != 0)) {
    return false;
  }
  // Files of /proc and the like have nothing to sync.
  return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace zelshared_detail
