// Deterministic benchmark corpus: the same bytes for the same scale on every
// machine, so runs compare across commits.
#include "Corpus.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

class Random {
public:
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  int Between(int low, int high) {
    return low + static_cast<int>(Next() % static_cast<uint64_t>(high - low + 1));
  }

private:
  uint64_t state;
};

const char* const kWords[] = {
    "the",    "of",       "and",   "a",       "to",     "in",       "is",      "you",     "that",   "it",
    "he",     "was",      "for",   "on",      "are",    "as",       "with",    "his",     "they",   "at",
    "be",     "this",     "have",  "from",    "or",     "one",      "had",     "by",      "word",   "but",
    "river",  "mountain", "quiet", "library", "engine", "document", "measure", "silver",  "garden", "window",
    "letter", "harbour",  "north", "evening", "signal", "paper",    "station", "morning", "bridge", "forest"};
const int kWordCount = sizeof kWords / sizeof kWords[0];

std::string Word(Random& random) { return kWords[random.Next() % kWordCount]; }

std::string Token(Random& random, int length) {
  std::string token;
  for (int i = 0; i < length; ++i) token += static_cast<char>('a' + random.Next() % 26);
  return token;
}

std::string Indent(int depth) { return std::string(static_cast<size_t>(depth) * 2, ' '); }

class Writer {
public:
  explicit Writer(const std::string& path) : file(std::fopen(path.c_str(), "wb")) {}
  ~Writer() {
    if (file != nullptr) std::fclose(file);
  }
  bool ok() const { return file != nullptr; }
  void Put(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file);
    written += text.size();
  }
  size_t written = 0;

private:
  FILE* file;
};

// export > table > row > cell: three to five attributes per element, short
// texts, as a database or spreadsheet export looks.
void DataExport(Writer& out, size_t target) {
  Random random(1);
  out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  out.Put("<export source=\"inventory\" version=\"3\" generated=\"2024-02-29T12:00:00Z\">\n");
  const char* const columns[] = {"sku", "name", "price", "quantity", "warehouse", "supplier", "note"};
  const char* const types[] = {"string", "decimal", "integer", "date"};
  for (int table = 1; out.written < target; ++table) {
    out.Put(Indent(1) + "<table name=\"t" + std::to_string(table) + "\" schema=\"s" +
            std::to_string(table % 7) + "\" rows=\"200\">\n");
    for (int row = 1; row <= 200 && out.written < target; ++row) {
      int attributes = random.Between(3, 5);
      std::string line = Indent(2) + "<row id=\"" + std::to_string(row) + "\" status=\"" +
                         (random.Next() % 3 != 0 ? "active" : "archived") + "\" updated=\"2023-" +
                         std::to_string(random.Between(10, 12)) + "-" +
                         std::to_string(random.Between(10, 28)) + "\"";
      if (attributes > 3) line += " owner=\"u" + std::to_string(random.Between(100, 999)) + "\"";
      if (attributes > 4) line += " rev=\"" + std::to_string(random.Between(1, 40)) + "\"";
      out.Put(line + ">\n");
      int cells = random.Between(4, 7);
      for (int cell = 0; cell < cells; ++cell) {
        std::string text = cell == 2 ? std::to_string(random.Between(1, 9999)) + ".95"
                                     : Token(random, random.Between(3, 12));
        std::string attrs = " col=\"" + std::string(columns[cell]) + "\" type=\"" + types[random.Next() % 4] +
                            "\" len=\"" + std::to_string(text.size()) + "\"";
        if (random.Next() % 2 == 0) attrs += " null=\"false\"";
        if (random.Next() % 4 == 0) attrs += " unit=\"" + Token(random, 2) + "\"";
        out.Put(Indent(3) + "<cell" + attrs + ">" + text + "</cell>\n");
      }
      out.Put(Indent(2) + "</row>\n");
    }
    out.Put(Indent(1) + "</table>\n");
  }
  out.Put("</export>\n");
}

// Books of chapters of wrapped paragraphs, now and then an inline element.
void TextHeavy(Writer& out, size_t target) {
  Random random(2);
  out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<library>\n");
  for (int book = 1; out.written < target; ++book) {
    out.Put(Indent(1) + "<book id=\"b" + std::to_string(book) + "\" lang=\"en\">\n");
    out.Put(Indent(2) + "<title>" + Word(random) + " " + Word(random) + "</title>\n");
    for (int chapter = 1; chapter <= 12 && out.written < target; ++chapter) {
      out.Put(Indent(2) + "<chapter n=\"" + std::to_string(chapter) + "\">\n");
      int paragraphs = random.Between(5, 30);
      for (int p = 0; p < paragraphs; ++p) {
        std::string text;
        size_t lineStart = 0;
        int words = random.Between(40, 300);
        for (int w = 0; w < words; ++w) {
          if (w != 0) {
            if (text.size() - lineStart > 72) {
              text += "\n" + Indent(4);
              lineStart = text.size();
            } else {
              text += ' ';
            }
          }
          if (random.Next() % 97 == 0) {
            text += "<em>" + Word(random) + "</em>";
          } else {
            text += Word(random);
          }
        }
        out.Put(Indent(3) + "<p>" + text + ".</p>\n");
      }
      out.Put(Indent(2) + "</chapter>\n");
    }
    out.Put(Indent(1) + "</book>\n");
  }
  out.Put("</library>\n");
}

// Chains of sections nested 20 to 50 deep, each level with a title and a
// paragraph, some with a leaf section beside the chain.
void DeeplyNested(Writer& out, size_t target) {
  Random random(3);
  out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manual>\n");
  for (int chain = 1; out.written < target; ++chain) {
    int depth = random.Between(20, 50);
    for (int level = 1; level <= depth; ++level) {
      std::string in = Indent(level);
      out.Put(in + "<section id=\"c" + std::to_string(chain) + "." + std::to_string(level) + "\" level=\"" +
              std::to_string(level) + "\">\n");
      out.Put(in + "  <title>" + Word(random) + " " + Word(random) + "</title>\n");
      out.Put(in + "  <para>" + Word(random) + " " + Word(random) + " " + Word(random) + "</para>\n");
      if (random.Next() % 3 == 0)
        out.Put(in + "  <section id=\"leaf\"><title>" + Word(random) + "</title></section>\n");
    }
    for (int level = depth; level >= 1; --level) out.Put(Indent(level) + "</section>\n");
  }
  out.Put("</manual>\n");
}

// One root with empty children of one attribute each.
void Wide(Writer& out, size_t target) {
  out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<items>\n");
  for (size_t i = 0; out.written < target; ++i) out.Put("  <item id=\"" + std::to_string(i) + "\"/>\n");
  out.Put("</items>\n");
}

void BalancedLevel(Writer& out, Random& random, int depth, int levels) {
  std::string in = Indent(depth);
  if (depth == levels - 1) {
    out.Put(in + "<leaf k=\"" + Token(random, 4) + "\">" + Token(random, 6) + "</leaf>\n");
    return;
  }
  out.Put(in + "<node level=\"" + std::to_string(depth) + "\">\n");
  for (int i = 0; i < 8; ++i) BalancedLevel(out, random, depth + 1, levels);
  out.Put(in + "</node>\n");
}

}  // namespace

std::vector<CorpusFile> WriteCorpus(const std::string& directory, double scale) {
  std::vector<CorpusFile> files;
  auto make = [&](const std::string& name, auto generate) {
    std::string path = directory + "/" + name;
    Writer out(path);
    if (!out.ok()) return;
    generate(out);
    files.push_back({name, path, out.written});
  };
  const size_t size = static_cast<size_t>(10e6 * scale);
  make("data-export.xml", [&](Writer& w) { DataExport(w, size); });
  make("text-heavy.xml", [&](Writer& w) { TextHeavy(w, size); });
  make("deeply-nested.xml", [&](Writer& w) { DeeplyNested(w, size); });
  make("wide.xml", [&](Writer& w) { Wide(w, size); });
  // Depth 7 at full scale (299,593 elements, 12 MB); smaller scales drop levels.
  int levels = scale >= 1 ? 7 : (scale >= 0.1 ? 6 : 4);
  make("balanced.xml", [&](Writer& w) {
    Random random(5);
    w.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    BalancedLevel(w, random, 0, levels);
  });
  return files;
}
