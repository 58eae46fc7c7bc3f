// The tree builder's source of strings. While a read runs, the document
// holds one that keeps strings already built for repeated names and short
// values, shared by every node that uses them, and the last piece of
// character data, which becomes an element's text only when the next tag
// (or the end of the read) shows it was the last.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZELBasXmlDocument.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

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
  void SetData(ZELBasXmlNode* node, const char* text, size_t length);
  // Gives the pending text to its node.
  void Flush() {
    if (pendingNode != nullptr) FlushData();
  }

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
  static const size_t kValues = 1024;    // attribute values and texts, plus one slot for a long value
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

  ZELBasXmlDocument* document;  // served while a read runs; null for one callback
  ParseCache* previous;         // the document's cache before this one
  Entry* names;
  Entry* values;  // values[valueMask + 1] holds a long value
  size_t nameMask;
  size_t valueMask;
  Entry single[3];  // the tables of a cache for one callback: a name, a value, a long value
  Sharing valueSharing;
  Sharing dataSharing;
  ZELString empty;
  ZELBasXmlNode* pendingNode;
  char* pending;
  size_t pendingLength;
  size_t pendingCapacity;
};

}  // namespace zelbas_detail
