// The indentation's run of bytes, grown when a deeper level needs it.
#include "Indentation.h"

#include <algorithm>

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
  size_t length = indentLength + depth * unit.size();
  if (length > room) {
    size_t grown = length * 2;
    char* bytes = NewBytes(grown);
    std::memcpy(bytes, run, indentLength);
    mem_Free(run);
    run = bytes;
    room = grown;
  }
  for (size_t at = indentLength; !unit.empty() && at < room; at += unit.size()) {
    std::memcpy(run + at, unit.data(), std::min(unit.size(), room - at));
  }
}

}  // namespace zelbas_detail
