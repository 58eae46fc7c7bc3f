// zelbasxml: formats XML documents and finds elements in them.
//
//   zelbasxml format [--chunked] [-o OUTPUT] [INPUT]
//   zelbasxml find TAG [--chunked] [-o OUTPUT] [INPUT]
//
// Exit status: 0 done, 1 malformed input, 2 usage error or a file that
// cannot be read or written.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h:
#include <shellapi.h>
#endif

namespace {

const char kUsage[] =
    "usage: zelbasxml format [--chunked] [-o OUTPUT] [INPUT]\n"
    "       zelbasxml find TAG [--chunked] [-o OUTPUT] [INPUT]\n"
    "\n"
    "format  reads an XML document and writes it back in the library's layout:\n"
    "        the declaration and comment lines, one element per line, four spaces\n"
    "        per level, attributes sorted by name, nothing escaped.\n"
    "find    writes every element below the root whose tag name is TAG, in\n"
    "        document order, each at the left margin.\n"
    "\n"
    "INPUT is a file, or standard input when absent or '-'. OUTPUT is a file,\n"
    "standard output when absent.\n"
    "\n"
    "  --chunked   read INPUT (a file) in chunks of 256 KiB: memory for the parse\n"
    "              stays flat, and after a parse error (reported on standard\n"
    "              error) the elements read so far are still written, exit 0\n"
    "  -o OUTPUT   write to OUTPUT, replacing it only once all is written\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 done, 1 malformed input, 2 usage error or unusable file.\n";

struct Options {
  std::string command;
  std::string tag;
  std::string input = "-";
  std::string output;
  bool chunked = false;
};

int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "zelbasxml: %s: %s\n", file.c_str(), reason.c_str());
  return 2;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "zelbasxml: %s\nTry 'zelbasxml --help'.\n", problem.c_str());
  return 2;
}

std::string Reason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

// Parses the arguments; returns -1 to go on, else the exit status.
int ParseArguments(int argc, char** argv, Options& options) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("zelbasxml %s\n", ZELBAS_VERSION);
      return 0;
    }
    if (arg == "--chunked") {
      options.chunked = true;
    } else if (arg == "-o" || arg == "--output") {
      if (++i == argc) return Usage("option " + arg + " needs a file name");
      options.output = argv[i];
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return Usage("unknown option " + arg);
    } else if (positional == 0) {
      options.command = arg;
      ++positional;
    } else if (options.command == "find" && positional == 1) {
      options.tag = arg;
      ++positional;
    } else if (positional == (options.command == "find" ? 2 : 1)) {
      options.input = arg;
      ++positional;
    } else {
      return Usage("unexpected argument " + arg);
    }
  }
  if (options.command.empty()) return Usage("no command given");
  if (options.command != "format" && options.command != "find") {
    return Usage("unknown command " + options.command);
  }
  if (options.command == "find" && positional < 2) return Usage("find needs a TAG");
  if (options.chunked && options.input == "-") return Usage("--chunked needs an INPUT file");
  return -1;
}

// Reads all of a stream; false with errno set on a read error.
bool Slurp(FILE* stream, std::string& bytes) {
  char chunk[65536];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, stream)) != 0) bytes.append(chunk, count);
  return !std::ferror(stream);
}

// Reads the input into the document; returns -1 to go on, else the exit status.
int ReadInput(const Options& options, ZELBasXmlDocument& document) {
  const std::string& name = options.input == "-" ? std::string("standard input") : options.input;
  if (options.chunked) {
    errno = 0;
    if (document.ReadFile(ZELString(options.input.c_str())) != S_OK) return Fail(name, Reason(errno));
    return -1;
  }
  FILE* stream = options.input == "-" ? stdin : ZELBasFileOps::Fopen(ZELString(options.input.c_str()), "r");
  if (stream == nullptr) return Fail(name, Reason(errno));
  std::string bytes;
  errno = 0;
  bool complete = Slurp(stream, bytes);
  int error = errno;
  if (stream != stdin) std::fclose(stream);
  if (!complete) return Fail(name, Reason(error));
  const char* tooLarge = "too large to read in one piece; use --chunked";
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return Fail(name, tooLarge);
  ZELString text;
  text.BuildFromUTF8(bytes.data(), bytes.size());
  if (text.GetLengthInChar() > INT_MAX / 4) return Fail(name, tooLarge);
  if (document.ReadString(text) != S_OK) return 1;  // the library has reported it
  return -1;
}

int WriteOutput(const Options& options, ZELString& text) {
  if (!options.output.empty()) {
    // The library's own file operation, so OUTPUT is replaced the same way.
    errno = 0;
    FILE* stream = ZELBasFileOps::Fopen(ZELString(options.output.c_str()), "w");
    if (stream == nullptr) return Fail(options.output, Reason(errno));
    size_t length = std::strlen(text.CastToCharPtr());
    bool written = std::fwrite(text.CastToCharPtr(), 1, length, stream) == length;
    int error = errno;
    if (ZELBasFileOps::Fclose(stream) != 0 && written) {
      written = false;
      error = errno;
    }
    if (!written) return Fail(options.output, Reason(error));
    return 0;
  }
  size_t length = std::strlen(text.CastToCharPtr());
  if (std::fwrite(text.CastToCharPtr(), 1, length, stdout) != length || std::fflush(stdout) != 0) {
    return Fail("standard output", Reason(errno));
  }
  return 0;
}

#if defined(_WIN32)
// The arguments in UTF-8, the encoding of file names everywhere else.
std::vector<std::string> Utf8Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; wide != nullptr && i < count; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &argument[0], size, nullptr, nullptr);
    argument.resize(argument.size() - 1);
    arguments.push_back(argument);
  }
  LocalFree(wide);
  return arguments;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // Bytes in and out as they are, without line-end translation.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> arguments = Utf8Arguments();
  std::vector<char*> pointers;
  pointers.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = pointers.data();
#endif
  Options options;
  int status = ParseArguments(argc, argv, options);
  if (status >= 0) return status;

  ZELBasXmlDocument document;
  status = ReadInput(options, document);
  if (status >= 0) return status;

  if (options.command == "format") {
    if (!options.output.empty()) {
      errno = 0;
      if (document.WriteFile(ZELString(options.output.c_str())) != S_OK) {
        return Fail(options.output, Reason(errno));
      }
      return 0;
    }
    ZELString text;
    document.WriteString(text);
    return WriteOutput(options, text);
  }

  ZELBasVector<ZELBasXmlNode> found;
  document.GetRoot().GetElementsByTagName(ZELString(options.tag.c_str()), found);
  ZELString text;
  for (const ZELBasXmlNode& element : found) element.Serialize(text, ZELString());
  return WriteOutput(options, text);
}
