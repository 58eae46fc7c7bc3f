// The finished new file takes the target's place on Windows: given the
// target's attributes and flushed, then, if the target's name still holds
// the file first opened, its deletion mark cleared and the file renamed
// over the target through its own handle, which replaces the target whole
// or not at all, whatever the new file's name became.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "ReplacementWindows.h"

namespace zelshared_detail {

namespace {

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

}  // namespace

bool Replace(Replacement& r) {
  if (!InheritAttributes(r) || !FlushFileBuffers(r.file) || !StillThere(r) || !Forget(r.file, false))
    return false;
  if (!RenameOver(r)) {
    DWORD error = GetLastError();
    Forget(r.file);
    SetLastError(error);
    return false;
  }
  InheritSecurity(r);
  return true;
}

}  // namespace zelshared_detail
