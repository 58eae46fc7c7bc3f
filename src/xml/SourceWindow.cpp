// The window on a read's input: what it keeps between parse calls.
#include "SourceWindow.h"

#include <algorithm>
#include <cassert>

namespace zelbas_detail {

void SourceWindow::Keep(uint64_t from) {
  assert(from >= keptStart);
  uint64_t start = chunkStart();
  if (from <= start) {
    kept.erase(0, static_cast<size_t>(from - keptStart));
    kept.append(chunk, chunkLength);
  } else {
    kept.assign(chunk + (from - start), static_cast<size_t>(End() - from));
  }
  keptStart = from;
  chunk = nullptr;
  chunkLength = 0;
}

void SourceWindow::Copy(uint64_t begin, uint64_t end, std::string& out) const {
  assert(begin >= keptStart && begin <= end && end <= End());
  uint64_t start = chunkStart();
  if (begin < start) {
    uint64_t stop = std::min(end, start);
    out.append(kept, static_cast<size_t>(begin - keptStart), static_cast<size_t>(stop - begin));
    begin = stop;
  }
  if (begin < end) out.append(chunk + (begin - start), static_cast<size_t>(end - begin));
}

}  // namespace zelbas_detail
