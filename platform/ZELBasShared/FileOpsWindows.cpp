// File access on Windows. Names arrive as UTF-8 and go to the system as
// UTF-16; every stream is binary, so text is written byte for byte as on
// other systems. A stream opened to write a regular file writes to a new
// file beside it (TemporaryWindows.cpp), which takes the target's place in
// Fclose (ReplaceWindows.cpp) once everything is written and on disk and
// the target's name still holds the file first opened: a failed write never
// leaves the target half-written.
//
// The C runtime here has no streams with a close hook of their own, so the
// streams that replace a file are remembered until Fclose finishes them.
#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "ReplacementWindows.h"
#include "ZELBasShared.h"

namespace zelshared_detail {

namespace {

std::mutex registryLock;  // guards both below
std::vector<Replacement*> replacing;
size_t writeBudget = SIZE_MAX;  // bytes left before writes fail (tests)

bool Wide(const char* utf8, std::wstring& wide) {
  int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (size <= 0) return false;
  wide.resize(static_cast<size_t>(size));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], size);
  wide.resize(static_cast<size_t>(size) - 1);
  return true;
}

// A binary C stream that owns `handle`; closes it on failure.
FILE* StreamOn(HANDLE handle, int flags, const char* mode) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE* stream = _fdopen(fd, mode);
  if (stream == nullptr) _close(fd);
  return stream;
}

// Gives the new file to a stream and remembers the stream until Fclose.
FILE* Remember(std::unique_ptr<Replacement> r, Handle& file) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_RDWR | _O_BINARY);
  if (fd >= 0) {
    r->file = file.Take();  // the descriptor's now
    r->stream = _fdopen(fd, "wb");
  }
  if (r->stream == nullptr) {
    Forget(fd >= 0 ? r->file : file.Get());
    if (fd >= 0) _close(fd);
    errno = ENOMEM;
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(registryLock);
  replacing.push_back(r.get());
  return r.release()->stream;
}

FILE* OpenReplacement(std::wstring path) {
  bool readable = false;
  Handle target(OwnHandle(OpenTarget(path, readable)));
  if (!target && GetLastError() != ERROR_FILE_NOT_FOUND) return Failed();
  // Devices and pipes are written in place.
  if (target && GetFileType(target.Get()) != FILE_TYPE_DISK) return StreamOn(target.Take(), _O_WRONLY, "wb");
  std::unique_ptr<Replacement> r(new (std::nothrow) Replacement());
  if (r == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  if (target && !ReadInheritance(*r, target.Get(), readable)) return Failed();
  // The new file goes into the folder of the file a link names.
  r->path = FullPath(target.Get(), path);
  if (r->path.empty()) return Failed();
  Handle file(OwnHandle(CreateTemporary(*r)));
  // No new file beside the target, but the target may be written: the text
  // is gathered in a file of the user's own and written in place by Fclose.
  if (!file && target) file.Reset(CreateSpool(*r));
  if (!file) return Failed();
  return Remember(std::move(r), file);
}

// The replacing stream's state, taken out of the registry; null for another
// stream.
Replacement* Take(FILE* stream) {
  std::lock_guard<std::mutex> guard(registryLock);
  for (size_t i = 0; i < replacing.size(); ++i) {
    Replacement* r = replacing[i];
    if (r->stream != stream) continue;
    replacing.erase(replacing.begin() + static_cast<ptrdiff_t>(i));
    return r;
  }
  return nullptr;
}

// Takes `size` bytes from the test budget; false when they exceed it.
bool TakeBudget(uint64_t size) {
  std::lock_guard<std::mutex> guard(registryLock);
  if (writeBudget == SIZE_MAX) return true;
  bool enough = size <= writeBudget;
  writeBudget = enough ? writeBudget - static_cast<size_t>(size) : 0;
  if (!enough) SetLastError(ERROR_WRITE_FAULT);
  return enough;
}

// Puts the finished text in place; the error reported is the first one: a
// failed write's own.
int Finish(std::unique_ptr<Replacement> r) {
  LARGE_INTEGER size;
  int writeError = r->discarded ? ECANCELED : std::fflush(r->stream) == 0 ? 0 : errno;
  bool ok = writeError == 0 && GetFileSizeEx(r->file, &size) &&
            TakeBudget(static_cast<uint64_t>(size.QuadPart)) &&
            (r->temp.empty() ? Overwrite(*r) : Replace(*r));
  DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  if (std::fclose(r->stream) != 0 && ok) {
    ok = false;
    writeError = errno;
  }
  if (ok) return 0;
  errno = writeError != 0 ? writeError : error != ERROR_SUCCESS ? ErrnoOf(error) : EIO;
  return EOF;
}

}  // namespace

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_RETRY:  // the name came to hold another file
      return EAGAIN;
    case ERROR_CANT_RESOLVE_FILENAME:  // links without end
      return ELOOP;
    case ERROR_DIRECTORY:  // a folder's name
      return EISDIR;
    default:
      return EIO;
  }
}

FILE* Failed() {
  errno = ErrnoOf(GetLastError());
  return nullptr;
}

}  // namespace zelshared_detail

using namespace zelshared_detail;

FILE* ZELBasFileOps::Fopen(const ZELString& fileName, const char* mode) {
  std::wstring path;
  if (!Wide(fileName.CastToCharPtr(), path)) {
    errno = EINVAL;
    return nullptr;
  }
  // Binary whatever the mode asks: "t" dropped, "b" added.
  std::wstring binary;
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c != 't' && *c != 'b') binary += static_cast<wchar_t>(*c);
  }
  if (binary == L"w") return OpenReplacement(path);
  binary += L'b';
  // The C runtime opens no folder.
  return _wfopen(path.c_str(), binary.c_str());
}

int ZELBasFileOps::Fclose(FILE* stream) {
  std::unique_ptr<Replacement> r(Take(stream));
  return r == nullptr ? std::fclose(stream) : Finish(std::move(r));
}

int ZELBasFileOps::Fdiscard(FILE* stream) {
  std::unique_ptr<Replacement> r(Take(stream));
  if (r == nullptr) return std::fclose(stream);
  r->discarded = true;
  return Finish(std::move(r));
}

void ZELBasShared_FailWritesAfter(size_t bytes) {
  std::lock_guard<std::mutex> guard(registryLock);
  writeBudget = bytes;
}
