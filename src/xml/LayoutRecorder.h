// The read side of a kept layout (ZELBasXmlKeepLayout): turns the parser's
// events, and the bytes of the input they came from, into each element's
// markup (Markup.h), and keeps what stands before and after the root.
//
// How the bytes are found. The parser tells where each event's text lies in
// the input (its byte position and count). Start tags, end tags, comments
// and processing instructions are markup; whatever lies between two of them
// is text as written (references, CDATA sections and line ends included),
// and the character data the parser hands over meanwhile is what it stands
// for. An element that comes from an entity reference has the position of
// the reference: the element holding it is then not kept (it is written in
// the well-formed layout, the reference expanded).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Markup.h"
#include "SourceWindow.h"
#include "ZELBasXmlNode.h"
#include "ZELBasXmlParser.h"

namespace zelbas_detail {

// What a read kept around the root, and the style it found.
struct KeptDocument {
  std::string prolog;   // before the root's start tag
  std::string epilog;   // after its end tag
  std::string lineEnd;  // "\n" or "\r\n", as the first line end
  std::string unit;     // one level of indentation
};

class LayoutRecorder {
public:
  explicit LayoutRecorder(XML_Parser parser) : events(parser) {}
  LayoutRecorder(const LayoutRecorder&) = delete;
  LayoutRecorder& operator=(const LayoutRecorder&) = delete;
  ~LayoutRecorder();

  // Around each parse call: the bytes it is given, and after it, keeping
  // what later events may still need.
  void Borrow(const char* bytes, size_t length) { window.Borrow(bytes, length); }
  void Keep() { window.Keep(consumed); }

  // The events, after the tree builder handled them: `node` is the element
  // just started, or the one ending.
  void StartTag(ZELBasXmlNode* node, const char** atts);
  void EndTag(ZELBasXmlNode* node);
  void Text(const char* text, size_t length);
  void OtherMarkup(MarkupOp kind);  // a comment or a processing instruction
  // The XML declaration named `encoding` (null when it names none).
  void Declaration(const char* encoding);

  // At the end of a read whose root was read whole: what stands around it.
  // False when the input's layout was not kept (its encoding is not
  // UTF-8).
  bool Finish(KeptDocument& kept);

private:
  // A piece of an element's content since its last tag.
  struct Item {
    MarkupOp kind;  // kText for text, else kComment or kInstruction
    size_t raw;     // where its bytes start in `runRaw`, when kept
    size_t rawLength;
    size_t length;  // text: the bytes of character data it stands for
    bool written;   // text: written as the writer would write it
    bool blank;     // text: white space only
  };
  // The character data since the markup last taken: how many bytes, and
  // whether they are white space only.
  struct Gap {
    size_t length = 0;
    bool blank = true;
  };
  // An element open in the read.
  struct Frame {
    ZELBasXmlNode* node = nullptr;
    MarkupWriter ops;
    uint32_t children = 0;
    bool kept = true;  // false when it holds elements of an entity
    bool fromEntity = false;
    std::string indent;  // its own indentation, when known
    bool indentKnown = false;
    std::vector<Item> items;  // the run of text open in it
    std::string runRaw;
    size_t texts = 0, rawTexts = 0;  // text operations so far
    size_t textAt = 0;               // where the last one starts in `ops`
  };

  Frame& Push();
  // The text between the last markup taken and `position` joins the run.
  void CloseGap(uint64_t position, Frame& frame);
  // The character data since the markup last taken, up to `position`, and
  // its bytes; false when there is none.
  bool TakeGap(uint64_t position, Gap& gap, std::string_view& raw);
  // A run's text as its operation: white space as written, text the writer
  // writes the same way by its length, other text with its bytes.
  void PutText(Frame& frame, bool blank, bool written, size_t length, std::string_view raw);
  // The run ends at a tag: its operations join the element's.
  void EndRun(Frame& frame);
  // The same for a run that ends with the text up to `position`.
  void EndRunAt(uint64_t position, Frame& frame);
  // A start tag's element placed among its parent's content, or made the
  // root (false when the input is not kept).
  void StartChild(ZELBasXmlNode* node, uint64_t position);
  bool StartRoot(uint64_t position);
  void RecordStartTag(Frame& frame, std::string_view tag, const char** atts);
  // One attribute of the tag, after its white space at `space`: recorded,
  // and where it ends; nullptr when it is not the attribute Expat gave.
  const char* RecordAttribute(Frame& frame, const char* space, const char* at, const char* end,
                              const char** pair);
  void NoteLineEnd(std::string_view raw);
  void NoteIndent(Frame& parent, Frame& child);
  Markup* Intern(std::string_view operations);
  bool EncodingKept(const std::string& prolog) const;
  bool foreignEncoding = false;  // the declaration names another than UTF-8

  XML_Parser events;
  SourceWindow window;
  uint64_t consumed = 0;  // where the markup last taken ends
  std::vector<Frame> frames;
  size_t depth = 0;
  bool off = false;  // nothing is kept for this input
  bool rootSeen = false;
  Gap open;
  std::string scratch;
  KeptDocument around;
  bool lineEndFound = false;
  bool unitFound = false;

  // Markups shared by elements of the same shape.
  struct Slot {
    uint32_t hash = 0;
    Markup* markup = nullptr;
  };
  static const size_t kSlots = 1024;
  Slot slots[kSlots];
};

}  // namespace zelbas_detail
