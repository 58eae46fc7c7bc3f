// The command line of zelbasxml: getopt_long, then what each command allows.
#include "Arguments.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "Path.h"
#include "Report.h"
#include "ZELBasXmlParser.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <shellapi.h>
#endif

namespace zelbasxml_detail {

namespace {

enum CommandBit { kFormat = 1, kFind = 2, kCheck = 4, kEdit = 8, kAll = 15 };
// getopt's codes of the long options with no short form.
enum LongOnly { kVersion = 256, kChunked, kXml, kText, kKeep, kWrap };

// The options that only switch something on, and the commands that take
// them (no name: every command).
struct Flag {
  bool Options::*field;
  const char* name;
  int code;
  int commands;
};
const Flag kFlags[] = {{&Options::chunked, "--chunked", kChunked, kAll},
                       {&Options::xml, "--xml", kXml, kFormat | kFind},
                       {&Options::text, "--text", kText, kFind},
                       {&Options::null, "--null", '0', kFind},
                       {&Options::keep, "--keep", kKeep, kFormat},
                       {&Options::inPlace, "-L", 'L', kEdit},
                       {&Options::quiet, nullptr, 'q', kAll}};

int CommandBitOf(const std::string& command) {
  if (command == "format") return kFormat;
  if (command == "find") return kFind;
  if (command == "check") return kCheck;
  if (command == "edit") return kEdit;
  return 0;
}

std::string CommandsNamed(int bits) {
  std::vector<std::string> names;
  for (auto [bit, name] :
       {std::pair{kFormat, "format"}, {kFind, "find"}, {kCheck, "check"}, {kEdit, "edit"}}) {
    if ((bits & bit) != 0) names.emplace_back(name);
  }
  std::string text = names.front();
  for (size_t i = 1; i < names.size(); ++i) text += (i + 1 == names.size() ? " and " : ", ") + names[i];
  return text;
}

// An option given, and the commands that take it.
struct Given {
  std::string option;
  int commands;
};

// Adds one edit flag to the operations; a usage problem or empty.
std::string TakeEditFlag(int flag, const char* argument, std::vector<Operation>& operations) {
  if (std::strchr("udsr", flag) != nullptr) {
    Operation operation;
    operation.kind = static_cast<char>(flag);
    operation.path = argument;
    operations.push_back(operation);
    return "";
  }
  const std::string option = std::string("-") + static_cast<char>(flag);
  if (operations.empty()) return option + " must follow -u, -d, -s or -r";
  Operation& last = operations.back();
  bool taken = flag == 't' ? !last.type.empty() : flag == 'n' ? !last.name.empty() : last.value.has_value();
  if (taken) return option + " given twice for one operation";
  if (flag == 't') last.type = argument;
  if (flag == 'n') last.name = argument;
  if (flag == 'v') last.value = argument;
  return "";
}

// Parses a PATH; a usage problem or empty.
std::string TakePath(const std::string& text, Path& path) {
  std::string problem = ParsePath(text, path);
  return problem.empty() ? problem : "bad PATH: " + problem;
}

std::string NotAName(const std::string& which, const std::string& name) {
  return which + ": '" + name + "' is not an XML name";
}

// Whether each operation has the flags it needs, and parses its PATH; a
// usage problem or empty.
std::string CheckOperations(std::vector<Operation>& operations) {
  if (operations.empty()) return "edit needs an operation: -u, -d, -s or -r";
  for (Operation& operation : operations) {
    std::string problem = TakePath(operation.path, operation.parsed);
    if (!problem.empty()) return problem;
    const std::string which = std::string("-") + operation.kind + " " + operation.path;
    bool needsValue = operation.kind == 'u' || operation.kind == 'r';
    bool subnode = operation.kind == 's';
    if (needsValue && !operation.value) return which + " needs -v";
    if (subnode && operation.type != "elem" && operation.type != "attr")
      return which + " needs -t elem or -t attr";
    if (subnode && operation.name.empty()) return which + " needs -n NAME";
    if (!subnode && (!operation.type.empty() || !operation.name.empty()))
      return which + ": -t and -n are for -s";
    if (operation.kind == 'd' && operation.value) return which + ": -v is not for -d";
    if (subnode && operation.parsed.SelectsAttributes())
      return which + ": -s adds to elements, not attributes";
    if (!subnode && operation.kind != 'r') continue;
    const std::string& name = subnode ? operation.name : *operation.value;
    if (!IsXmlName(name)) return NotAName(which, name);
  }
  return "";
}

// What the operands and options say together; a usage problem or empty.
std::string CheckCombination(Options& options, const std::vector<Given>& given) {
  const int command = CommandBitOf(options.command);
  for (const Given& option : given) {
    if ((option.commands & command) == 0) return option.option + " is for " + CommandsNamed(option.commands);
  }
  std::string problem = command == kEdit   ? CheckOperations(options.operations)
                        : command == kFind ? TakePath(options.path, options.parsed)
                                           : "";
  if (!problem.empty()) return problem;
  bool attributes = command == kFind && options.parsed.SelectsAttributes();
  if (attributes && (options.xml || !options.wrap.empty()))
    return "--xml and --wrap write elements, not attributes";
  if (options.xml && options.text) return "--xml and --text exclude each other";
  if (options.xml && options.keep) return "--xml and --keep exclude each other";
  if (!options.wrap.empty() && options.text) return "--wrap and --text exclude each other";
  if (options.null && !options.text && !attributes) return "--null is for --text and attributes";
  if (options.inPlace && options.output != "-") return "-L and -o exclude each other";
  if (options.inPlace && options.Input() == "-") return "-L needs an INPUT file";
  return "";
}

// The operands after the command: find's PATH, then the input (several
// for check).
std::optional<int> TakeOperands(std::vector<std::string> positional, Options& options) {
  if (positional.empty()) return Usage("no command given");
  options.command = positional[0];
  if (CommandBitOf(options.command) == 0) return Usage("unknown command " + options.command);
  size_t next = 1;
  if (options.command == "find") {
    if (positional.size() < 2) return Usage("find needs a PATH");
    options.path = positional[next++];
  }
  if (next < positional.size())
    options.inputs.assign(positional.begin() + static_cast<long>(next), positional.end());
  if (options.inputs.size() > 1 && options.command != "check") {
    return Usage("unexpected argument " + options.inputs[1]);
  }
  return std::nullopt;
}

// One option of those that take an argument or end the command: taken
// into `options`; an exit status when the command ends here.
std::optional<int> TakeOption(int c, const std::string& option, Options& options, std::vector<Given>& given) {
  switch (c) {
    case 'h':
      std::fputs(kUsage, stdout);
      return 0;
    case kVersion:
      std::printf("zelbasxml %s\nrunning on %s\n", ZELBAS_VERSION, xmp_XML_ExpatVersion());
      return 0;
    case kWrap:
      if (!IsXmlName(optarg)) return Usage("--wrap needs an element name, not '" + std::string(optarg) + "'");
      options.wrap = optarg;
      given.push_back({"--wrap", kFind});
      return std::nullopt;
    case 'o':
      if (*optarg == '\0') return Usage("option -o needs a file name");
      options.output = optarg;
      given.push_back({"-o", kFormat | kFind | kEdit});
      return std::nullopt;
    case 'u':
    case 'd':
    case 's':
    case 'r':
    case 't':
    case 'n':
    case 'v': {
      std::string problem = TakeEditFlag(c, optarg, options.operations);
      if (!problem.empty()) return Usage(problem);
      given.push_back({std::string("-") + static_cast<char>(c), kEdit});
      return std::nullopt;
    }
    case ':':
      return Usage("option " + option + " needs " + (option == "-o" ? "a file name" : "an argument"));
    default:
      return Usage("unknown option " +
                   (optopt > 0 && optopt < 256 ? std::string("-") + static_cast<char>(optopt) : option));
  }
}

}  // namespace

std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
  const option longOptions[] = {{"chunked", no_argument, nullptr, kChunked},
                                {"output", required_argument, nullptr, 'o'},
                                {"quiet", no_argument, nullptr, 'q'},
                                {"help", no_argument, nullptr, 'h'},
                                {"version", no_argument, nullptr, kVersion},
                                {"xml", no_argument, nullptr, kXml},
                                {"text", no_argument, nullptr, kText},
                                {"null", no_argument, nullptr, '0'},
                                {"wrap", required_argument, nullptr, kWrap},
                                {"keep", no_argument, nullptr, kKeep},
                                {nullptr, 0, nullptr, 0}};
  std::vector<Given> given;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, ":o:qh0Lu:d:s:r:t:n:v:", longOptions, nullptr)) != -1;) {
    const Flag* flag =
        std::find_if(std::begin(kFlags), std::end(kFlags), [c](const Flag& f) { return f.code == c; });
    if (flag != std::end(kFlags)) {
      options.*(flag->field) = true;
      if (flag->name != nullptr) given.push_back({flag->name, flag->commands});
    } else if (std::optional<int> status = TakeOption(c, argv[optind - 1], options, given)) {
      return status;
    }
  }
  if (std::optional<int> status = TakeOperands({argv + optind, argv + argc}, options)) return status;
  std::string problem = CheckCombination(options, given);
  if (!problem.empty()) return Usage(problem);
  return std::nullopt;
}

#if defined(_WIN32)
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
