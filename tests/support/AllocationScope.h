// Checks that the code run inside a scope returns every block it took.
#pragma once

#include <gtest/gtest.h>

#include "ZELBasAlloc.h"

class AllocationScope {
public:
  AllocationScope() : liveAtStart(mem_LiveBlocks()), totalAtStart(mem_TotalAllocations()) {}
  ~AllocationScope() { EXPECT_EQ(mem_LiveBlocks(), liveAtStart) << "blocks leaked or freed twice"; }

  int64_t Live() const { return mem_LiveBlocks() - liveAtStart; }
  uint64_t Taken() const { return mem_TotalAllocations() - totalAtStart; }

private:
  int64_t liveAtStart;
  uint64_t totalAtStart;
};
