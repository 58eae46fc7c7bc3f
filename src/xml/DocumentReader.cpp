// Reading: the loops that feed a read session, from a file, a string or
// the caller's source.
#include <cerrno>
#include <cstdio>

#include "Buffer.h"
#include "DocumentAccess.h"
#include "ReadSession.h"
#include "ZELBasScopeOwner.h"
#include "ZELBasShared.h"

namespace zelbas_detail {

// Bytes fed to the parser per call. The parser takes a length, so a chunk
// needs no terminator after it.
const size_t kChunk = 0x40000;

// Begins a read of `document`: the last read's outcome is forgotten, and
// a fresh read empties the tree, whether or not its input can be had.
void BeginRead(ZELBasXmlDocument& document, const ReadMode& mode) {
  DocumentAccess::ForgetOutcome(document);
  if (!mode.fresh) return;
  DocumentAccess::Dom(document) = ZELBasXmlNode();
  DocumentAccess::Depth(document) = 0;
  DocumentAccess::Current(document) = nullptr;
}

// A source reading a C stream, which stops at its end of file without
// reading again (a terminal would wait for a second end).
bool ReadStream(void* context, char* buffer, size_t capacity, size_t* length) {
  FILE* stream = static_cast<FILE*>(context);
  *length = 0;
  if (std::feof(stream)) return true;
  *length = std::fread(buffer, 1, capacity, stream);
  return *length != 0 || !std::ferror(stream);
}

// Feeds what `source` gives, a chunk at a time, until its end, a read
// error or a parse error; then always closes the parse, which reports a
// document left incomplete (a parser that already failed reports again).
// True when the input was read whole and well-formed.
bool Feed(ReadSession& session, ZELBasXmlSource source, void* context) {
  char* bytes = NewBytes(kChunk);
  Buffer buffer(bytes);
  int readError = 0;
  for (;;) {
    size_t length = 0;
    errno = 0;
    if (!source(context, bytes, kChunk, &length)) {
      readError = errno != 0 ? errno : EIO;
      break;
    }
    if (length == 0) break;
    if (!session.Parse(bytes, static_cast<int>(length), false)) break;
  }
  session.Parse(bytes, 0, true);
  return session.Finish(readError);
}

// The result of a read that got its input: a parse or read error fails it
// only when the document asked for that.
long Outcome(const ReadSession& session, bool clean) {
  return clean || !session.mode.failOnError ? S_OK : E_FAIL;
}

// A read that feeds `source` to a session of `mode`.
long ReadAll(ZELBasXmlDocument& document, const ReadMode& mode, ZELBasXmlSource source, void* context) {
  ReadSession session(document, mode);
  if (!session.Created()) return E_FAIL;
  return Outcome(session, Feed(session, source, context));
}

}  // namespace zelbas_detail

using namespace zelbas_detail;

long ZELBasXmlDocument::Read() {
  if (fileName.GetLengthInChar() < 1) {
    outcome = ReadOutcome();
    return E_FAIL;
  }
  return ReadFile(fileName);
}

long ZELBasXmlDocument::ReadFile(const ZELString& name) {
  ReadMode mode(options, ReadMode::kBuildTree);
  BeginRead(*this, mode);
  // Closed on every way out, exceptions included.
  ZELBasScopeOwner file(ZELBasFileOps::Fopen(name, "r"), &std::fclose);
  if (!file) return E_FAIL;
  return ReadAll(*this, mode, &ReadStream, file.Get());
}

long ZELBasXmlDocument::ReadFrom(ZELBasXmlSource source, void* context) {
  ReadMode mode(options, ReadMode::kBuildTree);
  BeginRead(*this, mode);
  return ReadAll(*this, mode, source, context);
}

long ZELBasXmlDocument::CheckFrom(ZELBasXmlSource source, void* context) {
  ReadMode mode(options, ReadMode::kCheckOnly);
  BeginRead(*this, mode);
  return ReadAll(*this, mode, source, context);
}

long ZELBasXmlDocument::CheckFile(const ZELString& name) {
  ZELBasScopeOwner file(ZELBasFileOps::Fopen(name, "r"), &std::fclose);
  if (!file) {
    outcome = ReadOutcome();
    return E_FAIL;
  }
  return CheckFrom(&ReadStream, file.Get());
}

long ZELBasXmlDocument::ReadString(const ZELString& text) {
  ReadMode mode(options, ReadMode::kBuildTree);
  BeginRead(*this, mode);
  int characters = text.GetLengthInChar();
  if (characters > MaxStringCharacters) return E_FAIL;
  ReadSession session(*this, mode);
  if (!session.Created()) return E_FAIL;
  // Four bytes per character, but no more than one past what the parser
  // takes: a text that fills that is refused unparsed.
  const size_t room = static_cast<size_t>(MaxStringBytes) + 1;
  size_t size = static_cast<size_t>(characters) * 4;
  if (size > room) size = room;
  char* bytes = NewBytes(size);
  Buffer buffer(bytes);
  text.ConvertToUTF8(bytes, &size);
  if (size == room) return E_FAIL;
  bool parsed = session.Parse(bytes, static_cast<int>(size), true);
  session.Finish(0);
  return parsed ? S_OK : E_FAIL;
}

long ZELBasXmlDocument::GetParseError(ZELString& message, unsigned long& line, unsigned long& column) const {
  if (!outcome.parseFailed) return E_FAIL;
  message = outcome.message;
  line = outcome.line;
  column = outcome.column;
  return S_OK;
}

long ZELBasXmlDocument::GetReadError(int& error) const {
  if (outcome.readError == 0) return E_FAIL;
  error = outcome.readError;
  return S_OK;
}
