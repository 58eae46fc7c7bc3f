// The new file a replacing write fills: private to the writer, unnamed where
// the file system allows, and otherwise under an unpredictable name created
// exclusively. A new file is locked (an open-file-description lock, which
// the kernel drops when its process dies) for as long as it lives, so that
// named ones left by killed writers are told from live ones and removed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Replacement.h"

namespace zelshared_detail {

// Takes the new file's lock; false with EAGAIN when another process has
// it (a cleaner that found the name first). A file system without locks
// goes without.
bool Lock(int fd) {
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &whole) == 0) return true;
  return errno != EAGAIN && errno != EACCES;
}

// The prefix of the new files' names for a target: the name cut to 200
// bytes, so that the suffix fits in a file name.
int Prefix(const Replacement& r, char* out, size_t size) {
  return std::snprintf(out, size, ".%.200s.", r.name.c_str());
}

// True for a name made by UnderNewName for this target.
bool LeftoverName(const Replacement& r, const char* name) {
  char prefix[NAME_MAX + 1];
  size_t length = static_cast<size_t>(Prefix(r, prefix, sizeof prefix));
  if (std::strncmp(name, prefix, length) != 0 || std::strlen(name) != length + 20) return false;
  for (size_t i = length; i < length + 16; ++i) {
    if (std::strchr("0123456789abcdef", name[i]) == nullptr) return false;
  }
  return std::strcmp(name + length + 16, ".tmp") == 0;
}

// Removes the new files of this target that killed writers left: the
// writer's own regular files under such names that no process holds
// locked. Taking the lock makes a file ours to remove.
void RemoveLeftovers(const Replacement& r) {
  int fd = openat(r.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* folder = fd >= 0 ? fdopendir(fd) : nullptr;
  if (folder == nullptr) {
    if (fd >= 0) CloseDescriptor(fd);
    return;
  }
  int error = errno;
  while (const dirent* entry = readdir(folder)) {
    if (!LeftoverName(r, entry->d_name)) continue;
    Descriptor file(openat(r.folder.Get(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC),
                    &CloseDescriptor, -1);
    struct stat info, named;
    struct flock whole = {};
    whole.l_type = F_RDLCK;  // held by no writer, or the writer's lock would stand in its way
    whole.l_whence = SEEK_SET;
    // Still under that name once locked: its writer may have renamed it
    // into place and let it go meanwhile.
    if (file && fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
        fcntl(file.Get(), F_OFD_SETLK, &whole) == 0 &&
        fstatat(r.folder.Get(), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_ino == info.st_ino && named.st_dev == info.st_dev) {
      unlinkat(r.folder.Get(), entry->d_name, 0);
    }
  }
  closedir(folder);
  errno = error;
}

// Runs `make` under fresh unpredictable names beside the target, as long as
// the name is taken (EEXIST); a name planted there is never used.
template <class Make>
bool UnderNewName(Replacement& r, Make make) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t random;
    ssize_t got;
    while ((got = getrandom(&random, sizeof random, 0)) < 0 && errno == EINTR) {
    }
    if (got != sizeof random) return false;
    int length = Prefix(r, r.tempName, sizeof r.tempName);
    std::snprintf(r.tempName + length, sizeof r.tempName - static_cast<size_t>(length), "%016llx.tmp",
                  static_cast<unsigned long long>(random));
    if (make()) return true;
    if (errno != EEXIST) break;
  }
  r.tempName[0] = '\0';
  return false;
}

bool CreateTemporary(Replacement& r) {
  RemoveLeftovers(r);
#if defined(O_TMPFILE)
  r.temp.Reset(openat(r.folder.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (r.temp && Lock(r.temp.Get())) return true;
#endif
  return UnderNewName(r, [&r] {
    r.temp.Reset(
        openat(r.folder.Get(), r.tempName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!r.temp) return false;
    // A cleaner may take it between its creation and the lock, and remove
    // it: ours once locked and still named.
    struct stat made, named;
    if (Lock(r.temp.Get()) && fstat(r.temp.Get(), &made) == 0 &&
        fstatat(r.folder.Get(), r.tempName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        made.st_ino == named.st_ino && made.st_dev == named.st_dev) {
      return true;
    }
    r.temp.Reset(-1);
    errno = EEXIST;
    return false;
  });
}

bool LinkAs(Replacement& r, const char* name) {
  if (linkat(r.temp.Get(), "", r.folder.Get(), name, AT_EMPTY_PATH) == 0) return true;
  if (errno != ENOENT) return false;
  // Without the right to link by descriptor: through its name in /proc.
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", r.temp.Get());
  return linkat(AT_FDCWD, self, r.folder.Get(), name, AT_SYMLINK_FOLLOW) == 0;
}

bool Link(Replacement& r) {
  return UnderNewName(r, [&r] { return LinkAs(r, r.tempName); });
}

void Unname(Replacement& r) {
  if (r.tempName[0] == '\0') return;
  int error = errno;
  unlinkat(r.folder.Get(), r.tempName, 0);
  r.tempName[0] = '\0';
  errno = error;
}

}  // namespace zelshared_detail
