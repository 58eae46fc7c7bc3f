// zelbasxml: formats XML documents, finds elements in them, checks them and
// edits them.
//
//   zelbasxml format [OPTIONS] [INPUT]
//   zelbasxml find PATH [OPTIONS] [INPUT]
//   zelbasxml check [OPTIONS] [INPUT...]
//   zelbasxml edit OPERATION... [OPTIONS] [INPUT]
//
// This file sets up the process and runs the command; each job has a file
// of its own: Arguments, Input, Output, Report, one file per command, the
// PATH parser and matcher, the edit operations, the progress line.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "Progress.h"
#include "Report.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int Run(const zelbasxml_detail::Options& options) {
  using namespace zelbasxml_detail;
  Progress progress(options.quiet);
  if (options.command == "format") return RunFormat(options, progress);
  if (options.command == "find") return RunFind(options, progress);
  if (options.command == "check") return RunCheck(options, progress);
  return RunEdit(options, progress);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // Past the file size limit a write fails with EFBIG, and the output is
  // then discarded, instead of the process being killed half-way.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef _WIN32
  // Bytes in and out as they are, without line-end translation.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> arguments = zelbasxml_detail::Utf8Arguments();
  std::vector<char*> pointers;
  pointers.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = pointers.data();
#endif
  zelbasxml_detail::Options options;
  if (std::optional<int> status = zelbasxml_detail::ParseArguments(argc, argv, options)) return *status;
  try {
    return Run(options);
  } catch (const std::bad_alloc&) {
    // An output file is left unclosed, and so never replaced.
    std::fprintf(stderr, "zelbasxml: out of memory\n");
    return zelbasxml_detail::kFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelbasxml: %s\n", e.what());
    return zelbasxml_detail::kFailure;
  }
}
