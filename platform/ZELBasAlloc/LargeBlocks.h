// Blocks of a megabyte and more, each at the start of a slot of its own in
// one reserved range of address space, so that it grows in place: a
// children vector of a million nodes or a long rendered document is never
// copied (nor its elements mended) as it grows.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zelalloc_detail {

const size_t kLargeFrom = size_t(1) << 20;

// The reserved range; null until a large block was asked for, and when it
// could not be reserved.
extern std::atomic<char*> largeRange;
const size_t kLargeRangeSize = size_t(64) << 30;

// True for a block that LargeTake gave.
inline bool IsLarge(const void* block) {
  char* range = largeRange.load(std::memory_order_relaxed);
  return range != nullptr &&
         reinterpret_cast<uintptr_t>(block) - reinterpret_cast<uintptr_t>(range) < kLargeRangeSize;
}

// A block of at least `size` bytes at the start of a free slot; null when
// `size` exceeds a slot, no slot is free or the range cannot be had.
void* LargeTake(size_t size);

// Makes `block` hold `size` bytes in place; false when that cannot be done.
bool LargeResize(void* block, size_t size);

// The bytes `block` was last asked to hold.
size_t LargeSize(const void* block);

void LargeGive(void* block);

}  // namespace zelalloc_detail
