// The allocator under the memory module, chosen when it is built: mimalloc
// (BlocksMimalloc.cpp), or the C runtime's malloc (BlocksMalloc.cpp) for the
// sanitizer builds and where ZELBAS_ALLOCATOR asks for it. The module counts
// and fails blocks above it the same way in every build.
#pragma once

#include <cstddef>

namespace zelalloc_detail {

// A block of at least `size` (> 0) usable bytes, or null.
void* BlockTake(size_t size);

// A block of at least `size` (> 0) usable bytes holding what `block` held
// (as much of it as fits), `block` taken back; null, `block` unchanged, when
// none can be had.
void* BlockResize(void* block, size_t size);

// Takes back a block given by the two above (not null).
void BlockGive(void* block);

}  // namespace zelalloc_detail
