/// @file ZELBasXmlNode.h
/// One XML element: its name, attributes, text and child elements, held by
/// value.
#pragma once

#include <cstdint>

#include "ZELBasMap.h"
#include "ZELBasVector.h"
#include "ZELString.h"

namespace zelbas_detail {
class NodeAccess;
class Markup;
}  // namespace zelbas_detail

// Result codes are 32-bit HRESULTs: S_OK, or E_FAIL with the bit pattern
// 0x80004005, negative. Windows' own definitions, where its headers came
// first, are the same values.
#ifndef S_OK
/// Result of an operation that succeeded.
#define S_OK ((long)0)
#endif
#ifndef E_FAIL
#if defined(_WIN32)
/// Result of an operation that failed (long has 32 bits here).
#define E_FAIL ((long)0x80004005)
#else
/// Result of an operation that failed: the 32-bit pattern, sign-extended
/// into a 64-bit long.
#define E_FAIL ((long)(int)0x80004005)
#endif
#endif

class ZELBasXmlDocument;

/// Receives rendered XML text a piece at a time: `length` bytes at `bytes`,
/// valid during the call only. `context` is what the caller passed along
/// with the sink. Returning false stops the rendering (a failed write, say).
typedef bool (*ZELBasXmlSink)(void* context, const char* bytes, size_t length);

/// What an item of an element's content is (ZELBasXmlNode::ContentAt).
enum ZELBasXmlContent {
  ZELBasXmlElementItem,      ///< a child element
  ZELBasXmlTextItem,         ///< a run of text between two pieces of markup
  ZELBasXmlCommentItem,      ///< a comment
  ZELBasXmlInstructionItem,  ///< a processing instruction
};

/// Options of reading and writing, or-ed together; none set (0) is the
/// default format: the last piece of text kept, nothing escaped, end tags of
/// elements with text on a line of their own (docs/format.md).
enum ZELBasXmlOptions : unsigned long {
  /// Read: an element's text is all its runs of character data joined in
  /// document order; a run made only of space, tab, CR and LF is left out.
  ZELBasXmlWholeText = 1,
  /// Write: text and attribute values escaped, and no white space added
  /// inside an element that has text, so that the output reads back (with
  /// ZELBasXmlWholeText) as the same tree.
  ZELBasXmlWellFormed = 2,
  /// Read: no report on the standard error stream; GetParseError still
  /// gives the error.
  ZELBasXmlQuiet = 4,
  /// Read: every read starts from an empty tree (a default root), whatever
  /// the last one left; without it a read that follows an incomplete one
  /// continues it, under the element left open.
  ZELBasXmlFreshRead = 8,
  /// Read: ReadFile, Read and ReadFrom return E_FAIL after a parse error or
  /// a read error too, not only when the input cannot be opened.
  ZELBasXmlFailOnParseError = 16,
  /// Read and write: keep the layout of what is read, so that writing it
  /// gives the input's bytes back, changed only where the tree was edited
  /// (docs/format.md). A read keeps whole texts (as ZELBasXmlWholeText),
  /// and the XML declaration, the document type, comments and processing
  /// instructions, white space, quotes, references and CDATA sections as
  /// written; elements built in code are written in the well-formed
  /// layout. Only for input in UTF-8 (or ASCII): other input is read as
  /// with ZELBasXmlWholeText and written in the well-formed layout.
  ZELBasXmlKeepLayout = 32,
  /// Read: an encoding the parser does not know itself (it knows UTF-8,
  /// UTF-16, ISO-8859-1 and US-ASCII), declared by the input, is converted
  /// by the system: iconv of the C library, Windows' code pages. The tree
  /// holds UTF-8 whatever the input. An encoding the system does not have
  /// is a parse error whose message is "unsupported encoding NAME"
  /// (docs/limits.md lists what works).
  ZELBasXmlAnyEncoding = 64,
  /// What a program that reads and writes XML expects of an XML library:
  /// whole texts, the well-formed layout, quiet reads that start from an
  /// empty tree and fail on malformed input, in any encoding the system
  /// converts.
  ZELBasXmlStandard = ZELBasXmlWholeText | ZELBasXmlWellFormed | ZELBasXmlQuiet | ZELBasXmlFreshRead |
                      ZELBasXmlFailOnParseError | ZELBasXmlAnyEncoding,
};

/// An XML element node.
///
/// A node owns its attributes (a map kept in unsigned byte order of the
/// names), its tag name and text, and its children, by value: copying a node
/// copies its whole subtree, and the strings share their text.
///
/// Parent links: every child held in a node's children links to that node,
/// whatever is copied, assigned, appended or moved, and a document's root
/// links to nothing. Such a node (a reference from ChildAt, FirstChild or a
/// document's GetRoot) keeps that link whatever is assigned to it or passed
/// from it to Append: only the copy Append stores takes the new link. A node
/// that is not inside a tree (a copy returned by GetElementsByTagName, the
/// `out` of GetParent, a node the caller built and appended) keeps the link
/// it had when it was copied; that link is valid only while the tree it came
/// from lives, and GetParent on it must not be called after that tree is
/// changed or destroyed.
///
/// No operation recurses per level: copying, destroying, searching and
/// rendering all work on trees of any depth.
///
/// All operations returning `long` return S_OK (0) or E_FAIL.
class ZELBASXMLDOCUMENT_API ZELBasXmlNode {
public:
  /// Empty tag name, no attributes, no children, empty text, not the root,
  /// no parent.
  ZELBasXmlNode();
  /// As the default constructor, with the given tag name.
  explicit ZELBasXmlNode(const ZELString& tagName);
  /// Copies the whole subtree; the copy's children link to the copy, the
  /// copy itself keeps `other`'s parent link.
  ZELBasXmlNode(const ZELBasXmlNode& other);
  /// Assigns every field from `other`, the children as a full copy, and
  /// links the new children to this node. `other` may be this node or any
  /// node inside its subtree. A node inside a tree keeps its own parent
  /// link, and so does any node whose new link would lead into the subtree
  /// this assignment replaces (itself included).
  ZELBasXmlNode& operator=(const ZELBasXmlNode& other);
  /// Destroys the whole subtree.
  ~ZELBasXmlNode();

  /// Replaces the tag name.
  long SetTagName(const ZELString& name);
  /// Replaces the element's text. The default layout writes it as it is,
  /// like text read from a file: nothing is escaped (docs/format.md);
  /// ZELBasXmlWellFormed escapes it.
  long SetData(const ZELString& text);
  /// Marks this node as a document root.
  long SetRoot();
  /// Sets the attribute `name` to `value`, replacing a previous value.
  long InsertAttribute(const ZELString& name, const ZELString& value);
  /// Links `child` to this node (the caller's object is changed, unless it
  /// is itself inside a tree), then appends a copy of it to the children;
  /// the copy links to this node. `child` may be a node of this tree or of
  /// another, this node itself or one of its ancestors: the copy is then
  /// the subtree as it was before the call, and `child` keeps its link (to
  /// this node it would be a cycle).
  long Append(ZELBasXmlNode& child);
  /// Appends a copy of `child` (a node built in place, say) to the
  /// children, linked to this node, and returns that copy to go on
  /// filling; `child` itself is not changed. As with Append, `child` may be
  /// a node of this tree or another, this node or an ancestor. The
  /// reference is valid until the children change.
  ZELBasXmlNode& AppendChild(const ZELBasXmlNode& child);
  /// Appends a new child named `tagName` and returns it, to fill in place:
  /// `n.AppendChild("item").SetData("x")`. Valid until the children change.
  ZELBasXmlNode& AppendChild(const ZELString& tagName);
  /// Removes the child at `index` and its subtree; the children after it
  /// move up one place, relinked where they now stand (pointers and
  /// references to them are no longer valid). E_FAIL when `index` is not
  /// below Children().size().
  long RemoveChild(size_t index);
  /// Removes every child whose tag name is `tagName` byte for byte, with
  /// its subtree, in one pass; the others keep their order. Returns how
  /// many went (pointers and references to children are then no longer
  /// valid).
  size_t RemoveChildren(const ZELString& tagName);
  /// Removes the attribute `name`; E_FAIL, with nothing changed, when there
  /// is none.
  long RemoveAttribute(const ZELString& name);
  /// Appends to `result` (not cleared first) a copy of every descendant whose
  /// tag name equals `name` byte for byte, in document order. This node
  /// itself is never included.
  long GetElementsByTagName(const ZELString& name, ZELBasVector<ZELBasXmlNode>& result) const;
  /// Calls `visit(node)` with each descendant whose tag name is `tagName`
  /// byte for byte, in document order, to change in place: what
  /// GetElementsByTagName finds, without copies.
  ///
  ///     root.ForEachElement("price", [](ZELBasXmlNode& price) { price.SetData("0"); });
  ///
  /// `visit` may change the node it gets and its subtree (the walk goes on
  /// into the children the node has after the call), not the rest of the
  /// tree. This node itself is never visited.
  template <class Visit>
  void ForEachElement(const ZELString& tagName, Visit visit) {
    Walk(this, tagName, [&](const ZELBasXmlNode* node) { visit(*const_cast<ZELBasXmlNode*>(node)); });
  }
  /// Calls `visit(node)` with each descendant whose tag name is `tagName`,
  /// in document order, to read.
  template <class Visit>
  void ForEachElement(const ZELString& tagName, Visit visit) const {
    Walk(this, tagName, [&](const ZELBasXmlNode* node) { visit(*node); });
  }
  /// Assigns a copy of the parent node to `out`. E_FAIL for a root, and for
  /// a node without a parent link.
  long GetParent(ZELBasXmlNode& out) const;
  /// Appends this node and its subtree to `out` as XML text: each line
  /// starts with `indent` plus four spaces per level, attributes sorted by
  /// name, nothing escaped. See docs/format.md.
  long Serialize(ZELString& out, ZELString indent) const;
  /// Renders what Serialize appends, byte for byte, and hands it to `sink`
  /// a 64 KiB buffer at a time (a longer name, value or text in one piece),
  /// so that rendering to a file or a stream needs no more memory than
  /// that, whatever the size of the text. E_FAIL as soon as the sink returns
  /// false; the sink is not called again.
  long SerializeTo(ZELBasXmlSink sink, void* context, const ZELString& indent) const;
  /// As Serialize, in the layout `options` asks for: with
  /// ZELBasXmlWellFormed escaped and free of added white space inside
  /// elements with text (docs/format.md), or E_FAIL with `out` unchanged
  /// when CheckWritable refuses the subtree; 0 gives Serialize's bytes.
  /// Bits other than ZELBasXmlWellFormed are ignored.
  long Serialize(ZELString& out, ZELString indent, unsigned long options) const;
  /// As SerializeTo, in the layout `options` asks for (see the Serialize
  /// taking options).
  long SerializeTo(ZELBasXmlSink sink, void* context, const ZELString& indent, unsigned long options) const;
  /// S_OK when this subtree can be written in the well-formed layout: every
  /// tag and attribute name an XML name (as the parser takes it), every text
  /// and attribute value valid UTF-8 of characters XML allows. Otherwise
  /// E_FAIL, and `problem` says which element (by its path of tags from this
  /// node, /a/b[2]) and what is wrong. A well-formed write of a subtree
  /// that fails this check writes nothing and returns E_FAIL.
  long CheckWritable(ZELString& problem) const;

  /// The element name.
  const ZELString& GetTagName() const { return tagName; }
  /// The element's text, as SetData gave it or as a read left it. A read
  /// keeps only the last piece of character data: the parser splits text at
  /// every entity or character reference and every line break (and ReadFile
  /// at its 256 KiB chunks), and each piece replaces the one before. So
  /// `<t>Q&amp;A</t>` gives `A`, and a text on two lines its second line.
  /// A read with ZELBasXmlWholeText keeps the whole text instead.
  const ZELString& GetData() const { return data; }
  /// The attributes, walked in ascending byte order of their names.
  const ZELBasMap<ZELString, ZELString>& GetAttributes() const { return attributes; }
  /// Copies the value of attribute `name` into `value`; E_FAIL, with `value`
  /// unchanged, when there is none. Inserts nothing.
  long GetAttribute(const ZELString& name, ZELString& value) const;
  /// True for a document root.
  bool IsRoot() const { return isRoot; }
  /// The child elements, in the order they were appended.
  const ZELBasVector<ZELBasXmlNode>& Children() const { return children; }
  /// The child at `index`, which must be below Children().size(), to change
  /// in place. Valid until the children change (an Append may move them).
  ZELBasXmlNode& ChildAt(size_t index);
  /// The child at `index`, which must be below Children().size().
  const ZELBasXmlNode& ChildAt(size_t index) const;
  /// The first direct child whose tag name is `tagName` byte for byte, or
  /// null. Valid until the children change.
  ZELBasXmlNode* FirstChild(const ZELString& tagName);
  /// The first direct child whose tag name is `tagName`, or null.
  const ZELBasXmlNode* FirstChild(const ZELString& tagName) const;

  /// The number of items in this element's content. With a layout kept by
  /// a read (ZELBasXmlKeepLayout): every child element, run of text between
  /// two pieces of markup (white space alone included), comment and
  /// processing instruction, in document order. Otherwise the text, when
  /// it is not empty, then the children.
  size_t ContentCount() const;
  /// Item `index` of the content: what it is, and in `text` what it holds:
  /// a run's characters (references resolved; a run of white space alone as
  /// written), a comment's text between "<!--" and "-->", an instruction's
  /// target and data between "<?" and "?>", an element's tag name. E_FAIL,
  /// with nothing changed, past the last.
  long ContentAt(size_t index, ZELBasXmlContent& kind, ZELString& text) const;
  /// Replaces what item `index` holds: a run of text (written escaped; the
  /// element's text, GetData, follows), a comment or an instruction, which
  /// keep their place among the rest. E_FAIL, with nothing changed, for an
  /// element (change it through ChildAt), past the last, for a comment
  /// that would hold "--" or end with "-", and for an instruction whose
  /// text does not start with a name or holds "?>".
  long SetContent(size_t index, const ZELString& text);
  /// Removes item `index`: a run of text, a comment or an instruction
  /// (RemoveChild removes an element). E_FAIL, with nothing changed, for
  /// an element and past the last.
  long RemoveContent(size_t index);
  /// Inserts a comment holding `text` before item `index` (ContentCount()
  /// for the end) of an element whose layout a read kept. E_FAIL, with
  /// nothing changed, for another element, past the end, and for a text a
  /// comment cannot hold.
  long InsertComment(size_t index, const ZELString& text);

private:
  friend class ZELBasXmlDocument;
  friend class zelbas_detail::NodeAccess;  // the module's internal access: tree walks, building in place
  friend struct ZELBasRelocation<ZELBasXmlNode>;

  enum ShallowTag { kShallow };
  /// A copy of `other` without its children.
  ZELBasXmlNode(const ZELBasXmlNode& other, ShallowTag);
  /// Copy-constructs `count` nodes at `destination` as shallow copies of
  /// those at `source`: the element copy of a vector filled level by level.
  static void CopyShallow(const void* source, void* destination, size_t count);
  static void Relocate(void* source, void* destination, size_t count);

  // The walk of ForEachElement: each child links to the node holding it,
  // so the walk climbs back through those links, without a stack
  // whatever the depth. Children are read after each visit, which may
  // change them.
  template <class Visit>
  static void Walk(const ZELBasXmlNode* top, const ZELString& tagName, Visit visit) {
    const ZELBasXmlNode* node = top;
    for (;;) {
      if (node->children.size() != 0) {
        node = node->children.begin();
      } else {
        for (;;) {
          if (node == top) return;
          const ZELBasXmlNode* up = node->parent;
          if (node + 1 != up->children.end()) {
            ++node;
            break;
          }
          node = up;
        }
      }
      if (node->tagName == tagName) visit(node);
    }
  }

  void CopyChildrenShallow(const ZELBasXmlNode& other);
  void CopyDescendants(const ZELBasXmlNode& other);
  void DestroyDescendants();
  void LinkChildren();
  // Appends a copy of `child` linked to this node.
  void Store(const ZELBasXmlNode& child);
  // True when `node` is this node or one of its ancestors.
  bool IsSelfOrAncestor(const ZELBasXmlNode* node) const;
  // True when `node` is this node or lies in its subtree.
  bool Contains(const ZELBasXmlNode* node) const;

  ZELBasMap<ZELString, ZELString> attributes;
  ZELString tagName;
  bool isRoot;
  // Inside a children vector or a document: the parent link is the
  // holder's, kept by assignment and by Append. Never copied.
  bool held;
  // The layout a read kept (ZELBasXmlKeepLayout): whether SetData replaced
  // the text it describes, and which child of the parent's layout this
  // node was (kNotKept when it came to its place otherwise).
  bool textEdited;
  uint32_t keptIndex;
  ZELBasVector<ZELBasXmlNode> children;
  ZELString data;
  ZELBasXmlNode* parent;
  zelbas_detail::Markup* markup;  // shared; null when no layout was kept
};

/// Nodes move by their bytes, every string and vector they hold being a
/// pointer to storage elsewhere; the attribute map's links to its header,
/// which lives inside the node, and the children's links to the node are
/// then mended. Growing a children vector copies no subtree.
template <>
struct ZELBasRelocation<ZELBasXmlNode> {
  /// The node's relocation.
  static ZELBasRelocateFunc Get() { return &ZELBasXmlNode::Relocate; }
};

extern template class ZELBasVector<ZELBasXmlNode>;
extern template ZELBAS_INSTANTIATION void ZELBasStandardCopy<ZELBasXmlNode>(const void*, void*, size_t);
extern template ZELBAS_INSTANTIATION void ZELBasStandardDestroy<ZELBasXmlNode>(const void*, size_t);
