// File access on Windows. Names arrive as UTF-8 and go to the system as
// UTF-16; every stream is binary, so text is written byte for byte as on other
// systems. A stream opened to write a regular file writes to a new file
// beside it, marked for deletion while it is written (so a killed writer
// leaves nothing, or at worst a file the next write of that target
// removes), which takes the target's place in Fclose, renamed
// through its own handle, once everything is written and on disk and the
// target's name still holds the file first opened: a failed write never
// leaves the target half-written.
//
// The C runtime here has no streams with a close hook of their own, so the
// streams that replace a file are remembered until Fclose finishes them.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "ZELBasShared.h"

namespace zelshared_detail {

// Owns a handle: closes it unless released.
class Handle {
public:
  explicit Handle(HANDLE opened = INVALID_HANDLE_VALUE) : handle(opened) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(INVALID_HANDLE_VALUE); }

  bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle; }
  HANDLE Release() {
    HANDLE released = handle;
    handle = INVALID_HANDLE_VALUE;
    return released;
  }
  void Reset(HANDLE opened) {
    if (Valid()) CloseHandle(handle);
    handle = opened;
  }

private:
  HANDLE handle;
};

// A stream that replaces a file, from Fopen to Fclose.
struct Replacement {
  FILE* stream = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;  // the new file, or the buffer of an in-place write; the stream's
  Handle target;                       // an in-place write's target
  std::wstring temp;                   // the new file's path; empty for an in-place write
  std::wstring path;                   // the target's path
  DWORD attributes = 0;                // the target's, for the new file; 0 for a new target
  bool existed = false;                // whether the target existed at the open
  DWORD volume = 0, indexHigh = 0, indexLow = 0;  // the target's file ID at the open
  PSECURITY_DESCRIPTOR security = nullptr;        // the target's owner, group and DACL, to copy
  SECURITY_INFORMATION parts = 0;                 // which of them
  ~Replacement() { LocalFree(security); }
};

std::mutex registryLock;  // guards both below
std::vector<Replacement*> replacing;
size_t writeBudget = SIZE_MAX;  // bytes left before writes fail (tests)

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
    default:
      return EIO;
  }
}

// Null with errno set from the system's last error.
FILE* Failed() {
  errno = ErrnoOf(GetLastError());
  return nullptr;
}

bool Wide(const char* utf8, std::wstring& wide) {
  int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (size <= 0) return false;
  wide.resize(static_cast<size_t>(size));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], size);
  wide.resize(static_cast<size_t>(size) - 1);
  return true;
}

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

// The full path of the open file `target` (through links, to the file they
// name) or else of `path`, in the form without a length limit.
std::wstring FullPath(HANDLE target, const std::wstring& path) {
  std::wstring full;
  if (target != INVALID_HANDLE_VALUE) {
    full = Grown([target](wchar_t* buffer, DWORD size) {
      return GetFinalPathNameByHandleW(target, buffer, size, FILE_NAME_NORMALIZED);
    });
  }
  // Wine names no open file whose path is longer than MAX_PATH: the name
  // as given, then.
  if (full.empty()) {
    full = Grown([&path](wchar_t* buffer, DWORD size) {
      return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
  }
  if (full.size() > 2 && full[1] == L':') return L"\\\\?\\" + full;
  if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\' && full[2] != L'?') {
    return L"\\\\?\\UNC" + full.substr(1);
  }
  return full;
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

// A name no other process can guess: 16 random hexadecimal digits.
bool RandomSuffix(std::wstring& out) {
  unsigned char bytes[8];
  if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
  const wchar_t digits[] = L"0123456789abcdef";
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return true;
}

// Creates a file that only this handle can use until it is closed (no
// sharing), with the folder's access list.
HANDLE CreateExclusive(const std::wstring& prefix, DWORD flags, std::wstring& name) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    name = prefix;
    if (!RandomSuffix(name)) return INVALID_HANDLE_VALUE;
    name += L".tmp";
    file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER, 0,
                       nullptr, CREATE_NEW, flags, nullptr);
    // Without the right to give the file away: its access list only.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
      file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC, 0, nullptr,
                         CREATE_NEW, flags, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return file;
}

// Marks the new file for deletion when its last handle closes, or clears
// the mark.
bool Forget(HANDLE file, bool remove = true) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The file the name holds now is the one first opened (or still none).
bool StillThere(const Replacement& r) {
  Handle now(CreateFileW(r.path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!now.Valid()) {
    if (!r.existed && GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    SetLastError(r.existed ? ERROR_RETRY : ERROR_ALREADY_EXISTS);
    return false;
  }
  if (r.existed && GetFileInformationByHandle(now.Get(), &info) && info.dwVolumeSerialNumber == r.volume &&
      info.nFileIndexHigh == r.indexHigh && info.nFileIndexLow == r.indexLow) {
    return true;
  }
  SetLastError(r.existed ? ERROR_RETRY : ERROR_ALREADY_EXISTS);
  return false;
}

// Gives the new file, now in the target's place, the owner, group and
// access list the target had, as far as this process may: an access list
// that denies this process the right to delete would have stood in the
// way of the rename.
void ApplySecurity(const Replacement& r) {
  if (r.parts == 0) return;
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  GetSecurityDescriptorOwner(r.security, &owner, &defaulted);
  GetSecurityDescriptorGroup(r.security, &group, &defaulted);
  GetSecurityDescriptorDacl(r.security, &present, &dacl, &defaulted);
  if ((r.parts & OWNER_SECURITY_INFORMATION) == 0 ||
      SetSecurityInfo(r.file, SE_FILE_OBJECT, r.parts, owner, group, dacl, nullptr) != ERROR_SUCCESS) {
    SetSecurityInfo(r.file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
  }
}

// Renames the new file over the target through its own handle.
bool RenameOver(const Replacement& r) {
  size_t bytes = r.path.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = r.existed ? TRUE : FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(bytes);
  std::copy(r.path.begin(), r.path.end(), rename->FileName);
  return SetFileInformationByHandle(r.file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != 0;
}

// Removes the new files of a target that killed writers left (a kill
// between a file's creation and its deletion mark, or between the mark's
// clearing and the rename, leaves one): files named by `prefix` and a
// random suffix that no handle holds, as a live writer shares its own with
// none; links and folders under such names are left alone.
void RemoveLeftovers(const std::wstring& prefix) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((prefix + L"*.tmp").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  size_t folder = prefix.find_last_of(L"\\/") + 1;
  size_t stem = prefix.size() - folder;
  do {
    std::wstring name = found.cFileName;
    if (name.size() != stem + 20 || name.compare(0, stem, prefix, folder, stem) != 0 ||
        name.find_first_not_of(L"0123456789abcdef", stem) != stem + 16 ||
        name.compare(stem + 16, 4, L".tmp") != 0) {
      continue;
    }
    Handle file(CreateFileW((prefix.substr(0, folder) + name).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (file.Valid() && GetFileInformationByHandle(file.Get(), &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0) {
      Forget(file.Get());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A symbolic link's reparse data (REPARSE_DATA_BUFFER of the driver kit,
// which the user-mode headers lack).
struct SymbolicLinkData {
  DWORD tag;
  WORD dataLength, reserved;
  WORD substituteOffset, substituteLength, printOffset, printLength;
  ULONG flags;  // 1: relative to the link's folder
};

// The path a dangling symbolic link at `path` leads to, link after link, as
// far as Windows itself follows them; `path` where no link stands, empty
// (ERROR_CANT_RESOLVE_FILENAME) for links without end. The new file is made
// there, as on other systems, rather than in the link's place.
std::wstring LinkDestination(std::wstring path) {
  std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  for (int hop = 0; hop < 63; ++hop) {
    Handle link(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    DWORD size = 0;
    SymbolicLinkData head;
    if (!link.Valid() ||
        !DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                         static_cast<DWORD>(data.size()), &size, nullptr) ||
        size < sizeof head) {
      return path;
    }
    std::memcpy(&head, data.data(), sizeof head);
    size_t start = sizeof head + head.substituteOffset;
    if (head.tag != IO_REPARSE_TAG_SYMLINK || start + head.substituteLength > size) return path;
    std::wstring next(head.substituteLength / sizeof(wchar_t), L'\0');
    std::memcpy(&next[0], data.data() + start, next.size() * sizeof(wchar_t));
    if ((head.flags & 1) != 0) {
      next = path.substr(0, path.find_last_of(L"\\/") + 1) + next;
    } else if (next.compare(0, 4, L"\\??\\") == 0) {
      next = L"\\\\?\\" + next.substr(4);
    }
    path = next;
  }
  SetLastError(ERROR_CANT_RESOLVE_FILENAME);
  return std::wstring();
}

FILE* OpenReplacement(std::wstring path) {
  // The target itself, to see what it is and that it may be written; not
  // truncated.
  // The right to read its security is asked only where it is given: a
  // user may write a file without it.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  Handle target(CreateFileW(path.c_str(), GENERIC_WRITE | READ_CONTROL, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  bool readable = target.Valid();
  if (!target.Valid() && GetLastError() == ERROR_ACCESS_DENIED) {
    target.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!target.Valid() && GetLastError() == ERROR_FILE_NOT_FOUND) {
    path = LinkDestination(path);
    if (path.empty()) return Failed();
  } else if (!target.Valid()) {
    FILE* failed = Failed();
    // A folder's name opens nothing to write.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) errno = EISDIR;
    return failed;
  }
  // Devices and pipes are written in place.
  if (target.Valid() && GetFileType(target.Get()) != FILE_TYPE_DISK) {
    return StreamOn(target.Release(), _O_WRONLY, "wb");
  }
  std::unique_ptr<Replacement> r(new (std::nothrow) Replacement());
  if (r == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  // The new file gets the target's owner, group and access list (those this
  // process may read), applied once it has taken the target's place, and
  // its attributes.
  const SECURITY_INFORMATION wanted[] = {
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
      DACL_SECURITY_INFORMATION};
  for (size_t i = 0; readable && r->parts == 0 && i < 2; ++i) {
    if (GetSecurityInfo(target.Get(), SE_FILE_OBJECT, wanted[i], nullptr, nullptr, nullptr, nullptr,
                        &r->security) == ERROR_SUCCESS) {
      r->parts = wanted[i];
    }
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (target.Valid() && !GetFileInformationByHandle(target.Get(), &info)) return Failed();
  r->existed = target.Valid();
  if (r->existed) {
    r->volume = info.dwVolumeSerialNumber;
    r->indexHigh = info.nFileIndexHigh;
    r->indexLow = info.nFileIndexLow;
  }
  if (target.Valid()) {
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    r->attributes =
        (info.dwFileAttributes & kept) != 0 ? info.dwFileAttributes & kept : FILE_ATTRIBUTE_NORMAL;
  }
  // The new file goes into the folder of the file a link names.
  r->path = FullPath(target.Get(), path);
  if (r->path.empty()) return Failed();
  size_t slash = r->path.find_last_of(L"\\/");
  // Room for the suffix within a file name's 255 characters, a surrogate
  // pair never split.
  std::wstring base = r->path.substr(slash + 1, 200);
  if (base.size() == 200 && IS_HIGH_SURROGATE(base.back())) base.pop_back();
  const std::wstring prefix = r->path.substr(0, slash + 1) + L"." + base + L".";
  RemoveLeftovers(prefix);
  Handle file(CreateExclusive(prefix, FILE_ATTRIBUTE_NORMAL, r->temp));
  // Gone with its last handle unless Fclose puts it in place.
  if (file.Valid() && !Forget(file.Get())) {
    file.Reset(INVALID_HANDLE_VALUE);
    DeleteFileW(r->temp.c_str());
  }
  if (!file.Valid() && target.Valid()) {
    // No new file beside the target, but the target may be written: the
    // text is kept in a file of the user's own until Fclose writes it in
    // place.
    std::wstring folder = Grown([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    if (!folder.empty()) {
      file.Reset(CreateExclusive(folder + L"zelbas-", FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                 r->temp));
    }
    r->temp.clear();
    r->target.Reset(target.Release());
  }
  if (!file.Valid()) return Failed();
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_RDWR | _O_BINARY);
  if (fd >= 0) {
    r->file = file.Release();  // the descriptor's now
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

// Copies the buffered text over the target's content.
bool WriteInPlace(const Replacement& r) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(r.file, start, nullptr, FILE_BEGIN) ||
      !SetFilePointerEx(r.target.Get(), start, nullptr, FILE_BEGIN)) {
    return false;
  }
  char chunk[65536];
  for (;;) {
    DWORD count, written;
    if (!ReadFile(r.file, chunk, sizeof chunk, &count, nullptr)) return false;
    if (count == 0) return SetEndOfFile(r.target.Get()) && FlushFileBuffers(r.target.Get());
    if (!WriteFile(r.target.Get(), chunk, count, &written, nullptr) || written != count) return false;
  }
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
  std::unique_ptr<Replacement> r;
  {
    std::lock_guard<std::mutex> guard(registryLock);
    for (size_t i = 0; i < replacing.size() && r == nullptr; ++i) {
      if (replacing[i]->stream == stream) {
        r.reset(replacing[i]);
        replacing.erase(replacing.begin() + static_cast<ptrdiff_t>(i));
      }
    }
  }
  if (r == nullptr) return std::fclose(stream);
  // The error reported is the first one: a failed write's own.
  int writeError = 0;
  DWORD error = ERROR_SUCCESS;
  LARGE_INTEGER size;
  bool ok = std::fflush(stream) == 0;
  if (!ok) writeError = errno;
  ok = ok && GetFileSizeEx(r->file, &size) && TakeBudget(static_cast<uint64_t>(size.QuadPart));
  if (!r->temp.empty()) {
    FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
    basic.FileAttributes = r->attributes;
    ok = ok &&
         (r->attributes == 0 || SetFileInformationByHandle(r->file, FileBasicInfo, &basic, sizeof basic)) &&
         FlushFileBuffers(r->file) && StillThere(*r) && Forget(r->file, false);
    // A rename that replaces the target whole or not at all, of the file
    // this handle holds, whatever its name became.
    if (ok && !RenameOver(*r)) {
      ok = false;
      error = GetLastError();
      Forget(r->file);
    }
    if (ok) ApplySecurity(*r);
  } else {
    ok = ok && WriteInPlace(*r);
  }
  if (!ok && error == ERROR_SUCCESS) error = GetLastError();
  if (std::fclose(stream) != 0 && ok) {
    ok = false;
    writeError = errno;
  }
  if (ok) return 0;
  errno = writeError != 0 ? writeError : error != ERROR_SUCCESS ? ErrnoOf(error) : EIO;
  return EOF;
}

void ZELBasShared_FailWritesAfter(size_t bytes) {
  std::lock_guard<std::mutex> guard(registryLock);
  writeBudget = bytes;
}
