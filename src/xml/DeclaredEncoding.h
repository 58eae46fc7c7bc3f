// Expat's handler of an encoding it does not know itself: a declared
// encoding the system converts from (CodePage) is described to Expat as a
// map of the bytes that start a character, and a function that decodes
// those of more than one byte. The tree gets UTF-8 as from any other
// input.
#pragma once

#include <string>

#include "ZELBasXmlParser.h"

namespace zelbas_detail {

class DeclaredEncoding {
public:
  // The handler, with the DeclaredEncoding as its data. Refuses an
  // encoding the system does not have, or one not shaped as Expat needs (a
  // shift state, ASCII moved elsewhere); the parse then fails with
  // XML_ERROR_UNKNOWN_ENCODING.
  static int Describe(void* self, const XML_Char* name, XML_Encoding* info);

  // The encoding the handler was asked about; empty when none.
  const std::string& Asked() const { return asked; }

private:
  std::string asked;
};

}  // namespace zelbas_detail
