// The unknown-encoding handler: what each byte starts, found by asking the
// code page, and the decoding of the characters of several bytes.
#include "DeclaredEncoding.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "CodePage.h"

namespace zelbas_detail {

namespace {

// The ASCII characters Expat lets an encoding put elsewhere, which some
// tables of the C library do (Shift_JIS has a yen sign for the backslash,
// an overline for the tilde): read as ASCII, as the programs writing such
// documents and Windows' tables mean them.
const std::string_view kAsciiMeant = "$@\\^`{}~";

// What Expat's decoding function needs for the parse: the code page, how
// long each lead byte's characters are, and the two-byte characters met
// so far (Expat asks about each one more than once, and iconv is slow).
struct Converter {
  CodePage page;
  unsigned char lengths[256] = {};
  std::vector<int32_t> pairs;  // by the two bytes: 0 not yet decoded, else the result + 2
};

// The length of the characters `lead` starts, which decodes as the start
// of a longer character: the shortest sequence with some trail bytes that
// decodes, or 0 for none within the 4 bytes Expat takes.
int SequenceLength(const CodePage& page, unsigned char lead) {
  unsigned char bytes[4] = {lead};
  for (size_t length = 2; length <= 4; ++length) {
    int longer = -1;  // a trail byte after which a character goes on
    for (int trail = 0x21; trail <= 0xFE; ++trail) {
      bytes[length - 1] = static_cast<unsigned char>(trail);
      long decoded = page.Decode(bytes, length);
      if (decoded >= 0) return static_cast<int>(length);
      if (decoded == CodePage::kIncomplete && longer < 0) longer = trail;
    }
    if (longer < 0) return 0;
    bytes[length - 1] = static_cast<unsigned char>(longer);
  }
  return 0;
}

int XMLCALL Convert(void* data, const char* bytes) {
  Converter* converter = static_cast<Converter*>(data);
  const unsigned char* sequence = reinterpret_cast<const unsigned char*>(bytes);
  const size_t length = converter->lengths[sequence[0]];
  int32_t* known = length == 2 ? &converter->pairs[size_t{sequence[0]} << 8 | sequence[1]] : nullptr;
  if (known != nullptr && *known != 0) return *known - 2;
  long decoded = converter->page.Decode(sequence, length);
  // Expat takes no character beyond the Basic Multilingual Plane this way.
  int result = decoded >= 0 && decoded <= 0xFFFF ? static_cast<int>(decoded) : -1;
  if (known != nullptr) *known = result + 2;
  return result;
}

void XMLCALL Release(void* data) { delete static_cast<Converter*>(data); }

}  // namespace

int DeclaredEncoding::Describe(void* self, const XML_Char* name, XML_Encoding* info) {
  static_cast<DeclaredEncoding*>(self)->asked = name;
  std::unique_ptr<Converter> converter(new Converter);
  if (!converter->page.Open(name)) return XML_STATUS_ERROR;
  bool multiByte = false;
  for (int byte = 0; byte < 256; ++byte) {
    const unsigned char single = static_cast<unsigned char>(byte);
    long decoded = converter->page.Decode(&single, 1);
    // Below 0x80 only a shift sequence starts a longer character: a state
    // the map cannot describe.
    if (decoded == CodePage::kIncomplete && byte < 0x80) return XML_STATUS_ERROR;
    if (decoded == CodePage::kIncomplete) {
      int length = SequenceLength(converter->page, single);
      converter->lengths[byte] = static_cast<unsigned char>(length);
      multiByte = multiByte || length != 0;
      info->map[byte] = length != 0 ? -length : -1;
    } else if (byte < 0x80 && decoded >= 0 &&
               kAsciiMeant.find(static_cast<char>(byte)) != std::string_view::npos) {
      info->map[byte] = byte;
    } else {
      info->map[byte] = decoded >= 0 && decoded <= 0xFFFF ? static_cast<int>(decoded) : -1;
    }
  }
  if (!multiByte) return XML_STATUS_OK;  // the map says it all
  converter->pairs.resize(size_t{1} << 16);
  info->data = converter.release();
  info->convert = &Convert;
  info->release = &Release;
  return XML_STATUS_OK;
}

}  // namespace zelbas_detail
