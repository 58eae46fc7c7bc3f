// Making, growing and freeing a string's representation; counting its
// characters.
#include "StringRep.h"

#include <cstring>
#include <new>

#include "ZELBasAlloc.h"
#include "ZELBasCheckedMath.h"

namespace zelcore_detail {

Rep* NewRep(size_t capacity) {
  // The header, the text and its terminator; a big text's sizes before them.
  const size_t bytes = ZELBasCheckedAdd(capacity, offsetof(Rep, text) + 1);
  Rep* rep;
  if (capacity < kBig) {
    rep = static_cast<Rep*>(mem_OperatorNewThrowBuiltin(bytes));
    rep->length = 0;
    rep->capacity = static_cast<uint32_t>(capacity);
  } else {
    BigSizes* sizes =
        static_cast<BigSizes*>(mem_OperatorNewThrowBuiltin(ZELBasCheckedAdd(bytes, sizeof(BigSizes))));
    sizes->length = 0;
    sizes->capacity = capacity;
    rep = reinterpret_cast<Rep*>(sizes + 1);
    rep->length = kBig;
    rep->capacity = kBig;
  }
  rep->head.refCount = 1;
  rep->charCount = -1;
  rep->text[0] = '\0';
  return rep;
}

CompactRep* NewCompact(size_t length) {
  CompactRep* rep =
      static_cast<CompactRep*>(mem_OperatorNewThrowBuiltin(offsetof(CompactRep, text) + length + 1));
  rep->head.refCount = 1;
  rep->sizes = static_cast<uint32_t>(length);
  return rep;
}

Rep* GrowRep(Rep* rep, size_t capacity) {
  Rep* grown = static_cast<Rep*>(mem_Reallocate(rep, offsetof(Rep, text) + capacity + 1));
  grown->capacity = static_cast<uint32_t>(capacity);
  return grown;
}

void FreeRep(Rep* rep) {
  if (rep->capacity != kBig) {
    mem_Free(rep);
  } else {
    mem_Free(BigSizesOf(rep));
  }
}

// Length of the well-formed UTF-8 sequence at `p` (at most `left` bytes
// available), or 0 when the bytes there do not form one.
size_t SequenceLength(const unsigned char* p, size_t left) {
  unsigned char b = p[0];
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    need = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (left < need || p[1] < lo || p[1] > hi) return 0;
  for (size_t i = 2; i < need; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return need;
}

size_t CountChars(const char* text, size_t length) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  size_t count = 0;
  while (p < end) {
    if (*p < 0x80) {
      ++p;
    } else {
      size_t n = SequenceLength(p, static_cast<size_t>(end - p));
      p += n != 0 ? n : 1;
    }
    ++count;
  }
  return count;
}

bool AllAscii(const char* text, size_t length) {
  const char* end = text + length;
  // Eight bytes at a time: one OR per word, one test at the end.
  uint64_t bits = 0;
  while (end - text >= 8) {
    uint64_t word;
    std::memcpy(&word, text, 8);
    bits |= word;
    text += 8;
  }
  while (text < end) bits |= static_cast<unsigned char>(*text++);
  return (bits & 0x8080808080808080ULL) == 0;
}

}  // namespace zelcore_detail
