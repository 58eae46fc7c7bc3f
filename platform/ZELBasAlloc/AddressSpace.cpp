// Address space on POSIX systems: a reservation is a mapping without
// access, made usable by mprotect and given back by mapping it anew.
#include "AddressSpace.h"

#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdint>

namespace zelalloc_detail {

char* ReserveRange(size_t size) {
  rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return nullptr;
  const size_t kAlign = size_t(32) << 20;
  void* mapping = mmap(nullptr, size + kAlign, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED) return nullptr;
  char* start = static_cast<char*>(mapping);
  char* aligned = start + (kAlign - reinterpret_cast<uintptr_t>(start) % kAlign) % kAlign;
  if (aligned != start) munmap(start, static_cast<size_t>(aligned - start));
  munmap(aligned + size, kAlign - static_cast<size_t>(aligned - start));
  return aligned;
}

bool CommitRange(char* start, size_t size) { return mprotect(start, size, PROT_READ | PROT_WRITE) == 0; }

bool DecommitRange(char* start, size_t size) {
  return mmap(start, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0) !=
         MAP_FAILED;
}

bool CommitIsLazy() { return true; }

void ReleaseRange(char* start, size_t size) { munmap(start, size); }

}  // namespace zelalloc_detail
