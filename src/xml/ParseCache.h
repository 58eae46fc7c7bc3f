// The tree builder's source of strings. While a read runs, the document
// holds one that keeps strings already built for repeated names and short
// values, shared by every node that uses them, and the last piece of
// character data, which becomes an element's text only when the next tag
// (or the end of the read) shows it was the last; in a whole-text read,
// the run of character data open since the last tag instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ZELBasXmlDocument.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

// Names, values and the pieces of text between tags are mostly a few
// bytes: 4 to 16 of them are handled as two words that may overlap, and
// the rest byte by byte or by the library, without a call for the short.
template <class Word>
inline Word WordAt(const char* bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

inline bool SameBytes(const char* a, const char* b, size_t length) {
  if (length >= 8 && length <= 16) {
    return WordAt<uint64_t>(a) == WordAt<uint64_t>(b) &&
           WordAt<uint64_t>(a + length - 8) == WordAt<uint64_t>(b + length - 8);
  }
  if (length >= 4 && length < 8) {
    return WordAt<uint32_t>(a) == WordAt<uint32_t>(b) &&
           WordAt<uint32_t>(a + length - 4) == WordAt<uint32_t>(b + length - 4);
  }
  if (length > 16) return std::memcmp(a, b, length) == 0;
  // 0 to 3 bytes: the first, the middle and the last cover them all.
  return length == 0 || (a[0] == b[0] && a[length / 2] == b[length / 2] && a[length - 1] == b[length - 1]);
}

inline void CopyBytes(char* to, const char* from, size_t length) {
  if (length >= 8 && length <= 16) {
    uint64_t head = WordAt<uint64_t>(from), tail = WordAt<uint64_t>(from + length - 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + length - 8, &tail, 8);
  } else if (length >= 4 && length < 8) {
    uint32_t head = WordAt<uint32_t>(from), tail = WordAt<uint32_t>(from + length - 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + length - 4, &tail, 4);
  } else if (length > 16) {
    std::memcpy(to, from, length);
  } else if (length != 0) {
    to[0] = from[0];
    to[length / 2] = from[length / 2];
    to[length - 1] = from[length - 1];
  }
}

class ParseCache {
public:
  // A cache for one callback called outside a read: it shares strings only
  // within that callback, and the callback gives its text to its node
  // before returning. Allocates nothing until text arrives.
  ParseCache();
  // Serves the callbacks for `document` until destroyed: the document
  // hands it to them while the read runs.
  explicit ParseCache(ZELBasXmlDocument* document);
  ParseCache(const ParseCache&) = delete;
  ParseCache& operator=(const ParseCache&) = delete;
  ~ParseCache();

  // A string holding `text`, shared with earlier calls for the same bytes.
  const ZELString& Name(const char* text) {
    size_t length;
    uint32_t hash = HashToNul(text, length);
    return Lookup(names, nameMask, text, length, hash);
  }
  // Makes `target`, empty until now, hold `text`: shared with earlier
  // calls for the same bytes while short values repeat, built for it
  // otherwise.
  void SetValue(ZELString& target, const char* text);
  // The empty string, to construct strings that SetValue then fills.
  const ZELString& Empty() const { return empty; }
  // Holds `length` bytes as the pending text of `node`, replacing any.
  void SetData(ZELBasXmlNode* node, const char* text, size_t length) {
    if (pendingNode != node) Flush();
    if (length > pendingCapacity) Reserve(length);
    CopyBytes(pending, text, length);
    pendingLength = length;
    pendingNode = node;
  }
  // Gives the pending text to its node.
  void Flush() {
    if (pendingNode != nullptr) FlushData();
  }

  // Whole-text reads: `length` bytes more of the run of character data
  // that `node` has open. The run ends at the next Flush (a tag, or the end
  // of the read), which adds it to the node's text unless it is all white
  // space. A run of one piece is built into its string at once; only a
  // second piece starts gathering the bytes.
  void AddToRun(ZELBasXmlNode* node, const char* text, size_t length);
  // The parser's character-data callback of a whole-text read; the user
  // data is the document being read.
  static void WholeTextHandler(void* userData, const char* text, int length);

private:
  // Whether looking one kind of string up pays: when fewer than one in
  // four lookups finds a string to share (ids, free text), the next
  // thousands are built directly, sparing the table's churn.
  struct Sharing {
    uint32_t lookups = 0;
    uint32_t hits = 0;
    uint32_t skip = 0;
    bool Try() {
      if (skip == 0) return true;
      --skip;
      return false;
    }
    void Count(bool hit) {
      hits += hit ? 1 : 0;
      if (++lookups < 256) return;
      if (hits < 64) skip = 4096;
      lookups = hits = 0;
    }
  };

  struct Entry {
    ZELString text;
    uint32_t length = 0;
    uint32_t hash = 0;
  };
  static const size_t kNames = 256;      // tag and attribute names
  static const size_t kValues = 1024;    // attribute values and texts
  static const size_t kShortValue = 24;  // longer values are rarely repeated

  // Names and short values are a few bytes: a byte loop, inlined, beats the
  // set-up of the library's word-at-a-time functions.
  static uint32_t HashToNul(const char* text, size_t& length) {
    uint32_t hash = 0;
    const char* p = text;
    for (; *p != '\0'; ++p) hash = hash * 31 + static_cast<unsigned char>(*p);
    length = static_cast<size_t>(p - text);
    return hash;
  }

  const ZELString& Lookup(Entry* table, size_t mask, const char* text, size_t length, uint32_t hash,
                          bool* hit = nullptr);
  void FlushData();
  void EndRun();
  // Room for `length` bytes of pending text; of what it held, the first
  // `keep` bytes stay.
  void Reserve(size_t length, size_t keep = 0);
  // Gives `target` the text of `length` bytes at `text`, shared with
  // earlier texts while short ones repeat.
  void MakeText(ZELString& target, const char* text, size_t length);

  ZELBasXmlDocument* document;  // served while a read runs; null for one callback
  ParseCache* previous;         // the document's cache before this one
  Entry* names;
  Entry* values;
  size_t nameMask;
  size_t valueMask;
  Entry single[2];  // the tables of a cache for one callback: a name and a value
  Sharing valueSharing;
  Sharing dataSharing;
  ZELString empty;
  ZELBasXmlNode* pendingNode;
  char* pending;
  size_t pendingLength;
  size_t pendingCapacity;
  bool wholeText;     // texts are runs joined, not the last piece
  bool runGathered;   // the open run's bytes are in `pending`, not `runText`
  ZELString runText;  // the open run when it is one piece
};

}  // namespace zelbas_detail
