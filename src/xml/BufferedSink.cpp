// The renderer's buffered output: its rare paths.
#include "BufferedSink.h"

#include "Buffer.h"

namespace zelbas_detail {

BufferedSink::BufferedSink(ZELBasXmlSink target, void* targetContext)
    : sink(target),
      context(targetContext),
      buffer(NewBytes(kBuffer)) {}

BufferedSink::~BufferedSink() { mem_Free(buffer); }

bool BufferedSink::Flush() {
  size_t length = used;
  used = 0;
  return Emit(buffer, length);
}

void BufferedSink::PutAfterFlush(const char* bytes, size_t length) {
  Flush();
  if (length > kBuffer) {
    Emit(bytes, length);
    return;
  }
  std::memcpy(buffer + used, bytes, length);
  used += length;
}

void BufferedSink::PutWhole(const ZELString& text) {
  if (Flush()) Emit(text.CastToCharPtr(), text.GetLengthInBytes());
}

bool BufferedSink::Emit(const char* bytes, size_t length) {
  if (failed) return false;
  if (length != 0 && !sink(context, bytes, length)) failed = true;
  return !failed;
}

}  // namespace zelbas_detail
