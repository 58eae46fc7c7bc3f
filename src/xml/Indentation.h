// The start of each rendered line: the caller's indentation plus one unit
// (four spaces, unless a kept layout found another) per level, copied from
// one prepared run of the caller's indentation followed by units, made when
// a level first needs it.
#pragma once

#include <string_view>

#include "BufferedSink.h"

namespace zelbas_detail {

class Indentation {
public:
  explicit Indentation(const ZELString& callers, std::string_view levelUnit = "    ")
      : prefix(callers), unit(levelUnit) {}
  Indentation(const Indentation&) = delete;
  Indentation& operator=(const Indentation&) = delete;
  ~Indentation();

  void Write(BufferedSink& out, size_t depth) {
    size_t length = indentLength + depth * unit.size();
    if (length > room || run == nullptr) {
      Grow(depth);
      length = indentLength + depth * unit.size();
    }
    out.Put(run, length);
  }

private:
  // Room for `depth` levels at least.
  void Grow(size_t depth);

  const ZELString& prefix;
  std::string_view unit;
  char* run = nullptr;  // the caller's indentation, then units
  size_t indentLength = 0;
  size_t room = 0;
};

}  // namespace zelbas_detail
