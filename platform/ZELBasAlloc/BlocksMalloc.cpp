#include <cstdlib>

#include "Blocks.h"

void* BlockTake(size_t size) { return std::malloc(size); }

void* BlockResize(void* block, size_t size) { return std::realloc(block, size); }

void BlockGive(void* block) { std::free(block); }
