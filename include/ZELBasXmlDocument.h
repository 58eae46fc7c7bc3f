/// @file ZELBasXmlDocument.h
/// The XML document: reads XML text from a file or a string into a tree of
/// ZELBasXmlNode, and writes the tree back as indented XML text.
#pragma once

#include "ZELBasAlloc.h"
#include "ZELBasXmlNode.h"
#include "ZELString.h"

namespace zelbas_detail {
class DocumentAccess;
class TreeBuilder;
}  // namespace zelbas_detail

/// Gives XML text to a read a piece at a time: fills up to `capacity` bytes
/// at `buffer` and sets `*length` to their count, 0 at the end of the input.
/// Returns false when the input cannot be read (errno telling why); the
/// read then stops. `context` is what the caller passed along with it.
typedef bool (*ZELBasXmlSource)(void* context, char* buffer, size_t capacity, size_t* length);

/// An XML document: an optional file name, the root element, and the state
/// of the parse that fills it.
///
/// Reading parses with Expat and replaces the tree when the root's start tag
/// arrives; each element keeps only the last piece of character data the
/// parser gave it. Writing renders the declaration line, the comment line
/// "<!-- Written by ZELBasXmlDocument -->" and the root, indented four
/// spaces per level, attributes sorted by name, nothing escaped.
///
/// That is the default format. SetOptions changes it for the reads and
/// writes that follow: ZELBasXmlWholeText keeps every piece of an element's
/// text, ZELBasXmlWellFormed writes XML that reads back (with whole texts)
/// as the same tree, ZELBasXmlQuiet keeps parse errors off the standard
/// error stream. A program that edits a document and saves it sets the
/// first two.
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
  /// Parses the named file in chunks of 262,144 bytes. E_FAIL when the
  /// file cannot be opened (or the parser not created); after a parse error
  /// or a read error the result is still S_OK (unless
  /// ZELBasXmlFailOnParseError is set), the parse error is reported on the
  /// standard error stream (unless ZELBasXmlQuiet is set), and the tree
  /// holds what was built up to the error. GetParseError and GetReadError
  /// tell what happened.
  long ReadFile(const ZELString& fileName);
  /// Parses what `source` gives, as ReadFile parses a file: in chunks of
  /// 262,144 bytes, with the same results. Standard input, a socket or a
  /// decompressor can be read this way.
  long ReadFrom(ZELBasXmlSource source, void* context);
  /// Parses what `source` gives without building a tree: the tree is left
  /// as it was, and memory stays flat whatever the input's size. S_OK for a
  /// well-formed input; E_FAIL for a malformed one, one that cannot be read,
  /// or when the parser cannot be created. Reports, GetParseError and
  /// GetReadError as a read.
  long CheckFrom(ZELBasXmlSource source, void* context);
  /// CheckFrom on the named file; E_FAIL too when it cannot be opened.
  long CheckFile(const ZELString& fileName);
  /// Parses the whole text in one piece. E_FAIL after a parse error
  /// (reported on the standard error stream unless ZELBasXmlQuiet is set),
  /// and without parsing or
  /// reporting anything when the text has more than MaxStringCharacters
  /// characters or more than MaxStringBytes bytes of UTF-8.
  long ReadString(const ZELString& text);
  /// The most characters ReadString takes: four bytes for each must fit the
  /// parser's int length.
  static constexpr int MaxStringCharacters = 536870911;
  /// The most bytes of UTF-8 ReadString takes: what the parser can buffer in
  /// one piece (1 GiB). ReadFile has neither limit.
  static constexpr long long MaxStringBytes = 1LL << 30;

  /// The first parse error of the last read (ReadFile, ReadString, Read,
  /// ReadFrom or a check):
  /// the parser's message and the line and column of the first report
  /// written to the standard error stream (or that would have been, in a
  /// quiet read). E_FAIL, with the arguments
  /// unchanged, when that read had none; each read clears it first.
  long GetParseError(ZELString& message, unsigned long& line, unsigned long& column) const;
  /// S_OK, with the errno value in `error`, when the last read stopped
  /// because its input could not be read (a disk error, a file that is not
  /// readable as a stream); a parse error then reported is only its
  /// consequence, the parse having ended early. E_FAIL, with `error`
  /// unchanged, when the input was read to its end.
  long GetReadError(int& error) const;

  /// WriteFile on the constructor's file name; E_FAIL when there is none.
  long Write();
  /// Renders the document and writes it to the named file, replacing its
  /// content. E_FAIL when the file cannot be opened, written or closed.
  long WriteFile(const ZELString& fileName);
  /// Renders the document into `out`, replacing its previous content.
  long WriteString(ZELString& out);
  /// Renders what WriteString gives, byte for byte, and hands it to `sink`
  /// a buffer at a time (see ZELBasXmlNode::SerializeTo). E_FAIL as soon as
  /// the sink returns false.
  long WriteTo(ZELBasXmlSink sink, void* context) const;

  /// Sets the options (ZELBasXmlOptions, or-ed) that every later read and
  /// write of this document uses; 0 restores the default format. E_FAIL,
  /// with nothing changed, when a bit is not one of the options.
  long SetOptions(unsigned long options);
  /// The options SetOptions set; 0 for a new document.
  unsigned long GetOptions() const { return options; }

  /// The root element: a default node until a parse gives it a start tag.
  const ZELBasXmlNode& GetRoot() const { return dom; }
  /// The root element, to change in place and then write. A read that
  /// continues an incomplete one appends under the element left open, so
  /// the tree must not be changed between the two.
  ZELBasXmlNode& GetRoot() { return dom; }
  /// Makes a copy of `root` and its subtree the document's root (IsRoot
  /// true, no parent), as if a read had built it; `root` may be a node of
  /// this document's own tree. An incomplete read is not continued after it.
  long SetRootElement(const ZELBasXmlNode& root);

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

  friend class zelbas_detail::DocumentAccess;

  // What the last read met.
  struct ReadOutcome {
    ZELString message;  // the first parse error's
    unsigned long line = 0;
    unsigned long column = 0;
    bool parseFailed = false;
    int readError = 0;  // an errno value
  };

  ZELString fileName;
  int currentDepth;
  ZELBasXmlNode dom;
  ZELBasXmlNode* ptr;
  zelbas_detail::TreeBuilder* builder;  // the tree builder of the read in progress, or null
  ReadOutcome outcome;
  unsigned long options = 0;
  // What a read that kept the layout kept around the root (the bytes before
  // and after it), and the line end and indentation unit it found.
  ZELString keptProlog, keptEpilog, keptLineEnd, keptUnit;
  bool layoutKept = false;
};
