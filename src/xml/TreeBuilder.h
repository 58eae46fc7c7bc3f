// The state of the tree builder while a read runs: the strings it shares
// and the text it puts together. The document points at it for the read's
// duration; the parser's callbacks (TreeBuilder.cpp) find it there, or make
// one for a single event when called outside a read.
#pragma once

#include <optional>

#include "LayoutRecorder.h"
#include "StringCache.h"
#include "TextAssembly.h"
#include "ZELBasXmlDocument.h"

namespace zelbas_detail {

class TreeBuilder {
public:
  // For a whole read.
  explicit TreeBuilder(bool wholeTexts) : strings(StringCache::kForRead), text(strings, wholeTexts) {}
  // For one callback called outside a read.
  TreeBuilder() : text(strings, false) {}
  TreeBuilder(const TreeBuilder&) = delete;
  TreeBuilder& operator=(const TreeBuilder&) = delete;

  // The character-data callback of a whole-text read (the default one is
  // the document's dataHandler); the user data is the document.
  static void WholeTextHandler(void* userData, const char* s, int len);

  // The callbacks of a read that keeps the layout: the document's, then
  // the recorder's.
  static void KeptStartTag(void* userData, const char* name, const char** atts);
  static void KeptEndTag(void* userData, const char* name);
  static void KeptText(void* userData, const char* s, int len);
  static void KeptComment(void* userData, const char* text);
  static void KeptInstruction(void* userData, const char* target, const char* data);
  static void KeptDeclaration(void* userData, const char* version, const char* encoding, int standalone);

  StringCache strings;
  TextAssembly text;
  std::optional<LayoutRecorder> layout;  // in a read that keeps the layout
};

}  // namespace zelbas_detail
