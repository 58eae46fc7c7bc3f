// A character encoding the system converts from, opened by name: iconv of
// the C library, or a Windows code page. It decodes one character at a
// time, which is all a parser asking about an encoding it lacks needs.
#pragma once

#include <cstddef>

namespace zelbas_detail {

class CodePage {
public:
  // Decode's results other than a character.
  static const long kInvalid = -1;     // no character, however it goes on
  static const long kIncomplete = -2;  // the start of a longer character

  CodePage() = default;
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;
  ~CodePage();

  // False when the system has no encoding of that name.
  bool Open(const char* name);
  // The Unicode scalar value the `length` bytes encode as one character,
  // or kIncomplete, or kInvalid (a shift sequence, several characters).
  long Decode(const unsigned char* bytes, size_t length) const noexcept;

private:
  void* handle = nullptr;  // an iconv_t, or the code page's number
};

}  // namespace zelbas_detail
