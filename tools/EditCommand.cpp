// zelbasxml edit: operations in the manner of XPath editing tools, applied
// in order, then the document written only when every PATH matched.
#include <cerrno>

#include "Arguments.h"
#include "Commands.h"
#include "Edits.h"
#include "Input.h"
#include "Output.h"
#include "Progress.h"
#include "Report.h"
#include "ZELBasXmlDocument.h"

namespace zelbasxml_detail {

int RunEdit(const Options& options, Progress& progress) {
  ZELBasXmlDocument document;
  // Only the edited bytes change.
  const unsigned long layout = ZELBasXmlKeepLayout;
  ReadResult read = ReadDocument(options.Input(), options.chunked, layout, document, progress);
  if (read != ReadResult::kWellFormed) return kFailure;
  for (const Operation& operation : options.operations) {
    const std::string which = std::string("-") + operation.kind + " " + operation.path;
    Applied applied = Apply(operation, document.GetRoot());
    if (!applied.problem.empty()) return Fail(progress, which, applied.problem + ", nothing written");
    if (applied.matches == 0) {
      progress.Say("zelbasxml: " + which + ": no match, nothing written");
      return kNothingFound;
    }
  }
  // A value that XML cannot hold is the caller's mistake: exit 2.
  const std::string& target = options.inPlace ? options.Input() : options.output;
  if (!Writable(document.GetRoot(), document.GetOptions(), target, progress)) return kFailure;
  if (!options.inPlace) return WriteDocument(document, options.output, progress);
  errno = 0;
  if (document.WriteFile(ZELString(options.Input().c_str())) == S_OK) return kDone;
  return Fail(progress, options.Input(), Reason(errno));
}

}  // namespace zelbasxml_detail
