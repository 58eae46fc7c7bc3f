// The parser module's handler guard: a handler's exception stops the parse
// and reaches the caller of xmp_XML_Parse; Expat is left freeable.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ZELBasXmlParser.h"

struct Seen {
  std::string events;
  int throwAt = 0;  // the start tag, counted from 1, whose handler throws
  int starts = 0;
};

void OnStart(void* userData, const XML_Char* name, const XML_Char** /*atts*/) {
  Seen* seen = static_cast<Seen*>(userData);
  if (++seen->starts == seen->throwAt) throw std::runtime_error(name);
  seen->events += std::string("<") + name;
}
void OnEnd(void* userData, const XML_Char* name) {
  static_cast<Seen*>(userData)->events += std::string("/") + name;
}
void OnData(void* userData, const XML_Char* text, int length) {
  static_cast<Seen*>(userData)->events.append(text, static_cast<size_t>(length));
}

std::string Parse(Seen& seen, const std::string& text) {
  XML_Parser parser = xmp_XML_ParserCreate(nullptr);
  xmp_XML_SetUserData(parser, &seen);
  xmp_XML_SetElementHandler(parser, &OnStart, &OnEnd);
  xmp_XML_SetCharacterDataHandler(parser, &OnData);
  std::string outcome;
  try {
    outcome = xmp_XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK ? "ok"
                                                                                                    : "error";
  } catch (const std::runtime_error& raised) {
    outcome = std::string("threw at ") + raised.what();
  }
  xmp_XML_ParserFree(parser);
  return outcome;
}

TEST(ParserTest, HandlersGetTheCallersUserData) {
  Seen seen;
  EXPECT_EQ(Parse(seen, "<a>x<b/></a>"), "ok");
  EXPECT_EQ(seen.events, "<ax<b/b/a");
}

// Under the address sanitizer, a leak here is Expat's state left mid-call.
TEST(ParserTest, AHandlersExceptionStopsTheParseAndReachesTheCaller) {
  Seen seen;
  seen.throwAt = 2;
  EXPECT_EQ(Parse(seen, "<a>x<b>y</b><c/></a>"), "threw at b");
  EXPECT_EQ(seen.events, "<ax") << "no handler runs after the one that threw";
}
