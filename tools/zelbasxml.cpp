// zelbasxml: formats XML documents, finds elements in them and checks them.
//
//   zelbasxml format [OPTIONS] [INPUT]
//   zelbasxml find TAG [OPTIONS] [INPUT]
//   zelbasxml check [OPTIONS] [INPUT]
//
// Exit status: 0 done, 1 malformed input or nothing found, 2 usage error, a
// file that cannot be read or written, or an input too large to read in one
// piece.
#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Progress.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"
#include "ZELBasXmlParser.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h:
#include <shellapi.h>
#endif

namespace zelbasxml_detail {

const char kUsage[] =
    "usage: zelbasxml format [OPTIONS] [INPUT]\n"
    "       zelbasxml find TAG [OPTIONS] [INPUT]\n"
    "       zelbasxml check [OPTIONS] [INPUT]\n"
    "\n"
    "format  reads an XML document and writes it back in the library's layout:\n"
    "        the declaration and comment lines, one element per line, four spaces\n"
    "        per level, attributes sorted by name.\n"
    "find    writes every element below the root whose tag name is TAG, in\n"
    "        document order, each at the left margin; exit 1 when none is.\n"
    "check   only reads: exit 0 when INPUT is well-formed, else 1 and the report.\n"
    "\n"
    "INPUT is a file, or standard input when absent or '-'. It is read in one\n"
    "piece: at most 1 GiB and 536,870,911 characters.\n"
    "\n"
    "By default nothing is escaped on output: a text or attribute value holding\n"
    "<, & or \" is written as it is, and the output is then not read back as it\n"
    "was. Each element keeps the last piece of its text the parser gave (the\n"
    "text after its last child, entity reference or line break). With --xml\n"
    "the output is XML that reads back as the same tree.\n"
    "\n"
    "  --xml          format, find: keep every piece of each element's text,\n"
    "                 and write text and attribute values escaped, with no\n"
    "                 white space added inside elements with text\n"
    "  --text         find: write the whole text of each match, unescaped,\n"
    "                 on a line of its own\n"
    "  --chunked      read INPUT (a file) in chunks of 256 KiB, with no size\n"
    "                 limit and flat memory for the parse; text that crosses a\n"
    "                 chunk boundary may keep only its part after it. After a\n"
    "                 parse error the elements read so far are still written\n"
    "                 (exit 1)\n"
    "  -o, --output OUTPUT\n"
    "                 write to OUTPUT, replaced only once all is written;\n"
    "                 '-' or none is standard output\n"
    "  -q, --quiet    no progress line. Otherwise, for an input over 64 MiB with\n"
    "                 standard error on a terminal, a line there shows the\n"
    "                 percentage read and the rate, the time parsing, then the\n"
    "                 megabytes written (with --chunked the share read is the\n"
    "                 library's position in the file, on Linux only)\n"
    "  -h, --help     show this help\n"
    "      --version  show the version\n"
    "  --             ends the options\n"
    "\n"
    "A parse error is reported by the library, then as 'zelbasxml: INPUT: not\n"
    "well-formed (line L, column C)', columns counted from 0.\n"
    "Exit status: 0 done, 1 malformed input or find found nothing, 2 usage\n"
    "error, unusable file or an input too large for one piece.\n";

const char kTooLarge[] = "too large to read in one piece; use --chunked";

struct Options {
  std::string command;
  std::string tag;
  std::string input = "-";
  std::string output = "-";
  bool chunked = false;
  bool quiet = false;
  bool xml = false;   // whole texts in, the well-formed layout out
  bool text = false;  // find: the whole texts of the matches
};

int Fail(Progress& progress, const std::string& file, const std::string& reason) {
  progress.Say("zelbasxml: " + file + ": " + reason);
  return 2;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "zelbasxml: %s\nTry 'zelbasxml --help'.\n", problem.c_str());
  return 2;
}

std::string Reason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

std::string InputName(const Options& options) {
  return options.input == "-" ? std::string("standard input") : options.input;
}

// Parses the arguments: nothing to go on, else the exit status.
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
  enum { kVersion = 256, kChunked, kXml, kText };
  const option longOptions[] = {
      {"chunked", no_argument, nullptr, kChunked}, {"output", required_argument, nullptr, 'o'},
      {"quiet", no_argument, nullptr, 'q'},        {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion}, {"xml", no_argument, nullptr, kXml},
      {"text", no_argument, nullptr, kText},       {nullptr, 0, nullptr, 0}};
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":o:qh", longOptions, nullptr)) != -1;) {
    switch (c) {
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      case kVersion:
        std::printf("zelbasxml %s\nrunning on %s\n", ZELBAS_VERSION, xmp_XML_ExpatVersion());
        return 0;
      case kChunked:
        options.chunked = true;
        break;
      case kXml:
        options.xml = true;
        break;
      case kText:
        options.text = true;
        break;
      case 'q':
        options.quiet = true;
        break;
      case 'o':
        if (*optarg == '\0') return Usage("option -o needs a file name");
        options.output = optarg;
        break;
      case ':':
        return Usage(std::string("option ") + argv[optind - 1] + " needs a file name");
      default:
        return Usage("unknown option " + (optopt > 0 && optopt < 256
                                              ? std::string("-") + static_cast<char>(optopt)
                                              : argv[optind - 1]));
    }
  }
  std::vector<std::string> positional(argv + optind, argv + argc);
  if (positional.empty()) return Usage("no command given");
  options.command = positional[0];
  if (options.command != "format" && options.command != "find" && options.command != "check") {
    return Usage("unknown command " + options.command);
  }
  size_t next = 1;
  if (options.command == "find") {
    if (positional.size() < 2) return Usage("find needs a TAG");
    options.tag = positional[next++];
  }
  if (next < positional.size()) options.input = positional[next++];
  if (next < positional.size()) return Usage("unexpected argument " + positional[next]);
  if (options.chunked && options.input == "-") return Usage("--chunked needs an INPUT file");
  if (options.command == "check" && options.output != "-") return Usage("check writes nothing: no -o");
  if (options.command == "check" && options.xml) return Usage("--xml is for format and find");
  if (options.command != "find" && options.text) return Usage("--text is for find");
  if (options.xml && options.text) return Usage("--xml and --text exclude each other");
  return std::nullopt;
}

// The size of a regular file, or -1.
long long FileSize(FILE* stream) {
#ifdef _WIN32
  return _filelengthi64(_fileno(stream));
#else
  struct stat info;
  return fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -1;
#endif
}

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

// After a read: the line that names the input of a parse error; true when
// there was one.
bool NoteParseError(const Options& options, const ZELBasXmlDocument& document, Progress& progress) {
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) != S_OK) return false;
  progress.Say("zelbasxml: " + InputName(options) + ": not well-formed (line " + std::to_string(line) +
               ", column " + std::to_string(column) + ")");
  return true;
}

// Reads the input into the document. Nothing to go on; else the exit status,
// 1 for malformed input when nothing is written after a parse error.
// `malformed` tells whether the input had one.
std::optional<int> ReadInput(const Options& options, ZELBasXmlDocument& document, Progress& progress,
                             bool& malformed) {
  const std::string name = InputName(options);
  unsigned long layout = 0;
  if (options.xml || options.text) layout |= ZELBasXmlWholeText;
  if (options.xml) layout |= ZELBasXmlWellFormed;
  document.SetOptions(layout);
  if (options.chunked) {
    if (FILE* stream = ZELBasFileOps::Fopen(ZELString(options.input.c_str()), "r")) {
      progress.Start(FileSize(stream));
      std::fclose(stream);
    }
    progress.ReadBy(options.input);
    errno = 0;
    long result = document.ReadFile(ZELString(options.input.c_str()));
    if (result != S_OK) return Fail(progress, name, Reason(errno));
    malformed = NoteParseError(options, document, progress);
    return std::nullopt;
  }
  FILE* stream = options.input == "-" ? stdin : ZELBasFileOps::Fopen(ZELString(options.input.c_str()), "r");
  if (stream == nullptr) return Fail(progress, name, Reason(errno));
  ZELString text;
  {
    std::string bytes;
    progress.Start(FileSize(stream));
    int error = ReadAll(stream, bytes, progress);
    if (stream != stdin) std::fclose(stream);
    if (error != 0) return Fail(progress, name, error < 0 ? kTooLarge : Reason(error));
    text.BuildFromUTF8(bytes.data(), bytes.size());
  }
  if (text.GetLengthInChar() > ZELBasXmlDocument::MaxStringCharacters) return Fail(progress, name, kTooLarge);
  progress.Parse();
  if (document.ReadString(text) == S_OK) return std::nullopt;
  if (NoteParseError(options, document, progress)) return 1;
  return Fail(progress, name, "out of memory");  // the parser could not be made
}

// The output stream, written a buffer at a time by the library's renderer.
struct Output {
  std::string name;
  FILE* stream = nullptr;
  int error = 0;
  long long written = 0;
  Progress* progress = nullptr;
};

bool WriteBytes(void* context, const char* bytes, size_t length) {
  Output* out = static_cast<Output*>(context);
  if (std::fwrite(bytes, 1, length, out->stream) != length) {
    out->error = errno != 0 ? errno : EIO;
    return false;
  }
  out->written += static_cast<long long>(length);
  out->progress->Write(out->written);
  return true;
}

// Writes one match: rendered in the document's layout, or with --text its
// text and a line feed. False when a write failed.
bool WriteMatch(const Options& options, const ZELBasXmlNode& node, unsigned long layout, Output& out) {
  if (!options.text) return node.SerializeTo(&WriteBytes, &out, ZELString(), layout) == S_OK;
  std::string_view text = node.GetData();
  return WriteBytes(&out, text.data(), text.size()) && WriteBytes(&out, "\n", 1);
}

// Writes every element below the root named TAG, in document order, from the
// tree where it stands: a match is written when the walk reaches it, and the
// walk goes on into it for the matches nested in it. False when a write
// failed; `found` counts the matches.
bool WriteMatches(const Options& options, const ZELBasXmlDocument& document, Output& out, size_t& found) {
  const ZELString tag(options.tag.c_str());
  const unsigned long layout = document.GetOptions() & ZELBasXmlWellFormed;
  const ZELBasXmlNode& root = document.GetRoot();
  std::vector<std::pair<const ZELBasXmlNode*, const ZELBasXmlNode*>> pending;  // next child, end
  pending.emplace_back(root.Children().begin(), root.Children().end());
  while (!pending.empty()) {
    if (pending.back().first == pending.back().second) {
      pending.pop_back();
      continue;
    }
    const ZELBasXmlNode* node = pending.back().first++;
    if (node->GetTagName() == tag) {
      ++found;
      if (!WriteMatch(options, *node, layout, out)) return false;
    }
    if (node->Children().size() != 0) pending.emplace_back(node->Children().begin(), node->Children().end());
  }
  return true;
}

// Opens the output, renders into it and closes it; the exit status, 1 when
// find found nothing. A file is replaced only when every write and the close
// succeeded.
int WriteOutput(const Options& options, const ZELBasXmlDocument& document, Progress& progress) {
  Output out;
  out.progress = &progress;
  errno = 0;
  if (options.output == "-" || options.output == "/dev/stdout") {
    out.name = "standard output";
    out.stream = stdout;
  } else {
    out.name = options.output;
    out.stream = ZELBasFileOps::Fopen(ZELString(options.output.c_str()), "w");
    if (out.stream == nullptr) return Fail(progress, out.name, Reason(errno));
  }
  errno = 0;
  size_t found = 0;
  bool written = options.command == "format" ? document.WriteTo(&WriteBytes, &out) == S_OK
                                             : WriteMatches(options, document, out, found);
  errno = 0;
  bool closed = out.stream == stdout ? std::fflush(stdout) == 0 && !std::ferror(stdout)
                                     : ZELBasFileOps::Fclose(out.stream) == 0;
  if (!closed && written) out.error = errno != 0 ? errno : EIO;
  if (!written || !closed) return Fail(progress, out.name, Reason(out.error));
  return options.command == "find" && found == 0 ? 1 : 0;
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

}  // namespace zelbasxml_detail

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
    ZELBasXmlDocument document;
    zelbasxml_detail::Progress progress(options.quiet);
    bool malformed = false;
    if (std::optional<int> status = zelbasxml_detail::ReadInput(options, document, progress, malformed)) {
      return *status;
    }
    if (options.command == "check") return malformed ? 1 : 0;
    int status = zelbasxml_detail::WriteOutput(options, document, progress);
    return status == 0 && malformed ? 1 : status;
  } catch (const std::bad_alloc&) {
    // An output file is left unclosed, and so never replaced.
    std::fprintf(stderr, "zelbasxml: out of memory\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelbasxml: %s\n", e.what());
    return 2;
  }
}
