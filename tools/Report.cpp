// The messages of zelbasxml on standard error.
#include "Report.h"

#include <cstdio>
#include <cstring>

#include "Progress.h"
#include "ZELBasXmlDocument.h"

namespace zelbasxml_detail {

int Fail(Progress& progress, const std::string& file, const std::string& reason) {
  progress.Say("zelbasxml: " + file + ": " + reason);
  return kFailure;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "zelbasxml: %s\nTry 'zelbasxml --help'.\n", problem.c_str());
  return kFailure;
}

std::string Reason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

std::string InputName(const std::string& input) {
  return input == "-" ? std::string("standard input") : input;
}

bool NoteParseError(const std::string& input, const ZELBasXmlDocument& document, Progress& progress,
                    bool report) {
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) != S_OK) return false;
  if (report) {
    progress.Say("XML parse error: " + std::string(std::string_view(message)));
    progress.Say("  Line: " + std::to_string(line) + ", Column: " + std::to_string(column));
  }
  std::string_view reason(message);
  if (reason.rfind("unsupported encoding ", 0) == 0) {
    progress.Say("zelbasxml: " + InputName(input) + ": " + std::string(reason));  // not a malformed file
  } else {
    progress.Say("zelbasxml: " + InputName(input) + ": not well-formed (line " + std::to_string(line) +
                 ", column " + std::to_string(column) + ")");
  }
  return true;
}

}  // namespace zelbasxml_detail
