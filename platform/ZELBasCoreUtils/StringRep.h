// The core module's representation of a string's text: one block holding the
// count, the sizes and the NUL-terminated UTF-8 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZELString.h"

namespace zelcore {

struct Rep {
  atr_StringRep head;  // refCount first, as every string expects
  int32_t charCount;   // -1 until first asked for
  size_t length;       // bytes, without the terminator
  size_t capacity;     // bytes of room for text, without the terminator
  char text[1];
};

// A representation with room for `capacity` bytes of text, count 1.
Rep* NewRep(size_t capacity);

inline Rep* RepOf(atr_StringRep* representation) { return reinterpret_cast<Rep*>(representation); }

// Characters in `length` bytes of UTF-8; each byte of an invalid sequence
// counts as one character.
size_t CountChars(const char* text, size_t length);

// True when every byte is below 0x80.
bool AllAscii(const char* text, size_t length);

}  // namespace zelcore
