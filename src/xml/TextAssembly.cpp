// Putting the elements' texts together: the held bytes and the runs.
#include "TextAssembly.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string_view>

#include "Buffer.h"
#include "NodeAccess.h"

namespace zelbas_detail {

namespace {
// Below this a text is joined with its next run by a copy of both; above
// it, appends grow it geometrically, so that many runs stay linear.
constexpr size_t kExactJoin = 4096;
}  // namespace

TextAssembly::~TextAssembly() {
  if (pending != nullptr) mem_Free(pending);
}

void TextAssembly::Reserve(size_t length, size_t keep) {
  // Never empty, so that there is always a buffer to copy into.
  size_t grown = std::max({capacity * 2, length, size_t{64}});
  char* bytes = NewBytes(grown);
  if (keep != 0) std::memcpy(bytes, pending, keep);
  if (pending != nullptr) mem_Free(pending);
  pending = bytes;
  capacity = grown;
}

void TextAssembly::FlushPending() {
  assert(pendingNode != nullptr);
  if (wholeText) {
    EndRun();
    return;
  }
  ZELString& data = NodeAccess::Data(pendingNode);
  pendingNode = nullptr;
  // The same text again, as the indentation before each child of an
  // element is: the node keeps the string it has.
  if (pendingLength == 0 || data.CastToCharPtr()[0] == pending[0]) {
    std::string_view now = data;
    if (now.size() == pendingLength && SameBytes(now.data(), pending, pendingLength)) return;
  }
  cache.SetText(data, pending, pendingLength);
}

void TextAssembly::AddToRun(ZELBasXmlNode* node, const char* text, size_t length) {
  if (pendingNode != node) {
    Flush();
    pendingNode = node;
    // White space alone may be followed by more of the run: gathered, as
    // it is mostly the indentation of a child that ends the run unused.
    runGathered = runBlank = Blank(text, length);
    if (!runGathered) {
      cache.SetText(runText, text, length);
      return;
    }
    pendingLength = 0;
  } else if (runGathered) {
    if (runBlank) runBlank = Blank(text, length);
  } else {
    // A second piece: the first one's bytes start the gathering.
    runGathered = true;
    std::string_view first = runText;
    if (first.size() > capacity) Reserve(first.size());
    std::memcpy(pending, first.data(), first.size());
    pendingLength = first.size();
  }
  if (pendingLength + length > capacity) Reserve(pendingLength + length, pendingLength);
  std::memcpy(pending + pendingLength, text, length);
  pendingLength += length;
}

void TextAssembly::EndRun() {
  ZELString& data = NodeAccess::Data(pendingNode);
  pendingNode = nullptr;
  if (runGathered) {
    if (runBlank) return;
    cache.SetText(runText, pending, pendingLength);
  }
  std::string_view head = data;
  if (head.empty()) {
    data = runText;
  } else if (head.size() < kExactJoin) {
    // A short text gets one more run, as mixed content does: joined at its
    // exact size, where an append would leave it room to double.
    std::string_view tail = runText;
    size_t length = head.size() + tail.size();
    if (length > capacity) Reserve(length);
    std::memcpy(pending, head.data(), head.size());
    std::memcpy(pending + head.size(), tail.data(), tail.size());
    cache.SetText(data, pending, length);
  } else {
    data.Append(runText);
  }
  runText = cache.Empty();
}

}  // namespace zelbas_detail
