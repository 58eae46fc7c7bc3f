// Where a write goes on Windows: the target opened to write, if it exists,
// its full path (through links, to the file they name), and for a dangling
// symbolic link the path it leads to, as far as Windows itself follows
// links; the new file is made there, as on other systems, rather than in
// the link's place.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "ReplacementWindows.h"

namespace zelshared_detail {

namespace {

// A symbolic link's reparse data (REPARSE_DATA_BUFFER of the driver kit,
// which the user-mode headers lack).
struct SymbolicLinkData {
  DWORD tag;
  WORD dataLength, reserved;
  WORD substituteOffset, substituteLength, printOffset, printLength;
  ULONG flags;  // 1: relative to the link's folder
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path the symbolic link at `path` names, or empty where none stands.
std::wstring LinkText(const std::wstring& path, std::vector<unsigned char>& data) {
  Handle link(OwnHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  DWORD size = 0;
  SymbolicLinkData head;
  if (!link ||
      !DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                       static_cast<DWORD>(data.size()), &size, nullptr) ||
      size < sizeof head) {
    return std::wstring();
  }
  std::memcpy(&head, data.data(), sizeof head);
  size_t start = sizeof head + head.substituteOffset;
  if (head.tag != IO_REPARSE_TAG_SYMLINK || start + head.substituteLength > size) return std::wstring();
  std::wstring next(head.substituteLength / sizeof(wchar_t), L'\0');
  std::memcpy(&next[0], data.data() + start, next.size() * sizeof(wchar_t));
  if ((head.flags & 1) != 0) return path.substr(0, path.find_last_of(L"\\/") + 1) + next;
  if (next.compare(0, 4, L"\\??\\") == 0) return L"\\\\?\\" + next.substr(4);
  return next;
}

// The path a dangling symbolic link at `path` leads to, link after link,
// up to 63 deep; `path` where no link stands, empty
// (ERROR_CANT_RESOLVE_FILENAME) for links without end.
std::wstring LinkDestination(std::wstring path) {
  std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  for (int hop = 0; hop < 63; ++hop) {
    std::wstring next = LinkText(path, data);
    if (next.empty()) return path;
    path = next;
  }
  SetLastError(ERROR_CANT_RESOLVE_FILENAME);
  return std::wstring();
}

}  // namespace

HANDLE OpenTarget(std::wstring& path, bool& readable) {
  // The right to read the target's security is asked only where it is
  // given: a user may write a file without it. Not truncated.
  Handle target(OwnHandle(CreateFileW(path.c_str(), GENERIC_WRITE | READ_CONTROL, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  readable = static_cast<bool>(target);
  if (!target && GetLastError() == ERROR_ACCESS_DENIED) {
    target.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!target && GetLastError() == ERROR_FILE_NOT_FOUND) {
    path = LinkDestination(path);
    if (!path.empty()) SetLastError(ERROR_FILE_NOT_FOUND);  // nothing there yet: a new file
  } else if (!target) {
    // A folder's name opens nothing to write.
    DWORD error = GetLastError(), attributes = GetFileAttributesW(path.c_str());
    bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    SetLastError(folder ? ERROR_DIRECTORY : error);
  }
  return target.Take();
}

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

bool StillThere(const Replacement& r) {
  Handle now(OwnHandle(CreateFileW(r.path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  BY_HANDLE_FILE_INFORMATION info;
  if (!now) {
    if (!r.existed && GetLastError() == ERROR_FILE_NOT_FOUND) return true;
  } else if (r.existed && GetFileInformationByHandle(now.Get(), &info) &&
             info.dwVolumeSerialNumber == r.volume && info.nFileIndexHigh == r.indexHigh &&
             info.nFileIndexLow == r.indexLow) {
    return true;
  }
  SetLastError(r.existed ? ERROR_RETRY : ERROR_ALREADY_EXISTS);
  return false;
}

}  // namespace zelshared_detail
