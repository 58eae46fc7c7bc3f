// Reserving aligned ranges of address space, untouched until used.
#include "AddressSpace.h"

#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdint>

namespace zelalloc_detail {

char* ReserveRange(size_t size, int prot) {
  rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return nullptr;
  const size_t kAlign = size_t(32) << 20;
  void* mapping = mmap(nullptr, size + kAlign, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED) return nullptr;
  char* start = static_cast<char*>(mapping);
  char* aligned = start + (kAlign - reinterpret_cast<uintptr_t>(start) % kAlign) % kAlign;
  if (aligned != start) munmap(start, static_cast<size_t>(aligned - start));
  munmap(aligned + size, kAlign - static_cast<size_t>(aligned - start));
  return aligned;
}

}  // namespace zelalloc_detail
