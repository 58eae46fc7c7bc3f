#include <mimalloc.h>

#include <cstring>

#include "Blocks.h"
#include "LargeBlocks.h"

namespace {

// A read takes its memory in one burst, and a host that reads documents
// gives it all back and takes as much again for the next: keep freed pages
// committed (no decommit, no reset), so that the next read does not fault
// them in again. Large OS pages stay off: where this was measured (a
// virtual machine) a fresh 2 MiB page took 3 to 4.5 ms to fault in, three
// to six times as long as 512 small pages. Set as the module loads, before
// its first block.
__attribute__((constructor)) void TuneMimalloc() {
  mi_option_set(mi_option_allow_decommit, 0);
  mi_option_set(mi_option_page_reset, 0);
}

}  // namespace

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
