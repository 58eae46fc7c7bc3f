/// @file ZELBasXmlDocument.h
/// The XML document: reads XML text from a file or a string into a tree of
/// ZELBasXmlNode, and writes the tree back as indented XML text.
#pragma once

#include "ZELBasAlloc.h"
#include "ZELBasXmlNode.h"
#include "ZELString.h"

namespace zelbas_detail {
class ParseCache;
}

/// An XML document: an optional file name, the root element, and the state
/// of the parse that fills it.
///
/// Reading parses with Expat and replaces the tree when the root's start tag
/// arrives; each element keeps only the last piece of character data the
/// parser gave it. Writing renders the declaration line, the comment line
/// "<!-- Written by ZELBasXmlDocument -->" and the root, indented four
/// spaces per level, attributes sorted by name, nothing escaped.
///
/// A document is used by one thread at a time; separate documents may live
/// on separate threads. Heap instances come from the memory module. All
/// operations returning `long` return S_OK (0) or E_FAIL.
class ZELBASXMLDOCUMENT_API ZELBasXmlDocument : public mem_AllocationOperators {
public:
  /// An empty document without a file name.
  ZELBasXmlDocument();
  /// An empty document that Read and Write use `fileName` for.
  explicit ZELBasXmlDocument(const ZELString& fileName);
  ZELBasXmlDocument(const ZELBasXmlDocument&) = delete;
  ZELBasXmlDocument& operator=(const ZELBasXmlDocument&) = delete;
  /// Destroys the tree.
  virtual ~ZELBasXmlDocument();

  /// ReadFile on the constructor's file name; E_FAIL when there is none.
  long Read();
  /// Parses the named file in chunks of 262,144 bytes. E_FAIL only when the
  /// file cannot be opened (or the parser not created); after a parse error
  /// the result is still S_OK, the error is reported on the standard error
  /// stream, and the tree holds what was built up to the error.
  long ReadFile(const ZELString& fileName);
  /// Parses the whole text in one piece. E_FAIL after a parse error
  /// (reported on the standard error stream), and without parsing when the
  /// text has more than 536,870,911 characters.
  long ReadString(const ZELString& text);

  /// WriteFile on the constructor's file name; E_FAIL when there is none.
  long Write();
  /// Renders the document and writes it to the named file, replacing its
  /// content. E_FAIL when the file cannot be opened, written or closed.
  long WriteFile(const ZELString& fileName);
  /// Renders the document into `out`, replacing its previous content.
  long WriteString(ZELString& out);

  /// The root element: a default node until a parse gives it a start tag.
  const ZELBasXmlNode& GetRoot() const { return dom; }

  /// Parser callback for a start tag; `userData` is the document.
  static void unknownStartTag(void* userData, const char* name, const char** atts);
  /// Parser callback for an end tag; `userData` is the document.
  static void unknownEndTag(void* userData, const char* name);
  /// Parser callback for `len` bytes of character data; `userData` is the
  /// document.
  static void dataHandler(void* userData, const char* s, int len);

private:
  int& CurrentDepth() { return currentDepth; }
  ZELBasXmlNode& GetDom() { return dom; }
  ZELBasXmlNode*& GetPtr() { return ptr; }

  friend class zelbas_detail::ParseCache;
  typedef zelbas_detail::ParseCache ParseCache;

  ZELString fileName;
  int currentDepth;
  ZELBasXmlNode dom;
  ZELBasXmlNode* ptr;
  ParseCache* parseCache;  // the strings of the read in progress, or null
};
