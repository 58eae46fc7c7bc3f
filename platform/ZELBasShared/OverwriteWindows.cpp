// Writing the gathered text over the target itself on Windows, where no new
// file can be made beside it. The target is opened again, by its name, to
// write with no other writer sharing it, so that in-place writers of one
// file take turns (a writer that holds it longer than half a minute fails
// this one); the name must still hold the file first opened.
#include <windows.h>

#include "ReplacementWindows.h"

namespace zelshared_detail {

namespace {

// The target, for this writer alone to write; waits while another has it.
HANDLE OpenAlone(const Replacement& r) {
  for (int attempt = 0; attempt < 3000; ++attempt) {
    Handle target(OwnHandle(CreateFileW(r.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    BY_HANDLE_FILE_INFORMATION info;
    if (target && GetFileInformationByHandle(target.Get(), &info) && info.dwVolumeSerialNumber == r.volume &&
        info.nFileIndexHigh == r.indexHigh && info.nFileIndexLow == r.indexLow) {
      return target.Take();
    }
    if (target) SetLastError(ERROR_RETRY);  // the name holds another file
    if (target || GetLastError() != ERROR_SHARING_VIOLATION) return INVALID_HANDLE_VALUE;
    Sleep(10);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool Overwrite(const Replacement& r) {
  Handle target(OwnHandle(OpenAlone(r)));
  LARGE_INTEGER start = {};
  if (!target || !SetFilePointerEx(r.file, start, nullptr, FILE_BEGIN)) return false;
  char chunk[65536];
  for (;;) {
    DWORD count, written;
    if (!ReadFile(r.file, chunk, sizeof chunk, &count, nullptr)) return false;
    if (count == 0) return SetEndOfFile(target.Get()) && FlushFileBuffers(target.Get());
    if (!WriteFile(target.Get(), chunk, count, &written, nullptr) || written != count) return false;
  }
}

}  // namespace zelshared_detail
