/* The tree builder's source of strings.

   What is shared, and why. A document repeats a few tag and attribute
   names, and many short attribute values and texts ("true", "en", the
   indentation before each child), thousands of times. While a read runs,
   the cache keeps the string last built for each such text in a table
   slot chosen by its hash, and every node that meets the same bytes again
   takes a copy of that string: a reference count goes up where a string
   would be allocated and filled. On the benchmark's data export this
   takes the peak memory of a read from 47.6 to 43.6 MB.

   - Names (tags and attributes): always, in a table of 256 slots.
   - Attribute values and texts of at most 24 bytes: in a table of 1024
     slots, under the sharing rule below. Longer ones are rarely repeated.
   - Texts of white space only (the indentation): always.

   The sharing rule. Values and texts are each counted in windows of 256
   lookups; when fewer than 64 of them (one in four) found a string to
   share, as with ids, numbers and free text, the next 4096 are built
   directly, without hashing or churning the table, and then counted again.
   The numbers are not tuned to a file: reads of the benchmark's corpus and
   of a file of 150,000 elements with unique short values take the same
   time, within the 5% noise of the machine, with windows of 64 or 1024,
   with the skip at 512 or 32768, and with no skipping at all. The rule
   is a bound on the work spent on values that never repeat, not a speed-up
   on the files measured.

   The pending text. The parser may deliver one run of character data in
   several pieces, and only the last one stays (each replaces the last).
   The cache holds the latest piece as bytes and makes it a string only
   when the next tag, or the end of the read, shows it was the last. In a
   whole-text read it holds instead the run of character data open since
   the last tag: a run of one piece is built into its string at once, and
   only a second piece starts gathering bytes.

   Lifetime. A read makes one cache and points the document at it for the
   read's duration (DocumentReader.cpp); the callbacks find it there. Two
   caches never nest: nothing but the document's own callbacks runs inside
   a read, so no read of the same document can begin before it ends. A
   callback called outside a read makes a cache for that one call, with a
   single slot per table, and flushes it before returning: the tree is the
   same either way.
*/
#pragma once

#include <cstddef>
#include <cstdint>

#include "ShortBytes.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

class ParseCache {
public:
  // A cache for one callback called outside a read: it shares strings only
  // within that callback, and the callback gives its text to its node
  // before returning. Allocates nothing until text arrives.
  ParseCache();
  enum ForRead { kForRead };
  // A cache for a whole read, with full tables.
  // `wholeTexts`: a whole-text read (AddToRun), else the last piece.
  ParseCache(ForRead, bool wholeTexts);
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
  // The sharing rule (above) for one kind of string.
  struct Sharing {
    static const uint32_t kWindow = 256;  // lookups counted together
    static const uint32_t kFewHits = 64;  // fewer hits than this in a window...
    static const uint32_t kSkip = 4096;   // ...and this many are built directly
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
      if (++lookups < kWindow) return;
      if (hits < kFewHits) skip = kSkip;
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

  Entry* names;
  Entry* values;
  size_t nameMask;
  size_t valueMask;
  Entry single[2];  // the tables of a cache for one callback: a name and a value
  bool ownsTables;
  Sharing valueSharing;
  Sharing dataSharing;
  ZELString empty;
  ZELBasXmlNode* pendingNode;
  char* pending;
  size_t pendingLength;
  size_t pendingCapacity;
  bool wholeText;     // texts are runs joined, not the last piece
  bool runGathered;   // the open run's bytes are in `pending`, not `runText`
  bool runBlank;      // and are white space only
  ZELString runText;  // the open run when it is one piece
};

}  // namespace zelbas_detail
