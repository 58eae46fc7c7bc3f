// Kept markup: its blocks and the reading of its operations.
#include "Markup.h"

#include <cstring>
#include <new>

#include "ZELBasAlloc.h"
#include "ZELBasCheckedMath.h"

namespace zelbas_detail {

Markup* Markup::Make(std::string_view operations) {
  size_t size = ZELBasCheckedAdd(offsetof(Markup, bytes), operations.size());
  Markup* made = static_cast<Markup*>(mem_OperatorNewThrowBuiltin(size));
  made->references = 1;
  made->length = static_cast<uint32_t>(operations.size());
  std::memcpy(made->bytes, operations.data(), operations.size());
  return made;
}

ByteRun::~ByteRun() {
  if (data != nullptr) mem_Free(data);
}

void ByteRun::Grow(size_t more) {
  size_t wanted = ZELBasCheckedAdd(used, more);
  size_t grown = room * 2 > wanted ? room * 2 : wanted < 64 ? 64 : wanted;
  char* bytes = static_cast<char*>(mem_OperatorNewThrowBuiltin(grown));
  if (used != 0) std::memcpy(bytes, data, used);
  if (data != nullptr) mem_Free(data);
  data = bytes;
  room = grown;
}

void Markup::Release(Markup* markup) {
  if (markup != nullptr && --markup->references == 0) mem_Free(markup);
}

bool MarkupReader::Next(MarkupStep& step) {
  if (at == end) return false;
  step = MarkupStep();
  step.op = static_cast<MarkupOp>(*at++);
  switch (step.op) {
    case MarkupOp::kAttribute:
    case MarkupOp::kRawAttribute:
      step.space = Text();
      step.name = Text();
      step.between = Text();
      step.quote = *at++;
      if (step.op == MarkupOp::kRawAttribute) {
        step.value = Text();
        step.raw = Text();
      }
      break;
    case MarkupOp::kImplied:
      step.element = Text();
      step.name = Text();
      step.value = Text();
      break;
    case MarkupOp::kText:
      step.count = Number();
      break;
    case MarkupOp::kRawText:
      step.count = Number();
      step.raw = Text();
      break;
    case MarkupOp::kWhole:
    case MarkupOp::kChild:
      break;
    default:  // a tail or raw markup
      step.raw = Text();
  }
  return true;
}

void MarkupWriter::Step(const MarkupStep& step) {
  switch (step.op) {
    case MarkupOp::kAttribute:
      Attribute(step.space, step.name, step.between, step.quote);
      break;
    case MarkupOp::kRawAttribute:
      RawAttribute(step.space, step.name, step.between, step.quote, step.value, step.raw);
      break;
    case MarkupOp::kImplied:
      Implied(step.element, step.name, step.value);
      break;
    case MarkupOp::kText:
      TextBytes(step.count);
      break;
    case MarkupOp::kRawText:
      RawText(step.count, step.raw);
      break;
    case MarkupOp::kWhole:
    case MarkupOp::kChild:
      Op(step.op);
      break;
    default:
      Raw(step.op, step.raw);
  }
}

}  // namespace zelbas_detail
