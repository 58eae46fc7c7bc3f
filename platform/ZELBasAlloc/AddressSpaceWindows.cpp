// Address space on Windows: VirtualAlloc's reserve, commit and decommit.
#include <windows.h>

#include "AddressSpace.h"

namespace zelalloc_detail {

char* ReserveRange(size_t size) {
  // Reserved with room to spare, then the aligned part alone: a
  // reservation is given back whole, so the spare is let go and the
  // aligned part reserved again at its address (retried should another
  // thread take it in between).
  const size_t kAlign = size_t(32) << 20;
  for (int attempt = 0; attempt < 8; ++attempt) {
    char* start = static_cast<char*>(VirtualAlloc(nullptr, size + kAlign, MEM_RESERVE, PAGE_NOACCESS));
    if (start == nullptr) return nullptr;
    char* aligned = start + (kAlign - reinterpret_cast<uintptr_t>(start) % kAlign) % kAlign;
    VirtualFree(start, 0, MEM_RELEASE);
    if (VirtualAlloc(aligned, size, MEM_RESERVE, PAGE_NOACCESS) == aligned) return aligned;
  }
  return nullptr;
}

bool CommitRange(char* start, size_t size) {
  return VirtualAlloc(start, size, MEM_COMMIT, PAGE_READWRITE) == start;
}

bool DecommitRange(char* start, size_t size) { return VirtualFree(start, size, MEM_DECOMMIT) != 0; }

bool CommitIsLazy() { return false; }

void ReleaseRange(char* start, size_t) { VirtualFree(start, 0, MEM_RELEASE); }

}  // namespace zelalloc_detail
