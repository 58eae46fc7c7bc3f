// What the new file takes from the file it replaces, read from that file as
// it is at the close: owner and group (or the write goes in place, as the
// kernel's open would have written it, where they cannot be kept),
// extended attributes (with them ACLs and security labels) and mode, less
// what a write takes away. A file new to its folder has what open(O_CREAT)
// gives: the kernel gave it that when it was made unnamed; a named one is
// given it here.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Replacement.h"

namespace zelshared_detail {

// The umask, read where the system shows it: setting it to read it back
// would change it for other threads meanwhile, which only happens without
// /proc.
mode_t Umask() {
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
  return static_cast<mode_t>(mask);
}

// The permission bits a folder's default ACL gives a file made with 0666,
// as the kernel masks it (the owner, the group class, the others); false
// when the folder has none. The ACL is read as the kernel stores it: a
// version word, then entries of a tag, a permission and an id.
bool DefaultAclMode(const Replacement& r, mode_t& mode) {
  Descriptor folder(openat(r.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), &CloseDescriptor, -1);
  unsigned char acl[4 + 8 * 64];
  ssize_t size = folder ? fgetxattr(folder.Get(), "system.posix_acl_default", acl, sizeof acl) : -1;
  if (size < 4) return false;
  unsigned owner = 0, group = 0, mask = 8, other = 0;  // 8: no mask entry
  for (ssize_t at = 4; at + 8 <= size; at += 8) {
    unsigned tag = acl[at] | acl[at + 1] << 8, permission = acl[at + 2] & 7u;
    if (tag == 0x01) owner = permission;
    if (tag == 0x04) group = permission;
    if (tag == 0x10) mask = permission;
    if (tag == 0x20) other = permission;
  }
  mode = static_cast<mode_t>((owner << 6 | (mask == 8 ? group : mask) << 3 | other) & 0666);
  return true;
}

// A named new file was made 0600; the kernel applied the folder's default
// ACL to that, and chmod applies the rest to the ACL's mask and others.
bool NewFileMode(Replacement& r) {
  mode_t mode = 0;
  if (!DefaultAclMode(r, mode)) mode = 0666 & ~Umask();
  return fchmod(r.temp.Get(), mode) == 0;
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
  if (r.target.Get() < 0) return r.kernelMode || NewFileMode(r);
  struct stat old;
  // EPERM when the owner or group is not ours to give away.
  if (fstat(r.target.Get(), &old) != 0 || fchown(r.temp.Get(), old.st_uid, old.st_gid) != 0) return false;
  // After the owner, whose change clears a file's capabilities.
  if (!CopyAttributes(r.target.Get(), r.temp.Get()) || fchmod(r.temp.Get(), old.st_mode & 07777) != 0) {
    return false;
  }
  // A write takes the set-user-ID and set-group-ID bits away unless the
  // writer may keep them; so does a truncate, to the same length here.
  return (old.st_mode & (S_ISUID | S_ISGID)) == 0 ||
         ftruncate(r.temp.Get(), static_cast<off_t>(r.length)) == 0;
}

}  // namespace zelshared_detail
