// The non-inline operations of ZELString.
#include <climits>
#include <cstring>

#include "StringRep.h"
#include "ZELBasAlloc.h"
#include "ZELBasCheckedMath.h"

ZELBAS_DEFINE_MODULE_PAIR(ZELBasCoreUtils)

namespace zelcore_detail {

size_t LengthOf(atr_StringRep* representation, const char* characters) {
  if (IsCompact(representation, characters)) return CompactOf(representation)->sizes & 0xFFFF;
  return Length(RepOf(representation));
}

}  // namespace zelcore_detail

using namespace zelcore_detail;

void atr_StringBase::Delete() {
  if (IsCompact(representation, characters)) {
    mem_Free(representation);
  } else {
    FreeRep(RepOf(representation));
  }
}

ZELString::~ZELString() {}

ZELString::Result ZELString::BuildFromUTF8(const char* text) {
  return BuildFromUTF8(text, text != nullptr ? std::strlen(text) : 0);
}

ZELString::Result ZELString::BuildFromUTF8(const char* text, size_t length) {
  atr_StringRep* built = nullptr;
  char* bytes = nullptr;
  if (length != 0 && length <= kCompactMax) {
    CompactRep* rep = NewCompact(length);
    built = &rep->head;
    bytes = rep->text;
  } else if (length != 0) {
    Rep* rep = NewRep(length);
    SetLength(rep, length);
    built = &rep->head;
    bytes = rep->text;
  }
  bool ascii = true;
  if (bytes != nullptr) {
    ascii = CopyAscii(bytes, text, length);
    bytes[length] = '\0';
  }
  Release();
  // The empty text needs no representation: it reads as "" without one.
  representation = built;
  characters = bytes;
  isAscii = ascii;
  return 0;
}

ZELString& ZELString::Append(const ZELString& tail) {
  if (tail.representation == nullptr) return *this;
  if (representation == nullptr) {
    // Nothing to keep: share the tail's text; a later append copies it.
    *this = tail;
    return *this;
  }
  size_t headLength = LengthOf(representation, characters);
  size_t tailLength = LengthOf(tail.representation, tail.characters);
  size_t length = headLength + tailLength;
  bool compact = IsCompact(representation, characters);
  bool alone = representation->refCount == 1;
  Rep* rep;
  if (!compact && alone && Capacity(RepOf(representation)) >= length) {
    rep = RepOf(representation);
  } else {
    // Geometric growth keeps a long run of appends linear in the bytes.
    size_t capacity = ZELBasCheckedMultiply(headLength, 2);
    if (capacity < length) capacity = length;
    if (capacity < 64) capacity = 64;
    if (!compact && alone && capacity < kBig) {
      // Unshared: the memory module grows it, in place when it can, and a
      // long text is not copied at each doubling.
      rep = GrowRep(RepOf(representation), capacity);
    } else {
      rep = NewRep(capacity);
      std::memcpy(rep->text, characters, headLength);
      // The tail may share the released representation; it keeps it alive.
      Release();
    }
    representation = &rep->head;
    characters = rep->text;
  }
  std::memcpy(rep->text + headLength, tail.characters, tailLength);
  SetLength(rep, length);
  rep->text[length] = '\0';
  rep->charCount = -1;
  isAscii = isAscii && tail.isAscii;
  return *this;
}

int ZELString::GetLengthInChar() const {
  if (representation == nullptr) return 0;
  if (IsCompact(representation, characters)) {
    CompactRep* rep = CompactOf(representation);
    uint32_t counted = rep->sizes >> 16;
    if (counted != 0) return static_cast<int>(counted - 1);
    size_t length = rep->sizes & 0xFFFF;
    size_t count = isAscii ? length : CountChars(rep->text, length);
    rep->sizes = static_cast<uint32_t>(length) | static_cast<uint32_t>(count + 1) << 16;
    return static_cast<int>(count);
  }
  Rep* rep = RepOf(representation);
  if (rep->charCount < 0) {
    size_t length = Length(rep);
    size_t count = isAscii ? length : CountChars(rep->text, length);
    rep->charCount = count > INT_MAX ? INT_MAX : static_cast<int32_t>(count);
  }
  return rep->charCount;
}

size_t ZELString::GetLengthInBytes() const {
  return representation != nullptr ? LengthOf(representation, characters) : 0;
}

void ZELString::ConvertToUTF8(char* buffer, size_t* size) const {
  size_t length = GetLengthInBytes();
  if (length > *size) length = *size;
  if (length != 0) std::memcpy(buffer, characters, length);
  *size = length;
}

ZELString ZELString::operator+(const char* tail) const {
  size_t headLength = representation != nullptr ? LengthOf(representation, characters) : 0;
  size_t tailLength = tail != nullptr ? std::strlen(tail) : 0;
  ZELString result;
  size_t length = headLength + tailLength;
  if (length == 0) return result;
  char* bytes;
  if (length <= kCompactMax) {
    CompactRep* rep = NewCompact(length);
    result.representation = &rep->head;
    bytes = rep->text;
  } else {
    Rep* rep = NewRep(length);
    SetLength(rep, length);
    result.representation = &rep->head;
    bytes = rep->text;
  }
  if (headLength != 0) std::memcpy(bytes, characters, headLength);
  if (tailLength != 0) std::memcpy(bytes + headLength, tail, tailLength);
  bytes[length] = '\0';
  result.characters = bytes;
  result.isAscii = isAscii && AllAscii(tail, tailLength);
  return result;
}
