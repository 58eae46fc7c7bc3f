// Reading the input of zelbasxml into a document: whole through ReadString
// (at most what it takes), or in chunks through ReadFile.
#include "Input.h"

#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "Progress.h"
#include "Report.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

#ifdef _WIN32
#include <io.h>
#endif

namespace zelbasxml_detail {

namespace {

const char kTooLarge[] = "too large to read in one piece; use --chunked";

// Reads all of `stream` into `bytes`, stopping as soon as it passes what
// ReadString takes; 0, an errno value, or -1 for an input too large.
int ReadAll(FILE* stream, std::string& bytes, Progress& progress) {
  const size_t limit = static_cast<size_t>(ZELBasXmlDocument::MaxStringBytes);
  long long size = FileSize(stream);
  if (size > static_cast<long long>(limit)) return -1;
  if (size > 0) bytes.reserve(static_cast<size_t>(size));
  std::vector<char> chunk(1 << 16);
  errno = 0;
  for (size_t count; (count = std::fread(chunk.data(), 1, chunk.size(), stream)) != 0;) {
    if (count > limit - bytes.size()) return -1;
    bytes.append(chunk.data(), count);
    progress.Read(static_cast<long long>(bytes.size()));
  }
  if (!std::ferror(stream)) return 0;
  return errno != 0 ? errno : EIO;
}

// The input, handed to the library a chunk at a time.
struct Source {
  FILE* stream;
  long long done = 0;
  Progress* progress;
};

bool ReadChunk(void* context, char* buffer, size_t capacity, size_t* length) {
  Source* source = static_cast<Source*>(context);
  errno = 0;
  *length = std::fread(buffer, 1, capacity, source->stream);
  source->done += static_cast<long long>(*length);
  source->progress->Read(source->done);
  if (!std::ferror(source->stream)) return true;
  if (errno == 0) errno = EIO;
  return false;
}

FILE* Open(const std::string& input, Progress& progress) {
  FILE* stream = input == "-" ? stdin : ZELBasFileOps::Fopen(ZELString(input.c_str()), "r");
  if (stream == nullptr) Fail(progress, InputName(input), Reason(errno));
  return stream;
}

// How a read or check of `input` by `document` ended: a read error is told
// as one, not as the parse error it may have caused.
ReadResult Outcome(const std::string& input, const ZELBasXmlDocument& document, Progress& progress) {
  int error = 0;
  if (document.GetReadError(error) == S_OK) {
    Fail(progress, InputName(input), Reason(error));
    return ReadResult::kFailed;
  }
  bool quiet = (document.GetOptions() & ZELBasXmlQuiet) != 0;
  return NoteParseError(input, document, progress, quiet) ? ReadResult::kMalformed : ReadResult::kWellFormed;
}

// Reads or checks (`check`) `input` in chunks.
ReadResult ReadChunked(const std::string& input, bool check, ZELBasXmlDocument& document,
                       Progress& progress) {
  FILE* stream = Open(input, progress);
  if (stream == nullptr) return ReadResult::kFailed;
  progress.Start(FileSize(stream));
  Source source{stream, 0, &progress};
  long result = check ? document.CheckFrom(&ReadChunk, &source) : document.ReadFrom(&ReadChunk, &source);
  if (stream != stdin) std::fclose(stream);
  ReadResult outcome = Outcome(input, document, progress);
  if (result != S_OK && outcome == ReadResult::kWellFormed) {
    Fail(progress, InputName(input), "out of memory");  // the parser could not be made
    return ReadResult::kFailed;
  }
  return outcome;
}

ReadResult ReadWhole(const std::string& input, ZELBasXmlDocument& document, Progress& progress) {
  const std::string name = InputName(input);
  FILE* stream = Open(input, progress);
  if (stream == nullptr) return ReadResult::kFailed;
  ZELString text;
  {
    std::string bytes;
    progress.Start(FileSize(stream));
    int error = ReadAll(stream, bytes, progress);
    if (stream != stdin) std::fclose(stream);
    if (error != 0) {
      Fail(progress, name, error < 0 ? kTooLarge : Reason(error));
      return ReadResult::kFailed;
    }
    text.BuildFromUTF8(bytes.data(), bytes.size());
  }
  if (text.GetLengthInChar() > ZELBasXmlDocument::MaxStringCharacters) {
    Fail(progress, name, kTooLarge);
    return ReadResult::kFailed;
  }
  progress.Parse();
  if (document.ReadString(text) == S_OK) return ReadResult::kWellFormed;
  if (NoteParseError(input, document, progress)) return ReadResult::kMalformed;
  Fail(progress, name, "out of memory");  // the parser could not be made
  return ReadResult::kFailed;
}

}  // namespace

long long FileSize(FILE* stream) {
#ifdef _WIN32
  return _filelengthi64(_fileno(stream));
#else
  struct stat info;
  return fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
#endif
}

ReadResult ReadDocument(const std::string& input, bool chunked, unsigned long options,
                        ZELBasXmlDocument& document, Progress& progress) {
  // Whatever reads whole texts reads the encodings an XML library reads;
  // the default layout keeps to the parser's own.
  if ((options & (ZELBasXmlWholeText | ZELBasXmlKeepLayout)) != 0) options |= ZELBasXmlAnyEncoding;
  document.SetOptions(options);
  return chunked ? ReadChunked(input, false, document, progress) : ReadWhole(input, document, progress);
}

ReadResult CheckDocument(const std::string& input, ZELBasXmlDocument& document, Progress& progress) {
  // Quiet, with the report written here: once, whatever the chunks.
  document.SetOptions(ZELBasXmlQuiet | ZELBasXmlAnyEncoding);
  return ReadChunked(input, true, document, progress);
}

}  // namespace zelbasxml_detail
