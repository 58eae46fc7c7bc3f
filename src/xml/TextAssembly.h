// The text of the elements of a read, put together from the pieces of
// character data the parser hands over. The parser may deliver one run of
// character data in several pieces (at references, line ends and the
// edges of the chunks it is fed), so a piece is not yet an element's text:
// - the last piece (the default): each piece replaces the one before, and
//   the latest is held as bytes until the next tag, or the end of the read,
//   shows it was the last; only then is it made a string;
// - whole texts: the run of character data open since the last tag is
//   gathered, and at the next tag added to its element's text unless it is
//   white space only. A run of one piece is built into its string at once;
//   only a second piece starts gathering bytes.
#pragma once

#include <cstddef>

#include "StringCache.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

class TextAssembly {
public:
  TextAssembly(StringCache& strings, bool wholeTexts) : cache(strings), wholeText(wholeTexts) {}
  TextAssembly(const TextAssembly&) = delete;
  TextAssembly& operator=(const TextAssembly&) = delete;
  ~TextAssembly();

  // The last piece: holds `length` bytes as the pending text of `node`,
  // replacing any.
  void SetPiece(ZELBasXmlNode* node, const char* text, size_t length) {
    if (pendingNode != node) Flush();
    if (length > capacity) Reserve(length);
    CopyBytes(pending, text, length);
    pendingLength = length;
    pendingNode = node;
  }
  // Whole texts: `length` bytes more of the run of character data that
  // `node` has open.
  void AddToRun(ZELBasXmlNode* node, const char* text, size_t length);
  // At a tag, and at the end of the read: the pending text, or the open
  // run, goes to its node.
  void Flush() {
    if (pendingNode != nullptr) FlushPending();
  }

private:
  void FlushPending();
  void EndRun();
  // Room for `length` bytes of pending text; of what it held, the first
  // `keep` bytes stay.
  void Reserve(size_t length, size_t keep = 0);

  StringCache& cache;
  const bool wholeText;
  ZELBasXmlNode* pendingNode = nullptr;
  char* pending = nullptr;
  size_t pendingLength = 0;
  size_t capacity = 0;
  bool runGathered = false;  // the open run's bytes are in `pending`, not `runText`
  bool runBlank = false;     // and are white space only
  ZELString runText;         // the open run when it is one piece
};

}  // namespace zelbas_detail
