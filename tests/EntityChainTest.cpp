// A chain of 200,000 entities, each defined as a reference to the one
// before, the last referenced in the root: an Expat that expands entities by
// recursion overflows the stack on it (5.8 MB of input). A patched Expat
// reads it, whole and in chunks, to the one character the chain ends in.
#include <gtest/gtest.h>

#include <string>

#include "DocumentReads.h"

TEST(EntityChainTest, AChainOfNestedEntitiesReadsToItsEnd) {
  const int entities = 200000;
  std::string chain = "<!DOCTYPE r [\n<!ENTITY e0 \"x\">\n";
  for (int i = 1; i < entities; ++i)
    chain += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i - 1) + ";\">\n";
  chain += "]>\n<r>&e" + std::to_string(entities - 1) + ";</r>\n";
  ASSERT_GT(chain.size(), kChunk * 20) << "read in many chunks by ReadFile";

  BothWays read(chain);
  EXPECT_EQ(read.stringResult, S_OK);
  EXPECT_EQ(read.fileReport + read.stringReport, "");
  EXPECT_EQ(Body(read.file), "<r>x\n</r>\n");
  EXPECT_EQ(Body(read.string), "<r>x\n</r>\n");
}
