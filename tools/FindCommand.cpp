// zelbasxml find: the elements or attribute values a PATH selects, in
// document order, written while the walk reaches them.
#include <string_view>

#include "Arguments.h"
#include "Commands.h"
#include "Input.h"
#include "Output.h"
#include "Progress.h"
#include "Report.h"
#include "ZELBasXmlDocument.h"

namespace zelbasxml_detail {

namespace {

bool WriteText(Output& out, std::string_view text, bool null) {
  return WriteBytes(&out, text.data(), text.size()) && WriteBytes(&out, null ? "\0" : "\n", 1);
}

// Writes one match: the element rendered, its whole text, or the value of
// the attribute. False when a write failed.
bool WriteMatch(const Options& options, const Match& match, unsigned long layout, Output& out) {
  if (match.attribute != nullptr) {
    ZELString value;
    match.element->GetAttribute(*match.attribute, value);
    return WriteText(out, value, options.null);
  }
  if (options.text) return WriteText(out, match.element->GetData(), options.null);
  const ZELString indent(options.wrap.empty() ? "" : "    ");
  return match.element->SerializeTo(&WriteBytes, &out, indent, layout) == S_OK;
}

// Writes every match, inside the --wrap element if asked; false when a write
// failed.
bool WriteMatches(const Options& options, const ZELBasXmlDocument& document, Output& out, size_t& found) {
  const unsigned long layout = document.GetOptions() & ZELBasXmlWellFormed;
  const std::string open = "<" + options.wrap + ">\n", close = "</" + options.wrap + ">\n";
  if (!options.wrap.empty() && !WriteBytes(&out, open.data(), open.size())) return false;
  bool written = WalkMatches(options.parsed, document.GetRoot(), [&](const Match& match) {
    ++found;
    return WriteMatch(options, match, layout, out);
  });
  return written && (options.wrap.empty() || WriteBytes(&out, close.data(), close.size()));
}

}  // namespace

int RunFind(const Options& options, Progress& progress) {
  ZELBasXmlDocument document;
  unsigned long layout = 0;
  if (options.xml || options.text || !options.wrap.empty()) layout |= ZELBasXmlWholeText;
  if (options.xml || !options.wrap.empty()) layout |= ZELBasXmlWellFormed;
  ReadResult read = ReadDocument(options.Input(), options.chunked, layout, document, progress);
  if (read == ReadResult::kFailed) return kFailure;
  bool malformed = read == ReadResult::kMalformed;
  if (malformed && !MayWriteAfterParseError(options.chunked, options.output, progress)) return kFailure;
  // Checked whole before the first byte, so that a file is never left half
  // written; 1 is kept for "nothing matched".
  if (!Writable(document.GetRoot(), document.GetOptions(), options.output, progress)) return kFailure;
  Output out = OutputTo(options.output, progress);
  size_t found = 0;
  int status = CloseOutput(out, WriteMatches(options, document, out, found));
  if (status != kDone || malformed) return kFailure;
  return found == 0 ? kNothingFound : kDone;
}

}  // namespace zelbasxml_detail
