// The renderer's output: pieces of text gathered in a 64 KiB buffer and
// handed to the caller's sink a buffer at a time. The bytes the sink
// receives, in order, are exactly those of each piece in turn, with one call
// per buffer instead of one per piece; a piece longer than the buffer goes
// to the sink whole. Once the sink has refused, it is not called again.
#pragma once

#include <cstring>

#include "ZELBasXmlNode.h"

namespace zelbas_detail {

class BufferedSink {
public:
  BufferedSink(ZELBasXmlSink target, void* targetContext);
  BufferedSink(const BufferedSink&) = delete;
  BufferedSink& operator=(const BufferedSink&) = delete;
  ~BufferedSink();

  void Put(const char* bytes, size_t length) {
    if (length > kBuffer - used) {
      PutAfterFlush(bytes, length);
      return;
    }
    std::memcpy(buffer + used, bytes, length);
    used += length;
  }

  // A string's bytes, every one of them (a NUL inside included).
  void Put(const ZELString& text) {
    size_t room = kBuffer - used;
    size_t length = room;
    text.ConvertToUTF8(buffer + used, &length);
    if (length < room) {
      used += length;
      return;
    }
    // It may not have fitted: hand it over whole after what came before.
    PutWhole(text);
  }

  // Hands what is buffered to the sink; false once the sink has refused.
  bool Flush();
  bool Failed() const { return failed; }

private:
  static const size_t kBuffer = size_t{64} * 1024;

  // Out of line, as the rare paths: they would keep Put from being inlined.
  void PutAfterFlush(const char* bytes, size_t length);
  void PutWhole(const ZELString& text);
  bool Emit(const char* bytes, size_t length);

  ZELBasXmlSink sink;
  void* context;
  char* buffer;
  size_t used = 0;
  bool failed = false;
};

}  // namespace zelbas_detail
