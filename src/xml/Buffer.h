// Byte buffers from the memory module: how the module takes one (NewBytes,
// everywhere in src/xml), and the owner that returns one on every way out
// of the scope that holds it (Buffer).
#pragma once

#include "ZELBasAlloc.h"
#include "ZELBasScopeOwner.h"
#include "ZELBasVector.h"

namespace zelbas_detail {

// `count` bytes from the memory module, returned with mem_Free.
inline char* NewBytes(size_t count) { return new (mem_builtInAlloc) char[count]; }

class Buffer : public ZELBasScopeOwner<char*, void (*)(void*)> {
public:
  explicit Buffer(char* bytes) : ZELBasScopeOwner(bytes, &mem_Free) {}
};

}  // namespace zelbas_detail
