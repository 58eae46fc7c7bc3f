// The start of each rendered line: the caller's indentation plus four
// spaces per level, copied from one prepared run of the caller's
// indentation followed by spaces, made when a level first needs it.
#pragma once

#include "BufferedSink.h"

namespace zelbas_detail {

class Indentation {
public:
  explicit Indentation(const ZELString& callers) : prefix(callers) {}
  Indentation(const Indentation&) = delete;
  Indentation& operator=(const Indentation&) = delete;
  ~Indentation();

  void Write(BufferedSink& out, size_t depth) {
    size_t length = indentLength + depth * kPerLevel;
    if (length > room || run == nullptr) {
      Grow(depth);
      length = indentLength + depth * kPerLevel;
    }
    out.Put(run, length);
  }

private:
  static const size_t kPerLevel = 4;

  // Room for `depth` levels at least.
  void Grow(size_t depth);

  const ZELString& prefix;
  char* run = nullptr;  // the caller's indentation, then spaces
  size_t indentLength = 0;
  size_t room = 0;
};

}  // namespace zelbas_detail
