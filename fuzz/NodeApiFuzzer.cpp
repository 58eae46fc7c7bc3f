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

size_t Count(const Model& m) {
  size_t n = 1;
  for (const Model& c : m.children) n += Count(c);
  return n;
}

// The k-th node in document order (0 is `m`), with the node holding it.
const Model* Nth(const Model& m, size_t& k, const Model** holder) {
  if (k == 0) return &m;
  for (const Model& c : m.children) {
    --k;
    *holder = &m;
    if (const Model* found = Nth(c, k, holder)) return found;
  }
  return nullptr;
}

const ZELBasXmlNode* Nth(const ZELBasXmlNode& top, size_t k) {
  std::vector<const ZELBasXmlNode*> stack(1, &top);
  while (!stack.empty()) {
    const ZELBasXmlNode* node = stack.back();
    stack.pop_back();
    if (k-- == 0) return node;
    for (size_t i = node->Children().size(); i-- > 0;) stack.push_back(&node->Children()[i]);
  }
  return nullptr;
}

std::string Render(const Model& m, const std::string& prefix) {
  std::string text = prefix + "<" + m.tag;
  for (const auto& a : m.attributes) text += " " + a.first + "=\"" + a.second + "\"";
  if (m.data.empty() && m.children.empty()) return text + "/>\n";
  text += ">" + m.data + "\n";
  for (const Model& c : m.children) text += Render(c, prefix + "    ");
  return text + prefix + "</" + m.tag + ">\n";
}

void Search(const Model& m, const std::string& name, std::vector<const Model*>& out) {
  for (const Model& c : m.children) {
    if (c.tag == name) out.push_back(&c);
    Search(c, name, out);
  }
}

// Matches the model against the node's tree flattened in document order.
void Match(const std::vector<FlatNode>& flat, size_t& i, const Model& m, size_t depth) {
  FUZZ_CHECK(i < flat.size());
  const FlatNode& f = flat[i++];
  FUZZ_CHECK(f.depth == depth && f.tag == m.tag && f.data == m.data && f.children == m.children.size() &&
             f.root == m.root);
  FUZZ_CHECK(f.attributes ==
             std::vector<std::pair<std::string, std::string>>(m.attributes.begin(), m.attributes.end()));
  for (const Model& c : m.children) Match(flat, i, c, depth + 1);
}

void Expect(const ZELBasXmlNode& node, const Model& m) {
  std::vector<FlatNode> flat = Flatten(node);
  size_t i = 0;
  Match(flat, i, m, 0);
  FUZZ_CHECK(i == flat.size());
}

class Input {
public:
  Input(const uint8_t* bytes, size_t size) : p(bytes), left(size) {}
  bool Done() const { return left == 0; }
  uint8_t Byte() { return left != 0 ? (--left, *p++) : 0; }
  const char* Name() {
    // Empty, ASCII, multi-byte and high bytes, and characters never escaped.
    static const char* const kNames[] = {"", "a", "b", "aa", "B", "\xC3\xA9", "\xFF\x01", "z<&\" "};
    return kNames[Byte() % 8];
  }

private:
  const uint8_t* p;
  size_t left;
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
  for (const auto& a : m.attributes) xml += " " + a.first + "=\"" + a.second + "\"";
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
  while (!in.Done()) {
    uint8_t op = in.Byte() % 12;
    size_t a = in.Byte() % kSlots;
    size_t b = in.Byte() % kSlots;
    ZELBasXmlNode& node = *pool[a];
    Model& model = models[a];
    switch (op) {
      case 0:
        model.tag = in.Name();
        FUZZ_CHECK(node.SetTagName(ZELString(model.tag.c_str())) == S_OK);
        break;
      case 1: {
        std::string name = in.Name(), value = in.Name();
        model.attributes[name] = value;
        FUZZ_CHECK(node.InsertAttribute(ZELString(name.c_str()), ZELString(value.c_str())) == S_OK);
        break;
      }
      case 2:
        model.root = true;
        FUZZ_CHECK(node.SetRoot() == S_OK);
        break;
      case 3:  // append, possibly a slot to itself
        if (Count(model) + Count(models[b]) > kMaxNodes) break;
        model.children.push_back(Model(models[b]));  // a copy first: b may be a
        FUZZ_CHECK(node.Append(*pool[b]) == S_OK);
        break;
      case 4:
        node = *pool[b];
        model = Model(models[b]);
        break;
      case 5:  // copy construction, then the old node's destruction
        pool[a].reset(new ZELBasXmlNode(*pool[b]));
        model = Model(models[b]);
        break;
      case 6: {  // assignment from a node inside a tree, possibly this one's
        size_t k = in.Byte() % Count(models[b]), index = k;
        const Model* holder = nullptr;
        Model copy = *Nth(models[b], index, &holder);
        node = *Nth(*pool[b], k);
        model = copy;
        break;
      }
      case 7: {  // search from a node inside a tree, into a fresh or a used result
        size_t k = in.Byte() % Count(models[b]), index = k;
        const Model* holder = nullptr;
        const Model* from = Nth(models[b], index, &holder);
        const ZELBasXmlNode* start = Nth(*pool[b], k);
        std::string name = in.Name();
        std::vector<const Model*> matches;
        Search(*from, name, matches);
        ZELBasVector<ZELBasXmlNode> result;
        size_t before = 0;
        uint8_t mode = in.Byte() % 3;
        if (mode == 0) {
          FUZZ_CHECK(start->GetElementsByTagName(ZELString(name.c_str()), result) == S_OK);
        } else {
          // The search runs on an element of the result itself.
          result.push_back(*start);
          if (mode == 2) result.push_back(*pool[a]);
          before = result.size();
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
        size_t k = 1 + in.Byte() % (count - 1), index = k;
        const Model* holder = nullptr;
        const Model* child = Nth(model, index, &holder);
        bool intoTree = (in.Byte() & 1) != 0;
        ZELBasXmlNode local(ZELString("stale"));
        long result = Nth(node, k)->GetParent(intoTree ? node : local);
        if (child->root) {
          FUZZ_CHECK(result == E_FAIL);
          FUZZ_CHECK(Str(local.GetTagName()) == "stale");
        } else {
          FUZZ_CHECK(result == S_OK);
          Model parent = *holder;
          if (intoTree) model = parent;
          Expect(intoTree ? node : local, parent);
        }
        break;
      }
      case 9: {  // rendering, appended to what the string held
        std::string prefix = (in.Byte() & 1) != 0 ? "keep\n" : "";
        std::string indent = in.Name();
        ZELString out(prefix.c_str());
        FUZZ_CHECK(node.Serialize(out, ZELString(indent.c_str())) == S_OK);
        FUZZ_CHECK(Str(out) == prefix + Render(model, indent));
        break;
      }
      case 10: {  // a parsed root
        size_t budget = 12;
        std::string xml;
        Model parsed = Generate(in, 0, budget, xml);
        parsed.root = true;
        ZELBasXmlDocument document;
        FUZZ_CHECK(document.ReadString(ZELString(xml.c_str())) == S_OK);
        if (Count(parsed) > kMaxNodes) break;
        node = document.GetRoot();
        model = parsed;
        break;
      }
      default:
        node = ZELBasXmlNode();
        model = Model();
        break;
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
    Input in(data, size);
    Run(in);
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
