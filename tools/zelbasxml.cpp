// zelbasxml: formats XML documents and finds elements in them.
//
//   zelbasxml format [OPTIONS] [INPUT]
//   zelbasxml find TAG [OPTIONS] [INPUT]
//
// Exit status: 0 done, 1 malformed input, 2 usage error, a file that cannot
// be read or written, or an input too large to read in one piece.
#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h:
#include <shellapi.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <dirent.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace {

const char kUsage[] =
    "usage: zelbasxml format [OPTIONS] [INPUT]\n"
    "       zelbasxml find TAG [OPTIONS] [INPUT]\n"
    "\n"
    "format  reads an XML document and writes it back in the library's layout:\n"
    "        the declaration and comment lines, one element per line, four spaces\n"
    "        per level, attributes sorted by name.\n"
    "find    writes every element below the root whose tag name is TAG, in\n"
    "        document order, each at the left margin.\n"
    "\n"
    "INPUT is a file, or standard input when absent or '-'. It is read in one\n"
    "piece: at most 1 GiB and 536,870,911 characters.\n"
    "\n"
    "Nothing is escaped on output: a text or attribute value holding <, & or \"\n"
    "is written as it is, and the output is then not read back as it was.\n"
    "Each element keeps the last piece of its text the parser gave (the text\n"
    "after its last child, entity reference or line break).\n"
    "\n"
    "  --chunked      read INPUT (a file) in chunks of 256 KiB, with no size\n"
    "                 limit and flat memory for the parse; text that crosses a\n"
    "                 chunk boundary may keep only its part after it. After a\n"
    "                 parse error the elements read so far are still written\n"
    "                 (exit 0)\n"
    "  -o, --output OUTPUT\n"
    "                 write to OUTPUT, replaced only once all is written;\n"
    "                 '-' or none is standard output\n"
    "  -q, --quiet    no progress line. Otherwise, reading over 64 MiB with\n"
    "                 standard error on a terminal shows the percentage read\n"
    "                 and the rate: of this tool's read of INPUT, or with\n"
    "                 --chunked of the library's position in the file (Linux)\n"
    "  -h, --help     show this help\n"
    "      --version  show the version\n"
    "  --             ends the options\n"
    "\n"
    "A parse error is reported by the library, then as 'zelbasxml: INPUT: not\n"
    "well-formed (line L, column C)'.\n"
    "Exit status: 0 done, 1 malformed input, 2 usage error, unusable file or\n"
    "an input too large for one piece.\n";

const char kTooLarge[] = "too large to read in one piece; use --chunked";

struct Options {
  std::string command;
  std::string tag;
  std::string input = "-";
  std::string output = "-";
  bool chunked = false;
  bool quiet = false;
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

std::string InputName(const Options& options) {
  return options.input == "-" ? std::string("standard input") : options.input;
}

// Parses the arguments; returns -1 to go on, else the exit status.
int ParseArguments(int argc, char** argv, Options& options) {
  enum { kVersion = 256, kChunked };
  const option longOptions[] = {
      {"chunked", no_argument, nullptr, kChunked}, {"output", required_argument, nullptr, 'o'},
      {"quiet", no_argument, nullptr, 'q'},        {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion}, {nullptr, 0, nullptr, 0}};
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":o:qh", longOptions, nullptr)) != -1;) {
    switch (c) {
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      case kVersion:
        std::printf("zelbasxml %s\n", ZELBAS_VERSION);
        return 0;
      case kChunked:
        options.chunked = true;
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
  if (options.command != "format" && options.command != "find") {
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
  return -1;
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

// A line on standard error with the share of the input read and the rate,
// for inputs over 64 MiB when standard error is a terminal; at most four
// updates a second, and cleared at the end.
class Progress {
public:
  Progress(const Options& options, long long inputSize) : total(inputSize) {
#ifdef _WIN32
    bool terminal = _isatty(_fileno(stderr)) != 0;
#else
    bool terminal = isatty(fileno(stderr)) != 0;
#endif
    on = !options.quiet && terminal && total > (64LL << 20);
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { Clear(); }

  bool On() const { return on; }

  void Update(long long done) {
    if (!on) return;
    Clock::time_point now = Clock::now();
    if (now - shown < std::chrono::milliseconds(250)) return;
    shown = now;
    double seconds = std::chrono::duration<double>(now - start).count();
    int length = std::fprintf(stderr, "\rzelbasxml: %lld%% read, %.0f MB/s", done * 100 / total,
                              seconds > 0 ? static_cast<double>(done) / 1e6 / seconds : 0.0);
    if (length - 1 > width) width = length - 1;
  }

  void Clear() {
    if (width > 0) std::fprintf(stderr, "\r%*s\r", width, "");
    width = 0;
  }

private:
  typedef std::chrono::steady_clock Clock;
  bool on;
  long long total;
  Clock::time_point start = Clock::now();
  Clock::time_point shown;  // long ago: the first update shows
  int width = 0;
};

#ifdef __linux__
// Shows the progress of the library's own read of `path` from another
// thread, from the position of the stream it opened as /proc tells it.
class ReadWatcher {
public:
  ReadWatcher(const std::string& path, Progress& shown) : progress(shown) {
    struct stat info;
    if (!progress.On() || stat(path.c_str(), &info) != 0) return;
    device = info.st_dev;
    inode = info.st_ino;
    try {
      thread = std::thread([this] { Watch(); });
    } catch (const std::system_error&) {
      // No thread, no progress line: the read goes on.
    }
  }
  ReadWatcher(const ReadWatcher&) = delete;
  ReadWatcher& operator=(const ReadWatcher&) = delete;
  ~ReadWatcher() {
    if (!thread.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
    }
    wake.notify_one();
    thread.join();
  }

private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return done; })) {
      long long position = Position();
      if (position >= 0) progress.Update(position);
    }
  }

  // The offset of the descriptor open on the input, or -1.
  long long Position() const {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return -1;
    long long position = -1;
    while (dirent* entry = readdir(folder)) {
      struct stat info;
      std::string fd = entry->d_name;
      if (stat(("/proc/self/fd/" + fd).c_str(), &info) != 0) continue;
      if (info.st_dev != device || info.st_ino != inode) continue;
      FILE* fdinfo = std::fopen(("/proc/self/fdinfo/" + fd).c_str(), "r");
      if (fdinfo == nullptr) continue;
      if (std::fscanf(fdinfo, "pos: %lld", &position) != 1) position = -1;
      std::fclose(fdinfo);
      break;
    }
    closedir(folder);
    return position;
  }

  Progress& progress;
  dev_t device = 0;
  ino_t inode = 0;
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  std::thread thread;
};
#endif

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
    progress.Update(static_cast<long long>(bytes.size()));
  }
  if (!std::ferror(stream)) return 0;
  return errno != 0 ? errno : EIO;
}

// After a read: the line that names the input of a parse error; true when
// there was one.
bool NoteParseError(const Options& options, const ZELBasXmlDocument& document) {
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) != S_OK) return false;
  std::fprintf(stderr, "zelbasxml: %s: not well-formed (line %lu, column %lu)\n", InputName(options).c_str(),
               line, column);
  return true;
}

// Reads the input into the document; returns -1 to go on, else the exit status.
int ReadInput(const Options& options, ZELBasXmlDocument& document) {
  const std::string name = InputName(options);
  if (options.chunked) {
    long long size = -1;
    if (FILE* stream = ZELBasFileOps::Fopen(ZELString(options.input.c_str()), "r")) {
      size = FileSize(stream);
      std::fclose(stream);
    }
    Progress progress(options, size);
    long result;
    int error;
    {
#ifdef __linux__
      ReadWatcher watcher(options.input, progress);
#endif
      errno = 0;
      result = document.ReadFile(ZELString(options.input.c_str()));
      error = errno;
    }
    progress.Clear();
    if (result != S_OK) return Fail(name, Reason(error));
    NoteParseError(options, document);
    return -1;
  }
  FILE* stream = options.input == "-" ? stdin : ZELBasFileOps::Fopen(ZELString(options.input.c_str()), "r");
  if (stream == nullptr) return Fail(name, Reason(errno));
  ZELString text;
  {
    std::string bytes;
    Progress progress(options, FileSize(stream));
    int error = ReadAll(stream, bytes, progress);
    if (stream != stdin) std::fclose(stream);
    progress.Clear();
    if (error != 0) return Fail(name, error < 0 ? kTooLarge : Reason(error));
    text.BuildFromUTF8(bytes.data(), bytes.size());
  }
  if (text.GetLengthInChar() > ZELBasXmlDocument::MaxStringCharacters) return Fail(name, kTooLarge);
  if (document.ReadString(text) == S_OK) return -1;
  if (NoteParseError(options, document)) return 1;
  return Fail(name, "out of memory");  // the parser could not be made
}

// The output stream, written a buffer at a time by the library's renderer.
struct Output {
  std::string name;
  FILE* stream = nullptr;
  int error = 0;
};

bool WriteBytes(void* context, const char* bytes, size_t length) {
  Output* out = static_cast<Output*>(context);
  if (std::fwrite(bytes, 1, length, out->stream) == length) return true;
  out->error = errno != 0 ? errno : EIO;
  return false;
}

// Renders every element below the root named `tag`, in document order, from
// the tree where it stands: a match is rendered when the walk reaches it,
// and the walk goes on into it for the matches nested in it.
bool WriteMatches(const ZELBasXmlNode& root, const ZELString& tag, Output& out) {
  std::vector<std::pair<const ZELBasXmlNode*, const ZELBasXmlNode*>> pending;  // next child, end
  pending.emplace_back(root.Children().begin(), root.Children().end());
  while (!pending.empty()) {
    if (pending.back().first == pending.back().second) {
      pending.pop_back();
      continue;
    }
    const ZELBasXmlNode* node = pending.back().first++;
    if (node->GetTagName() == tag && node->SerializeTo(&WriteBytes, &out, ZELString()) != S_OK) return false;
    if (node->Children().size() != 0) pending.emplace_back(node->Children().begin(), node->Children().end());
  }
  return true;
}

// Opens the output, renders into it and closes it; the exit status. A file
// is replaced only when every write and the close succeeded.
int WriteOutput(const Options& options, const ZELBasXmlDocument& document) {
  Output out;
  errno = 0;
  if (options.output == "-") {
    out.name = "standard output";
    out.stream = stdout;
  } else {
    out.name = options.output;
    out.stream = ZELBasFileOps::Fopen(ZELString(options.output.c_str()), "w");
    if (out.stream == nullptr) return Fail(out.name, Reason(errno));
  }
  errno = 0;
  bool written = options.command == "format"
                     ? document.WriteTo(&WriteBytes, &out) == S_OK
                     : WriteMatches(document.GetRoot(), ZELString(options.tag.c_str()), out);
  errno = 0;
  bool closed = out.stream == stdout ? std::fflush(stdout) == 0 && !std::ferror(stdout)
                                     : ZELBasFileOps::Fclose(out.stream) == 0;
  if (!closed && written) out.error = errno != 0 ? errno : EIO;
  if (!written || !closed) return Fail(out.name, Reason(out.error));
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
  try {
    ZELBasXmlDocument document;
    status = ReadInput(options, document);
    if (status >= 0) return status;
    return WriteOutput(options, document);
  } catch (const std::bad_alloc&) {
    // An output file is left unclosed, and so never replaced.
    std::fprintf(stderr, "zelbasxml: out of memory\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelbasxml: %s\n", e.what());
    return 2;
  }
}
