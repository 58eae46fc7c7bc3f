#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "AllocationScope.h"

namespace {

// Mostly small blocks, and now and then one of up to 160 KiB.
size_t SizeOf(size_t i, int thread) {
  size_t mixed = i * 37 + static_cast<size_t>(thread);
  return i % 97 == 0 ? mixed * 101 % 160000 : mixed % 3000;
}

}  // namespace

// Threads take blocks of every size class and beyond, free half on their own
// thread and leave half for the main thread: every block is counted once,
// none overlaps another, and the counts come back to where they were.
TEST(AllocTest, CountsEveryBlockAcrossThreads) {
  AllocationScope scope;
  const int kThreads = 4;
  const size_t kBlocks = 20000;
  std::vector<std::vector<void*>> kept(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &kept] {
      std::vector<void*> taken;
      for (size_t i = 0; i < kBlocks; ++i) {
        size_t size = SizeOf(i, t);
        void* block = mem_OperatorNewThrowBuiltin(size);
        std::memset(block, 'a' + t, size != 0 ? size : 1);
        taken.push_back(block);
      }
      for (size_t i = 0; i < kBlocks; ++i) {
        if (i % 2 == 0) {
          mem_Free(taken[i]);
        } else {
          kept[t].push_back(taken[i]);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(scope.Live(), static_cast<int64_t>(kThreads * kBlocks / 2));
  EXPECT_EQ(scope.Taken(), static_cast<uint64_t>(kThreads * kBlocks));
  for (int t = 0; t < kThreads; ++t) {
    for (size_t i = 0; i < kept[t].size(); ++i) {
      size_t size = SizeOf(2 * i + 1, t);
      const char* bytes = static_cast<const char*>(kept[t][i]);
      ASSERT_EQ(bytes[0], 'a' + t);
      ASSERT_EQ(bytes[size != 0 ? size - 1 : 0], 'a' + t);
      mem_Free(kept[t][i]);
    }
  }
}

TEST(AllocTest, FailureHookFailsExactlyTheCountedCall) {
  AllocationScope scope;
  mem_FailAfter(3);
  void* first = mem_OperatorNewThrowBuiltin(16);
  void* second = mem_OperatorNewThrowBuiltin(5000);
  EXPECT_THROW(mem_OperatorNewThrowBuiltin(16), std::bad_alloc);
  void* fourth = mem_OperatorNewThrowBuiltin(16);  // the hook is spent
  EXPECT_EQ(scope.Live(), 3);
  EXPECT_EQ(scope.Taken(), 3u);
  mem_Free(first);
  mem_Free(second);
  mem_Free(fourth);
  mem_Free(nullptr);
}
