// The kept layout: writes a tree that a read with ZELBasXmlKeepLayout made
// as the input stood, changing only what was edited since. Each element
// with a kept markup (Markup.h) is written by playing its operations with
// the node's current name, attributes and text; the operations are first
// brought in line with the node's edits (KeptEdits.h) where it has any.
// An element without one (built in code, or holding an entity's elements)
// is written with its subtree in the well-formed layout, indented as the
// place it is written at.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BufferedSink.h"
#include "Indentation.h"
#include "Markup.h"
#include "WellFormedLayout.h"

namespace zelbas_detail {

// How new markup is laid out: the line end and indentation unit a read
// found, and the indentation of the line the top element starts on.
struct KeptStyle {
  std::string_view lineEnd = "\n";
  std::string_view unit = "    ";
  std::string_view indent;
  bool indentKnown = true;  // false: the top element starts inside a line
  bool putIndent = false;   // `indent` is written before the top element
};

class KeptLayout {
public:
  KeptLayout(BufferedSink& output, const KeptStyle& lines) : out(output), style(lines) {}

  void Open(const ZELBasXmlNode* node, size_t depth);
  void Close(const ZELBasXmlNode* node, size_t depth);

private:
  struct Frame {
    const ZELBasXmlNode* node = nullptr;
    std::string edited;      // its operations brought in line with its edits
    bool useEdited = false;  // else its markup's
    size_t at = 0;           // where the next operation starts
    size_t textAt = 0;       // the next byte of the node's text
    std::string indent;      // its own indentation, when known
    bool indentKnown = false;
  };

  // Plays the frame's content up to the next child's place (true), or to
  // its end, the end tag included (false). `indent` and `known` are set to
  // the next child's indentation.
  bool Play(Frame& frame, std::string& indent, bool& known);
  static std::string_view Operations(const Frame& frame);
  void PutStartTag(Frame& frame);
  void StartFresh(const ZELBasXmlNode* node, size_t depth, const std::string& indent, bool known);

  BufferedSink& out;
  const KeptStyle& style;
  std::vector<Frame> frames;  // by depth
  // The subtree being written in the well-formed layout, from freshDepth.
  static const size_t kNone = ~size_t{0};
  size_t freshDepth = kNone;
  ZELString freshPrefix;
  std::optional<Indentation> freshIndentation;
  std::optional<WellFormedLayout> fresh;
};

}  // namespace zelbas_detail
