// What the new file takes from the file it replaces on Windows: its
// attributes, set before the rename, and its owner, group and access list
// (those this process may read), applied once it has taken the target's
// place.
#include <windows.h>
// After windows.h:
#include <aclapi.h>

#include <cstddef>

#include "ReplacementWindows.h"

namespace zelshared_detail {

bool ReadInheritance(Replacement& r, HANDLE target, bool readable) {
  const SECURITY_INFORMATION wanted[] = {
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
      DACL_SECURITY_INFORMATION};
  for (size_t i = 0; readable && r.parts == 0 && i < 2; ++i) {
    if (GetSecurityInfo(target, SE_FILE_OBJECT, wanted[i], nullptr, nullptr, nullptr, nullptr, &r.security) ==
        ERROR_SUCCESS) {
      r.parts = wanted[i];
    }
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(target, &info)) return false;
  r.existed = true;
  r.volume = info.dwVolumeSerialNumber;
  r.indexHigh = info.nFileIndexHigh;
  r.indexLow = info.nFileIndexLow;
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  r.attributes = (info.dwFileAttributes & kept) != 0 ? info.dwFileAttributes & kept : FILE_ATTRIBUTE_NORMAL;
  return true;
}

bool InheritAttributes(const Replacement& r) {
  FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
  basic.FileAttributes = r.attributes;
  return r.attributes == 0 || SetFileInformationByHandle(r.file, FileBasicInfo, &basic, sizeof basic);
}

// An access list that denies this process the right to delete would have
// stood in the way of the rename: applied after it.
void InheritSecurity(const Replacement& r) {
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

}  // namespace zelshared_detail
