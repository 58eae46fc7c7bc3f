#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "AllocationScope.h"

// Blocks of every size class and beyond, half freed on their own thread and
// half on the main one: each counted once, none overlapping another.
TEST(AllocTest, CountsEveryBlockAcrossThreads) {
  AllocationScope scope;
  const int kThreads = 4;
  const size_t kBlocks = 20000;
  auto size = [](size_t i, int t) -> size_t {  // mostly small, now and then up to 160 KiB
    size_t mixed = i * 37 + static_cast<size_t>(t);
    return i % 97 == 0 ? mixed * 101 % 160000 : mixed % 3000;
  };
  std::vector<std::vector<void*>> taken(kThreads, std::vector<void*>(kBlocks));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &taken, size] {
      for (size_t i = 0; i < kBlocks; ++i) {
        taken[t][i] = mem_OperatorNewThrowBuiltin(size(i, t));
        std::memset(taken[t][i], 'a' + t, std::max<size_t>(size(i, t), 1));
      }
      for (size_t i = 0; i < kBlocks; i += 2) mem_Free(taken[t][i]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(scope.Live(), static_cast<int64_t>(kThreads * kBlocks / 2));
  EXPECT_EQ(scope.Taken(), static_cast<uint64_t>(kThreads * kBlocks));
  for (int t = 0; t < kThreads; ++t) {
    for (size_t i = 1; i < kBlocks; i += 2) {
      const char* bytes = static_cast<const char*>(taken[t][i]);
      ASSERT_EQ(bytes[0], 'a' + t);
      ASSERT_EQ(bytes[std::max<size_t>(size(i, t), 1) - 1], 'a' + t);
      mem_Free(taken[t][i]);
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
  for (void* block : {first, second, fourth, static_cast<void*>(nullptr)}) mem_Free(block);
}
