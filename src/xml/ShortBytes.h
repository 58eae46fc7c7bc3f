// Comparing, copying, hashing and testing short runs of bytes: names,
// values and the text between tags, mostly a few bytes each. 4 to 16 bytes
// are handled as two words that may overlap, fewer byte by byte, more by the
// library: no call for the short ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zelbas_detail {

template <class Word>
inline Word WordAt(const char* bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

inline bool SameBytes(const char* a, const char* b, size_t length) {
  if (length >= 8 && length <= 16) {
    return WordAt<uint64_t>(a) == WordAt<uint64_t>(b) &&
           WordAt<uint64_t>(a + length - 8) == WordAt<uint64_t>(b + length - 8);
  }
  if (length >= 4 && length < 8) {
    return WordAt<uint32_t>(a) == WordAt<uint32_t>(b) &&
           WordAt<uint32_t>(a + length - 4) == WordAt<uint32_t>(b + length - 4);
  }
  if (length > 16) return std::memcmp(a, b, length) == 0;
  // 0 to 3 bytes: the first, the middle and the last cover them all.
  return length == 0 || (a[0] == b[0] && a[length / 2] == b[length / 2] && a[length - 1] == b[length - 1]);
}

template <class Word>
inline void CopyHeadAndTail(char* to, const char* from, size_t length) {
  Word head = WordAt<Word>(from), tail = WordAt<Word>(from + length - sizeof(Word));
  std::memcpy(to, &head, sizeof(Word));
  std::memcpy(to + length - sizeof(Word), &tail, sizeof(Word));
}

inline void CopyBytes(char* to, const char* from, size_t length) {
  if (length >= 8 && length <= 16) {
    CopyHeadAndTail<uint64_t>(to, from, length);
  } else if (length >= 4 && length < 8) {
    CopyHeadAndTail<uint32_t>(to, from, length);
  } else if (length > 16) {
    std::memcpy(to, from, length);
  } else if (length != 0) {
    to[0] = from[0];
    to[length / 2] = from[length / 2];
    to[length - 1] = from[length - 1];
  }
}

// The hash of the bytes from `text` up to the first for which `atEnd` holds;
// `length` is set to their count. A byte loop, inlined: for a few bytes it
// beats the set-up of the library's word-at-a-time functions.
template <class AtEnd>
inline uint32_t HashUntil(const char* text, AtEnd atEnd, size_t& length) {
  uint32_t hash = 0;
  const char* p = text;
  for (; !atEnd(p); ++p) hash = hash * 31 + static_cast<unsigned char>(*p);
  length = static_cast<size_t>(p - text);
  return hash;
}

// The hash of the NUL-terminated `text`, whose length it measures.
inline uint32_t HashToNul(const char* text, size_t& length) {
  return HashUntil(text, [](const char* p) { return *p == '\0'; }, length);
}

// The same hash, of `length` bytes.
inline uint32_t Hash(const char* text, size_t length) {
  const char* end = text + length;
  return HashUntil(text, [end](const char* p) { return p == end; }, length);
}

// True when the text is white space only: spaces eight at a time (the
// indentation), the rest one by one.
inline bool Blank(const char* text, size_t length) {
  const uint64_t kSpaces = 0x2020202020202020ULL;
  const uint64_t kWhite =
      (uint64_t(1) << ' ') | (uint64_t(1) << '\n') | (uint64_t(1) << '\t') | (uint64_t(1) << '\r');
  size_t i = 0;
  while (i + 8 <= length && WordAt<uint64_t>(text + i) == kSpaces) i += 8;
  for (; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c > ' ' || ((kWhite >> c) & 1) == 0) return false;
  }
  return true;
}

}  // namespace zelbas_detail
