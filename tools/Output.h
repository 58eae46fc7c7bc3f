// The output of zelbasxml: standard output, or a file replaced only once
// everything is written.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class ZELBasXmlDocument;
class ZELBasXmlNode;

namespace zelbasxml_detail {

class Progress;

// An output, written a buffer at a time by the library's renderer
// (WriteBytes is its sink). A file is opened by the first write, so that a
// render the library refuses before writing anything leaves it untouched.
struct Output {
  std::string target;  // "-": standard output
  std::string name;
  FILE* stream = nullptr;
  int error = 0;
  long long written = 0;
  Progress* progress = nullptr;
};

// The sink: writes `length` bytes to the Output at `context`.
bool WriteBytes(void* context, const char* bytes, size_t length);

// An output to `target` ("-": standard output), opened by its first write.
Output OutputTo(const std::string& target, Progress& progress);

// Flushes and closes; a file takes its target's place only when `written`
// and every write succeeded (an output never written to is opened here,
// when `written`, and left empty). kDone, or kFailure after the report.
int CloseOutput(Output& out, bool written);

// Whether a tree read from malformed input may be written to `output`:
// only one read in chunks (the rest is lost), and only to standard output,
// never in place of a file (said so).
bool MayWriteAfterParseError(bool chunked, const std::string& output, Progress& progress);

// Whether the subtree under `node` can be written in the well-formed or
// the kept layout (always, in the default one); if not, says which element
// and why, naming `output`.
bool Writable(const ZELBasXmlNode& node, unsigned long layout, const std::string& output, Progress& progress);

// Writes the document (header lines and tree) to `output`; kMalformed when
// the tree cannot be written in the document's layout.
int WriteDocument(ZELBasXmlDocument& document, const std::string& output, Progress& progress);

}  // namespace zelbasxml_detail
