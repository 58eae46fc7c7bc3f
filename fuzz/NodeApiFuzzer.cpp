// Drives the node API from the fuzz bytes over five slots (four nodes of
// the fuzzer's own and a document's root), and keeps a model of each
// slot's tree next to it: the tree as Flatten gives it, node by node in
// document order. Operations reach nodes inside the trees through the
// mutable ChildAt and FirstChild, and assign to them, append to them (from
// the same tree, another, themselves or their ancestors, with Append and
// AppendChild), remove their children (by index or by name) and change
// their descendants through ForEachElement. After every operation every slot must match its model (tags,
// attributes in name order, text, children, root flags) and hold its links:
// GetParent of every node it holds gives its holder, the rendering (which
// climbs those links) is the model's, and the well-formed layout writes
// exactly the trees whose names and texts allow it, which read back as the
// same tree. Search results must be the model's matches in document order,
// and every block taken must come back in the end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

namespace {

const size_t kSlots = 5;       // the last is a document's root
const size_t kMaxNodes = 128;  // per slot; appending a slot to itself doubles it

typedef std::vector<FlatNode> Tree;
const FlatNode kEmpty = {0, "", {}, "", 0, false};

// Just past the subtree of node `k`.
size_t End(const Tree& t, size_t k) {
  size_t end = k + 1;
  while (end < t.size() && t[end].depth > t[k].depth) ++end;
  return end;
}

// The subtree of node `k`, as a tree of its own.
Tree Subtree(const Tree& t, size_t k) {
  Tree sub(t.begin() + static_cast<long>(k), t.begin() + static_cast<long>(End(t, k)));
  for (FlatNode& n : sub) n.depth -= t[k].depth;
  return sub;
}

// The node `k` steps into `node` in document order (0 is `node` itself).
const ZELBasXmlNode* Find(const ZELBasXmlNode& node, size_t& k) {
  if (k-- == 0) return &node;
  for (const ZELBasXmlNode& child : node.Children()) {
    if (const ZELBasXmlNode* found = Find(child, k)) return found;
  }
  return nullptr;
}
const ZELBasXmlNode* At(const ZELBasXmlNode& top, size_t k) { return Find(top, k); }

// The same through the mutable API: ChildAt, or FirstChild where it finds
// the same node.
ZELBasXmlNode* MutableAt(ZELBasXmlNode& node, size_t& k, bool byTag) {
  if (k-- == 0) return &node;
  for (size_t i = 0; i < node.Children().size(); ++i) {
    ZELBasXmlNode* child = &node.ChildAt(i);
    if (byTag) {
      ZELBasXmlNode* first = node.FirstChild(child->GetTagName());
      if (first == child) child = first;
    }
    if (ZELBasXmlNode* found = MutableAt(*child, k, byTag)) return found;
  }
  return nullptr;
}

// Node `k` of the tree `t` replaced by `sub` (a tree of its own).
void Replace(Tree& t, size_t k, Tree sub) {
  for (FlatNode& n : sub) n.depth += t[k].depth;
  t.erase(t.begin() + static_cast<long>(k), t.begin() + static_cast<long>(End(t, k)));
  t.insert(t.begin() + static_cast<long>(k), sub.begin(), sub.end());
}

// `sub` appended as the last child of node `k`.
void AppendTo(Tree& t, size_t k, Tree sub) {
  for (FlatNode& n : sub) n.depth += t[k].depth + 1;
  size_t end = End(t, k);
  ++t[k].children;
  t.insert(t.begin() + static_cast<long>(end), sub.begin(), sub.end());
}

// The index in `t` of child `i` of node `k`.
size_t ChildIndex(const Tree& t, size_t k, size_t i) {
  size_t at = k + 1;
  while (i-- > 0) at = End(t, at);
  return at;
}

// Every node below `node` links to the node that holds it.
void CheckLinks(const ZELBasXmlNode& node, const Tree& model, size_t k) {
  for (size_t i = 0; i < node.Children().size(); ++i) {
    const ZELBasXmlNode& child = node.ChildAt(i);
    size_t c = ChildIndex(model, k, i);
    ZELBasXmlNode parent;
    FUZZ_CHECK(child.GetParent(parent) == (model[c].root ? E_FAIL : S_OK));
    if (!model[c].root) FUZZ_CHECK(Flatten(parent) == Subtree(model, k));
    CheckLinks(child, model, c);
  }
}

// Whether the well-formed layout may write the tree: names the parser
// takes, texts of XML characters (the fuzzer's bad ones hold FF 01).
bool Writable(const Tree& t) {
  auto name = [](const std::string& n) {
    return !n.empty() && n.find_first_of("<&\" \xFF") == std::string::npos;
  };
  auto text = [](const std::string& x) { return x.find('\xFF') == std::string::npos; };
  for (const FlatNode& n : t) {
    if (!name(n.tag) || !text(n.data)) return false;
    for (const auto& [key, value] : n.attributes) {
      if (!name(key) || !text(value)) return false;
    }
  }
  return true;
}

// The tree without its root flags, as a read gives them back.
Tree ReadBack(Tree t) {
  for (FlatNode& n : t) n.root = false;
  t[0].root = true;
  return t;
}

void CheckSlot(const ZELBasXmlNode& node, const Tree& model) {
  FUZZ_CHECK(Flatten(node) == model);
  CheckLinks(node, model, 0);
  ZELString out;
  FUZZ_CHECK(node.Serialize(out, ZELString()) == S_OK && Str(out) == ReferenceRender(model, ""));
  ZELString xml("kept");
  bool written = node.Serialize(xml, ZELString(), ZELBasXmlWellFormed) == S_OK;
  FUZZ_CHECK(written == Writable(model));
  if (!written) {
    FUZZ_CHECK(Str(xml) == "kept");
    return;
  }
  ZELBasXmlDocument back;
  back.SetOptions(ZELBasXmlStandard);
  FUZZ_CHECK(back.ReadString(ZELString(Str(xml).substr(4).c_str())) == S_OK);
  FUZZ_CHECK(Flatten(back.GetRoot()) == ReadBack(model));
}

struct Input {
  const uint8_t* p;
  size_t left;
  uint8_t Byte() { return left != 0 ? (--left, *p++) : 0; }
  // Empty, ASCII, multi-byte and high bytes, and characters never escaped.
  const char* Name() {
    static const char* const kNames[] = {"", "a", "b", "aa", "B", "\xC3\xA9", "\xFF\x01", "z<&\" "};
    return kNames[Byte() % 8];
  }
};

// A small element for a parse, added to `t` at `depth` and written as XML
// (children first, then the text, on one line so that the parser hands the
// text over in one piece).
void Generate(Input& in, size_t depth, size_t& budget, Tree& t, std::string& xml) {
  static const char* const kTags[] = {"a", "b", "c", "ab"};
  static const char* const kValues[] = {"", "1", "v w", "\xC3\xA9"};
  static const char* const kTexts[] = {"", "x", "y z", "\xC3\xA9t\xC3\xA9"};
  const size_t self = t.size();
  t.push_back({depth, kTags[in.Byte() % 4], {}, "", 0, depth == 0});
  std::map<std::string, std::string> attributes;  // std::string orders by unsigned bytes
  for (size_t n = in.Byte() % 3; n-- > 0;) attributes[kTags[in.Byte() % 4]] = kValues[in.Byte() % 4];
  t[self].attributes.assign(attributes.begin(), attributes.end());
  xml += "<" + t[self].tag;
  for (const auto& [name, value] : attributes) xml += " " + name + "=\"" + value + "\"";
  xml += ">";
  for (size_t n = depth < 4 ? in.Byte() % 3 : 0; n-- > 0 && budget > 0; ++t[self].children) {
    --budget;
    Generate(in, depth + 1, budget, t, xml);
  }
  t[self].data = kTexts[in.Byte() % 4];
  xml += t[self].data + "</" + t[self].tag + ">";
}

void Run(Input& in) {
  std::unique_ptr<ZELBasXmlNode> pool[kSlots - 1];
  ZELBasXmlDocument document;
  auto slot = [&](size_t i) -> ZELBasXmlNode& { return i + 1 < kSlots ? *pool[i] : document.GetRoot(); };
  Tree models[kSlots];
  for (size_t i = 0; i < kSlots; ++i) {
    if (i + 1 < kSlots) pool[i].reset(new ZELBasXmlNode);
    models[i] = {kEmpty};
  }
  while (in.left != 0) {
    uint8_t op = in.Byte() % 19;
    size_t a = in.Byte() % kSlots;
    size_t b = in.Byte() % kSlots;
    Tree& model = models[a];
    switch (op) {
      case 0:
        model[0].tag = in.Name();
        FUZZ_CHECK(slot(a).SetTagName(ZELString(model[0].tag.c_str())) == S_OK);
        break;
      case 1: {
        std::string name = in.Name(), value = in.Name();
        auto& attributes = model[0].attributes;
        auto at = std::lower_bound(attributes.begin(), attributes.end(), std::make_pair(name, std::string()));
        if (at == attributes.end() || at->first != name) at = attributes.insert(at, {name, ""});
        at->second = value;
        FUZZ_CHECK(slot(a).InsertAttribute(ZELString(name.c_str()), ZELString(value.c_str())) == S_OK);
        break;
      }
      case 2:
        model[0].root = true;
        FUZZ_CHECK(slot(a).SetRoot() == S_OK);
        break;
      case 3: {  // append, possibly a slot to itself
        if (model.size() + models[b].size() > kMaxNodes) break;
        Tree child = models[b];  // a copy first: b may be a
        for (FlatNode& n : child) ++n.depth;
        ++model[0].children;
        model.insert(model.end(), child.begin(), child.end());
        FUZZ_CHECK(slot(a).Append(slot(b)) == S_OK);
        break;
      }
      case 4:    // assignment from a slot,
      case 5:    // copy construction from it (then the old node's destruction),
      case 6: {  // or assignment from a node inside it, possibly inside this one
        size_t k = op == 6 ? in.Byte() % models[b].size() : 0;
        Tree copy = Subtree(models[b], k);
        if (op == 5 && a + 1 < kSlots) {
          pool[a].reset(new ZELBasXmlNode(slot(b)));
        } else if (op == 5) {
          document.SetRootElement(slot(b));
          copy[0].root = true;
        } else {
          slot(a) = *At(slot(b), k);
        }
        model = copy;
        break;
      }
      case 7: {  // search from a node inside a tree, into a fresh or a used result
        size_t k = in.Byte() % models[b].size();
        const ZELBasXmlNode* start = At(slot(b), k);
        std::string name = in.Name();
        std::vector<Tree> matches;
        for (size_t i = k + 1; i < End(models[b], k); ++i) {
          if (models[b][i].tag == name) matches.push_back(Subtree(models[b], i));
        }
        ZELBasVector<ZELBasXmlNode> result;
        size_t before = in.Byte() % 3;  // elements the result holds first
        if (before == 0) {
          FUZZ_CHECK(start->GetElementsByTagName(ZELString(name.c_str()), result) == S_OK);
        } else {
          // The search runs on an element of the result itself.
          result.push_back(*start);
          if (before == 2) result.push_back(slot(a));
          FUZZ_CHECK(result[0].GetElementsByTagName(ZELString(name.c_str()), result) == S_OK);
          FUZZ_CHECK(Flatten(result[0]) == Subtree(models[b], k));
        }
        FUZZ_CHECK(result.size() == before + matches.size());
        for (size_t i = 0; i < matches.size(); ++i) FUZZ_CHECK(Flatten(result[before + i]) == matches[i]);
        break;
      }
      case 8: {  // GetParent of a node held inside a tree, into a node or into that tree
        if (model.size() < 2) break;
        size_t k = 1 + in.Byte() % (model.size() - 1), holder = k;
        while (model[holder].depth + 1 != model[k].depth) --holder;
        bool intoTree = (in.Byte() & 1) != 0;
        ZELBasXmlNode local(ZELString("stale"));
        long result = At(slot(a), k)->GetParent(intoTree ? slot(a) : local);
        FUZZ_CHECK(result == (model[k].root ? E_FAIL : S_OK));
        Tree parent =
            model[k].root ? intoTree ? model : Tree{{0, "stale", {}, "", 0, false}} : Subtree(model, holder);
        FUZZ_CHECK(intoTree || Flatten(local) == parent);
        if (intoTree) model = parent;
        break;
      }
      case 9: {  // rendering, appended to what the string held
        std::string prefix = (in.Byte() & 1) != 0 ? "keep\n" : "", indent = in.Name();
        ZELString out(prefix.c_str());
        FUZZ_CHECK(slot(a).Serialize(out, ZELString(indent.c_str())) == S_OK);
        FUZZ_CHECK(Str(out) == prefix + ReferenceRender(model, indent));
        break;
      }
      case 10: {  // a parsed root
        size_t budget = 12;
        std::string xml;
        Tree parsed;
        Generate(in, 0, budget, parsed, xml);
        ZELBasXmlDocument read;
        FUZZ_CHECK(read.ReadString(ZELString(xml.c_str())) == S_OK);
        slot(a) = read.GetRoot();
        model = parsed;
        break;
      }
      case 11:
        slot(a) = ZELBasXmlNode();
        model = {kEmpty};
        break;
      case 12: {  // assignment to a node inside a tree from a node of any tree
        size_t k = in.Byte() % model.size(), j = in.Byte() % models[b].size();
        bool byTag = (in.Byte() & 1) != 0;
        Tree copy = Subtree(models[b], j);
        if (model.size() + copy.size() > kMaxNodes) break;
        size_t at = k;
        *MutableAt(slot(a), at, byTag) = *At(slot(b), j);
        Replace(model, k, copy);
        break;
      }
      case 13: {  // a node inside a tree appends a node of any tree, its own ancestors too
        size_t k = in.Byte() % model.size(), j = in.Byte() % models[b].size();
        Tree copy = Subtree(models[b], j);
        if (model.size() + copy.size() > kMaxNodes) break;
        size_t at = k, from = j;
        ZELBasXmlNode* target = MutableAt(slot(a), at, false);
        FUZZ_CHECK(target->Append(*MutableAt(slot(b), from, true)) == S_OK);
        AppendTo(model, k, copy);
        break;
      }
      case 14: {  // a child removed, or an index past the last refused
        size_t k = in.Byte() % model.size(), i = in.Byte() % (model[k].children + 1);
        size_t at = k;
        ZELBasXmlNode* target = MutableAt(slot(a), at, false);
        if (i == model[k].children) {
          FUZZ_CHECK(target->RemoveChild(i) == E_FAIL);
          break;
        }
        size_t c = ChildIndex(model, k, i);
        model.erase(model.begin() + static_cast<long>(c), model.begin() + static_cast<long>(End(model, c)));
        --model[k].children;
        FUZZ_CHECK(target->RemoveChild(i) == S_OK);
        break;
      }
      case 16: {  // AppendChild of a node of any tree, its own ancestors too, or of a new one
        size_t k = in.Byte() % model.size(), j = in.Byte() % models[b].size();
        bool byTag = (in.Byte() & 1) != 0;
        Tree copy = byTag ? Tree{{0, in.Name(), {}, "", 0, false}} : Subtree(models[b], j);
        if (model.size() + copy.size() > kMaxNodes) break;
        size_t at = k;
        ZELBasXmlNode* target = MutableAt(slot(a), at, false);
        ZELBasXmlNode& added = byTag ? target->AppendChild(ZELString(copy[0].tag.c_str()))
                                     : target->AppendChild(*At(slot(b), j));
        FUZZ_CHECK(&added == &target->ChildAt(target->Children().size() - 1));
        AppendTo(model, k, copy);
        break;
      }
      case 17: {  // the children of a name removed
        size_t k = in.Byte() % model.size();
        std::string name = in.Name();
        size_t gone = 0;
        for (size_t i = model[k].children; i-- > 0;) {
          size_t c = ChildIndex(model, k, i);
          if (model[c].tag != name) continue;
          model.erase(model.begin() + static_cast<long>(c), model.begin() + static_cast<long>(End(model, c)));
          ++gone;
        }
        model[k].children -= gone;
        size_t at = k;
        FUZZ_CHECK(MutableAt(slot(a), at, false)->RemoveChildren(ZELString(name.c_str())) == gone);
        break;
      }
      case 18: {  // the text of every descendant of a name replaced in place
        size_t k = in.Byte() % model.size();
        std::string name = in.Name(), text = in.Name();
        size_t found = 0, visited = 0;
        for (size_t i = k + 1; i < End(model, k); ++i) {
          if (model[i].tag == name) model[i].data = text, ++found;
        }
        size_t at = k;
        MutableAt(slot(a), at, false)->ForEachElement(name.c_str(), [&](ZELBasXmlNode& node) {
          ++visited;
          node.SetData(text.c_str());
        });
        FUZZ_CHECK(visited == found);
        break;
      }
      default: {  // the document's root replaced by a node of any tree, its own too
        size_t j = in.Byte() % models[b].size();
        Tree copy = Subtree(models[b], j);
        copy[0].root = true;
        FUZZ_CHECK(document.SetRootElement(*At(slot(b), j)) == S_OK);
        models[kSlots - 1] = copy;
        break;
      }
    }
    for (size_t i = 0; i < kSlots; ++i) CheckSlot(slot(i), models[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int64_t liveAtStart = mem_LiveBlocks();
  {
    Input in{data, size};
    Run(in);
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
