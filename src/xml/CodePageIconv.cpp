// The code page through the C library's iconv, to UTF-32.
#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "CodePage.h"

namespace zelbas_detail {

namespace {

// iconv_open's failure: the converter (iconv_t)-1.
bool Failed(iconv_t converter) { return reinterpret_cast<intptr_t>(converter) == -1; }

}  // namespace

CodePage::~CodePage() {
  if (handle != nullptr) iconv_close(static_cast<iconv_t>(handle));
}

bool CodePage::Open(const char* name) {
  iconv_t opened = iconv_open("UTF-32LE", name);
  if (Failed(opened)) return false;
  handle = opened;
  return true;
}

long CodePage::Decode(const unsigned char* bytes, size_t length) const noexcept {
  iconv_t converter = static_cast<iconv_t>(handle);      // opened
  iconv(converter, nullptr, nullptr, nullptr, nullptr);  // the initial shift state
  // iconv's input is not const on every system.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  size_t inLeft = length;
  unsigned char out[8];  // room for a second character, to see one
  char* outAt = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  if (iconv(converter, &in, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1)) {
    return errno == EINVAL ? kIncomplete : kInvalid;
  }
  if (iconv(converter, nullptr, nullptr, &outAt, &outLeft) == static_cast<size_t>(-1)) return kInvalid;
  if (outLeft != sizeof out - 4) return kInvalid;
  return static_cast<long>(uint32_t{out[0]} | uint32_t{out[1]} << 8 | uint32_t{out[2]} << 16 |
                           uint32_t{out[3]} << 24);
}

}  // namespace zelbas_detail
