// State a reader keeps for the tree builder while one parse runs: strings
// already built for repeated names and short values, shared by every node
// that uses them, and the last piece of character data, which becomes an
// element's text only when the next tag (or the end of the parse) shows it
// was the last.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZELBasXmlNode.h"

class ParseCache {
public:
  // Serves the callbacks for `document` on this thread until destroyed.
  explicit ParseCache(const void* document);
  ParseCache(const ParseCache&) = delete;
  ParseCache& operator=(const ParseCache&) = delete;
  ~ParseCache();

  // The cache serving `document` on this thread, or null.
  static ParseCache* For(const void* document);

  // A string holding `text`, shared with earlier calls for the same bytes.
  const ZELString& Name(const char* text);
  const ZELString& Value(const char* text);
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
    uint32_t length;
    uint32_t hash;
  };
  static const size_t kNames = 256;      // tag and attribute names
  static const size_t kValues = 1024;    // attribute values and texts, plus one slot for a long value
  static const size_t kShortValue = 24;  // longer values are rarely repeated

  const ZELString& Lookup(Entry* table, size_t mask, const char* text, size_t length, uint32_t hash,
                          bool* hit = nullptr);
  void FlushData();

  const void* document;
  ParseCache* previous;
  Entry* names;
  Entry* values;
  Sharing valueSharing;
  Sharing dataSharing;
  ZELBasXmlNode* pendingNode;
  char* pending;
  size_t pendingLength;
  size_t pendingCapacity;
};
