// The large-block slots: a block of a megabyte and more alone in a slot of
// reserved address space, grown in place page by page.
#include "LargeBlocks.h"

#include <mutex>

#include "AddressSpace.h"

namespace zelalloc_detail {

std::atomic<char*> largeRange{nullptr};

const size_t kSlotShift = 30;  // 1 GiB a slot
const size_t kSlot = size_t(1) << kSlotShift;
const int kSlots = static_cast<int>(kLargeRangeSize >> kSlotShift);
const size_t kStep = size_t(2) << 20;          // made writable 2 MiB at a time
const size_t kKeepAtMost = size_t(512) << 20;  // writable memory kept in free slots

std::mutex lock;  // guards all below
bool tried;
uint64_t used;            // a bit per slot holding a block
size_t writable[kSlots];  // bytes made writable from each slot's start
size_t held[kSlots];      // bytes each slot's block was asked to hold
size_t kept;              // writable bytes of the free slots

// Reserves the range on first use: when it cannot be had, every block
// comes from the general allocator. Small pages, as for the other blocks.
char* Range() {
  if (!tried) {
    tried = true;
    if (char* range = ReserveRange(kLargeRangeSize)) {
      largeRange.store(range, std::memory_order_relaxed);
    }
  }
  return largeRange.load(std::memory_order_relaxed);
}

int SlotOf(const void* block) {
  return static_cast<int>(static_cast<size_t>(static_cast<const char*>(block) - Range()) >> kSlotShift);
}

// Makes the first `size` bytes of slot `s` writable.
bool Fit(int s, size_t size) {
  if (size <= writable[s]) return true;
  size_t length = (size + kStep - 1) & ~(kStep - 1);
  char* start = Range() + static_cast<size_t>(s) * kSlot;
  if (!CommitRange(start + writable[s], length - writable[s])) return false;
  writable[s] = length;
  return true;
}

void* LargeTake(size_t size) {
  if (size > kSlot) return nullptr;
  std::lock_guard<std::mutex> guard(lock);
  if (Range() == nullptr) return nullptr;
  // The free slot with the most memory made writable: its pages were
  // touched by an earlier block, the next document finds them ready.
  int best = -1;
  for (int s = 0; s < kSlots; ++s) {
    if ((used >> s & 1) == 0 && (best < 0 || writable[s] > writable[best])) best = s;
  }
  if (best < 0) return nullptr;
  size_t wasWritable = writable[best];
  if (!Fit(best, size)) return nullptr;
  kept -= wasWritable;
  used |= uint64_t(1) << best;
  held[best] = size;
  return Range() + static_cast<size_t>(best) * kSlot;
}

bool LargeResize(void* block, size_t size) {
  if (size > kSlot) return false;
  std::lock_guard<std::mutex> guard(lock);
  int s = SlotOf(block);
  if (!Fit(s, size)) return false;
  held[s] = size;
  return true;
}

size_t LargeSize(const void* block) {
  std::lock_guard<std::mutex> guard(lock);
  return held[SlotOf(block)];
}

void LargeGive(void* block) {
  std::lock_guard<std::mutex> guard(lock);
  int s = SlotOf(block);
  used &= ~(uint64_t(1) << s);
  held[s] = 0;
  if (kept + writable[s] <= kKeepAtMost) {
    kept += writable[s];
    return;
  }
  // Past what is kept: the pages go back to the system, the slot back to
  // reserved address space.
  if (DecommitRange(static_cast<char*>(block), writable[s])) {
    writable[s] = 0;
  } else {
    kept += writable[s];
  }
}

}  // namespace zelalloc_detail
