#!/usr/bin/env python3
"""Declared encodings Expat lacks, read by `zelbasxml format --xml` and `check`.

    encodings_test.py ZELBASXML SOURCE_DIR

Every XML file under tests/ and examples/, and a document generated for each
single-byte encoding of a list (every byte the encoding defines, in a text,
an attribute value and a name), that declares an encoding the C library's
iconv knows must read, whole and with --chunked, to the tree Python's Expat
(the parser under xml.etree, with Python's codecs) gives for it; `check`
must find it well-formed. Documents in multi-byte encodings must read as
the same text in UTF-8. An encoding iconv does not know, or one Expat cannot
take (a shift state, ASCII moved), must give "unsupported encoding NAME"
and exit 1.
"""
import ctypes
import os
import re
import subprocess
import sys
import tempfile
import xml.parsers.expat

from expat_tree import tree, xml_files

# Expat's own: never handed to iconv.
NATIVE = {"utf-8", "utf-16", "utf-16le", "utf-16be", "iso-8859-1", "us-ascii"}

SINGLE_BYTE = ["windows-1250", "windows-1251", "windows-1252", "windows-1253", "windows-1254",
               "windows-1255", "windows-1256", "windows-1257", "windows-1258", "ISO-8859-2",
               "ISO-8859-3", "ISO-8859-4", "ISO-8859-5", "ISO-8859-6", "ISO-8859-7", "ISO-8859-8",
               "ISO-8859-9", "ISO-8859-10", "ISO-8859-13", "ISO-8859-14", "ISO-8859-15", "ISO-8859-16",
               "KOI8-R", "KOI8-U", "IBM866", "IBM437", "IBM850", "IBM852", "IBM855", "IBM857", "IBM862",
               "macintosh", "TIS-620", "CP1125", "PT154", "KZ-1048"]

MULTI_BYTE = {"Shift_JIS": "ソフト表示 ｶﾀｶﾅ 漢字\\", "EUC-JP": "ソフト表示 ｶﾀｶﾅ 漢字 丂", "GBK": "简体中文 繁體",
              "Big5": "繁體中文 許功蓋", "EUC-KR": "한국어 텍스트", "GB18030": "简体中文"}

UNSUPPORTED = ["x-unknown", "ISO-2022-JP", "IBM037", "UTF-7"]

# Bytes the C library's table and Python's read as different characters,
# left out of the generated documents.
DIFFERENT_TABLES = {"macintosh": b"\xc6\xf0"}  # increment or Delta; the Apple logo

libc = ctypes.CDLL(None)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv_close.argtypes = [ctypes.c_void_p]


def iconv_knows(name):
    handle = libc.iconv_open(b"UTF-32LE", name.encode())
    if handle is None or handle == ctypes.c_void_p(-1).value:
        return False
    libc.iconv_close(handle)
    return True


def declared(data):
    """The encoding the XML declaration names, or None."""
    found = re.match(rb"<\?xml[^>]*?encoding\s*=\s*[\"']([A-Za-z][A-Za-z0-9._-]*)[\"']", data)
    return found.group(1).decode() if found else None


def name_characters(characters):
    """Those of `characters` that Python's Expat takes in a name."""
    taken = []
    for c in characters:
        try:
            xml.parsers.expat.ParserCreate().Parse(("<a%s/>" % c).encode(), True)
            taken.append(c)
        except xml.parsers.expat.ExpatError:
            pass
    return "".join(taken)


def sample(encoding):
    """A document holding every character `encoding` has above ASCII."""
    characters = []
    for byte in range(0x80, 0x100):
        if bytes([byte]) in DIFFERENT_TABLES.get(encoding, b""):
            continue
        try:
            c = bytes([byte]).decode(encoding)
        except UnicodeDecodeError:
            continue
        if ord(c) >= 0x20 and not 0x7F <= ord(c) <= 0x9F and c not in "<&\"":
            characters.append(c)
    text = "".join(characters)
    name = "e" + name_characters(text)[:8]
    document = '<?xml version="1.0" encoding="%s"?>\n<%s a="%s">x%s<b>%s</b></%s>' % (
        encoding, name, text, text, text[::-1], name)
    return document.encode(encoding)


def main():
    binary, source = sys.argv[1], sys.argv[2]
    failures = []
    checked = 0

    def run(*arguments):
        return subprocess.run([binary, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, check=False, timeout=120)

    def expect_tree(label, path, want):
        for how in (["format", "--xml"], ["format", "--xml", "--chunked"]):
            result = run(*how, path)
            if result.returncode != 0:
                failures.append("%s, %s: exit %d: %s" % (label, " ".join(how), result.returncode,
                                                         result.stderr.decode(errors="replace").strip()))
            elif tree(result.stdout) != want:
                failures.append("%s, %s: not the tree Python reads" % (label, " ".join(how)))
        result = run("check", path)
        if result.returncode != 0:
            failures.append("%s, check: exit %d" % (label, result.returncode))

    def expect_unsupported(label, path, encoding):
        want = "zelbasxml: %s: unsupported encoding %s" % (path, encoding)
        for how in (["format", "--xml"], ["format", "--xml", "--chunked"], ["check"]):
            result = run(*how, path)
            said = result.stderr.decode(errors="replace").splitlines()
            if result.returncode != 1 or want not in said:
                failures.append("%s, %s: exit %d, %s; want exit 1, %s" % (
                    label, " ".join(how), result.returncode, said, want))

    with tempfile.TemporaryDirectory() as work:
        cases = xml_files(source)
        for number, encoding in enumerate(SINGLE_BYTE + UNSUPPORTED):
            try:
                data = sample(encoding)
            except LookupError:  # a name Python lacks: the document in ASCII
                data = ('<?xml version="1.0" encoding="%s"?>\n<a>x</a>' % encoding).encode()
            path = os.path.join(work, "single-%d.xml" % number)
            with open(path, "wb") as f:
                f.write(data)
            cases.append(("generated " + encoding, path, data))

        for label, path, data in cases:
            encoding = declared(data)
            if encoding is None or encoding.lower() in NATIVE:
                continue
            checked += 1
            if not iconv_knows(encoding) or encoding in UNSUPPORTED:
                expect_unsupported(label, path, encoding)
                continue
            try:
                want = tree(data)
            except (xml.parsers.expat.ExpatError, LookupError) as error:
                failures.append("%s: Python cannot read it (%s)" % (label, error))
                continue
            expect_tree(label, path, want)

        for number, (encoding, text) in enumerate(MULTI_BYTE.items()):
            checked += 1
            document = '<?xml version="1.0" encoding="%s"?>\n<r a="%s">%s<b>%s</b></r>'
            data = (document % (encoding, text, text, text[::-1])).encode(encoding)
            path = os.path.join(work, "multi-%d.xml" % number)
            with open(path, "wb") as f:
                f.write(data)
            expect_tree("generated " + encoding, path, tree((document % ("UTF-8", text, text, text[::-1])).encode()))

    for failure in failures:
        print("FAIL: " + failure)
    print("%d documents, %d failures" % (checked, len(failures)))
    return 1 if failures or checked < len(SINGLE_BYTE) else 0


if __name__ == "__main__":
    sys.exit(main())
