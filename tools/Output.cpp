// The output of zelbasxml, through the file module's replacing streams.
#include "Output.h"

#include <cerrno>

#include "Progress.h"
#include "Report.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

namespace zelbasxml_detail {

namespace {

bool Open(Output& out) {
  errno = 0;
  out.stream = out.target == "-" ? stdout : ZELBasFileOps::Fopen(ZELString(out.target.c_str()), "w");
  if (out.stream == nullptr) out.error = errno != 0 ? errno : EIO;
  return out.stream != nullptr;
}

// How messages name the output `target`.
std::string OutputName(const std::string& target) {
  return target == "-" ? std::string("standard output") : target;
}

}  // namespace

bool WriteBytes(void* context, const char* bytes, size_t length) {
  Output* out = static_cast<Output*>(context);
  if (out->stream == nullptr && !Open(*out)) return false;
  if (std::fwrite(bytes, 1, length, out->stream) != length) {
    out->error = errno != 0 ? errno : EIO;
    return false;
  }
  out->written += static_cast<long long>(length);
  out->progress->Write(out->written);
  return true;
}

Output OutputTo(const std::string& target, Progress& progress) {
  Output out;
  out.target = target == "/dev/stdout" ? "-" : target;  // its own standard output, as -o -
  out.name = OutputName(target);
  out.progress = &progress;
  return out;
}

int CloseOutput(Output& out, bool written) {
  if (out.stream == nullptr && (!written || !Open(out)))
    return Fail(*out.progress, out.name, Reason(out.error));
  errno = 0;
  // A replacing stream that failed a write is discarded by its close.
  bool closed = out.stream == stdout ? std::fflush(stdout) == 0 && !std::ferror(stdout)
                                     : ZELBasFileOps::Fclose(out.stream) == 0;
  if (!closed && written) out.error = errno != 0 ? errno : EIO;
  if (!written || !closed) return Fail(*out.progress, out.name, Reason(out.error));
  return kDone;
}

bool MayWriteAfterParseError(bool chunked, const std::string& output, Progress& progress) {
  if (!chunked) return false;
  if (output == "-") return true;
  progress.Say("zelbasxml: " + output + ": not written, the input being malformed");
  return false;
}

bool Writable(const ZELBasXmlNode& node, unsigned long layout, const std::string& output,
              Progress& progress) {
  ZELString problem;
  if ((layout & (ZELBasXmlWellFormed | ZELBasXmlKeepLayout)) == 0 || node.CheckWritable(problem) == S_OK)
    return true;
  progress.Say("zelbasxml: " + OutputName(output) +
               ": not written: " + std::string(std::string_view(problem)));
  return false;
}

int WriteDocument(ZELBasXmlDocument& document, const std::string& output, Progress& progress) {
  if (!Writable(document.GetRoot(), document.GetOptions(), output, progress)) return kMalformed;
  Output out = OutputTo(output, progress);
  if (out.target != "-") {
    // A file takes the library's own write: streamed, and replaced only
    // once all of it is written.
    progress.Writing();
    errno = 0;
    if (document.WriteFile(ZELString(out.target.c_str())) == S_OK) return kDone;
    return Fail(progress, out.name, Reason(errno != 0 ? errno : EIO));
  }
  errno = 0;
  bool written = document.WriteTo(&WriteBytes, &out) == S_OK;
  return CloseOutput(out, written);
}

}  // namespace zelbasxml_detail
