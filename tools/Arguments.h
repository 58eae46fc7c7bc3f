// The command line of zelbasxml: the command, its operands and options.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Path.h"

namespace zelbasxml_detail {

// One operation of edit, as its flags gave it.
struct Operation {
  char kind = 0;  // 'u' update, 'd' delete, 's' subnode, 'r' rename
  std::string path;
  Path parsed;
  std::string type;                  // -t: "elem" or "attr"
  std::string name;                  // -n
  std::optional<std::string> value;  // -v
};

struct Options {
  std::string command;
  std::string path;                      // find: what to look for
  Path parsed;                           // find: the PATH parsed
  std::vector<std::string> inputs{"-"};  // check takes several
  std::string output = "-";
  bool chunked = false;
  bool quiet = false;
  bool xml = false;                   // whole texts in, the well-formed layout out
  bool text = false;                  // find: the whole texts of the matches
  bool null = false;                  // find: each text ends with a NUL
  bool keep = false;                  // format: the input's own layout
  bool inPlace = false;               // edit: replace the input file
  std::string wrap;                   // find: the element the matches go in
  std::vector<Operation> operations;  // edit, in order

  const std::string& Input() const { return inputs.front(); }
};

// The help text.
extern const char kUsage[];

// Parses the arguments into `options`: nothing to go on, else the exit
// status (after --help, --version or a usage error).
std::optional<int> ParseArguments(int argc, char** argv, Options& options);

#if defined(_WIN32)
// The arguments in UTF-8, the encoding of file names everywhere else.
std::vector<std::string> Utf8Arguments();
#endif

}  // namespace zelbasxml_detail
