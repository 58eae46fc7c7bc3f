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

// The unknown-encoding handler gets its own data and the declared name; its
// map decides the characters, and its exception reaches the caller.
struct Asked {
  std::string name;
  bool raise = false;
};

int Describe(void* data, const XML_Char* name, XML_Encoding* info) {
  Asked* asked = static_cast<Asked*>(data);
  asked->name = name;
  if (asked->raise) throw std::runtime_error(name);
  for (int byte = 0; byte < 256; ++byte) info->map[byte] = byte;
  info->map[0xA4] = 0x20AC;  // as ISO-8859-15 has it
  return XML_STATUS_OK;
}

std::string ParseDeclared(Asked& asked, const std::string& text) {
  Seen seen;
  XML_Parser parser = xmp_XML_ParserCreate(nullptr);
  xmp_XML_SetUserData(parser, &seen);
  xmp_XML_SetCharacterDataHandler(parser, &OnData);
  xmp_XML_SetUnknownEncodingHandler(parser, &Describe, &asked);
  std::string outcome;
  try {
    outcome = xmp_XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK
                  ? seen.events
                  : xmp_XML_ErrorString(xmp_XML_GetErrorCode(parser));
  } catch (const std::runtime_error& raised) {
    outcome = std::string("threw at ") + raised.what();
  }
  xmp_XML_ParserFree(parser);
  return outcome;
}

TEST(ParserTest, TheUnknownEncodingHandlerDescribesTheDeclaredEncoding) {
  const std::string text = "<?xml version='1.0' encoding='x-euro'?><a>\xA4</a>";
  Asked asked;
  EXPECT_EQ(ParseDeclared(asked, text), "\xE2\x82\xAC");
  EXPECT_EQ(asked.name, "x-euro");
  asked.raise = true;
  EXPECT_EQ(ParseDeclared(asked, text), "threw at x-euro");
}
