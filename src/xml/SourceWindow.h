// The bytes of a read's input that a kept layout may still take, by their
// position in the whole input: the chunk being parsed, borrowed for the
// parse call, and before it whatever the recorder has not taken yet, kept
// from one call to the next. What lies before the earliest position still
// needed is dropped after each call, so a read holds little more than the
// text of the longest run between two pieces of markup.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelbas_detail {

class SourceWindow {
public:
  // `length` bytes at `bytes` follow what was fed before, until Keep.
  void Borrow(const char* bytes, size_t length) {
    chunk = bytes;
    chunkLength = length;
  }
  // After the parse call: keeps the bytes from position `from` on, and
  // gives the borrowed ones back.
  void Keep(uint64_t from);
  // Appends the bytes at positions [begin, end) to `out`.
  void Copy(uint64_t begin, uint64_t end, std::string& out) const;
  // The bytes at positions [begin, end), where they lie when they lie in
  // one piece, else copied into `scratch`; valid until the next Keep.
  std::string_view View(uint64_t begin, uint64_t end, std::string& scratch) const {
    uint64_t start = chunkStart();
    if (begin >= start) return std::string_view(chunk + (begin - start), static_cast<size_t>(end - begin));
    if (end <= start)
      return std::string_view(kept).substr(static_cast<size_t>(begin - keptStart),
                                           static_cast<size_t>(end - begin));
    scratch.clear();
    Copy(begin, end, scratch);
    return scratch;
  }
  // The byte at `position`.
  char At(uint64_t position) const {
    return position < chunkStart() ? kept[position - keptStart] : chunk[position - chunkStart()];
  }
  // Where the input fed so far ends.
  uint64_t End() const { return chunkStart() + chunkLength; }

private:
  uint64_t chunkStart() const { return keptStart + kept.size(); }

  std::string kept;  // from keptStart on
  uint64_t keptStart = 0;
  const char* chunk = nullptr;
  size_t chunkLength = 0;
};

}  // namespace zelbas_detail
