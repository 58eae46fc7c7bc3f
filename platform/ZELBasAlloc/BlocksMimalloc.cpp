// The memory module's blocks from mimalloc, tuned for a reader that takes
// and gives back a document's memory in bursts; large ones from the slots.
#include <mimalloc.h>

#include <cstring>

#include "AddressSpace.h"
#include "Blocks.h"
#include "LargeBlocks.h"

namespace zelalloc_detail {

// A read takes its memory in one burst, and a host that reads documents
// gives it all back and takes as much again for the next: keep freed pages
// committed (no decommit, no reset), so that the next read does not fault
// them in again. mimalloc's segments come from one range reserved here, in
// small pages: asked for large ones (MADV_HUGEPAGE), the kernel compacts
// memory on a first read's faults, and the same cold read took from 1 to
// 2.5 times as long, run to run, for no gain in the steady state. Where
// committing costs up front (Windows), mimalloc commits the range as it
// uses it. Set as the module loads, before its first block.
__attribute__((constructor)) void TuneMimalloc() {
  mi_option_set(mi_option_allow_decommit, 0);
  mi_option_set(mi_option_page_reset, 0);
  const size_t kArena = size_t(64) << 30;
  char* arena = ReserveRange(kArena);
  if (arena == nullptr) return;
  bool committed = CommitIsLazy() && CommitRange(arena, kArena);
  if (!mi_manage_os_memory(arena, kArena, committed, false, true, -1)) ReleaseRange(arena, kArena);
}

void* BlockTake(size_t size) {
  if (size >= kLargeFrom) {
    if (void* block = LargeTake(size)) return block;
  }
  return mi_malloc(size);
}

void* BlockResize(void* block, size_t size) {
  if (IsLarge(block)) {
    if (LargeResize(block, size)) return block;
    // Larger than a slot: to mimalloc, copying what the block holds.
    void* moved = mi_malloc(size);
    if (moved == nullptr) return nullptr;
    size_t holds = LargeSize(block);
    std::memcpy(moved, block, holds < size ? holds : size);
    LargeGive(block);
    return moved;
  }
  if (size >= kLargeFrom) {
    if (void* moved = LargeTake(size)) {
      size_t holds = mi_usable_size(block);
      std::memcpy(moved, block, holds < size ? holds : size);
      mi_free(block);
      return moved;
    }
  }
  return mi_realloc(block, size);
}

void BlockGive(void* block) {
  if (IsLarge(block)) {
    LargeGive(block);
  } else {
    mi_free(block);
  }
}

}  // namespace zelalloc_detail
