// The core module's representation of a string's text: one block holding the
// count, the sizes and the NUL-terminated UTF-8 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ZELString.h"

namespace zelcore_detail {

// A header of 16 bytes: most texts are short, and a header is paid per
// string. Texts of 4 GiB and more keep their sizes in a block just before.
struct Rep {
  atr_StringRep head;  // refCount first, as every string expects
  int32_t charCount;   // -1 until first asked for
  uint32_t length;     // bytes, without the terminator
  uint32_t capacity;   // bytes of room for text, without the terminator; kBig: see BigSizes
  char text[1];
};

const uint32_t kBig = 0xFFFFFFFFu;

struct BigSizes {
  size_t length;
  size_t capacity;
};

inline BigSizes* BigSizesOf(const Rep* rep) { return reinterpret_cast<BigSizes*>(const_cast<Rep*>(rep)) - 1; }
inline size_t Length(const Rep* rep) { return rep->capacity != kBig ? rep->length : BigSizesOf(rep)->length; }
inline size_t Capacity(const Rep* rep) {
  return rep->capacity != kBig ? rep->capacity : BigSizesOf(rep)->capacity;
}
inline void SetLength(Rep* rep, size_t length) {
  if (rep->capacity != kBig) {
    rep->length = static_cast<uint32_t>(length);
  } else {
    BigSizesOf(rep)->length = length;
  }
}

// A text built once and short has a header of 8 bytes and no room to
// grow: the count, then its length (low 16 bits) and its character count
// plus one (high 16 bits; 0 until counted). A string tells the two layouts
// apart by where its characters start.
struct CompactRep {
  atr_StringRep head;
  uint32_t sizes;
  char text[1];
};

const size_t kCompactMax = 0x7FFF;

// Both layouts begin with the count every string expects, and a string
// tells them apart by where the characters start. The big sizes sit just
// before a header, which stays aligned for them.
static_assert(offsetof(Rep, head) == 0 && offsetof(CompactRep, head) == 0, "the count comes first");
static_assert(offsetof(Rep, text) == 16 && offsetof(CompactRep, text) == 8, "headers of 16 and 8 bytes");
static_assert(alignof(CompactRep) <= alignof(Rep) && sizeof(BigSizes) % alignof(Rep) == 0,
              "headers aligned wherever a block or the big sizes put them");

// A compact representation of `length` bytes (1 to kCompactMax), count 1;
// its text is left to the caller.
CompactRep* NewCompact(size_t length);

inline CompactRep* CompactOf(atr_StringRep* representation) {
  return reinterpret_cast<CompactRep*>(representation);
}

inline bool IsCompact(const atr_StringRep* representation, const char* characters) {
  return characters == reinterpret_cast<const char*>(representation) + offsetof(CompactRep, text);
}

// A representation with room for `capacity` bytes of text, count 1.
Rep* NewRep(size_t capacity);
// The unshared `rep` of fewer than kBig bytes, with room for `capacity`
// (also fewer) bytes of text; it may move.
Rep* GrowRep(Rep* rep, size_t capacity);
// Frees a representation made by NewRep.
void FreeRep(Rep* rep);

inline Rep* RepOf(atr_StringRep* representation) { return reinterpret_cast<Rep*>(representation); }

// Characters in `length` bytes of UTF-8; each byte of an invalid sequence
// counts as one character.
size_t CountChars(const char* text, size_t length);

// True when every byte is below 0x80.
bool AllAscii(const char* text, size_t length);

// Copies 4 to 16 bytes, `sizeof(Word)` to twice as many, as the first and
// the last word (which overlap when there are fewer), and tells whether all
// are below 0x80.
template <class Word>
inline bool CopyAsciiWords(char* to, const char* from, size_t length) {
  Word head, tail;
  std::memcpy(&head, from, sizeof head);
  std::memcpy(&tail, from + length - sizeof tail, sizeof tail);
  std::memcpy(to, &head, sizeof head);
  std::memcpy(to + length - sizeof tail, &tail, sizeof tail);
  return ((head | tail) & static_cast<Word>(0x8080808080808080ULL)) == 0;
}

// Copies `length` bytes and tells whether all are below 0x80. Most texts
// are a few bytes: 4 to 16 of them move as two words that may overlap, and
// fewer one by one, without a call.
inline bool CopyAscii(char* to, const char* from, size_t length) {
  if (length > 16) {
    std::memcpy(to, from, length);
    return AllAscii(from, length);
  }
  if (length >= 8) return CopyAsciiWords<uint64_t>(to, from, length);
  if (length >= 4) return CopyAsciiWords<uint32_t>(to, from, length);
  if (length == 0) return true;
  // The first, the middle and the last of 1 to 3 bytes.
  to[0] = from[0];
  to[length / 2] = from[length / 2];
  to[length - 1] = from[length - 1];
  return ((static_cast<unsigned char>(from[0]) | static_cast<unsigned char>(from[length / 2]) |
           static_cast<unsigned char>(from[length - 1])) &
          0x80) == 0;
}

}  // namespace zelcore_detail
