// The non-inline operations of ZELString.
#include <climits>
#include <cstring>

#include "StringRep.h"
#include "ZELBasAlloc.h"

using zelcore::Rep;
using zelcore::RepOf;

ZELBAS_DEFINE_MODULE_PAIR(ZELBasCoreUtils)

void atr_StringBase::Delete() { zelcore::FreeRep(RepOf(representation)); }

ZELString::~ZELString() {}

ZELString::Result ZELString::BuildFromUTF8(const char* text) {
  return BuildFromUTF8(text, text != nullptr ? std::strlen(text) : 0);
}

ZELString::Result ZELString::BuildFromUTF8(const char* text, size_t length) {
  Rep* rep = nullptr;
  if (length != 0) {
    rep = zelcore::NewRep(length);
    std::memcpy(rep->text, text, length);
    rep->text[length] = '\0';
    zelcore::SetLength(rep, length);
  }
  Release();
  // The empty text needs no representation: it reads as "" without one.
  representation = rep != nullptr ? &rep->head : nullptr;
  characters = rep != nullptr ? rep->text : nullptr;
  isAscii = rep == nullptr || zelcore::AllAscii(text, length);
  return 0;
}

ZELString& ZELString::Append(const ZELString& tail) {
  if (tail.representation == nullptr) return *this;
  if (representation == nullptr) {
    // Nothing to keep: share the tail's text; a later append copies it.
    *this = tail;
    return *this;
  }
  Rep* rep = RepOf(representation);
  const Rep* tailRep = RepOf(tail.representation);
  size_t headLength = zelcore::Length(rep);
  size_t tailLength = zelcore::Length(tailRep);
  size_t length = headLength + tailLength;
  if (rep->head.refCount == 1 && zelcore::Capacity(rep) >= length) {
    std::memcpy(rep->text + headLength, tailRep->text, tailLength);
  } else {
    // Geometric growth keeps a long run of appends linear in the bytes.
    size_t capacity = headLength * 2;
    if (capacity < length) capacity = length;
    if (capacity < 64) capacity = 64;
    if (rep->head.refCount == 1 && capacity < zelcore::kBig) {
      // Unshared: the memory module grows it, in place when it can, and a
      // long text is not copied at each doubling.
      rep = zelcore::GrowRep(rep, capacity);
    } else {
      Rep* grown = zelcore::NewRep(capacity);
      std::memcpy(grown->text, rep->text, headLength);
      Release();
      rep = grown;
    }
    std::memcpy(rep->text + headLength, tailRep->text, tailLength);
    representation = &rep->head;
    characters = rep->text;
  }
  zelcore::SetLength(rep, length);
  rep->text[length] = '\0';
  rep->charCount = -1;
  isAscii = isAscii && tail.isAscii;
  return *this;
}

int ZELString::GetLengthInChar() const {
  if (representation == nullptr) return 0;
  Rep* rep = RepOf(representation);
  if (rep->charCount < 0) {
    size_t length = zelcore::Length(rep);
    size_t count = isAscii ? length : zelcore::CountChars(rep->text, length);
    rep->charCount = count > INT_MAX ? INT_MAX : static_cast<int32_t>(count);
  }
  return rep->charCount;
}

void ZELString::ConvertToUTF8(char* buffer, size_t* size) const {
  size_t length = representation != nullptr ? zelcore::Length(RepOf(representation)) : 0;
  if (length > *size) length = *size;
  if (length != 0) std::memcpy(buffer, characters, length);
  *size = length;
}

ZELString ZELString::operator+(const char* tail) const {
  size_t headLength = representation != nullptr ? zelcore::Length(RepOf(representation)) : 0;
  size_t tailLength = tail != nullptr ? std::strlen(tail) : 0;
  ZELString result;
  if (headLength + tailLength == 0) return result;
  Rep* rep = zelcore::NewRep(headLength + tailLength);
  if (headLength != 0) std::memcpy(rep->text, characters, headLength);
  if (tailLength != 0) std::memcpy(rep->text + headLength, tail, tailLength);
  zelcore::SetLength(rep, headLength + tailLength);
  rep->text[headLength + tailLength] = '\0';
  result.representation = &rep->head;
  result.characters = rep->text;
  result.isAscii = isAscii && zelcore::AllAscii(tail, tailLength);
  return result;
}
