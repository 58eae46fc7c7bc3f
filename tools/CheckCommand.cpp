// zelbasxml check: whether each input is well-formed, parsed in chunks
// without a tree (so in flat memory, --chunked or not), writing nothing.
#include "Arguments.h"
#include "Commands.h"
#include "Input.h"
#include "Progress.h"
#include "Report.h"
#include "ZELBasXmlDocument.h"

namespace zelbasxml_detail {

int RunCheck(const Options& options, Progress& progress) {
  int status = kDone;
  ZELBasXmlDocument document;  // a check leaves its tree empty
  for (const std::string& input : options.inputs) {
    ReadResult read = CheckDocument(input, document, progress);
    if (read == ReadResult::kFailed) status = kFailure;
    if (read == ReadResult::kMalformed && status == kDone) status = kMalformed;
  }
  return status;
}

}  // namespace zelbasxml_detail
