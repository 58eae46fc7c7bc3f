// Escaping for the well-formed layout: the entity that stands for each byte
// a text or an attribute value cannot hold as it is. In a text, & and <
// would start markup, > would close "]]>", and a CR would reach the reader
// as a LF; in a value, the quote would end it, and a tab, LF or CR would
// reach the reader as a space.
#pragma once

#include <cstring>
#include <string_view>

#include "BufferedSink.h"

namespace zelbas_detail {

inline const char* TextEntity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '\r':
      return "&#13;";
    default:
      return nullptr;
  }
}

inline const char* ValueEntity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '"':
      return "&quot;";
    case '\t':
      return "&#9;";
    case '\n':
      return "&#10;";
    case '\r':
      return "&#13;";
    default:
      return nullptr;
  }
}

// Writes `text` with each byte that `Entity` names replaced by its entity,
// the runs between them in one piece each.
template <const char* (*Entity)(char)>
void PutEscaped(BufferedSink& out, const ZELString& text) {
  std::string_view bytes = text;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char* entity = Entity(bytes[i]);
    if (entity == nullptr) continue;
    out.Put(bytes.data() + start, i - start);
    out.Put(entity, std::strlen(entity));
    start = i + 1;
  }
  out.Put(bytes.data() + start, bytes.size() - start);
}

}  // namespace zelbas_detail
