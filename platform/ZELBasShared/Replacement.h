// The state of one write that replaces a file on Linux, and the steps that
// the stream's open and close take on it, each in its own source: where the
// target is (Resolve.cpp), the new file (Temporary.cpp), what it inherits
// (Inherit.cpp), taking the target's place (Replace.cpp) and writing over
// the target where no new file can take its place (Overwrite.cpp).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <string>

#include "ZELBasScopeOwner.h"

namespace zelshared_detail {

// Closes a descriptor, keeping errno: the cause of a failure survives the
// clean-up after it.
void CloseDescriptor(int fd);

// An open file descriptor, closed when its owner goes.
using Descriptor = ZELBasScopeOwner<int, void (*)(int)>;
inline Descriptor NoDescriptor() { return Descriptor(-1, &CloseDescriptor, -1); }

// One write that replaces a file: the target (if it exists) held open, its
// folder and name, and the new file, unnamed while it is written where the
// file system allows. When no new file can be made beside the target, the
// text is kept in memory and written over the target at the close.
struct Replacement {
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  // Removes a new file that never took the target's place.
  ~Replacement();

  Descriptor folder = NoDescriptor(), target = NoDescriptor(), temp = NoDescriptor();
  std::string name;                  // the target's name in its folder
  struct stat opened = {};           // the target as first opened
  char tempName[NAME_MAX + 1] = "";  // the new file's name while it has one
  mode_t newMode = 0;                // for a new file
  bool failed = false;
  int error = 0;           // why it failed
  size_t length = 0;       // bytes written so far
  char* memory = nullptr;  // the text, when kept in memory
  size_t room = 0;
};

// FileOps.cpp: writes all of `size` bytes, as long as the file takes some.
bool WriteAll(int fd, const char* bytes, size_t size);

// Resolve.cpp: opens the folder of `path`'s file and the file itself, if
// it exists, as the kernel would for a shell's `>`, its protections in
// sticky folders included. The file is opened to write without blocking
// and without following a link; a special file is handed back in `special`
// instead of being held in `r`.
bool Resolve(const char* path, Replacement& r, Descriptor& special);

// Resolve.cpp: false with errno EAGAIN when the name no longer holds the
// file opened (or EEXIST when a file came where there was none).
bool StillThere(const Replacement& r);

// Temporary.cpp: the new file, readable and writable by this process only,
// locked while it lives; unnamed where the file system allows. Removes what
// killed writers of the same target left.
bool CreateTemporary(Replacement& r);
// Temporary.cpp: gives the finished unnamed file an unpredictable name
// beside the target.
bool Link(Replacement& r);
// Temporary.cpp: gives the unnamed file `name` in the target's folder.
bool LinkAs(Replacement& r, const char* name);
// Temporary.cpp: removes the new file's name, if it has one.
void Unname(Replacement& r);

// Inherit.cpp: gives the new file the owner, group, attributes and mode the
// target has now; a new file gets fopen's mode.
bool Inherit(Replacement& r);
// Inherit.cpp: 0666 less the umask.
mode_t NewFileMode();

// Replace.cpp: puts the finished new file in the target's place.
bool Replace(Replacement& r);

// Overwrite.cpp: writes the whole text over the target, which keeps its
// inode, once the name is seen to still hold it and room for the whole text
// is reserved.
bool Overwrite(Replacement& r);

}  // namespace zelshared_detail
