#include "ZELBasAlloc.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if !defined(ZELBAS_ALLOC_PLAIN_MALLOC)
#include <pthread.h>
#include <sys/mman.h>

#include <cstring>
#include <mutex>
#endif

// A document is mostly small blocks of a few sizes (nodes' strings, map
// nodes, short child vectors), taken and freed by the million. Those come
// from size classes carved out of 64 KiB spans, each thread keeping a cache
// of free blocks per class, so that a block costs no header and no lock.
// Larger blocks come from malloc. Counts are per thread, summed when read.
//
// With AddressSanitizer every block comes from malloc, so that it keeps
// watching each one.

namespace {

std::atomic<uint64_t> failCountdown;

// The owner thread alone writes these (plain load and store, no locked
// instruction); the readers sum them.
struct Counters {
  std::atomic<int64_t> live{0};
  std::atomic<uint64_t> total{0};

  void Took() {
    live.store(live.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    total.store(total.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }
  void Gave() { live.store(live.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed); }
};

bool ShouldFail() {
  return failCountdown.load(std::memory_order_relaxed) != 0 &&
         failCountdown.fetch_sub(1, std::memory_order_relaxed) == 1;
}

void* Malloc(size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

#if defined(ZELBAS_ALLOC_PLAIN_MALLOC)

Counters counters;  // shared by all threads: locked increments here

}  // namespace

void* mem_OperatorNewThrowBuiltin(size_t size) {
  if (ShouldFail()) throw std::bad_alloc();
  void* block = Malloc(size);
  counters.live.fetch_add(1, std::memory_order_relaxed);
  counters.total.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void mem_Free(void* block) {
  if (block == nullptr) return;
  counters.live.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

void* mem_Reallocate(void* block, size_t size) {
  if (ShouldFail()) throw std::bad_alloc();
  void* moved = std::realloc(block, size != 0 ? size : 1);
  if (moved == nullptr) throw std::bad_alloc();
  counters.total.fetch_add(1, std::memory_order_relaxed);
  return moved;
}

int64_t mem_LiveBlocks() { return counters.live.load(std::memory_order_relaxed); }

uint64_t mem_TotalAllocations() { return counters.total.load(std::memory_order_relaxed); }

#else

// Counts of the threads that have ended, and of blocks taken or freed
// without a cache.
std::atomic<int64_t> retiredLive;
std::atomic<uint64_t> retiredTotal;

const size_t kSpanShift = 16;  // 64 KiB spans
const size_t kSpan = size_t(1) << kSpanShift;
const size_t kReserve = size_t(16) << 30;    // address space for spans; memory is committed as used
const size_t kCommitStep = size_t(2) << 20;  // a large page
const size_t kSmallPagesFor = size_t(32) << 20;
const size_t kMaxSmall = 32768;
const int kClasses = 64;

// Class sizes: steps of 8 up to 128 (the blocks hold pointers and bytes,
// nothing wider), 16 up to 256, 32 up to 512, 64 up to 1024, 128 up to 2048
// (short children vectors, 176 bytes a node, fit closely), then four classes
// per doubling up to 32 KiB: children vectors of up to about 180 nodes.
size_t ClassSize(int c) {
  if (c < 16) return static_cast<size_t>(c + 1) * 8;
  if (c < 24) return 128 + static_cast<size_t>(c - 15) * 16;
  if (c < 32) return 256 + static_cast<size_t>(c - 23) * 32;
  if (c < 40) return 512 + static_cast<size_t>(c - 31) * 64;
  if (c < 48) return 1024 + static_cast<size_t>(c - 39) * 128;
  int group = (c - 48) / 4;
  return (size_t(2048) << group) + static_cast<size_t>((c - 48) % 4 + 1) * (size_t(512) << group);
}

int ClassOf(size_t size) {
  if (size <= 128) return size != 0 ? static_cast<int>((size + 7) >> 3) - 1 : 0;
  if (size <= 256) return 15 + static_cast<int>((size - 128 + 15) >> 4);
  if (size <= 512) return 23 + static_cast<int>((size - 256 + 31) >> 5);
  if (size <= 1024) return 31 + static_cast<int>((size - 512 + 63) >> 6);
  if (size <= 2048) return 39 + static_cast<int>((size - 1024 + 127) >> 7);
  int group = 0;
  while ((size_t(4096) << group) < size) ++group;
  size_t step = size_t(512) << group;
  return 47 + group * 4 + static_cast<int>((size - (size_t(2048) << group) + step - 1) / step);
}

// Free blocks of one class, as a stack of their addresses. Taking a block
// reads only the stack, never the block: a block freed long ago is cold, and
// a list linked through the blocks would cost a cache miss per block taken.
struct Stack {
  void** slots = nullptr;
  size_t count = 0;
  size_t room = 0;

  // Room for `more` addresses; false when none could be had.
  bool Reserve(size_t more) {
    if (count + more <= room) return true;
    size_t grown = room != 0 ? room * 2 : 32;
    while (grown < count + more) grown *= 2;
    void* moved = std::realloc(slots, grown * sizeof(void*));
    if (moved == nullptr) return false;
    slots = static_cast<void**>(moved);
    room = grown;
    return true;
  }
};

// What all threads share, under one lock: the span reservation, the
// blocks threads handed back, and each span's class.
struct Central {
  std::mutex lock;
  char* base = nullptr;
  char* nextSpan = nullptr;
  char* committed = nullptr;
  char* end = nullptr;
  Stack free[kClasses];
  unsigned char* spanClass = nullptr;
  bool failed = false;

  bool Reserve() {
    if (base != nullptr || failed) return base != nullptr;
    void* range = mmap(nullptr, kReserve, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    void* classes = mmap(nullptr, kReserve >> kSpanShift, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (range == MAP_FAILED || classes == MAP_FAILED) {
      if (range != MAP_FAILED) munmap(range, kReserve);
      if (classes != MAP_FAILED) munmap(classes, kReserve >> kSpanShift);
      failed = true;
      return false;
    }
    // Page faults are dear: a large document touches its memory once, in
    // order, so past the first 32 MiB let the kernel map it in large pages
    // where it can. (Below that, large pages would cost a small document a
    // partly used 2 MiB page per region it touches.)
    madvise(static_cast<char*>(range) + kSmallPagesFor, kReserve - kSmallPagesFor, MADV_HUGEPAGE);
    // Spans start on a span boundary, so a block's span is its address
    // rounded down.
    char* start = static_cast<char*>(range);
    char* aligned = start + ((kSpan - reinterpret_cast<uintptr_t>(start) % kSpan) % kSpan);
    base = nextSpan = committed = aligned;
    end = static_cast<char*>(range) + kReserve;
    spanClass = static_cast<unsigned char*>(classes);
    return true;
  }

  // A fresh span for class `c`, or null when the reservation is used up.
  char* NewSpan(int c) {
    if (!Reserve() || end - nextSpan < static_cast<ptrdiff_t>(kSpan)) return nullptr;
    if (nextSpan == committed) {
      size_t step = static_cast<size_t>(end - committed) < kCommitStep ? kSpan : kCommitStep;
      if (mprotect(committed, step, PROT_READ | PROT_WRITE) != 0) return nullptr;
      committed += step;
    }
    char* span = nextSpan;
    nextSpan += kSpan;
    spanClass[static_cast<size_t>(span - base) >> kSpanShift] = static_cast<unsigned char>(c);
    return span;
  }
};

Central central;
// Read without the lock once set: a block's address can only be in the range
// after the range was made, and the block reached its freeing thread after.
std::atomic<char*> spanBase{nullptr};

bool IsSpanBlock(const void* block) {
  char* base = spanBase.load(std::memory_order_relaxed);
  return base != nullptr && static_cast<size_t>(static_cast<const char*>(block) - base) < kReserve;
}

int SpanClassOf(const void* block) {
  char* base = spanBase.load(std::memory_order_relaxed);
  return central.spanClass[static_cast<size_t>(static_cast<const char*>(block) - base) >> kSpanShift];
}

// Blocks outside the spans start with this header: their size, and for a
// block mapped here the length in use and the length of the mapping, room
// to grow into included; 0 for a block from malloc.
struct LargeHeader {
  size_t size;
  size_t mapped;
  size_t reserved;
  size_t unused;  // keeps the block 16-byte aligned
};
const size_t kMapFrom = size_t(1) << 20;
const size_t kPage = 4096;

size_t PageRound(size_t size) { return (size + sizeof(LargeHeader) + kPage - 1) & ~(kPage - 1); }

// Address space to keep for a mapping of `length`: room to double six
// times in place, and a gigabyte at least. A growing vector then seldom
// moves, and its elements are seldom mended (a walk over all of them,
// through cold memory). Address space never touched costs nothing.
size_t ReserveFor(size_t length) {
  size_t reserve = length > SIZE_MAX / 128 ? length : length * 64;
  return reserve < (size_t(1) << 30) ? size_t(1) << 30 : reserve;
}

// A readable mapping of `reserved` bytes, or of just `length` where the
// system will not promise the larger one.
void* MapRoom(size_t length, size_t& reserved) {
  void* mapping =
      mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED && reserved > length) {
    reserved = length;
    mapping =
        mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  }
  return mapping;
}

// A few mappings given back are kept for the next large block: a document
// read or written again then finds its memory mapped already.
const int kKept = 4;
const size_t kKeepAtMost = size_t(512) << 20;  // of memory touched
std::mutex keptLock;
LargeHeader* kept[kKept];
size_t keptBytes;

LargeHeader* TakeKept(size_t length) {
  std::lock_guard<std::mutex> guard(keptLock);
  int best = -1;
  for (int i = 0; i < kKept; ++i) {
    if (kept[i] != nullptr && kept[i]->reserved >= length &&
        (best < 0 || kept[i]->reserved < kept[best]->reserved)) {
      best = i;
    }
  }
  if (best < 0) return nullptr;
  LargeHeader* header = kept[best];
  kept[best] = nullptr;
  keptBytes -= header->mapped;
  return header;
}

bool Keep(LargeHeader* header) {
  std::lock_guard<std::mutex> guard(keptLock);
  if (keptBytes + header->mapped > kKeepAtMost) return false;
  for (int i = 0; i < kKept; ++i) {
    if (kept[i] == nullptr) {
      kept[i] = header;
      keptBytes += header->mapped;
      return true;
    }
  }
  return false;
}

// A block of a megabyte or more (a long children vector, a rendered
// document) is a mapping of its own, in large pages where the kernel can (a
// fault per 2 MiB, not per 4 KiB), that grows in place or by remapping,
// copying nothing.
void* TakeLarge(size_t size) {
  if (size > SIZE_MAX / 128) throw std::bad_alloc();
  LargeHeader* header;
  if (size >= kMapFrom) {
    size_t length = PageRound(size);
    if (LargeHeader* reused = TakeKept(length)) {
      // Its pages up to `mapped` are touched already: keep counting them.
      if (length > reused->mapped) reused->mapped = length;
      reused->size = size;
      return reused + 1;
    }
    size_t reserved = ReserveFor(length);
    // One mapping, readable throughout (a remap moves one mapping only);
    // pages not yet touched cost nothing.
    void* mapping = MapRoom(length, reserved);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    madvise(mapping, reserved, MADV_HUGEPAGE);
    header = static_cast<LargeHeader*>(mapping);
    header->mapped = length;
    header->reserved = reserved;
  } else {
    header = static_cast<LargeHeader*>(Malloc(size + sizeof(LargeHeader)));
    header->mapped = 0;
    header->reserved = 0;
  }
  header->size = size;
  return header + 1;
}

void GiveLarge(void* block) {
  LargeHeader* header = static_cast<LargeHeader*>(block) - 1;
  if (header->reserved != 0) {
    if (!Keep(header)) munmap(header, header->reserved);
  } else {
    std::free(header);
  }
}

void* ResizeLarge(void* block, size_t size) {
  if (size > SIZE_MAX / 128) throw std::bad_alloc();
  LargeHeader* header = static_cast<LargeHeader*>(block) - 1;
  if (header->reserved != 0 && size >= kMapFrom) {
    size_t length = PageRound(size);
    if (length > header->reserved) {
      size_t reserved = ReserveFor(length);
      void* mapping = mremap(header, header->reserved, reserved, MREMAP_MAYMOVE);
      if (mapping == MAP_FAILED) {
        reserved = length;
        mapping = mremap(header, header->reserved, reserved, MREMAP_MAYMOVE);
      }
      if (mapping == MAP_FAILED) throw std::bad_alloc();
      header = static_cast<LargeHeader*>(mapping);
      header->reserved = reserved;
      madvise(mapping, reserved, MADV_HUGEPAGE);
    }
    if (length > header->mapped) header->mapped = length;
    header->size = size;
    return header + 1;
  }
  if (header->reserved == 0 && size < kMapFrom) {
    void* moved = std::realloc(header, size + sizeof(LargeHeader));
    if (moved == nullptr) throw std::bad_alloc();
    header = static_cast<LargeHeader*>(moved);
    header->size = size;
    return header + 1;
  }
  void* moved = TakeLarge(size);
  std::memcpy(moved, block, size < header->size ? size : header->size);
  GiveLarge(block);
  return moved;
}

struct ThreadCache {
  struct List {
    Stack free;
    char* bump = nullptr;  // the uncarved rest of this thread's current span
    char* bumpEnd = nullptr;
  };
  List lists[kClasses];
  Counters counters;
  ThreadCache* next = nullptr;  // in the list of live caches
};

// Blocks a thread keeps per class: 64 KiB worth, from 32 to 2048 blocks.
// Past that, half go back to the shared store.
size_t Limit(int c) {
  size_t blocks = (size_t(64) << 10) / ClassSize(c);
  return blocks < 32 ? 32 : (blocks > 2048 ? 2048 : blocks);
}

std::mutex cachesLock;  // guards the list of live caches
ThreadCache* caches = nullptr;
pthread_key_t cacheKey;
std::once_flag keyOnce;

__thread ThreadCache* threadCache __attribute__((tls_model("initial-exec"))) = nullptr;
__thread bool threadEnded __attribute__((tls_model("initial-exec"))) = false;

// Moves `count` addresses from the top of `from` to `to`; the lock is held
// when either is shared. When `to` cannot grow, the blocks stay out of use.
void Move(Stack& from, Stack& to, size_t count) {
  if (to.Reserve(count))
    std::memcpy(to.slots + to.count, from.slots + from.count - count, count * sizeof(void*));
  to.count += to.room >= to.count + count ? count : 0;
  from.count -= count;
}

void EndThread(void* data) {
  ThreadCache* cache = static_cast<ThreadCache*>(data);
  {
    std::lock_guard<std::mutex> guard(central.lock);
    for (int c = 0; c < kClasses; ++c) {
      ThreadCache::List& list = cache->lists[c];
      Move(list.free, central.free[c], list.free.count);
      std::free(list.free.slots);
      // The uncarved rest of a span goes back as blocks.
      size_t size = ClassSize(c);
      for (char* p = list.bump; p != nullptr && p + size <= list.bumpEnd; p += size) {
        if (central.free[c].Reserve(1)) central.free[c].slots[central.free[c].count++] = p;
      }
    }
  }
  {
    std::lock_guard<std::mutex> guard(cachesLock);
    retiredLive.fetch_add(cache->counters.live.load(std::memory_order_relaxed), std::memory_order_relaxed);
    retiredTotal.fetch_add(cache->counters.total.load(std::memory_order_relaxed), std::memory_order_relaxed);
    for (ThreadCache** link = &caches; *link != nullptr; link = &(*link)->next) {
      if (*link == cache) {
        *link = cache->next;
        break;
      }
    }
  }
  threadCache = nullptr;
  threadEnded = true;
  cache->~ThreadCache();
  std::free(cache);
}

ThreadCache* Cache() {
  if (threadCache != nullptr || threadEnded) return threadCache;
  std::call_once(keyOnce, [] { pthread_key_create(&cacheKey, EndThread); });
  void* memory = std::calloc(1, sizeof(ThreadCache));
  if (memory == nullptr) return nullptr;
  ThreadCache* cache = new (memory) ThreadCache();
  {
    std::lock_guard<std::mutex> guard(cachesLock);
    cache->next = caches;
    caches = cache;
  }
  pthread_setspecific(cacheKey, cache);
  threadCache = cache;
  return cache;
}

// Takes a block of class `c` from the shared store or a new span; null when
// the reservation is used up. With a cache's list, also refills it.
void* Refill(int c, ThreadCache::List* list) {
  std::lock_guard<std::mutex> guard(central.lock);
  Stack& shared = central.free[c];
  if (shared.count != 0) {
    if (list == nullptr) return shared.slots[--shared.count];
    // Half a cache's worth at most: the rest stays for other threads.
    size_t want = Limit(c) / 2;
    Move(shared, list->free, shared.count < want ? shared.count : want);
    if (list->free.count != 0) return list->free.slots[--list->free.count];
  }
  char* span = central.NewSpan(c);
  if (span == nullptr) return nullptr;
  if (central.base != spanBase.load(std::memory_order_relaxed)) spanBase.store(central.base);
  size_t size = ClassSize(c);
  if (list == nullptr) {
    // No cache to keep the rest: share it out.
    for (char* p = span + size; p + size <= span + kSpan; p += size) {
      if (shared.Reserve(1)) shared.slots[shared.count++] = p;
    }
    return span;
  }
  list->bump = span + size;
  list->bumpEnd = span + kSpan;
  return span;
}

void* AllocateSmall(size_t size) {
  int c = ClassOf(size);
  ThreadCache* cache = Cache();
  if (cache == nullptr) {
    void* block = Refill(c, nullptr);
    if (block == nullptr) block = TakeLarge(size);
    retiredLive.fetch_add(1, std::memory_order_relaxed);
    retiredTotal.fetch_add(1, std::memory_order_relaxed);
    return block;
  }
  ThreadCache::List& list = cache->lists[c];
  void* block;
  if (list.free.count != 0) {
    block = list.free.slots[--list.free.count];
  } else if (list.bump != nullptr && list.bump + ClassSize(c) <= list.bumpEnd) {
    block = list.bump;
    list.bump += ClassSize(c);
  } else {
    block = Refill(c, &list);
    if (block == nullptr) block = TakeLarge(size);
  }
  cache->counters.Took();
  return block;
}

void FreeSmall(void* block) {
  int c = SpanClassOf(block);
  ThreadCache* cache = Cache();
  if (cache == nullptr) {
    std::lock_guard<std::mutex> guard(central.lock);
    if (central.free[c].Reserve(1)) central.free[c].slots[central.free[c].count++] = block;
    retiredLive.fetch_sub(1, std::memory_order_relaxed);
    return;
  }
  Stack& mine = cache->lists[c].free;
  cache->counters.Gave();
  if (mine.count == mine.room) {
    size_t limit = Limit(c);
    if (mine.room < limit && mine.Reserve(1)) {
      mine.slots[mine.count++] = block;
      return;
    }
    // Full: the older half goes to the shared store. (A list that could not
    // grow at all hands back what it has, and keeps this one.)
    std::lock_guard<std::mutex> guard(central.lock);
    Stack& shared = central.free[c];
    size_t half = mine.count / 2;
    if (shared.Reserve(half)) {
      std::memcpy(shared.slots + shared.count, mine.slots, half * sizeof(void*));
      shared.count += half;
      std::memmove(mine.slots, mine.slots + half, (mine.count - half) * sizeof(void*));
      mine.count -= half;
    }
    if (mine.count == mine.room) {
      if (shared.Reserve(1)) shared.slots[shared.count++] = block;
      return;
    }
  }
  mine.slots[mine.count++] = block;
}

}  // namespace

void* mem_OperatorNewThrowBuiltin(size_t size) {
  if (ShouldFail()) throw std::bad_alloc();
  if (size <= kMaxSmall) return AllocateSmall(size);
  void* block = TakeLarge(size);
  if (ThreadCache* cache = Cache()) {
    cache->counters.Took();
  } else {
    retiredLive.fetch_add(1, std::memory_order_relaxed);
    retiredTotal.fetch_add(1, std::memory_order_relaxed);
  }
  return block;
}

void mem_Free(void* block) {
  if (block == nullptr) return;
  if (IsSpanBlock(block)) {
    FreeSmall(block);
    return;
  }
  if (ThreadCache* cache = Cache()) {
    cache->counters.Gave();
  } else {
    retiredLive.fetch_sub(1, std::memory_order_relaxed);
  }
  GiveLarge(block);
}

// A block kept or grown in place still counts as one taken.
static void CountReallocation() {
  if (ThreadCache* cache = Cache()) {
    cache->counters.total.store(cache->counters.total.load(std::memory_order_relaxed) + 1,
                                std::memory_order_relaxed);
  } else {
    retiredTotal.fetch_add(1, std::memory_order_relaxed);
  }
}

void* mem_Reallocate(void* block, size_t size) {
  if (IsSpanBlock(block)) {
    int c = SpanClassOf(block);
    size_t room = ClassSize(c);
    if (size <= kMaxSmall && ClassOf(size) == c) {
      // The same class: keep it. Still counted as taken.
      if (ShouldFail()) throw std::bad_alloc();
      CountReallocation();
      return block;
    }
    void* moved = mem_OperatorNewThrowBuiltin(size);
    std::memcpy(moved, block, size < room ? size : room);
    mem_Free(block);
    return moved;
  }
  if (size <= kMaxSmall) {
    // Shrinking a large block: into a span.
    void* moved = mem_OperatorNewThrowBuiltin(size);
    std::memcpy(moved, block, size);
    mem_Free(block);
    return moved;
  }
  if (ShouldFail()) throw std::bad_alloc();
  void* moved = ResizeLarge(block, size);
  CountReallocation();
  return moved;
}

// The threads' own counts, plus what exited threads left behind.
template <class T>
static T Sum(const std::atomic<T>& retired, std::atomic<T> Counters::*count) {
  std::lock_guard<std::mutex> guard(cachesLock);
  T sum = retired.load(std::memory_order_relaxed);
  for (ThreadCache* cache = caches; cache != nullptr; cache = cache->next) {
    sum += (cache->counters.*count).load(std::memory_order_relaxed);
  }
  return sum;
}

int64_t mem_LiveBlocks() { return Sum(retiredLive, &Counters::live); }

uint64_t mem_TotalAllocations() { return Sum(retiredTotal, &Counters::total); }

#endif

void* mem_TryOperatorNew(size_t size) noexcept {
  try {
    return mem_OperatorNewThrowBuiltin(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void mem_FailAfter(uint64_t countdown) { failCountdown.store(countdown, std::memory_order_relaxed); }

ZELBAS_DEFINE_MODULE_PAIR(ZELBasAlloc)
