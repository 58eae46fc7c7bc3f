// Where a write goes: the folder of the file a path names and the file
// itself, found one step at a time as the kernel would for a shell's `>`,
// the protections of sticky folders (fs.protected_symlinks,
// fs.protected_regular, fs.protected_fifos) applied by hand where the
// kernel does not see the step. Everything decided about the file is read
// from the file opened, never again from its name.
#include <fcntl.h>
#include <linux/limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "Replacement.h"

namespace zelshared_detail {

// The level of a protection, as /proc/sys/fs shows it; the strictest when
// it cannot be read.
int Protection(const char* name, int strictest) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/sys/fs/protected_%s", name);
  int level = strictest;
  if (FILE* file = std::fopen(path, "re")) {
    if (std::fscanf(file, "%d", &level) != 1) level = strictest;
    std::fclose(file);
  }
  return level;
}

// A link in `folder` is followed only when its owner is the writer or the
// folder's owner, or the folder is not both sticky and world-writable.
bool MayFollow(const struct stat& folder, const struct stat& link) {
  if (link.st_uid == geteuid() || link.st_uid == folder.st_uid) return true;
  if ((folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
  return Protection("symlinks", 1) == 0;
}

// A regular file or FIFO of another user in a sticky folder that others
// may write (world-writable; at level 2 group-writable too) is not opened
// to write, as an open that may create it would not be.
bool MayOpen(const struct stat& folder, const struct stat& file) {
  if ((folder.st_mode & S_ISVTX) == 0 || file.st_uid == geteuid() || file.st_uid == folder.st_uid)
    return true;
  if (!S_ISREG(file.st_mode) && !S_ISFIFO(file.st_mode)) return true;
  if ((folder.st_mode & (S_IWOTH | S_IWGRP)) == 0) return true;
  int level = Protection(S_ISREG(file.st_mode) ? "regular" : "fifos", 2);
  return level == 0 || (level == 1 && (folder.st_mode & S_IWOTH) == 0);
}

// Opens `name` in the folder to write, and checks that it is the file
// `found` described; a FIFO without a reader is waited on as fopen would.
int OpenFound(int folder, const char* name, const struct stat& found) {
  const int flags = O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(folder, name, flags | O_NONBLOCK);
  if (fd < 0 && S_ISFIFO(found.st_mode) && errno == ENXIO) fd = openat(folder, name, flags);
  if (fd < 0 && errno == ELOOP) errno = EAGAIN;  // a link came meanwhile
  if (fd < 0) return -1;
  struct stat now;
  if (fstat(fd, &now) == 0 && now.st_dev == found.st_dev && now.st_ino == found.st_ino) return fd;
  CloseDescriptor(fd);
  errno = EAGAIN;
  return -1;
}

bool Resolve(const char* path, Replacement& r, Descriptor& special) {
  std::string rest = path;
  int replaced = 0;  // times the file was replaced between its lookup and its open
  for (int links = 0;; ++links) {
    size_t slash = rest.rfind('/');
    std::string where = slash == std::string::npos ? std::string(".") : rest.substr(0, slash + 1);
    // A link's text is read relative to the folder that holds the link.
    int from = r.folder.Get() >= 0 ? r.folder.Get() : AT_FDCWD;
    int fd = openat(from, where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder that can be searched but not read is opened for lookups only.
    if (fd < 0 && errno == EACCES) fd = openat(from, where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    r.folder.Reset(fd);
    r.name = rest.substr(slash + 1);
    struct stat folder, found;
    if (r.name.empty() || r.name == "." || r.name == "..") {
      errno = EISDIR;
      return false;
    }
    // The name's own file, a link not followed: what is checked is what is
    // used.
    Descriptor at(openat(r.folder.Get(), r.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC), &CloseDescriptor,
                  -1);
    if (!at) return errno == ENOENT;  // nothing there yet: a new file goes there
    if (fstat(r.folder.Get(), &folder) != 0 || fstat(at.Get(), &found) != 0) return false;
    if (S_ISLNK(found.st_mode)) {
      char link[PATH_MAX];
      ssize_t length = readlinkat(at.Get(), "", link, sizeof link);
      if (length < 0) return false;
      if (!MayFollow(folder, found) || links == 40 || length == sizeof link || length == 0) {
        errno = !MayFollow(folder, found) ? EACCES
                : links == 40             ? ELOOP
                : length == 0             ? ENOENT
                                          : ENAMETOOLONG;
        return false;
      }
      rest.assign(link, static_cast<size_t>(length));
      continue;
    }
    if (S_ISDIR(found.st_mode) || !MayOpen(folder, found)) {
      errno = S_ISDIR(found.st_mode) ? EISDIR : EACCES;
      return false;
    }
    fd = OpenFound(r.folder.Get(), r.name.c_str(), found);
    if (fd < 0 && errno == EAGAIN && ++replaced < 100) {
      --links;  // another writer's file took the name: look again
      continue;
    }
    if (fd < 0) return false;
    if (!S_ISREG(found.st_mode)) {
      special.Reset(fd);
      return true;
    }
    r.target.Reset(fd);
    r.opened = found;
    return true;
  }
}

bool StillThere(const Replacement& r) {
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
