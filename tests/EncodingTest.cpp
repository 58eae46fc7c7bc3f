// Declared encodings the parser lacks, converted by the system under
// ZELBasXmlAnyEncoding: the tree in UTF-8, whole and in chunks; an encoding
// the system lacks named as such; the default format as it was.
#include <gtest/gtest.h>

#include <string>

#include "DocumentReads.h"

namespace {

struct Sample {
  const char* encoding;
  const char* word;  // a name, in the encoding
  const char* text;
  const char* wordUtf8;
  const char* textUtf8;
};

// 0x5C, a backslash in ASCII, is a trail byte in the Shift_JIS and Big5
// samples.
const Sample kSamples[] = {
    {"windows-1252", "Caf\xE9", "\x80 \x93quoted\x94 \x9C\x99 \x96 \xDF", "Café", "€ “quoted” œ™ – ß"},
    {"ISO-8859-2", "\xB3\xF3\x64\xBC", "Za\xBF\xF3\xB3\xE6 g\xEA\xB6l\xB1 ja\xBC\xF1", "łódź",
     "Zażółć gęślą jaźń"},
    {"KOI8-R", "\xCB\xCE\xC9\xC7\xC1", "\xF3\xDF\xC5\xDB\xD8 \xD6\xC5 \xC5\xDD\xA3", "книга", "Съешь же ещё"},
    {"IBM866", "\xAA\xAD\xA8\xA3\xA0", "\x91\xEA\xA5\xE8\xEC \xA6\xA5 \xA5\xE9\xF1", "книга", "Съешь же ещё"},
    {"Shift_JIS", "\x8D\x80\x96\xDA", "\x83\x5C\x83t\x83g\x95\x5C\x8E\xA6 \xB6\xC0\xB6\xC5", "項目",
     "ソフト表示 ｶﾀｶﾅ"},
    {"EUC-JP", "\xB9\xE0\xCC\xDC",
     "\xA5\xBD\xA5\xD5\xA5\xC8\xC9\xBD\xBC\xA8 \x8E\xB6\x8E\xC0\x8E\xB6\x8E\xC5", "項目", "ソフト表示 ｶﾀｶﾅ"},
    {"GBK", "\xCF\xEE\xC4\xBF", "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4", "项目", "简体中文"},
    {"Big5", "\xB6\xB5\xA5\xD8", "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5 \xB3\x5C\xA5\x5C\xBB\x5C", "項目",
     "繁體中文 許功蓋"},
};

std::string Declared(const char* encoding, const std::string& body) {
  return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\n" + body;
}

// <W a="T">T &amp; T<W/></W>, with W and T as given.
std::string Element(const std::string& word, const std::string& text) {
  return "<" + word + " a=\"" + text + "\">" + text + " &amp; " + text + "<" + word + "/></" + word + ">";
}

std::string Error(const ZELBasXmlDocument& document) {
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) != S_OK) return "none";
  return message.CastToCharPtr();
}

}  // namespace

TEST(EncodingTest, EachDeclaredEncodingReadsAsUtf8WholeAndInChunks) {
  TempDir dir;
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.encoding);
    const std::string input = Declared(sample.encoding, Element(sample.word, sample.text));
    const std::string want = Element(sample.wordUtf8, sample.textUtf8) + "\n";
    ZELBasXmlDocument whole, chunked;
    whole.SetOptions(ZELBasXmlStandard);
    chunked.SetOptions(ZELBasXmlStandard);
    EXPECT_EQ(whole.ReadString(ZELString(std::string_view(input))), S_OK) << Error(whole);
    EXPECT_EQ(chunked.ReadFile(ZELString(dir.Write("in.xml", input).c_str())), S_OK) << Error(chunked);
    EXPECT_EQ(Body(whole), want);
    EXPECT_EQ(Body(chunked), want);
  }
}

// The parse goes on where a character of two bytes was cut by a chunk.
TEST(EncodingTest, CharactersOfSeveralBytesCrossTheChunks) {
  TempDir dir;
  std::string text, want;
  for (size_t i = 0; i < kChunk / 2 + 10; ++i) {
    text += "\x95\x5C";  // Shift_JIS
    want += "表";
  }
  // A prefix of odd length, so that the chunk boundary falls inside a character.
  const std::string prefix = Declared("Shift_JIS", "<a><b>x");
  const std::string lead = prefix.size() % 2 == 0 ? "xx" : "x";
  const std::string input = prefix + lead.substr(1) + text + "</b></a>";
  ASSERT_EQ(input.substr(kChunk - 1, 2), "\x95\x5C");
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlStandard);
  EXPECT_EQ(document.ReadFile(ZELString(dir.Write("in.xml", input).c_str())), S_OK) << Error(document);
  EXPECT_EQ(document.GetRoot().ChildAt(0).GetData(), lead + want);
}

TEST(EncodingTest, AnEncodingTheSystemLacksIsUnsupportedNotMalformed) {
  TempDir dir;
  // No such encoding; an EBCDIC one, which moves ASCII and so cannot be read
  // this way; one with shift states.
  for (const char* name : {"x-unknown", "IBM037", "ISO-2022-JP"}) {
    SCOPED_TRACE(name);
    const std::string input = Declared(name, "<a/>");
    const std::string want = std::string("unsupported encoding ") + name;
    ZELBasXmlDocument document;
    document.SetOptions(ZELBasXmlStandard);
    EXPECT_EQ(document.ReadString(ZELString(std::string_view(input))), E_FAIL);
    EXPECT_EQ(Error(document), want);
    EXPECT_EQ(document.ReadFile(ZELString(dir.Write("in.xml", input).c_str())), E_FAIL);
    EXPECT_EQ(Error(document), want);
    EXPECT_EQ(document.CheckFile(ZELString(dir.File("in.xml").c_str())), E_FAIL);
    EXPECT_EQ(Error(document), want);
  }
}

// Without the option the parser alone decides: its own encodings only, and
// its own message.
TEST(EncodingTest, TheDefaultFormatKeepsToTheParsersOwnEncodings) {
  const std::string input = Declared("windows-1252", "<a>caf\xE9</a>");
  for (unsigned long options : {0ul, ZELBasXmlStandard & ~ZELBasXmlAnyEncoding}) {
    ZELBasXmlDocument document;
    document.SetOptions(options);
    StderrCapture report;
    EXPECT_EQ(document.ReadString(ZELString(std::string_view(input))), E_FAIL);
    std::string written = report.Stop();
    EXPECT_EQ(Error(document), "unknown encoding");
    EXPECT_EQ(written, options == 0 ? "XML parse error: unknown encoding\n  Line: 1, Column: 30\n" : "");
  }
}

// A kept layout is for UTF-8: other input is read with whole texts and
// written in the well-formed layout, in UTF-8.
TEST(EncodingTest, AConvertedInputIsWrittenInTheWellFormedLayout) {
  const std::string input =
      Declared("KOI8-R", "<!-- note -->\n<a>\n  <b x='1'>\xCB\xCE\xC9\xC7\xC1</b>\n</a>\n");
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlStandard | ZELBasXmlKeepLayout);
  EXPECT_EQ(document.ReadString(ZELString(std::string_view(input))), S_OK) << Error(document);
  EXPECT_EQ(Body(document), "<a>\n    <b x=\"1\">книга</b>\n</a>\n");
}
