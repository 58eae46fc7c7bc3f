// The memory module's interface: counts every block given and taken back,
// per thread, and fails allocations on request for the tests.
#include "ZELBasAlloc.h"

#include <atomic>
#include <mutex>
#include <new>

#include "Blocks.h"

// The blocks come from the allocator chosen at build time (Blocks.h); this
// part counts them and fails them on request, alike in every build.

namespace zelalloc_detail {

std::atomic<uint64_t> failCountdown;

bool ShouldFail() {
  return failCountdown.load(std::memory_order_relaxed) != 0 &&
         failCountdown.fetch_sub(1, std::memory_order_relaxed) == 1;
}

// Each thread counts the blocks it takes and gives back in counts of its
// own, written by that thread alone with a plain load and store (no locked
// instruction per block); readers sum them over the threads.
struct Counts {
  std::atomic<uint64_t> taken{0};
  std::atomic<uint64_t> given{0};
  Counts* next = nullptr;
};

std::mutex countsLock;  // guards the list of threads' counts
Counts* threadCounts;   // of the live threads that have counted
Counts retired;         // of ended threads, and blocks counted after a thread's end

void Bump(std::atomic<uint64_t>& count) {
  count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

// Adds a thread's counts to the list for as long as the thread lives.
struct ThreadCounts {
  Counts counts;
  ThreadCounts();
  ~ThreadCounts();
};

#if defined(__ELF__)
__thread Counts* mine __attribute__((tls_model("initial-exec")));
__thread bool ended __attribute__((tls_model("initial-exec")));
#else
thread_local Counts* mine;
thread_local bool ended;
#endif

ThreadCounts::ThreadCounts() {
  std::lock_guard<std::mutex> guard(countsLock);
  counts.next = threadCounts;
  threadCounts = &counts;
}

ThreadCounts::~ThreadCounts() {
  std::lock_guard<std::mutex> guard(countsLock);
  for (Counts** link = &threadCounts; *link != nullptr; link = &(*link)->next) {
    if (*link == &counts) {
      *link = counts.next;
      break;
    }
  }
  retired.taken.fetch_add(counts.taken.load(std::memory_order_relaxed), std::memory_order_relaxed);
  retired.given.fetch_add(counts.given.load(std::memory_order_relaxed), std::memory_order_relaxed);
  mine = nullptr;
  ended = true;
}

// This thread's counts; null once they are retired (blocks freed by later
// thread-exit code are counted in `retired`).
Counts* Mine() {
  if (mine != nullptr || ended) return mine;
  static thread_local ThreadCounts counts;
  mine = &counts.counts;
  return mine;
}

// Counts one block in `count` (Counts::taken or Counts::given).
void Count(std::atomic<uint64_t> Counts::*count) {
  if (Counts* counts = Mine()) {
    Bump(counts->*count);
  } else {
    (retired.*count).fetch_add(1, std::memory_order_relaxed);
  }
}

void CountTaken() { Count(&Counts::taken); }
void CountGiven() { Count(&Counts::given); }

// The counts of every thread, ended ones included.
template <class T>
T Sum(T (*of)(const Counts&)) {
  std::lock_guard<std::mutex> guard(countsLock);
  T sum = of(retired);
  for (const Counts* counts = threadCounts; counts != nullptr; counts = counts->next) sum += of(*counts);
  return sum;
}

// Both ways of taking a block, without a call from one to the other.
inline void* Take(size_t size) noexcept {
  if (ShouldFail()) return nullptr;
  void* block = BlockTake(size != 0 ? size : 1);
  if (block != nullptr) CountTaken();
  return block;
}

}  // namespace zelalloc_detail

using namespace zelalloc_detail;

void* mem_TryOperatorNew(size_t size) noexcept { return Take(size); }

void* mem_OperatorNewThrowBuiltin(size_t size) {
  void* block = Take(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void mem_Free(void* block) {
  if (block == nullptr) return;
  CountGiven();
  BlockGive(block);
}

void* mem_Reallocate(void* block, size_t size) {
  if (ShouldFail()) throw std::bad_alloc();
  void* moved = BlockResize(block, size != 0 ? size : 1);
  if (moved == nullptr) throw std::bad_alloc();
  // One block given back, one taken: live blocks unchanged, one more taken.
  CountGiven();
  CountTaken();
  return moved;
}

int64_t mem_LiveBlocks() {
  return Sum<int64_t>([](const Counts& c) {
    return static_cast<int64_t>(c.taken.load(std::memory_order_relaxed) -
                                c.given.load(std::memory_order_relaxed));
  });
}

uint64_t mem_TotalAllocations() {
  return Sum<uint64_t>([](const Counts& c) { return c.taken.load(std::memory_order_relaxed); });
}

void mem_FailAfter(uint64_t countdown) { failCountdown.store(countdown, std::memory_order_relaxed); }

ZELBAS_DEFINE_MODULE_PAIR(ZELBasAlloc)
