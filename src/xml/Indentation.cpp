// The indentation's run of bytes, grown when a deeper level needs it.
#include "Indentation.h"

#include "Buffer.h"

namespace zelbas_detail {

Indentation::~Indentation() {
  if (run != nullptr) mem_Free(run);
}

void Indentation::Grow(size_t depth) {
  if (run == nullptr) {
    // The caller's indentation, every byte of it.
    indentLength = prefix.GetLengthInBytes();
    room = indentLength + 256;
    run = NewBytes(room);
    std::memcpy(run, prefix.CastToCharPtr(), indentLength);
  }
  size_t length = indentLength + depth * kPerLevel;
  if (length > room) {
    size_t grown = length * 2;
    char* bytes = NewBytes(grown);
    std::memcpy(bytes, run, indentLength);
    mem_Free(run);
    run = bytes;
    room = grown;
  }
  std::memset(run + indentLength, ' ', room - indentLength);
}

}  // namespace zelbas_detail
