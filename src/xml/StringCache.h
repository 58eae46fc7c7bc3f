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

   Lifetime. A read makes one cache, inside its tree builder
   (TreeBuilder.h). A callback called outside a read makes a builder for
   that one call, whose cache has a single slot per table: the tree is the
   same either way.
*/
#pragma once

#include <cstddef>
#include <cstdint>

#include "ShortBytes.h"
#include "ZELString.h"

namespace zelbas_detail {

class StringCache {
public:
  // A cache for one callback called outside a read: it shares strings only
  // within that callback. Allocates nothing.
  StringCache();
  enum ForRead { kForRead };
  // A cache for a whole read, with full tables.
  explicit StringCache(ForRead);
  StringCache(const StringCache&) = delete;
  StringCache& operator=(const StringCache&) = delete;
  ~StringCache();

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
  // Gives `target` the text of `length` bytes at `text`, shared with
  // earlier texts while short ones repeat.
  void SetText(ZELString& target, const char* text, size_t length);
  // The empty string, to construct strings that SetValue then fills.
  const ZELString& Empty() const { return empty; }

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

  Entry* names;
  Entry* values;
  size_t nameMask;
  size_t valueMask;
  Entry single[2];  // the tables of a cache for one callback: a name and a value
  bool ownsTables;
  Sharing valueSharing;
  Sharing dataSharing;
  ZELString empty;
};

}  // namespace zelbas_detail
