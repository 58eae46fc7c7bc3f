/* The layout a read keeps for one element (ZELBasXmlKeepLayout): its own
   markup as written, as a sequence of operations that the kept layout
   writer (KeptLayout.h) plays back, filling in the node's current values.

   What an element's markup holds. "<" and the tag name start it; then
   each attribute as it stood in the start tag (the white space before it,
   its name, what stood between the name and the value, the quote), the end
   of the start tag (">" or "/>" with the white space before it), then its
   content in order: runs of text, comments, processing instructions and
   holes where the child elements go; then the end tag after its name.

   What it does not hold: the tag name, the attribute values and the text
   where they are written as the writer would write them (those are taken
   from the node, so that edits show), and the children's own markup.
   Elements of the same shape (the same attribute names, the same white
   space, the same kinds of content) so share one markup, and a read keeps
   little beyond the tree. Values and texts written otherwise (character
   references, CDATA sections, line ends as CR LF) are held as written,
   with the value they stand for, and written as they were while unchanged.

   Operations are one byte, then their arguments: numbers as LEB128, texts
   as a number (their length) and their bytes. */
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "ShortBytes.h"

namespace zelbas_detail {

enum class MarkupOp : uint8_t {
  kAttribute = 1,  // space, name, between, quote: the value is the node's, written escaped
  kRawAttribute,   // space, name, between, quote, value, raw: raw while the node's value is `value`
  kImplied,        // element, name, value: given by the document type for that element, not written
                   // while the element keeps its name and the attribute that value
  kOpen,           // tail: the end of a start tag with content (">" and the white space before it)
  kSelfClose,      // tail: the end of an empty-element tag ("/>" and the white space before it)
  kWhole,          // the node's whole text, written escaped
  kText,           // n: the next n bytes of the node's text, written escaped
  kRawText,        // n, raw: the next n bytes of the node's text, written as `raw`
  kBlank,          // raw: a run of text of white space only, which is not in the node's text
  kComment,        // raw: "<!--", the comment, "-->"
  kInstruction,    // raw: "<?", the target and data, "?>"
  kChild,          // where the next child element goes
  kEnd,            // tail: what follows "</" and the tag name in the end tag
};

// One operation, as MarkupReader gives it.
struct MarkupStep {
  MarkupOp op = MarkupOp::kChild;
  std::string_view space, name, between, value, raw;  // as the operation has them
  std::string_view element;                           // kImplied
  char quote = '"';
  size_t count = 0;  // kText, kRawText: bytes of the node's text
};

// Bytes appended to inline, a buffer from the memory module that grows as
// needed: a read builds a markup for every element, a few bytes at a time.
class ByteRun {
public:
  ByteRun() = default;
  ByteRun(const ByteRun&) = delete;
  ByteRun& operator=(const ByteRun&) = delete;
  ByteRun(ByteRun&& other) noexcept : data(other.data), used(other.used), room(other.room) {
    other.data = nullptr;
    other.used = other.room = 0;
  }
  ~ByteRun();

  void Append(const char* bytes, size_t length) {
    if (length > room - used) Grow(length);
    CopyBytes(data + used, bytes, length);  // mostly a few bytes: no call
    used += length;
  }
  void Append(std::string_view bytes) { Append(bytes.data(), bytes.size()); }
  void Append(char byte) {
    if (used == room) Grow(1);
    data[used++] = byte;
  }
  // Replaces the `length` bytes at `at` by `byte`.
  void Replace(size_t at, size_t length, char byte) {
    data[at] = byte;
    std::memmove(data + at + 1, data + at + length, used - at - length);
    used -= length - 1;
  }
  void Clear() { used = 0; }
  size_t Size() const { return used; }
  std::string_view View() const { return std::string_view(data, used); }

private:
  void Grow(size_t more);

  char* data = nullptr;
  size_t used = 0;
  size_t room = 0;
};

// Builds the operations of one element.
class MarkupWriter {
public:
  void Attribute(std::string_view space, std::string_view name, std::string_view between, char quote) {
    Op(MarkupOp::kAttribute);
    Text(space), Text(name), Text(between);
    bytes.Append(quote);
  }
  void RawAttribute(std::string_view space, std::string_view name, std::string_view between, char quote,
                    std::string_view value, std::string_view raw) {
    Op(MarkupOp::kRawAttribute);
    Text(space), Text(name), Text(between);
    bytes.Append(quote);
    Text(value), Text(raw);
  }
  void Implied(std::string_view element, std::string_view name, std::string_view value) {
    Op(MarkupOp::kImplied);
    Text(element), Text(name), Text(value);
  }
  // kOpen, kSelfClose, kEnd with their tail; kBlank, kComment,
  // kInstruction with their markup.
  void Raw(MarkupOp op, std::string_view raw) {
    Op(op);
    Text(raw);
  }
  void TextBytes(size_t count) {
    Op(MarkupOp::kText);
    Number(count);
  }
  void RawText(size_t count, std::string_view raw) {
    Op(MarkupOp::kRawText);
    Number(count);
    Text(raw);
  }
  void Op(MarkupOp op) { bytes.Append(static_cast<char>(op)); }
  // Appends the steps as MarkupReader gives them.
  void Step(const MarkupStep& step);

  ByteRun bytes;

private:
  void Number(size_t n) {
    do {
      unsigned char low = n & 0x7F;
      n >>= 7;
      bytes.Append(static_cast<char>(low | (n != 0 ? 0x80 : 0)));
    } while (n != 0);
  }
  void Text(std::string_view text) {
    Number(text.size());
    bytes.Append(text);
  }
};

// Reads the operations of one element in order.
class MarkupReader {
public:
  explicit MarkupReader(std::string_view operations) : at(operations.data()), end(at + operations.size()) {}
  bool Next(MarkupStep& step);
  bool AtEnd() const { return at == end; }
  // Where the next operation starts.
  const char* Position() const { return at; }

private:
  size_t Number() {
    size_t n = 0;
    for (int shift = 0;; shift += 7) {
      unsigned char byte = static_cast<unsigned char>(*at++);
      n |= static_cast<size_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return n;
    }
  }
  std::string_view Text() {
    size_t n = Number();
    std::string_view text(at, n);
    at += n;
    return text;
  }

  const char* at;
  const char* end;
};

// The operations of one element, shared by every node that has the same
// ones and counted like a string's representation (one thread at a time).
class Markup {
public:
  // A markup holding `operations`, counted once.
  static Markup* Make(std::string_view operations);
  static void Retain(Markup* markup) {
    if (markup != nullptr) ++markup->references;
  }
  static void Release(Markup* markup);
  std::string_view Operations() const { return std::string_view(bytes, length); }

private:
  Markup() = default;
  uint32_t references;
  uint32_t length;
  char bytes[1];  // `length` of them
};

}  // namespace zelbas_detail
