// Parsing PATH: steps separated by '/' or '//', each NAME, * or @NAME with
// its predicates; errors name the character where the text went wrong.
#include <cctype>

#include "Path.h"

namespace zelbasxml_detail {

namespace {

bool IsNameByte(unsigned char byte, bool first) {
  if (std::isalpha(byte) != 0 || byte == '_' || byte == ':' || byte >= 0x80) return true;
  return !first && (std::isdigit(byte) != 0 || byte == '-' || byte == '.');
}

class Parser {
public:
  explicit Parser(std::string_view text) : text(text) {}

  std::string Parse(Path& path) {
    if (text.empty()) return "an empty PATH";
    bool descendant = true;
    if (text[0] != '/') {
      path.steps.emplace_back();  // the root element, whatever its name
    } else {
      ++at;
      descendant = Eat('/');
    }
    for (;;) {
      Step step;
      step.descendant = descendant;
      if (!ParseStep(step)) return error;
      path.steps.push_back(step);
      if (at == text.size()) return "";
      if (step.attribute) return Fail("an attribute must end the PATH");
      if (!Eat('/')) return Fail("expected '/' or '['");
      descendant = Eat('/');
      if (at == text.size()) return Fail("a step must follow '/'");
    }
  }

private:
  bool Eat(char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  }

  std::string Fail(const std::string& what) {
    if (error.empty())
      error = what + " at character " + std::to_string(at + 1) + " of '" + std::string(text) + "'";
    return error;
  }

  ZELString Name() {
    size_t start = at;
    while (at < text.size() && IsNameByte(static_cast<unsigned char>(text[at]), at == start)) ++at;
    return ZELString(text.substr(start, at - start));
  }

  void Spaces() {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  }

  bool ParseStep(Step& step) {
    step.attribute = Eat('@');
    if (!Eat('*')) {
      step.name = Name();
      if (step.name.GetLengthInBytes() == 0) {
        Fail(step.attribute ? "expected an attribute name or '*'" : "expected a name, '*' or '@'");
        return false;
      }
    }
    if (step.attribute && at < text.size() && text[at] == '[') {
      Fail("an attribute takes no '['");
      return false;
    }
    while (Eat('[')) {
      Predicate predicate;
      if (!ParsePredicate(predicate)) return false;
      step.predicates.push_back(predicate);
    }
    return true;
  }

  bool ParsePredicate(Predicate& predicate) {
    Spaces();
    if (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0) {
      if (!ParsePosition(predicate)) return false;
    } else if (text.substr(at, 6) == "last()") {
      at += 6;
      predicate.kind = Predicate::kLast;
    } else if (Eat('@')) {
      if (!ParseAttributeTest(predicate)) return false;
    } else {
      Fail("expected a position, last() or @NAME");
      return false;
    }
    Spaces();
    if (Eat(']')) return true;
    Fail("expected ']'");
    return false;
  }

  bool ParsePosition(Predicate& predicate) {
    size_t start = at;
    size_t position = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0; ++at) {
      if (at - start == 9) {
        Fail("a position too large");
        return false;
      }
      position = position * 10 + static_cast<size_t>(text[at] - '0');
    }
    if (position == 0) {
      at = start;
      Fail("positions count from 1");
      return false;
    }
    predicate.kind = Predicate::kPosition;
    predicate.position = position;
    return true;
  }

  bool ParseAttributeTest(Predicate& predicate) {
    predicate.name = Name();
    if (predicate.name.GetLengthInBytes() == 0) {
      Fail("expected an attribute name");
      return false;
    }
    Spaces();
    predicate.kind = Predicate::kHasAttribute;
    if (!Eat('=')) return true;
    Spaces();
    char quote = at < text.size() ? text[at] : '\0';
    if (quote != '\'' && quote != '"') {
      Fail("expected a quoted value");
      return false;
    }
    size_t end = text.find(quote, at + 1);
    if (end == std::string_view::npos) {
      Fail("the quoted value does not end");
      return false;
    }
    predicate.kind = Predicate::kAttributeEquals;
    predicate.value = ZELString(text.substr(at + 1, end - at - 1));
    at = end + 1;
    return true;
  }

  std::string_view text;
  size_t at = 0;
  std::string error;
};

}  // namespace

bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (!IsNameByte(static_cast<unsigned char>(name[i]), i == 0)) return false;
  }
  return true;
}

std::string ParsePath(std::string_view text, Path& path) {
  path.steps.clear();
  return Parser(text).Parse(path);
}

}  // namespace zelbasxml_detail
