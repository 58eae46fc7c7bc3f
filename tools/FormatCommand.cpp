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
  unsigned long layout = options.xml ? ZELBasXmlWholeText | ZELBasXmlWellFormed : 0;
  ReadResult read = ReadDocument(options.Input(), options.chunked, layout, document, progress);
  if (read == ReadResult::kFailed) return kFailure;
  if (read == ReadResult::kMalformed) {
    // Only a read in chunks leaves a tree to show, and never in place of a
    // file.
    if (!options.chunked) return kMalformed;
    if (options.output != "-") {
      progress.Say("zelbasxml: " + options.output + ": not written, the input being malformed");
      return kMalformed;
    }
  }
  int status = WriteDocument(document, options.output, progress);
  return status == kDone && read == ReadResult::kMalformed ? kMalformed : status;
}

}  // namespace zelbasxml_detail
