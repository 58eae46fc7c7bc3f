// Ranges of address space the memory module keeps for its own use.
#pragma once

#include <cstddef>

namespace zelalloc_detail {

// A mapping of `size` bytes with protection `prot`, starting on a 32 MiB
// boundary; its pages cost nothing until touched. Null when it cannot be
// had, and under an address-space limit (ulimit -v), which a reservation
// counts against whether touched or not.
char* ReserveRange(size_t size, int prot);

}  // namespace zelalloc_detail
