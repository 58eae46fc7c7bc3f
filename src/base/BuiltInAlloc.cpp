// Byte buffers from the memory module, for the readers' parse buffers.
#include "ZELBasVector.h"

void mem_deleteBuiltIn(char* buffer) { mem_Free(buffer); }

void* operator new[](size_t size, mem_BuiltInAlloc) { return mem_OperatorNewThrowBuiltin(size); }
