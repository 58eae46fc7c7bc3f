// Drives the node API from the fuzz bytes over four slots, and keeps a simple
// recursive model of each slot's tree next to it. After every operation the
// slot it changed, and in the end every slot, must match its model (tags,
// attributes in name order, text, children, root flags); search results
// must be the model's matches in document order, rendering and GetParent
// (which follow the links from children to their holders) must give the
// model's text and parent, and every block taken must come back in the end.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

namespace {

const size_t kSlots = 4;
const size_t kMaxNodes = 128;  // per slot; appending a slot to itself doubles it

struct Model {
  std::string tag, data;
  std::map<std::string, std::string> attributes;  // std::string orders by unsigned bytes
  bool root = false;
  std::vector<Model> children;
};

// The model flattened as Flatten flattens a node.
void Flat(const Model& m, size_t depth, std::vector<FlatNode>& out) {
  out.push_back(
      {depth, m.tag, {m.attributes.begin(), m.attributes.end()}, m.data, m.children.size(), m.root});
  for (const Model& c : m.children) Flat(c, depth + 1, out);
}
std::vector<FlatNode> Flat(const Model& m) {
  std::vector<FlatNode> out;
  Flat(m, 0, out);
  return out;
}
size_t Count(const Model& m) { return Flat(m).size(); }
void Expect(const ZELBasXmlNode& node, const Model& m) { FUZZ_CHECK(Flatten(node) == Flat(m)); }

const std::vector<Model>& Children(const Model& m) { return m.children; }
const ZELBasVector<ZELBasXmlNode>& Children(const ZELBasXmlNode& n) { return n.Children(); }

// The node `k` steps into `m` in document order (0 is `m`), with the node
// holding it.
template <class T>
const T* Nth(const T& m, size_t& k, const T** holder) {
  if (k == 0) return &m;
  for (const T& c : Children(m)) {
    --k;
    *holder = &m;
    if (const T* found = Nth(c, k, holder)) return found;
  }
  return nullptr;
}
template <class T>
const T* At(const T& top, size_t k, const T** holder = nullptr) {
  const T* ignored;
  return Nth(top, k, holder != nullptr ? holder : &ignored);
}

void Search(const Model& m, const std::string& name, std::vector<const Model*>& out) {
  for (const Model& c : m.children) {
    if (c.tag == name) out.push_back(&c);
    Search(c, name, out);
  }
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

// A small element for a parse, written as XML (children first, then the
// text, on one line so that the parser hands the text over in one piece).
Model Generate(Input& in, size_t depth, size_t& budget, std::string& xml) {
  static const char* const kTags[] = {"a", "b", "c", "ab"};
  static const char* const kValues[] = {"", "1", "v w", "\xC3\xA9"};
  static const char* const kTexts[] = {"", "x", "y z", "\xC3\xA9t\xC3\xA9"};
  Model m;
  m.tag = kTags[in.Byte() % 4];
  for (size_t n = in.Byte() % 3; n-- > 0;) m.attributes[kTags[in.Byte() % 4]] = kValues[in.Byte() % 4];
  xml += "<" + m.tag;
  for (const auto& [name, value] : m.attributes) xml += " " + name + "=\"" + value + "\"";
  xml += ">";
  for (size_t n = depth < 4 ? in.Byte() % 3 : 0; n-- > 0 && budget > 0;) {
    --budget;
    m.children.push_back(Generate(in, depth + 1, budget, xml));
  }
  m.data = kTexts[in.Byte() % 4];
  xml += m.data + "</" + m.tag + ">";
  return m;
}

void Run(Input& in) {
  std::unique_ptr<ZELBasXmlNode> pool[kSlots];
  Model models[kSlots];
  for (auto& slot : pool) slot.reset(new ZELBasXmlNode);
  while (in.left != 0) {
    uint8_t op = in.Byte() % 12;
    size_t a = in.Byte() % kSlots;
    size_t b = in.Byte() % kSlots;
    Model& model = models[a];
    switch (op) {
      case 0:
        model.tag = in.Name();
        FUZZ_CHECK(pool[a]->SetTagName(ZELString(model.tag.c_str())) == S_OK);
        break;
      case 1: {
        std::string name = in.Name(), value = in.Name();
        model.attributes[name] = value;
        FUZZ_CHECK(pool[a]->InsertAttribute(ZELString(name.c_str()), ZELString(value.c_str())) == S_OK);
        break;
      }
      case 2:
        model.root = true;
        FUZZ_CHECK(pool[a]->SetRoot() == S_OK);
        break;
      case 3:  // append, possibly a slot to itself
        if (Count(model) + Count(models[b]) > kMaxNodes) break;
        model.children.push_back(Model(models[b]));  // a copy first: b may be a
        FUZZ_CHECK(pool[a]->Append(*pool[b]) == S_OK);
        break;
      case 4:    // assignment from a slot,
      case 5:    // copy construction from it (then the old node's destruction),
      case 6: {  // or assignment from a node inside it, possibly inside this one
        size_t k = op == 6 ? in.Byte() % Count(models[b]) : 0;
        Model copy = *At(models[b], k);
        if (op == 5) {
          pool[a].reset(new ZELBasXmlNode(*pool[b]));
        } else {
          *pool[a] = *At(*pool[b], k);
        }
        model = copy;
        break;
      }
      case 7: {  // search from a node inside a tree, into a fresh or a used result
        size_t k = in.Byte() % Count(models[b]);
        const Model* from = At(models[b], k);
        const ZELBasXmlNode* start = At(*pool[b], k);
        std::string name = in.Name();
        std::vector<const Model*> matches;
        Search(*from, name, matches);
        ZELBasVector<ZELBasXmlNode> result;
        size_t before = in.Byte() % 3;  // elements the result holds first
        if (before == 0) {
          FUZZ_CHECK(start->GetElementsByTagName(ZELString(name.c_str()), result) == S_OK);
        } else {
          // The search runs on an element of the result itself.
          result.push_back(*start);
          if (before == 2) result.push_back(*pool[a]);
          FUZZ_CHECK(result[0].GetElementsByTagName(ZELString(name.c_str()), result) == S_OK);
          Expect(result[0], *from);
        }
        FUZZ_CHECK(result.size() == before + matches.size());
        for (size_t i = 0; i < matches.size(); ++i) Expect(result[before + i], *matches[i]);
        break;
      }
      case 8: {  // GetParent of a node held inside a tree, into a node or into that tree
        size_t count = Count(model);
        if (count < 2) break;
        size_t k = 1 + in.Byte() % (count - 1);
        const Model* holder = nullptr;
        const Model* child = At(model, k, &holder);
        bool intoTree = (in.Byte() & 1) != 0;
        ZELBasXmlNode local(ZELString("stale"));
        FUZZ_CHECK(At(*pool[a], k)->GetParent(intoTree ? *pool[a] : local) == (child->root ? E_FAIL : S_OK));
        if (child->root) {
          FUZZ_CHECK(Str(local.GetTagName()) == "stale");
          break;
        }
        Model parent = *holder;
        if (intoTree) model = parent;
        Expect(intoTree ? *pool[a] : local, parent);
        break;
      }
      case 9: {  // rendering, appended to what the string held
        std::string prefix = (in.Byte() & 1) != 0 ? "keep\n" : "", indent = in.Name();
        ZELString out(prefix.c_str());
        FUZZ_CHECK(pool[a]->Serialize(out, ZELString(indent.c_str())) == S_OK);
        FUZZ_CHECK(Str(out) == prefix + ReferenceRender(Flat(model), indent));
        break;
      }
      case 10: {  // a parsed root
        size_t budget = 12;
        std::string xml;
        Model parsed = Generate(in, 0, budget, xml);
        parsed.root = true;
        ZELBasXmlDocument document;
        FUZZ_CHECK(document.ReadString(ZELString(xml.c_str())) == S_OK);
        *pool[a] = document.GetRoot();
        model = parsed;
        break;
      }
      default:
        *pool[a] = ZELBasXmlNode();
        model = Model();
    }
    // The slot changed now, the others (which an operation only reads) at
    // the end.
    Expect(*pool[a], models[a]);
  }
  for (size_t i = 0; i < kSlots; ++i) Expect(*pool[i], models[i]);
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
