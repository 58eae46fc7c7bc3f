// Where a write goes: the folder of the file a path names and the file
// itself. The kernel takes every step it can: folders are opened through
// openat2, a link is followed only once the kernel's own open has followed
// it (so fs.protected_symlinks is the kernel's), a file planted in a sticky
// folder is opened as open(O_CREAT) opens it (so are fs.protected_regular
// and fs.protected_fifos), and a path through a magic link (/dev/stdout,
// /proc/self/fd/N) is opened by the kernel whole. Everything decided about
// the file is read from the file opened, never again from its name.
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "Replacement.h"

namespace zelshared_detail {

int OpenAt2(int from, const char* path, uint64_t flags, uint64_t resolve) {
  struct open_how how = {};
  how.flags = flags;
  how.resolve = resolve;
  return static_cast<int>(syscall(SYS_openat2, from, path, &how, sizeof how));
}

// True when the kernel reaches the path's file only through a magic link.
bool ThroughMagicLink(const char* path) {
  Descriptor plain(OpenAt2(AT_FDCWD, path, O_PATH | O_CLOEXEC, RESOLVE_NO_MAGICLINKS), &CloseDescriptor, -1);
  if (plain || errno != ELOOP) return false;
  Descriptor magic(OpenAt2(AT_FDCWD, path, O_PATH | O_CLOEXEC, 0), &CloseDescriptor, -1);
  return magic || errno != ELOOP;
}

// A socket has no open of its own: behind a magic link to one of this
// process's descriptors, that descriptor is written, as a shell's `>&N`.
int OwnDescriptor(const struct stat& wanted) {
  DIR* list = opendir("/proc/self/fd");
  int found = -1;
  while (const dirent* entry = list != nullptr && found < 0 ? readdir(list) : nullptr) {
    struct stat info;
    int fd = std::atoi(entry->d_name);
    if (entry->d_name[0] != '.' && fd != dirfd(list) && fstat(fd, &info) == 0 &&
        info.st_dev == wanted.st_dev && info.st_ino == wanted.st_ino &&
        (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY) {
      found = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
  }
  if (list != nullptr) closedir(list);
  if (found < 0) errno = ENXIO;
  return found;
}

// The kernel's open of a path through a magic link: a FIFO without a reader
// waited on as fopen would; a socket of this process's own written as it is.
int OpenMagic(const char* path) {
  const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
  int fd = open(path, flags | O_NONBLOCK);
  if (fd >= 0 || errno != ENXIO) return fd;
  Descriptor at(open(path, O_PATH | O_CLOEXEC), &CloseDescriptor, -1);
  struct stat info;
  if (!at || fstat(at.Get(), &info) != 0) return -1;
  if (S_ISFIFO(info.st_mode)) return open(path, flags);
  if (S_ISSOCK(info.st_mode)) return OwnDescriptor(info);
  errno = ENXIO;
  return -1;
}

// What a magic link leads to is written in place: a regular file once the
// whole text is gathered, anything else as it comes.
bool ResolveMagic(const char* path, Replacement& r, Descriptor& special) {
  Descriptor file(OpenMagic(path), &CloseDescriptor, -1);
  if (!file || fstat(file.Get(), &r.opened) != 0) return false;
  if (!S_ISREG(r.opened.st_mode)) {
    special.Reset(file.Take());
    return true;
  }
  r.target.Reset(file.Take());
  r.inPlace = r.behindMagicLink = true;
  return true;
}

// Opens the folder `where` names, from the folder of the last link followed.
bool OpenFolder(int from, const std::string& where, Replacement& r) {
  const char* folder = where.empty() ? "." : where.c_str();
  int fd = OpenAt2(from, folder, O_PATH | O_DIRECTORY | O_CLOEXEC, RESOLVE_NO_MAGICLINKS);
  if (fd < 0 && errno == ENOSYS) fd = openat(from, folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
  r.folder.Reset(fd);
  return fd >= 0;
}

// A name written with a trailing slash is a folder's, or makes none: the
// kernel's answer.
bool RefuseTrailingSlash(const Replacement& r) {
  Descriptor at(openat(r.folder.Get(), (r.name + "/").c_str(), O_PATH | O_CLOEXEC), &CloseDescriptor, -1);
  errno = at || errno == ENOENT ? EISDIR : errno;
  return false;
}

// Where fs.protected_symlinks can refuse to follow a link (as the kernel
// decides it): another user's link in a sticky, world-writable folder,
// neither the writer's nor the folder owner's.
bool LinkProtectable(const struct stat& folder, const struct stat& link) {
  if (link.st_uid == geteuid() || link.st_uid == folder.st_uid) return false;
  return (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

// Has the kernel follow the link at the name as a shell's `>` would, open
// with O_CREAT, so that whether it may is the kernel's answer: the file it
// reaches (or makes, where the link dangled, as `>` would), or -1 with its
// reason. The walk goes on by the link's text and must come to that file.
int KernelFollow(const Replacement& r) {
  int fd =
      openat(r.folder.Get(), r.name.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
  // A FIFO without a reader: followed all the same.
  if (fd < 0 && errno == ENXIO) fd = openat(r.folder.Get(), r.name.c_str(), O_PATH | O_CLOEXEC);
  return fd;
}

bool ReadLink(int link, std::string& text) {
  char buffer[PATH_MAX];
  ssize_t length = readlinkat(link, "", buffer, sizeof buffer);
  if (length <= 0 || length == sizeof buffer) {
    if (length >= 0) errno = length == 0 ? ENOENT : ENAMETOOLONG;
    return false;
  }
  text.assign(buffer, static_cast<size_t>(length));
  return true;
}

// Where fs.protected_regular or fs.protected_fifos can refuse a file (as
// the kernel decides it for open(O_CREAT)): another user's regular file or
// FIFO in a sticky folder that others may write, neither the writer's nor
// the folder owner's. Whether they do is left to the kernel.
bool Protectable(const struct stat& folder, const struct stat& file) {
  if ((folder.st_mode & S_ISVTX) == 0 || !(S_ISREG(file.st_mode) || S_ISFIFO(file.st_mode))) return false;
  if (file.st_uid == folder.st_uid || file.st_uid == geteuid()) return false;
  return (folder.st_mode & (S_IWOTH | S_IWGRP)) != 0;
}

// Opens the file `found` describes to write; EAGAIN when the name came to
// hold another file meanwhile. A protectable file is opened with O_CREAT,
// so that the kernel applies its protections (should the name have gone
// meanwhile, the file so made is this writer's own, and the next look
// finds it).
int OpenFound(const Replacement& r, const struct stat& found) {
  struct stat folder;
  if (fstat(r.folder.Get(), &folder) != 0) return -1;
  const int flags = O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC | (Protectable(folder, found) ? O_CREAT : 0);
  int fd = openat(r.folder.Get(), r.name.c_str(), flags | O_NONBLOCK, 0600);
  if (fd < 0 && S_ISFIFO(found.st_mode) && errno == ENXIO)
    fd = openat(r.folder.Get(), r.name.c_str(), flags, 0600);
  if (fd < 0 && errno == ELOOP) errno = EAGAIN;  // a link came meanwhile
  if (fd < 0) return -1;
  struct stat now;
  if (fstat(fd, &now) == 0 && now.st_dev == found.st_dev && now.st_ino == found.st_ino) return fd;
  CloseDescriptor(fd);
  errno = EAGAIN;
  return -1;
}

// Opens the existing file at the folder and name, not a link, not a folder.
bool OpenExisting(Replacement& r, const struct stat& found, Descriptor& special) {
  if (S_ISDIR(found.st_mode)) {
    errno = EISDIR;
    return false;
  }
  Descriptor file(OpenFound(r, found), &CloseDescriptor, -1);
  if (!file) return false;
  if (S_ISREG(found.st_mode)) {
    r.target.Reset(file.Take());
    r.opened = found;
  } else {
    special.Reset(file.Take());
  }
  return true;
}

// Splits `rest` into its folder (empty for the current one) and its last
// name, trailing slashes cut off; true when there were some.
bool Split(const std::string& rest, std::string& where, std::string& name) {
  size_t end = rest.find_last_not_of('/');
  if (end == std::string::npos) end = 0;  // "/" itself: a folder
  size_t slash = rest.rfind('/', end);
  where = slash == std::string::npos ? std::string() : rest.substr(0, slash + 1);
  name = slash == std::string::npos ? rest.substr(0, end + 1) : rest.substr(slash + 1, end - slash);
  return end + 1 < rest.size();
}

// Takes the link at the name: the kernel's answer first where it may
// refuse, then its text, to walk on from.
bool Follow(const Replacement& r, int link, const struct stat& found, int links, Descriptor& followed,
            std::string& rest) {
  struct stat folder;
  if (links == 40) {
    errno = ELOOP;
    return false;
  }
  if (fstat(r.folder.Get(), &folder) != 0) return false;
  if (LinkProtectable(folder, found)) {
    followed.Reset(KernelFollow(r));
    if (!followed) return false;
  }
  return ReadLink(link, rest);
}

// True when the walk came to the file the kernel reached through a link
// (or there was none to check); else EAGAIN: a name changed meanwhile.
bool Reached(const Descriptor& followed, int fd) {
  struct stat kernel, walked;
  if (!followed || (fd >= 0 && fstat(followed.Get(), &kernel) == 0 && fstat(fd, &walked) == 0 &&
                    kernel.st_dev == walked.st_dev && kernel.st_ino == walked.st_ino)) {
    return true;
  }
  errno = EAGAIN;
  return false;
}

// One walk from the path's start, each folder opened by the kernel, each
// link taken by hand; false with EAGAIN when a name changed under it.
bool WalkOnce(const char* path, Replacement& r, Descriptor& special) {
  std::string rest = path, where;
  Descriptor from = NoDescriptor();      // the folder of the last link followed
  Descriptor followed = NoDescriptor();  // what the kernel reached through a link
  r.target.Reset(-1);
  special.Reset(-1);
  for (int links = 0;; ++links) {
    bool slash = Split(rest, where, r.name);
    if (!OpenFolder(from ? from.Get() : AT_FDCWD, where, r)) return false;
    if (r.name.empty() || r.name == "." || r.name == "..") {
      errno = EISDIR;
      return false;
    }
    if (slash) return RefuseTrailingSlash(r);
    Descriptor at(openat(r.folder.Get(), r.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC), &CloseDescriptor,
                  -1);
    // Nothing there yet: a new file goes there.
    if (!at) return errno == ENOENT && Reached(followed, -1);
    struct stat found;
    if (fstat(at.Get(), &found) != 0) return false;
    if (!S_ISLNK(found.st_mode)) {
      return OpenExisting(r, found, special) && Reached(followed, special ? special.Get() : r.target.Get());
    }
    if (!Follow(r, at.Get(), found, links, followed, rest)) return false;
    from.Reset(r.folder.Take());
  }
}

// Walks again while another writer's file, or anyone's, keeps taking the
// name between a look and an open.
bool Walk(const char* path, Replacement& r, Descriptor& special) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (WalkOnce(path, r, special)) return true;
    if (errno != EAGAIN) return false;
  }
  return false;
}

bool Resolve(const char* path, Replacement& r, Descriptor& special) {
  if (*path == '\0') {
    errno = ENOENT;
    return false;
  }
  return ThroughMagicLink(path) ? ResolveMagic(path, r, special) : Walk(path, r, special);
}

bool StillThere(const Replacement& r) {
  if (r.behindMagicLink) return true;  // no name: the file itself is written
  struct stat now;
  bool found = fstatat(r.folder.Get(), r.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
  if (r.target.Get() < 0) {
    if (!found) return errno == ENOENT;
    errno = EEXIST;
    return false;
  }
  if (found && now.st_dev == r.opened.st_dev && now.st_ino == r.opened.st_ino) return true;
  errno = EAGAIN;
  return false;
}

}  // namespace zelshared_detail
