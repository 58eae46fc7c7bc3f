// The new file a replacing write fills on Windows: created under a random
// name beside the target, shared with no other handle, and marked for
// deletion while it is written, so that a killed writer leaves nothing (or,
// killed between the file's creation and its mark, a file the next write of
// that target removes). An in-place write gathers its text in a file of the
// user's own that goes with its handle.
#include <windows.h>
// After windows.h:
#include <bcrypt.h>

#include <string>

#include "ReplacementWindows.h"

namespace zelshared_detail {

namespace {

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

}  // namespace

std::wstring TemporaryPrefix(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  // Room for the suffix within a file name's 255 characters, a surrogate
  // pair never split.
  std::wstring base = path.substr(slash + 1, 200);
  if (base.size() == 200 && IS_HIGH_SURROGATE(base.back())) base.pop_back();
  return path.substr(0, slash + 1) + L"." + base + L".";
}

bool Forget(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

HANDLE CreateTemporary(Replacement& r) {
  const std::wstring prefix = TemporaryPrefix(r.path);
  RemoveLeftovers(prefix);
  Handle file(OwnHandle(CreateExclusive(prefix, FILE_ATTRIBUTE_NORMAL, r.temp)));
  // Gone with its last handle unless Fclose puts it in place.
  if (file && !Forget(file.Get())) {
    file.Reset(INVALID_HANDLE_VALUE);
    DeleteFileW(r.temp.c_str());
  }
  if (!file) r.temp.clear();
  return file.Take();
}

HANDLE CreateSpool(Replacement& r) {
  std::wstring folder = Grown([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!folder.empty()) {
    file = CreateExclusive(folder + L"zelbas-", FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, r.temp);
  }
  r.temp.clear();
  return file;
}

}  // namespace zelshared_detail
