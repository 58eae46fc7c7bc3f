// Owner of one byte buffer from the memory module, returned on every way out
// of the scope that holds it.
#pragma once

#include "ZELBasAlloc.h"

namespace zelbas_detail {

class Buffer {
public:
  explicit Buffer(char* bytes) : pointer(bytes) {}
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() {
    if (pointer != nullptr) mem_Free(pointer);
    pointer = nullptr;
  }

private:
  char* pointer;
};

}  // namespace zelbas_detail
