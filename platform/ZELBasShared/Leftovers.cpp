// What killed writers left: the named new files of a target (on file
// systems without unnamed files, or after a crash). Each write reads a
// bounded part of its folder, where the last write of this process in that
// folder stopped, and removes only what is plainly a writer's own: a
// regular file under the target's pattern, with one link, on the folder's
// own mount, owned by this user or the target's owner, that no live writer
// holds locked. All but the lock is seen without opening the name; the lock
// is asked about (F_OFD_GETLK, which takes none) through a descriptor that
// cannot cross into another mount.
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "Replacement.h"

namespace zelshared_detail {

namespace {

const size_t kEntryBytes = 32768;  // about a thousand names per write

// Where this process's last look stopped, in the one folder it looked in.
std::mutex cursorLock;
dev_t cursorDevice = 0;
ino_t cursorFolder = 0;
off_t cursorOffset = 0;

off_t Resume(const struct stat& folder) {
  std::lock_guard<std::mutex> guard(cursorLock);
  bool same = cursorDevice == folder.st_dev && cursorFolder == folder.st_ino;
  return same ? cursorOffset : 0;
}

void Stop(const struct stat& folder, off_t offset) {
  std::lock_guard<std::mutex> guard(cursorLock);
  cursorDevice = folder.st_dev;
  cursorFolder = folder.st_ino;
  cursorOffset = offset;
}

// Seen without opening it: a regular file with one link (not a hard link
// to someone's file), on the folder's mount (not a mount point), owned by
// this user or by the target's.
bool LooksOurs(const Replacement& r, const char* name, const struct stat& folder) {
  struct statx info;
  if (statx(r.folder.Get(), name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC,
            STATX_BASIC_STATS, &info) != 0) {
    return false;
  }
  bool owner = info.stx_uid == geteuid() || (r.target.Get() >= 0 && info.stx_uid == r.opened.st_uid);
  return S_ISREG(info.stx_mode) && info.stx_nlink == 1 && owner &&
         makedev(info.stx_dev_major, info.stx_dev_minor) == folder.st_dev &&
         (info.stx_attributes_mask & info.stx_attributes & STATX_ATTR_MOUNT_ROOT) == 0;
}

// True when no live writer holds the file at the name locked.
bool Abandoned(const Replacement& r, const char* name) {
  const uint64_t within = RESOLVE_BENEATH | RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  Descriptor file(
      OpenAt2(r.folder.Get(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, within),
      &CloseDescriptor, -1);
  struct stat info;
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  return file && fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
         fcntl(file.Get(), F_OFD_GETLK, &whole) == 0 && whole.l_type == F_UNLCK;
}

// Reads one buffer of the folder's entries, from where its descriptor
// stands; the offset the next look starts from (0 once the end is near).
off_t Sweep(const Replacement& r, int folder, const struct stat& self) {
  std::unique_ptr<char[]> entries(new (std::nothrow) char[kEntryBytes]);
  ssize_t got = entries ? getdents64(folder, entries.get(), kEntryBytes) : -1;
  off_t next = 0;
  for (ssize_t at = 0; at < got;) {
    const auto* entry = reinterpret_cast<const struct dirent64*>(entries.get() + at);
    at += entry->d_reclen;
    next = entry->d_off;
    if ((entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) && LeftoverName(r, entry->d_name) &&
        LooksOurs(r, entry->d_name, self) && Abandoned(r, entry->d_name)) {
      unlinkat(r.folder.Get(), entry->d_name, 0);
    }
  }
  return got < static_cast<ssize_t>(kEntryBytes / 2) ? 0 : next;
}

}  // namespace

int LeftoverPrefix(const Replacement& r, char* out, size_t size) {
  // The name cut to 200 bytes, so that the suffix fits in a file name.
  return std::snprintf(out, size, ".%.200s.", r.name.c_str());
}

bool LeftoverName(const Replacement& r, const char* name) {
  char prefix[NAME_MAX + 1];
  size_t length = static_cast<size_t>(LeftoverPrefix(r, prefix, sizeof prefix));
  if (std::strncmp(name, prefix, length) != 0 || std::strlen(name) != length + 20) return false;
  for (size_t i = length; i < length + 16; ++i) {
    if (std::strchr("0123456789abcdef", name[i]) == nullptr) return false;
  }
  return std::strcmp(name + length + 16, ".tmp") == 0;
}

void RemoveLeftovers(const Replacement& r) {
  int error = errno;
  // A folder that may be searched but not read is left as it is.
  Descriptor folder(openat(r.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), &CloseDescriptor, -1);
  struct stat self;
  if (folder && fstat(folder.Get(), &self) == 0) {
    off_t start = Resume(self);
    if (lseek(folder.Get(), start, SEEK_SET) == start) Stop(self, Sweep(r, folder.Get(), self));
  }
  errno = error;
}

}  // namespace zelshared_detail
