// Ranges of address space the memory module keeps for its own use, and the
// making of their pages usable and unusable again: mmap and mprotect on
// POSIX systems (AddressSpace.cpp), VirtualAlloc's reserve and commit on
// Windows (AddressSpaceWindows.cpp).
#pragma once

#include <cstddef>

namespace zelalloc_detail {

// `size` bytes of address space, none of it usable yet, starting on a
// 32 MiB boundary. Null when it cannot be had, and under an address-space
// limit (ulimit -v), which a reservation counts against whether used or not.
char* ReserveRange(size_t size);

// Makes `size` bytes from `start` (in a reserved range) usable, pages that
// cost nothing until touched; false when that cannot be done.
bool CommitRange(char* start, size_t size);

// Gives the pages of `size` bytes from `start` back to the system; the
// range stays reserved. False when that cannot be done.
bool DecommitRange(char* start, size_t size);

// True where CommitRange of a whole reserved range costs nothing up front
// (POSIX: the kernel backs pages on first touch). On Windows committed
// memory is charged when committed, so a range is committed as it is used.
bool CommitIsLazy();

// Gives a reserved range back whole.
void ReleaseRange(char* start, size_t size);

}  // namespace zelalloc_detail
