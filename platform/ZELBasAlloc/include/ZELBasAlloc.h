/// @file ZELBasAlloc.h
/// ZELBasAlloc: the code base's memory module.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZELBasModulePair.h"

/// Marks what this module exports: ZELBAS_EXPORT while it is built,
/// ZELBAS_IMPORT for its users.
#if defined(ZELBASALLOC_BUILD)
#define ZELBASALLOC_API ZELBAS_EXPORT
#else
#define ZELBASALLOC_API ZELBAS_IMPORT
#endif

/// Gives a block of at least `size` usable bytes; raises std::bad_alloc when
/// none can be had.
ZELBASALLOC_API void* mem_OperatorNewThrowBuiltin(size_t size);

/// As mem_OperatorNewThrowBuiltin, but gives null where that raises
/// std::bad_alloc; counted, and failed by mem_FailAfter, the same way.
ZELBASALLOC_API void* mem_TryOperatorNew(size_t size) noexcept;

/// Takes back a block given by mem_OperatorNewThrowBuiltin or
/// mem_TryOperatorNew; null is ignored.
ZELBASALLOC_API void mem_Free(void* block);

/// Gives a block of at least `size` usable bytes holding the first bytes of
/// `block` (a block given by this module, not null), and takes `block` back;
/// it may be `block` itself. Counts as one allocation. Raises std::bad_alloc,
/// `block` unchanged, when no block can be had.
ZELBASALLOC_API void* mem_Reallocate(void* block, size_t size);

/// Blocks given and not yet taken back, over all threads.
ZELBASALLOC_API int64_t mem_LiveBlocks();

/// Blocks given since the process started, over all threads.
ZELBASALLOC_API uint64_t mem_TotalAllocations();

/// Test hook: the allocation `countdown` calls from now fails with
/// std::bad_alloc (1 = the next one); 0 turns failures off.
ZELBASALLOC_API void mem_FailAfter(uint64_t countdown);

ZELBAS_DECLARE_MODULE_PAIR(ZELBasAlloc, ZELBASALLOC_API)

/// Tag of the array `operator new` that draws on the memory module.
enum mem_BuiltInAlloc { mem_builtInAlloc };

/// Base class giving a class heap instances from the memory module.
class mem_AllocationOperators {
public:
  /// A block from the memory module; std::bad_alloc when none can be had.
  static void* operator new(size_t size) { return mem_OperatorNewThrowBuiltin(size); }
  /// Returns the block to the memory module.
  static void operator delete(void* block) { mem_Free(block); }
};
