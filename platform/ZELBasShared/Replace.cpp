// The finished new file takes the target's place in one rename, or, where
// there was no file, in a link or rename that replaces nothing. Writers of
// the same target may finish in any order, the last one's text staying; a
// name that came to hold anyone else's file meanwhile is left alone. Where
// the new file cannot take the place (a mount point, another user's file in
// a sticky folder, an owner not ours to give away), it is copied over the
// target instead.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Replacement.h"

namespace zelshared_detail {

// True when the target is a mount point, which no rename can replace.
bool MountPoint(const Replacement& r) {
  struct statx info;
  return r.target.Get() >= 0 && statx(r.target.Get(), "", AT_EMPTY_PATH, 0, &info) == 0 &&
         (info.stx_attributes_mask & info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// Copies the finished text over the target, the new file unnamed first.
bool WriteOver(Replacement& r) {
  Unname(r);
  return Overwrite(r);
}

// Makes the rename durable; the text is already on disk. A folder that may
// be searched but not read has no descriptor to sync.
void SyncFolder(const Replacement& r) {
  Descriptor folder(openat(r.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), &CloseDescriptor, -1);
  if (folder) fsync(folder.Get());
}

// What the name holds now, if it is the file this write opened or a
// co-writer's, in `seen`.
bool Replaceable(const Replacement& r, struct stat& seen) {
  if (fstatat(r.folder.Get(), r.name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
    seen = {};
    if (errno != ENOENT || !r.target) return errno == ENOENT;  // a free name is a new file's to take
    errno = EAGAIN;
    return false;
  }
  bool opened = r.target && seen.st_dev == r.opened.st_dev && seen.st_ino == r.opened.st_ino;
  if (opened || CoWriterThere(r, seen)) return true;
  errno = r.target ? EAGAIN : EEXIST;
  return false;
}

bool RenameOver(Replacement& r) {
  struct stat seen;
  if (!Replaceable(r, seen)) return false;
  // Marked as replacing what was seen, and again once it did, so that a
  // co-writer that looks meanwhile sees a mark newer than its start.
  Mark(r, &seen);  // where the file system keeps no mark, co-writers see a stranger
  if (renameat(r.folder.Get(), r.tempName, r.folder.Get(), r.name.c_str()) != 0) return false;
  r.tempName[0] = '\0';
  Mark(r, &seen);
  return true;
}

// Where there was no file: the name is taken only while it is still free,
// or holds a co-writer's file. Marked before and after, as a rename is.
bool Place(Replacement& r) {
  Mark(r, nullptr);
  if (r.tempName[0] == '\0') {
    if (!LinkAs(r, r.name.c_str())) return errno == EEXIST && LinkOver(r);
  } else if (renameat2(r.folder.Get(), r.tempName, r.folder.Get(), r.name.c_str(), RENAME_NOREPLACE) != 0) {
    // EINVAL: a file system without the flag.
    return (errno == EEXIST || errno == EINVAL) && RenameOver(r);
  } else {
    r.tempName[0] = '\0';
  }
  Mark(r, nullptr);
  return true;
}

bool Replace(Replacement& r) {
  if (!Inherit(r)) return errno == EPERM && r.target && WriteOver(r);
  if (fsync(r.temp.Get()) != 0) return false;
  if (MountPoint(r)) return WriteOver(r);
  bool placed = !r.target ? Place(r) : r.tempName[0] == '\0' ? LinkOver(r) : RenameOver(r);
  if (placed) {
    SyncFolder(r);
    return true;
  }
  // Another user's file in a sticky folder; a mount point the check above
  // could not see.
  return (errno == EPERM || errno == EBUSY) && r.target && WriteOver(r);
}

}  // namespace zelshared_detail
