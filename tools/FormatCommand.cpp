// zelbasxml format: the document written back in a layout of the library.
#include "Arguments.h"
#include "Commands.h"
#include "Input.h"
#include "Output.h"
#include "Progress.h"
#include "Report.h"
#include "ZELBasXmlDocument.h"

namespace zelbasxml_detail {

int RunFormat(const Options& options, Progress& progress) {
  ZELBasXmlDocument document;
  unsigned long layout = options.keep  ? ZELBasXmlKeepLayout
                         : options.xml ? ZELBasXmlWholeText | ZELBasXmlWellFormed
                                       : 0;
  ReadResult read = ReadDocument(options.Input(), options.chunked, layout, document, progress);
  if (read == ReadResult::kFailed) return kFailure;
  bool malformed = read == ReadResult::kMalformed;
  if (malformed && !MayWriteAfterParseError(options.chunked, options.output, progress)) return kMalformed;
  int status = WriteDocument(document, options.output, progress);
  return status == kDone && malformed ? kMalformed : status;
}

}  // namespace zelbasxml_detail
