// How a kept layout writes a text or an attribute value that it does not
// hold as written: as XML writers commonly do, escaping only what must be
// (& and <, > after "]]", a CR, which a reader would take for a line end;
// in a value also its quote and the white space a reader would turn into
// spaces). A text or value that a read found written so needs no copy of
// its markup: the writer makes the same bytes again.
#pragma once

#include <string_view>

namespace zelbas_detail {

// Hands `put` the escaped form of `text` a piece at a time.
template <class Put>
void EscapeText(std::string_view text, Put put) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        if (i >= 2 && text[i - 1] == ']' && text[i - 2] == ']') entity = "&gt;";
        break;
      case '\r':
        entity = "&#13;";
        break;
      default:
        break;
    }
    if (entity == nullptr) continue;
    put(text.substr(start, i - start));
    put(std::string_view(entity));
    start = i + 1;
  }
  put(text.substr(start));
}

// The same for an attribute value between `quote`s.
template <class Put>
void EscapeValue(std::string_view value, char quote, Put put) {
  size_t start = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char* entity = nullptr;
    char c = value[i];
    if (c == '&') {
      entity = "&amp;";
    } else if (c == '<') {
      entity = "&lt;";
    } else if (c == quote) {
      entity = quote == '"' ? "&quot;" : "&apos;";
    } else if (c == '\t') {
      entity = "&#9;";
    } else if (c == '\n') {
      entity = "&#10;";
    } else if (c == '\r') {
      entity = "&#13;";
    }
    if (entity == nullptr) continue;
    put(value.substr(start, i - start));
    put(std::string_view(entity));
    start = i + 1;
  }
  put(value.substr(start));
}

// Compares the pieces put with `raw`, in order: true when they make it.
class SameAs {
public:
  explicit SameAs(std::string_view text) : raw(text) {}
  void operator()(std::string_view piece) {
    if (!same) return;
    same = raw.substr(at, piece.size()) == piece;
    at += piece.size();
  }
  bool Whole() const { return same && at == raw.size(); }

private:
  std::string_view raw;
  size_t at = 0;
  bool same = true;
};

inline bool WrittenAsValue(std::string_view raw, std::string_view value, char quote) {
  SameAs same(raw);
  EscapeValue(value, quote, [&same](std::string_view piece) { same(piece); });
  return same.Whole();
}

}  // namespace zelbas_detail
