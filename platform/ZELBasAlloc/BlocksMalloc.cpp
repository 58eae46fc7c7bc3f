// The memory module's blocks from the C runtime's heap: the sanitizer
// builds, which watch each block, and Windows.
#include <cstdlib>

#include "Blocks.h"

namespace zelalloc_detail {

void* BlockTake(size_t size) { return std::malloc(size); }

void* BlockResize(void* block, size_t size) { return std::realloc(block, size); }

void BlockGive(void* block) { std::free(block); }

}  // namespace zelalloc_detail
