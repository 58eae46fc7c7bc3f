// The vector over its engine: growth, copies, swaps and element copies that
// throw.
#include <gtest/gtest.h>

#include <stdexcept>

#include "AllocationScope.h"
#include "ZELBasVector.h"

namespace {

// Counts live instances; can be told to throw on the Nth copy from now.
struct Counted {
  static int live;
  static int copiesUntilThrow;  // 0: never throw

  int value;
  explicit Counted(int v) : value(v) { ++live; }
  Counted(const Counted& other) : value(other.value) {
    if (copiesUntilThrow != 0 && --copiesUntilThrow == 0) throw std::runtime_error("copy failed");
    ++live;
  }
  ~Counted() { --live; }
};
int Counted::live = 0;
int Counted::copiesUntilThrow = 0;

struct VectorTest : ::testing::Test {
  void TearDown() override { EXPECT_EQ(Counted::live, 0); }
  AllocationScope scope;
};

ZELBasVector<Counted> Make(int count) {
  ZELBasVector<Counted> v;
  for (int i = 0; i < count; ++i) v.push_back(Counted(i));
  return v;
}

}  // namespace

TEST_F(VectorTest, PushBackOfItsOwnElementCopiesAndClear) {
  ZELBasVector<Counted> v;
  EXPECT_TRUE(v.begin() == v.end() && scope.Taken() == 0);
  v = Make(4);  // full: the next push grows
  v.push_back(v[0]);
  v.push_back(v[4]);
  ZELBasVector<Counted> copy(v);
  const_cast<Counted&>(copy[0]).value = 99;
  v = v;
  ASSERT_EQ(v.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i].value, i < 4 ? i : 0);
  copy = ZELBasVector<Counted>();
  EXPECT_EQ(Counted::live, 6);
  // clear() destroys every element and refills the same storage.
  const Counted* storage = v.begin();
  const uint64_t taken = scope.Taken();
  v.clear();
  EXPECT_EQ(Counted::live, 0);
  v.push_back(Counted(7));
  EXPECT_TRUE(v.begin() == storage && v.size() == 1 && scope.Taken() == taken);
}

// A copy that throws at any element, in a copy, an assignment or a push
// that grows the storage: the target keeps what it held and nothing leaks.
TEST_F(VectorTest, ThrowingCopiesAndAllocationsLeaveEveryVectorAsItWas) {
  ZELBasVector<Counted> source = Make(6), target = Make(2), full = Make(4);
  for (int failAt = 1; failAt <= 6; ++failAt) {
    Counted::copiesUntilThrow = failAt;
    EXPECT_THROW(ZELBasVector<Counted> copy(source), std::runtime_error);
    Counted::copiesUntilThrow = failAt;
    EXPECT_THROW(target = source, std::runtime_error);
    Counted::copiesUntilThrow = failAt;
    if (failAt <= 5) {
      EXPECT_THROW(full.push_back(Counted(7)), std::runtime_error);
    }
    Counted::copiesUntilThrow = 0;
    EXPECT_EQ(Counted::live, 12);
    ASSERT_EQ(target.size() + full.size(), 6u);
    EXPECT_EQ(target[1].value, 1);
    EXPECT_EQ(full[3].value, 3);
  }
  mem_FailAfter(1);
  EXPECT_THROW(full.push_back(Counted(7)), std::bad_alloc);
  mem_FailAfter(0);
  EXPECT_EQ(full.size(), 4u);
}
