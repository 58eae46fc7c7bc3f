// zelbasxml check: whether each input is well-formed, writing nothing.
#include "Arguments.h"
#include "Commands.h"
#include "Input.h"
#include "Progress.h"
#include "Report.h"
#include "ZELBasXmlDocument.h"

namespace zelbasxml_detail {

int RunCheck(const Options& options, Progress& progress) {
  int status = kDone;
  for (const std::string& input : options.inputs) {
    ZELBasXmlDocument document;  // a fresh one each: a read continues what the last left open
    ReadResult read = ReadDocument(input, options.chunked, 0, document, progress);
    if (read == ReadResult::kFailed) status = kFailure;
    if (read == ReadResult::kMalformed && status == kDone) status = kMalformed;
  }
  return status;
}

}  // namespace zelbasxml_detail
