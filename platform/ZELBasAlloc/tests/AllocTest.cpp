// The memory module: blocks counted across threads, the failure hook, and
// reallocation keeping what a block held.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "AllocationScope.h"

// Blocks from a few bytes to megabytes (more of those than there are slots
// to grow in place), half freed on their own thread and half on the main
// one: each counted once, none overlapping another.
TEST(AllocTest, CountsEveryBlockAcrossThreads) {
  AllocationScope scope;
  const int kThreads = 4;
  const size_t kBlocks = 20000;
  auto size = [](size_t i, int t) -> size_t {  // mostly small, now and then up to 160 KiB or 3 MiB
    size_t mixed = i * 37 + static_cast<size_t>(t);
    if (i % 997 == 0) return (size_t(1) << 20) + mixed * 101 % (size_t(2) << 20);
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
  mem_FailAfter(4);
  void* first = mem_OperatorNewThrowBuiltin(16);
  void* second = mem_TryOperatorNew(5000);
  first = mem_Reallocate(first, 100);
  EXPECT_EQ(mem_TryOperatorNew(16), nullptr);
  void* fifth = mem_OperatorNewThrowBuiltin(16);  // the hook is spent
  EXPECT_EQ(scope.Live(), 3);
  EXPECT_EQ(scope.Taken(), 4u);
  mem_FailAfter(1);
  EXPECT_THROW(mem_OperatorNewThrowBuiltin(16), std::bad_alloc);
  mem_FailAfter(1);
  EXPECT_THROW(mem_Reallocate(first, 200), std::bad_alloc);
  for (void* block : {first, second, fifth, static_cast<void*>(nullptr)}) mem_Free(block);
}

// A reallocation keeps what the old block held and reads nothing past it,
// between sizes on either side of the allocator's thresholds, among them a
// block grown in place in its own slot and one moved out of it. Each run is
// a fresh process, so that a large block's slot ends where it does (reading
// past it faults); the second runs under an address-space limit, 12 GB past
// what the process has mapped (as `ulimit -v 12000000` leaves a program
// after its start), where large blocks take the general allocator's path.
TEST(AllocTest, ReallocationKeepsWhatTheOldBlockHeld) {
  const size_t kMiB = size_t(1) << 20;
  const std::pair<size_t, size_t> kSteps[] = {{1, 24},
                                              {100, 5000},
                                              {5000, 40},
                                              {3000, 2 * kMiB},
                                              {2 * kMiB, 1 << 30 | 1},
                                              {2 * kMiB, 48 * kMiB},
                                              {48 * kMiB, 64},
                                              {200000, 3 * kMiB}};
  auto reallocateAndExit = [&kSteps]([[maybe_unused]] bool limited) {
#if !defined(_WIN32)
    if (limited) {
      std::ifstream status("/proc/self/status");
      std::string field;
      rlim_t mappedKiB = 0;
      while (status >> field && field != "VmSize:") {
      }
      status >> mappedKiB;
      rlimit limit{(mappedKiB + 12000000) * 1024, (mappedKiB + 12000000) * 1024};
      if (mappedKiB == 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::exit(2);
    }
#endif
    for (const auto& [from, to] : kSteps) {
      char* block = static_cast<char*>(mem_OperatorNewThrowBuiltin(from));
      for (size_t i = 0; i < from; ++i) block[i] = static_cast<char>(i % 251);
      block = static_cast<char*>(mem_Reallocate(block, to));
      block[to - 1] = 'z';
      for (size_t i = 0; i < std::min(from, to - 1); ++i) {
        if (block[i] != static_cast<char>(i % 251)) std::exit(3);
      }
      mem_Free(block);
    }
    std::exit(0);
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(reallocateAndExit(false), ::testing::ExitedWithCode(0), "");
#if !defined(_WIN32)
  EXPECT_EXIT(reallocateAndExit(true), ::testing::ExitedWithCode(0), "");
#endif
}
