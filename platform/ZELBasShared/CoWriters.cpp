// Writers of one target may run at once; each finds at the close that the
// name holds another file than it opened. What another writer of this
// module put there is replaced, as the last writer's text should stay;
// what anyone else put there (an editor's save, an `mv`) is left alone.
// The two are told apart by a mark only this module's writers put on their
// files, an extended attribute set just before the rename: when it was set
// and which file the name held then. A co-writer's file replaced the very
// file this write opened, or was marked after this write began (after it
// saw the file it replaced come in, which was after this write opened its
// own). Where the file system keeps no such attributes, every other file is
// a stranger's. A marked file is looked at for up to 20 ms, as its writer
// marks it again once it is in place.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "Replacement.h"

namespace zelshared_detail {

namespace {

const char kMark[] = "user.zelbas.written";

struct MarkValue {
  uint64_t time;           // Now() when it was set
  uint64_t device, inode;  // the file it replaced; 0 and 0 for none
};

}  // namespace

uint64_t Now() {
  struct timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

bool Mark(const Replacement& r, const struct stat* replaced) {
  MarkValue mark = {Now(), replaced != nullptr ? replaced->st_dev : 0,
                    replaced != nullptr ? replaced->st_ino : 0};
  return fsetxattr(r.temp.Get(), kMark, &mark, sizeof mark, 0) == 0;
}

// Reads the mark of the file at the name into `mark`, and what the file is
// into `seen`; false when it has none. Read from a regular file on the
// folder's own mount, never through a link: a stranger's FIFO or mount
// point is not opened.
bool ReadMark(const Replacement& r, struct stat& seen, MarkValue& mark) {
  const uint64_t within = RESOLVE_BENEATH | RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  Descriptor file(S_ISREG(seen.st_mode)
                      ? OpenAt2(r.folder.Get(), r.name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, within)
                      : -1,
                  &CloseDescriptor, -1);
  return file && fstat(file.Get(), &seen) == 0 && S_ISREG(seen.st_mode) &&
         fgetxattr(file.Get(), kMark, &mark, sizeof mark) == sizeof mark;
}

bool CoWriterThere(const Replacement& r, struct stat& seen) {
  int error = errno;
  MarkValue mark = {};
  bool ours = false;
  // A mark older than this write may be about to be renewed: its writer
  // marks again right after its rename.
  for (int look = 0; look < 20 && !ours && ReadMark(r, seen, mark); ++look) {
    bool opened = r.target.Get() >= 0 ? mark.device == r.opened.st_dev && mark.inode == r.opened.st_ino
                                      : mark.device == 0 && mark.inode == 0;
    ours = opened || mark.time >= r.began;
    struct timespec pause = {0, 1000000};
    if (!ours) nanosleep(&pause, nullptr);
  }
  errno = error;
  return ours;
}

}  // namespace zelshared_detail
