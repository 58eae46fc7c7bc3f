// The finished new file takes the target's place in one rename, or, where
// there was no file, in a rename that replaces nothing. Writers of the same
// target may finish in any order, the last one's text staying; a name that
// came to hold any other file meanwhile is left alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "Replacement.h"

namespace zelshared_detail {

// True when the name now holds what another writer of the same target
// would have put there: a regular file with the owner, group and mode this
// writer gives its own. Keeps errno.
bool ReplacedByAnotherWriter(const Replacement& r) {
  int error = errno;
  struct stat now, ours;
  bool same = fstatat(r.folder.Get(), r.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
              fstat(r.temp.Get(), &ours) == 0 && S_ISREG(now.st_mode) && now.st_uid == ours.st_uid &&
              now.st_gid == ours.st_gid && (now.st_mode & 07777) == (ours.st_mode & 07777);
  errno = error;
  return same;
}

// True when the target is a mount point, which no rename can replace.
bool MountPoint(const Replacement& r) {
#if defined(STATX_ATTR_MOUNT_ROOT)
  struct statx info;
  return r.target.Get() >= 0 && statx(r.target.Get(), "", AT_EMPTY_PATH, 0, &info) == 0 &&
         (info.stx_attributes_mask & info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#else
  static_cast<void>(r);
  return false;
#endif
}

// Copies the finished text over a mount point, the new file unnamed first.
bool OverwriteMountPoint(Replacement& r) {
  Unname(r);
  return Overwrite(r);
}

bool Replace(Replacement& r) {
  if (!Inherit(r) || fsync(r.temp.Get()) != 0) return false;
  if (MountPoint(r)) return OverwriteMountPoint(r);
  // A new file never named takes the free name at once.
  if (r.target.Get() < 0 && r.tempName[0] == '\0') {
    if (LinkAs(r, r.name.c_str())) {
      fsync(r.folder.Get());
      return true;
    }
    if (errno != EEXIST || !ReplacedByAnotherWriter(r)) return false;
  }
  if (r.tempName[0] == '\0' && !Link(r)) return false;
  unsigned flags = 0;
  if (StillThere(r)) {
    if (r.target.Get() < 0) flags = RENAME_NOREPLACE;
  } else if (!ReplacedByAnotherWriter(r)) {
    return false;
  }
  int renamed = renameat2(r.folder.Get(), r.tempName, r.folder.Get(), r.name.c_str(), flags);
  if (renamed != 0 && flags != 0 && errno == EINVAL) {
    // A file system without the flag: the check above stands for it.
    renamed = renameat(r.folder.Get(), r.tempName, r.folder.Get(), r.name.c_str());
  } else if (renamed != 0 && flags != 0 && errno == EEXIST && ReplacedByAnotherWriter(r)) {
    renamed = renameat(r.folder.Get(), r.tempName, r.folder.Get(), r.name.c_str());
  }
  if (renamed == 0) {
    r.tempName[0] = '\0';
    // Make the rename itself durable; the text is already in place.
    fsync(r.folder.Get());
    return true;
  }
  // A mount point the check above could not see.
  return errno == EBUSY && r.target.Get() >= 0 && OverwriteMountPoint(r);
}

}  // namespace zelshared_detail
