/// @file ZELString.h
/// The code base's counted string: a value whose copies share one
/// reference-counted representation of UTF-8 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string_view>
#include <type_traits>

#include "ZELBasCoreUtils.h"

/// Marks what this module exports: ZELBAS_EXPORT while the module is built,
/// ZELBAS_IMPORT for its users.
#if defined(ZELBASXMLDOCUMENT_BUILD)
#define ZELBASXMLDOCUMENT_API ZELBAS_EXPORT
#else
#define ZELBASXMLDOCUMENT_API ZELBAS_IMPORT
#endif

#if defined(_WIN32)
#define ZELBAS_CLASS
/// Marks the module's explicit instantiations of function templates: a DLL
/// exports only what is marked, and its users import it.
#define ZELBAS_INSTANTIATION ZELBASXMLDOCUMENT_API
#else
/// Gives a class's inline members default visibility in a hidden build.
#define ZELBAS_CLASS __attribute__((visibility("default")))
/// Marks the module's explicit instantiations of function templates (the
/// definitions' visibility is enough here).
#define ZELBAS_INSTANTIATION
#endif

/// The shared representation of a string's text. It begins with the count of
/// string objects that point at it; the rest belongs to the core module.
class ZELBAS_CLASS atr_StringRep {
public:
  /// Number of string objects whose representation is this one.
  int32_t refCount;

private:
  friend class atr_StringBase;
  void Increment() { ++refCount; }
  bool Decrement() { return --refCount == 0; }
};

/// Base of ZELString: the character pointer and the shared representation.
class ZELBAS_CLASS atr_StringBase {
public:
  /// Drops this string's hold on its representation, freeing the
  /// representation when it was the last.
  ~atr_StringBase() { Release(); }

  /// True when the two texts are equal byte for byte.
  friend bool operator==(const atr_StringBase& a, const atr_StringBase& b) { return a.Compare(b) == 0; }
  /// True when the two texts differ.
  friend bool operator!=(const atr_StringBase& a, const atr_StringBase& b) { return a.Compare(b) != 0; }
  /// True when `a` sorts before `b` in unsigned byte order.
  friend bool operator<(const atr_StringBase& a, const atr_StringBase& b) { return a.Compare(b) < 0; }

  /// True when the text equals the NUL-terminated `b`, compared as two
  /// strings are (unsigned bytes up to the first NUL) without building one;
  /// a null pointer reads as "", here and in the five below.
  friend bool operator==(const atr_StringBase& a, const char* b) {
    return CompareBytes(a.CStr(), NonNull(b)) == 0;
  }
  /// True when the NUL-terminated `a` equals the text.
  friend bool operator==(const char* a, const atr_StringBase& b) {
    return CompareBytes(NonNull(a), b.CStr()) == 0;
  }
  /// True when the text differs from the NUL-terminated `b`.
  friend bool operator!=(const atr_StringBase& a, const char* b) {
    return CompareBytes(a.CStr(), NonNull(b)) != 0;
  }
  /// True when the NUL-terminated `a` differs from the text.
  friend bool operator!=(const char* a, const atr_StringBase& b) {
    return CompareBytes(NonNull(a), b.CStr()) != 0;
  }
  /// True when the text sorts before the NUL-terminated `b`.
  friend bool operator<(const atr_StringBase& a, const char* b) {
    return CompareBytes(a.CStr(), NonNull(b)) < 0;
  }
  /// True when the NUL-terminated `a` sorts before the text.
  friend bool operator<(const char* a, const atr_StringBase& b) {
    return CompareBytes(NonNull(a), b.CStr()) < 0;
  }

protected:
  atr_StringBase() : characters(nullptr), representation(nullptr) {}
  /// Shares `other`'s representation and counts the new holder.
  atr_StringBase(const atr_StringBase& other)
      : characters(other.characters), representation(other.representation) {
    if (representation != nullptr) representation->Increment();
  }
  /// Shares `other`'s representation, releasing the previous one; safe when
  /// both hold the same representation.
  // NOLINTNEXTLINE(bugprone-unhandled-self-assignment): safe by incrementing before releasing.
  atr_StringBase& operator=(const atr_StringBase& other) {
    // Increment before release: assigning a holder of the same
    // representation must never let the count reach zero.
    if (other.representation != nullptr) other.representation->Increment();
    Release();
    characters = other.characters;
    representation = other.representation;
    return *this;
  }

  /// The text, or the shared static "" when there is no representation.
  const char* CStr() const { return representation != nullptr ? characters : ""; }

  /// -1, 0 or 1 as this text sorts before, equal to or after `other`'s, by
  /// unsigned bytes up to the first NUL.
  int Compare(const atr_StringBase& other) const { return CompareBytes(CStr(), other.CStr()); }
  /// -1, 0 or 1 as the text `left` sorts before, equal to or after `right`,
  /// by unsigned bytes up to the first NUL. Neither is null.
  static int CompareBytes(const char* left, const char* right) {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(left);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(right);
    while (*a == *b && *a != 0) {
      ++a;
      ++b;
    }
    return *a < *b ? -1 : (*a > *b ? 1 : 0);
  }

  /// C text as a string reads it: null as "".
  static const char* NonNull(const char* text) { return text != nullptr ? text : ""; }

  /// Frees the representation whose count has just fallen to zero (core
  /// module). Both fields still name it; the caller overwrites them after.
  ZELBASCOREUTILS_API void Delete();

  /// Drops this string's hold on its representation; the last holder frees it.
  void Release() {
    if (representation != nullptr && representation->Decrement()) Delete();
  }

  /// The text's first byte, inside the representation.
  char* characters;
  /// The shared representation; null for an empty string that has none.
  atr_StringRep* representation;
};

/// The code base's text type: tag names, attribute names and values,
/// character data, file names and rendered documents.
///
/// Copies share one representation through its reference count, so copying
/// never copies characters and never allocates. Comparison is by unsigned
/// bytes, without locale. The count is a plain integer: a string and all its
/// copies belong to one thread at a time.
class ZELBAS_CLASS ZELString : public atr_StringBase {
  // The members for std::string are templates, so that this header needs
  // only its declaration (and the module defines none of std::string's
  // members along with the string's).
  template <class Text>
  using IfString = std::enable_if_t<std::is_same_v<Text, std::string>, bool>;
  // Enables a comparison for std::string and std::string_view, which
  // would otherwise convert both ways.
  template <class Text>
  using IfStandardText =
      std::enable_if_t<std::is_same_v<Text, std::string> || std::is_same_v<Text, std::string_view>, bool>;

public:
  /// Result of the core module's building operations: always 0, since
  /// building fails only by raising std::bad_alloc, which leaves the string
  /// as it was. Callers need not examine it.
  typedef long Result;

  /// The empty text, without a representation. Allocates nothing.
  ZELString() : isAscii(true) {}
  /// The given NUL-terminated UTF-8 text.
  ZELString(const char* const text) : isAscii(true) { BuildFromUTF8(text); }
  /// Exactly the bytes of `text`, NULs inside included.
  ZELString(std::string_view text) : isAscii(true) { BuildFromUTF8(text.data(), text.size()); }
  /// Exactly the bytes of `text`, a std::string, NULs inside included.
  template <class Text, IfString<Text> = true>
  ZELString(const Text& text) : isAscii(true) {
    BuildFromUTF8(text.data(), text.size());
  }
  /// Shares `other`'s representation.
  ZELString(const ZELString& other) : atr_StringBase(other), isAscii(other.isAscii) {}
  /// Shares `other`'s representation, releasing the previous one.
  ZELString& operator=(const ZELString& other) {
    atr_StringBase::operator=(other);
    isAscii = other.isAscii;
    return *this;
  }
  /// Releases this string's hold on its representation (core module).
  ZELBASCOREUTILS_API ~ZELString();

  /// True when the text holds only ASCII bytes (a default string is ASCII).
  bool IsAscii() const { return isAscii; }

  /// The text's bytes, NUL-terminated. Never write through it: the bytes may
  /// be shared by other strings (copies of this one, and, after a read,
  /// every equal name, short value or blank text of the document's
  /// elements), or be the static "" of an empty string. To change bytes in
  /// place, build a fresh string from them first and write into its bytes.
  char* CastToCharPtr() { return const_cast<char*>(CStr()); }
  /// The text's bytes, NUL-terminated, for reading.
  const char* CastToCharPtr() const { return CStr(); }
  /// All the text's bytes (GetLengthInBytes() of them, NULs inside
  /// included), valid while this string or a copy holds them unchanged.
  operator std::string_view() const { return std::string_view(CStr(), GetLengthInBytes()); }
  /// A std::string holding a copy of all the text's bytes.
  template <class Text, IfString<Text> = true>
  operator Text() const {
    return Text(CStr(), GetLengthInBytes());
  }

  /// True when the text equals `b`, a std::string or std::string_view,
  /// compared as two std::string_view are: every byte, NULs inside
  /// included, unsigned.
  template <class Text, IfStandardText<Text> = true>
  friend bool operator==(const ZELString& a, const Text& b) {
    return std::string_view(a) == std::string_view(b);
  }
  /// True when `a`, a std::string or std::string_view, equals the text.
  template <class Text, IfStandardText<Text> = true>
  friend bool operator==(const Text& a, const ZELString& b) {
    return std::string_view(a) == std::string_view(b);
  }
  /// True when the text differs from `b`, a std::string or std::string_view.
  template <class Text, IfStandardText<Text> = true>
  friend bool operator!=(const ZELString& a, const Text& b) {
    return std::string_view(a) != std::string_view(b);
  }
  /// True when `a`, a std::string or std::string_view, differs from the text.
  template <class Text, IfStandardText<Text> = true>
  friend bool operator!=(const Text& a, const ZELString& b) {
    return std::string_view(a) != std::string_view(b);
  }
  /// True when the text sorts before `b`, a std::string or std::string_view.
  template <class Text, IfStandardText<Text> = true>
  friend bool operator<(const ZELString& a, const Text& b) {
    return std::string_view(a) < std::string_view(b);
  }
  /// True when `a`, a std::string or std::string_view, sorts before the text.
  template <class Text, IfStandardText<Text> = true>
  friend bool operator<(const Text& a, const ZELString& b) {
    return std::string_view(a) < std::string_view(b);
  }
  /// Writes all the text's bytes to `out`, as a std::string_view is written
  /// (the stream's width and fill apply).
  template <class Traits>
  friend std::basic_ostream<char, Traits>& operator<<(std::basic_ostream<char, Traits>& out,
                                                      const ZELString& text) {
    return out << std::string_view(text);
  }

  /// Makes this string hold the NUL-terminated UTF-8 `text`.
  ZELBASCOREUTILS_API Result BuildFromUTF8(const char* text);
  /// Makes this string hold exactly `length` bytes of UTF-8 from `text`.
  ZELBASCOREUTILS_API Result BuildFromUTF8(const char* text, size_t length);
  /// Appends `tail`'s text. Amortized constant time per appended byte.
  ZELBASCOREUTILS_API ZELString& Append(const ZELString& tail);
  /// Number of characters; each byte of an invalid UTF-8 sequence counts as
  /// one, so 4 x the result is never less than the byte count.
  ZELBASCOREUTILS_API int GetLengthInChar() const;
  /// Number of bytes of the UTF-8 text, without the terminator; a NUL
  /// inside the text counts like any other byte.
  ZELBASCOREUTILS_API size_t GetLengthInBytes() const;
  /// Writes at most `*size` bytes of the UTF-8 text into `buffer` (no
  /// terminator) and sets `*size` to the number written.
  ZELBASCOREUTILS_API void ConvertToUTF8(char* buffer, size_t* size) const;
  /// A new string holding this text followed by `tail`.
  ZELBASCOREUTILS_API ZELString operator+(const char* tail) const;

private:
  bool isAscii;
};
