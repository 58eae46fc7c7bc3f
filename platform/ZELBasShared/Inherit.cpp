// What the new file takes from the file it replaces: owner, group,
// extended attributes (with them ACLs and security labels) and mode, read
// from the replaced file as it is at the close; a file new to its folder
// gets fopen's mode.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Replacement.h"

namespace zelshared_detail {

// The umask is read where the system shows it: setting it to read it back
// would change it for other threads meanwhile, which only happens without
// /proc, and then to the strictest mask.
mode_t NewFileMode() {
  unsigned mask = 0;
  bool known = false;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (!known && std::fgets(line, sizeof line, status) != nullptr) {
      known = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
  }
  if (!known) {
    mask = umask(077);
    umask(static_cast<mode_t>(mask));
  }
  return 0666 & ~static_cast<mode_t>(mask);
}

// Those of the security and trusted namespaces that this process may not
// set are left out, and so are those it may not read; any other that
// cannot be copied fails the write.
bool CopyAttributes(int from, int to) {
  ssize_t listed = flistxattr(from, nullptr, 0);
  if (listed <= 0) return listed == 0 || errno == ENOTSUP;
  char* names = static_cast<char*>(std::malloc(XATTR_LIST_MAX + XATTR_SIZE_MAX));
  if (names == nullptr) return false;
  char* value = names + XATTR_LIST_MAX;
  listed = flistxattr(from, names, XATTR_LIST_MAX);
  bool ok = listed >= 0;
  for (char* name = names; ok && name < names + listed; name += std::strlen(name) + 1) {
    ssize_t size = fgetxattr(from, name, value, XATTR_SIZE_MAX);
    if (size < 0) {
      ok = errno == ENODATA || errno == EACCES;  // gone meanwhile, or not ours to read
    } else if (fsetxattr(to, name, value, static_cast<size_t>(size), 0) != 0) {
      ok = (errno == EPERM || errno == ENOTSUP) &&
           (std::strncmp(name, "security.", 9) == 0 || std::strncmp(name, "trusted.", 8) == 0);
    }
  }
  int error = errno;
  std::free(names);
  errno = error;
  return ok;
}

bool Inherit(Replacement& r) {
  if (r.target.Get() < 0) return fchmod(r.temp.Get(), r.newMode) == 0;
  struct stat old;
  if (fstat(r.target.Get(), &old) != 0) return false;
  mode_t mode = old.st_mode & 07777;
  if (fchown(r.temp.Get(), old.st_uid, old.st_gid) != 0) {
    // Not ours to give away: the file stays ours, without the set-user-ID
    // bit, and grants nothing to a group other than the old one.
    mode &= ~S_ISUID;
    if (fchown(r.temp.Get(), static_cast<uid_t>(-1), old.st_gid) != 0) mode &= ~(S_ISGID | S_IRWXG);
  }
  // After the owner, whose change clears a file's capabilities.
  return CopyAttributes(r.target.Get(), r.temp.Get()) && fchmod(r.temp.Get(), mode) == 0;
}

}  // namespace zelshared_detail
