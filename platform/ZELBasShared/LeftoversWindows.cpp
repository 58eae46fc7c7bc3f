// What killed Windows writers left: a kill between a new file's creation and
// its deletion mark, or between the mark's clearing and the rename, leaves
// one. Removed by the next write of the same target: files under its
// pattern that no handle holds, as a live writer shares its own with none;
// links and folders under such names are left alone.
#include <windows.h>

#include <string>

#include "ReplacementWindows.h"

namespace zelshared_detail {

namespace {

// True for a name made for the target whose prefix's last `stem`
// characters start `name`: the stem, 16 hexadecimal digits, ".tmp".
bool LeftoverName(const std::wstring& name, const std::wstring& prefix, size_t folder, size_t stem) {
  return name.size() == stem + 20 && name.compare(0, stem, prefix, folder, stem) == 0 &&
         name.find_first_not_of(L"0123456789abcdef", stem) == stem + 16 &&
         name.compare(stem + 16, 4, L".tmp") == 0;
}

}  // namespace

void RemoveLeftovers(const std::wstring& prefix) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((prefix + L"*.tmp").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  size_t folder = prefix.find_last_of(L"\\/") + 1;
  size_t stem = prefix.size() - folder;
  do {
    std::wstring name = found.cFileName;
    if (!LeftoverName(name, prefix, folder, stem)) continue;
    Handle file(
        OwnHandle(CreateFileW((prefix.substr(0, folder) + name).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    BY_HANDLE_FILE_INFORMATION info;
    if (file && GetFileInformationByHandle(file.Get(), &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0) {
      Forget(file.Get());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace zelshared_detail
