// Writing the whole text over the target itself, where no new file can take
// its place: a regular file behind a magic link, a mount point, a writable
// file in a folder that takes no new file, a file system without new files
// (/proc), another user's file. Not atomic; so the text is complete in a
// new file first, writers of the target take turns (an open-file-
// description lock from before the first byte to after the sync), and
// everything that can fail is tried before the first byte: the name must
// still hold the file, the text must fit the process's file size limit,
// and room for all of it must be there.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "Replacement.h"

namespace zelshared_detail {

// Waits for the other in-place writers of the file; the lock goes with the
// descriptor. A file system without locks goes without.
bool TakeTurn(int fd) {
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  while (fcntl(fd, F_OFD_SETLKW, &whole) != 0) {
    if (errno != EINTR) return errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP;
  }
  return true;
}

// File systems whose every write goes to new blocks: reserving room there
// reserves nothing over the file's existing blocks.
bool CopyOnWrite(const struct statfs& system) {
  const long long kinds[] = {BTRFS_SUPER_MAGIC, 0xca451a4e /* bcachefs */, 0x2fc12fc1 /* ZFS */};
  for (long long kind : kinds) {
    if (static_cast<long long>(system.f_type) == kind) return true;
  }
  return false;
}

bool FreeFor(const struct statfs& system, uint64_t bytes) {
  // A file system without blocks (/proc) has nothing to run out of.
  if (system.f_blocks == 0 || bytes <= uint64_t(system.f_bavail) * uint64_t(system.f_bsize)) return true;
  errno = ENOSPC;
  return false;
}

// Room for `length` bytes from the start of the file, seen before any is
// written: reserved where the file system can (shared blocks unshared
// first), else seen free; on a copy-on-write file system the whole length
// must be free.
bool Reserve(int fd, size_t length) {
  struct statfs system;
  if (length == 0) return true;
  if (fstatfs(fd, &system) != 0) return false;
  if (CopyOnWrite(system)) return FreeFor(system, length);
  fallocate(fd, FALLOC_FL_UNSHARE_RANGE | FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length));
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) return false;
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  uint64_t held = static_cast<uint64_t>(info.st_blocks) * 512;
  return length <= held || FreeFor(system, length - held);
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

// Copies from `at` on by reading and writing, for a target that takes no
// sendfile (a file of /proc).
bool CopyByHand(int to, int from, off_t at, size_t size) {
  char chunk[16384];
  while (static_cast<size_t>(at) < size) {
    ssize_t n = pread(from, chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !WriteAll(to, chunk, static_cast<size_t>(n))) {
      if (n == 0) errno = EIO;
      return false;
    }
    at += n;
  }
  return true;
}

// Copies the finished new file, read from its descriptor, from the start of
// the target, where it has one (a file of /proc may not).
bool CopyAll(int to, int from, size_t size) {
  if (lseek(to, 0, SEEK_SET) != 0 && errno != ESPIPE) return false;
  off_t at = 0;
  while (static_cast<size_t>(at) < size) {
    ssize_t n = sendfile(to, from, &at, size - static_cast<size_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && at == 0 && errno == EINVAL) return CopyByHand(to, from, at, size);
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
  }
  return true;
}

bool Overwrite(Replacement& r) {
  int fd = r.target.Get();
  if (!TakeTurn(fd) || !StillThere(r) || !WithinSizeLimit(r.length) || !Reserve(fd, r.length)) return false;
  if (!CopyAll(fd, r.temp.Get(), r.length)) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 ||
      (static_cast<uint64_t>(info.st_size) > r.length && ftruncate(fd, static_cast<off_t>(r.length)) != 0)) {
    return false;
  }
  // Files of /proc and the like have nothing to sync.
  return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

}  // namespace zelshared_detail
