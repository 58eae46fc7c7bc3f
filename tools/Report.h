// The messages of zelbasxml on standard error, and the exit status each
// kind of failure gives.
#pragma once

#include <string>

class ZELBasXmlDocument;

namespace zelbasxml_detail {

class Progress;

// Exit statuses.
enum Status { kDone = 0, kMalformed = 1, kNothingFound = 1, kFailure = 2 };

// "zelbasxml: FILE: REASON"; kFailure.
int Fail(Progress& progress, const std::string& file, const std::string& reason);

// A usage problem and the pointer to --help; kFailure.
int Usage(const std::string& problem);

// The system's message for an errno value.
std::string Reason(int error);

// How messages name an input: "standard input" for "-".
std::string InputName(const std::string& input);

// After a read: the line that names the input of a parse error, after the
// library's two lines when `report` (for a quiet read); true when there was
// one.
bool NoteParseError(const std::string& input, const ZELBasXmlDocument& document, Progress& progress,
                    bool report = false);

}  // namespace zelbasxml_detail
