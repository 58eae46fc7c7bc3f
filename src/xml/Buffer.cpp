// The tagged array allocation that byte buffers come from, and its matching
// release, both exported: a host that takes a buffer with
// `new (mem_builtInAlloc) char[n]` gives it back with mem_deleteBuiltIn. This
// module itself returns its buffers through mem_Free (Buffer.h), which is
// what mem_deleteBuiltIn does.
#include "ZELBasVector.h"

void mem_deleteBuiltIn(char* buffer) { mem_Free(buffer); }

void* operator new[](size_t size, mem_BuiltInAlloc) { return mem_OperatorNewThrowBuiltin(size); }
