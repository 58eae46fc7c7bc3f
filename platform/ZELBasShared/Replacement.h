// The state of one write that replaces a file on Linux, and the steps that
// the stream's open and close take on it, each in its own source: where the
// target is (Resolve.cpp), the new file (Temporary.cpp), what killed writers
// left (Leftovers.cpp), what the new file inherits (Inherit.cpp), the mark
// that tells another writer's file from a stranger's (CoWriters.cpp), taking
// the target's place (Replace.cpp) and writing over the target where no new
// file can take its place (Overwrite.cpp).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <cstdint>
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
// file system allows. A target written in place has its text gathered in a
// new file first (beside it, or a spool elsewhere) and copied over it at the
// close.
struct Replacement {
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  // Removes a new file that never took the target's place.
  ~Replacement();

  Descriptor folder = NoDescriptor();  // opened for lookups only (O_PATH)
  Descriptor target = NoDescriptor();  // opened to write
  Descriptor temp = NoDescriptor();
  std::string name;                  // the target's name in its folder
  struct stat opened = {};           // the target as first opened
  char tempName[NAME_MAX + 1] = "";  // the new file's name while it has one
  bool inPlace = false;              // written over the target at the close
  bool behindMagicLink = false;      // reached through /proc: it has no folder
  bool kernelMode = false;           // a new file whose mode the kernel gave
  uint64_t began = 0;                // when the write began (CoWriters.cpp)
  bool failed = false;
  int error = 0;      // why it failed
  size_t length = 0;  // bytes written so far
};

// FileOps.cpp: writes all of `size` bytes, as long as the file takes some.
bool WriteAll(int fd, const char* bytes, size_t size);

// Resolve.cpp: openat2, which the C library may not offer yet.
int OpenAt2(int from, const char* path, uint64_t flags, uint64_t resolve);

// Resolve.cpp: opens the folder of `path`'s file and the file itself, if it
// exists, leaving the kernel to apply its own rules (links, magic links and
// the protections of sticky folders) as it does for a shell's `>`. The file
// is opened to write without blocking; a special file is handed back in
// `special` instead of being held in `r`; a regular file behind a magic link
// is held to be written in place.
bool Resolve(const char* path, Replacement& r, Descriptor& special);

// Resolve.cpp: false with errno EAGAIN when the name no longer holds the
// file opened (or EEXIST when a file came where there was none).
bool StillThere(const Replacement& r);

// Temporary.cpp: the new file beside the target, unnamed where the file
// system allows, else under an unpredictable name, locked while it lives.
// A file new to its folder is made as open(O_CREAT) would make it (its
// folder's default ACL, or the umask); one that replaces a file is private
// until it inherits.
bool CreateTemporary(Replacement& r);
// Temporary.cpp: an unnamed file outside the target's folder that gathers
// the text of an in-place write.
bool CreateSpool(Replacement& r);
// Temporary.cpp: gives the unnamed file `name` in the target's folder.
bool LinkAs(const Replacement& r, const char* name);
// Temporary.cpp: puts the unnamed new file at the target's name in one
// step of a child process, which a kill of this one cannot stop half-way:
// linked under a fresh name and renamed over the target (RenameOver), so
// that no name is left if this process dies in between.
bool LinkOver(Replacement& r);
// Temporary.cpp: runs `make` under fresh unpredictable names beside the
// target, setting r.tempName, as long as the name is taken.
bool UnderNewName(Replacement& r, bool (*make)(Replacement&));
// Temporary.cpp: removes the new file's name, if it has one.
void Unname(Replacement& r);

// Leftovers.cpp: removes some of the named new files that killed writers of
// the same target left, never more than a bounded part of the folder per
// call.
void RemoveLeftovers(const Replacement& r);
// Leftovers.cpp: true for a name made by UnderNewName for this target.
bool LeftoverName(const Replacement& r, const char* name);
// Leftovers.cpp: the prefix of the new files' names for a target.
int LeftoverPrefix(const Replacement& r, char* out, size_t size);

// Inherit.cpp: gives the new file the owner, group, attributes and mode the
// target has now (failing with EPERM where the owner cannot be kept), and
// takes its set-user-ID and set-group-ID bits away as a write would; a new
// file gets what open(O_CREAT) would give.
bool Inherit(Replacement& r);

// CoWriters.cpp: when the write began, for the mark.
uint64_t Now();
// CoWriters.cpp: marks the finished new file as this module's writers do,
// as about to replace `replaced` (null: nothing).
bool Mark(const Replacement& r, const struct stat* replaced);
// CoWriters.cpp: true when the target's name holds a file another writer of
// this module put there while this write ran; `seen`, what a look at the
// name found, becomes the file the name holds now. Keeps errno.
bool CoWriterThere(const Replacement& r, struct stat& seen);

// Replace.cpp: puts the finished new file in the target's place, or writes
// it over the target where it cannot take the place.
bool Replace(Replacement& r);
// Replace.cpp: renames the named new file over the target's name, when that
// holds the file opened or a co-writer's.
bool RenameOver(Replacement& r);

// Overwrite.cpp: copies the new file over the target, which keeps its inode,
// while no other in-place writer of it runs, once the name is seen to still
// hold it and room for the whole text is there.
bool Overwrite(Replacement& r);

}  // namespace zelshared_detail
