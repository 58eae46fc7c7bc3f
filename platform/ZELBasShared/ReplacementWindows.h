// The state of one write that replaces a file on Windows, and the steps
// that Fopen and Fclose take on it, each in its own source named as its
// Linux counterpart: where the target is (ResolveWindows.cpp), the new file
// (TemporaryWindows.cpp), what killed writers left (LeftoversWindows.cpp),
// what the new file inherits (InheritWindows.cpp), taking the target's
// place (ReplaceWindows.cpp) and writing over the target where no new file
// can take its place (OverwriteWindows.cpp).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "ZELBasScopeOwner.h"

namespace zelshared_detail {

inline void CloseOwnedHandle(HANDLE handle) { CloseHandle(handle); }

// An open handle, closed when its owner goes.
using Handle = ZELBasScopeOwner<HANDLE, void (*)(HANDLE)>;
inline Handle OwnHandle(HANDLE handle) { return Handle(handle, &CloseOwnedHandle, INVALID_HANDLE_VALUE); }

// A stream that replaces a file, from Fopen to Fclose.
struct Replacement {
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement() { LocalFree(security); }

  FILE* stream = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;             // the stream's: the new file, or an in-place write's spool
  std::wstring temp;                              // the new file's path; empty for an in-place write
  std::wstring path;                              // the target's path
  DWORD attributes = 0;                           // the target's, for the new file; 0 for a new target
  bool existed = false;                           // whether the target existed at the open
  bool discarded = false;                         // Fdiscard: nothing is put in place
  DWORD volume = 0, indexHigh = 0, indexLow = 0;  // the target's file ID at the open
  PSECURITY_DESCRIPTOR security = nullptr;        // the target's owner, group and DACL, to copy
  SECURITY_INFORMATION parts = 0;                 // which of them
};

// FileOpsWindows.cpp: the errno for a Windows error.
int ErrnoOf(DWORD error);
// FileOpsWindows.cpp: null with errno set from the system's last error.
FILE* Failed();

// The text a Windows call writes into a buffer of the size given, growing
// the buffer once when the call asks for more; empty on failure.
template <class Call>
std::wstring Grown(Call call) {
  std::wstring text(MAX_PATH, L'\0');
  DWORD length = call(&text[0], MAX_PATH);
  if (length >= MAX_PATH) {
    text.resize(length);
    length = call(&text[0], length);
  }
  text.resize(length < text.size() ? length : 0);
  return text;
}

// ResolveWindows.cpp: opens the target to write, if it exists, with the
// right to read its security where that is given (`readable`); where it
// does not, `path` becomes where a dangling link leads. Invalid with the
// last error set when the target cannot be written.
HANDLE OpenTarget(std::wstring& path, bool& readable);
// ResolveWindows.cpp: the full path of the open file `target` (through
// links, to the file they name) or else of `path`, without a length limit.
std::wstring FullPath(HANDLE target, const std::wstring& path);
// ResolveWindows.cpp: the target's name holds the file first opened (or
// still none); else false with ERROR_RETRY (ERROR_ALREADY_EXISTS).
bool StillThere(const Replacement& r);

// TemporaryWindows.cpp: the new files' names for the target at `path`: its
// folder, a dot, the name cut to 200 characters and a dot.
std::wstring TemporaryPrefix(const std::wstring& path);
// TemporaryWindows.cpp: the new file beside the target, marked for deletion
// while it is written; invalid when none can be made there.
HANDLE CreateTemporary(Replacement& r);
// TemporaryWindows.cpp: a file of the user's own, gone with its handle,
// that gathers the text of an in-place write.
HANDLE CreateSpool(Replacement& r);
// TemporaryWindows.cpp: marks the new file for deletion when its last
// handle closes, or clears the mark.
bool Forget(HANDLE file, bool remove = true);

// LeftoversWindows.cpp: removes the new files of a target that killed
// writers left.
void RemoveLeftovers(const std::wstring& prefix);

// InheritWindows.cpp: reads from the open target what the new file takes:
// its file ID, attributes, and owner, group and access list where
// `readable`.
bool ReadInheritance(Replacement& r, HANDLE target, bool readable);
// InheritWindows.cpp: gives the new file the target's attributes.
bool InheritAttributes(const Replacement& r);
// InheritWindows.cpp: gives the new file, once in the target's place, the
// target's owner, group and access list, as far as this process may.
void InheritSecurity(const Replacement& r);

// ReplaceWindows.cpp: puts the finished new file in the target's place.
bool Replace(Replacement& r);

// OverwriteWindows.cpp: copies the gathered text over the target, while no
// other writer has it open to write.
bool Overwrite(const Replacement& r);

}  // namespace zelshared_detail
