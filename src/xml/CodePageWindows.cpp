// The code page through Windows' own tables: the encoding names XML
// documents use, mapped to Windows code page numbers.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "CodePage.h"

namespace zelbas_detail {

namespace {

const UINT kEucJp = 20932;

struct Named {
  const char* name;
  UINT codePage;
};

// ISO-8859-1 and the Unicode forms are the parser's own.
const Named kCodePages[] = {
    {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1252", 1252}, {"windows-1253", 1253},
    {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1257", 1257},
    {"windows-1258", 1258}, {"cp1250", 1250},       {"cp1251", 1251},       {"cp1252", 1252},
    {"cp1253", 1253},       {"cp1254", 1254},       {"cp1255", 1255},       {"cp1256", 1256},
    {"cp1257", 1257},       {"cp1258", 1258},       {"iso-8859-2", 28592},  {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},  {"iso-8859-5", 28595},  {"iso-8859-6", 28596},  {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},  {"iso-8859-9", 28599},  {"iso-8859-13", 28603}, {"iso-8859-15", 28605},
    {"latin2", 28592},      {"koi8-r", 20866},      {"koi8-u", 21866},      {"ibm866", 866},
    {"cp866", 866},         {"ibm437", 437},        {"cp437", 437},         {"ibm850", 850},
    {"cp850", 850},         {"ibm852", 852},        {"cp852", 852},         {"ibm855", 855},
    {"cp855", 855},         {"ibm857", 857},        {"cp857", 857},         {"ibm862", 862},
    {"cp862", 862},         {"macintosh", 10000},   {"windows-874", 874},   {"tis-620", 874},
    {"shift_jis", 932},     {"sjis", 932},          {"windows-31j", 932},   {"cp932", 932},
    {"euc-jp", kEucJp},     {"gbk", 936},           {"gb2312", 936},        {"cp936", 936},
    {"big5", 950},          {"cp950", 950},         {"euc-kr", 949},        {"cp949", 949},
};

UINT CodePageOf(const void* handle) { return static_cast<UINT>(reinterpret_cast<uintptr_t>(handle)); }

}  // namespace

CodePage::~CodePage() {}

bool CodePage::Open(const char* name) {
  for (const Named& named : kCodePages) {
    if (_stricmp(name, named.name) != 0 || !IsValidCodePage(named.codePage)) continue;
    handle = reinterpret_cast<void*>(static_cast<uintptr_t>(named.codePage));
    return true;
  }
  return false;
}

long CodePage::Decode(const unsigned char* bytes, size_t length) const noexcept {
  UINT codePage = CodePageOf(handle);
  // EUC-JP's three-byte characters (JIS X 0212) start with 0x8F, which
  // Windows' table takes for a character of its own: refused, not misread.
  if (codePage == kEucJp && bytes[0] == 0x8F) return kInvalid;
  wchar_t wide[3];
  int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                  static_cast<int>(length), wide, 3);
  if (count == 1 && (wide[0] < 0xD800 || wide[0] > 0xDFFF)) return wide[0];
  if (count == 2 && wide[0] >= 0xD800 && wide[0] <= 0xDBFF && wide[1] >= 0xDC00 && wide[1] <= 0xDFFF) {
    return 0x10000 + ((long{wide[0]} - 0xD800) << 10) + (long{wide[1]} - 0xDC00);
  }
  if (count == 0 && length == 1 && IsDBCSLeadByteEx(codePage, bytes[0])) return kIncomplete;
  return kInvalid;
}

}  // namespace zelbas_detail
