#include "ZELBasAlloc.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Counters are relaxed: documents on separate threads allocate concurrently,
// and tests only read the totals once those threads are done.
static std::atomic<int64_t> liveBlocks;
static std::atomic<uint64_t> totalAllocations;
static std::atomic<uint64_t> failCountdown;

void* mem_OperatorNewThrowBuiltin(size_t size) {
  if (failCountdown.load(std::memory_order_relaxed) != 0 &&
      failCountdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
    throw std::bad_alloc();
  }
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  liveBlocks.fetch_add(1, std::memory_order_relaxed);
  totalAllocations.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void mem_Free(void* block) {
  if (block == nullptr) return;
  liveBlocks.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

int64_t mem_LiveBlocks() { return liveBlocks.load(std::memory_order_relaxed); }

uint64_t mem_TotalAllocations() { return totalAllocations.load(std::memory_order_relaxed); }

void mem_FailAfter(uint64_t countdown) { failCountdown.store(countdown, std::memory_order_relaxed); }

ZELBAS_DEFINE_MODULE_PAIR(ZELBasAlloc)
