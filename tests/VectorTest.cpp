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
  Counted& operator=(const Counted&) = default;
  ~Counted() { --live; }
};
int Counted::live = 0;
int Counted::copiesUntilThrow = 0;

struct VectorTest : ::testing::Test {
  void SetUp() override { Counted::live = 0; }
  void TearDown() override {
    Counted::copiesUntilThrow = 0;
    EXPECT_EQ(Counted::live, 0);
  }
  AllocationScope scope;
};

ZELBasVector<Counted> Make(int count) {
  ZELBasVector<Counted> v;
  for (int i = 0; i < count; ++i) v.push_back(Counted(i));
  return v;
}

}  // namespace

TEST_F(VectorTest, PushBackKeepsOrderThroughGrowth) {
  ZELBasVector<Counted> v;
  EXPECT_EQ(v.begin(), v.end());
  EXPECT_EQ(scope.Taken(), 0u);
  for (int i = 0; i < 1000; ++i) v.push_back(Counted(i));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(v[i].value, i);
  EXPECT_EQ(Counted::live, 1000);
  EXPECT_LE(scope.Live(), 1);
  // clear() destroys every element and refills the same storage.
  const Counted* storage = v.begin();
  const uint64_t taken = scope.Taken();
  v.clear();
  EXPECT_EQ(Counted::live, 0);
  v.push_back(Counted(7));
  EXPECT_EQ(v.begin(), storage);
  EXPECT_EQ(v.size(), 1u);
  EXPECT_EQ(scope.Taken(), taken);
}

TEST_F(VectorTest, PushBackOfItsOwnElementSurvivesTheMove) {
  ZELBasVector<Counted> v = Make(4);  // full: the next push grows
  v.push_back(v[0]);
  v.push_back(v[4]);
  EXPECT_EQ(v[4].value, 0);
  EXPECT_EQ(v[5].value, 0);
}

TEST_F(VectorTest, CopiesAreIndependentAndSelfAssignmentKeeps) {
  ZELBasVector<Counted> a = Make(5);
  ZELBasVector<Counted> b(a);
  const_cast<Counted&>(b[0]).value = 99;
  EXPECT_EQ(a[0].value, 0);
  a = a;
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[4].value, 4);
  a = ZELBasVector<Counted>();
  EXPECT_EQ(Counted::live, 5);
}

TEST_F(VectorTest, ThrowingCopyDuringInitReleasesEverything) {
  ZELBasVector<Counted> source = Make(6);
  for (int failAt = 1; failAt <= 6; ++failAt) {
    Counted::copiesUntilThrow = failAt;
    EXPECT_THROW(ZELBasVector<Counted> copy(source), std::runtime_error);
    EXPECT_EQ(Counted::live, 6);
  }
  ZELBasVector<Counted> target = Make(2);
  Counted::copiesUntilThrow = 3;
  EXPECT_THROW(target = source, std::runtime_error);
  ASSERT_EQ(target.size(), 2u);
  EXPECT_EQ(target[1].value, 1);
}

TEST_F(VectorTest, ThrowingCopyDuringGrowthLeavesTheVectorAsItWas) {
  ZELBasVector<Counted> v = Make(4);
  for (int failAt = 1; failAt <= 5; ++failAt) {
    Counted::copiesUntilThrow = failAt;
    EXPECT_THROW(v.push_back(Counted(7)), std::runtime_error);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[3].value, 3);
    EXPECT_EQ(Counted::live, 4);
  }
  Counted::copiesUntilThrow = 0;
  mem_FailAfter(1);
  EXPECT_THROW(v.push_back(Counted(7)), std::bad_alloc);
  mem_FailAfter(0);
  EXPECT_EQ(v.size(), 4u);
}
