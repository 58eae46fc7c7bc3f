// Reading the input of zelbasxml into a document.
#pragma once

#include <cstdio>
#include <string>

class ZELBasXmlDocument;

namespace zelbasxml_detail {

class Progress;

// How a read ended.
enum class ReadResult {
  kWellFormed,
  kMalformed,  // reported; in chunks, the tree holds what came before the error
  kFailed,     // unreadable or too large, reported: exit 2
};

// The size of a regular file, or -1.
long long FileSize(FILE* stream);

// Reads `input` (a file, or standard input for "-") into `document` with
// the library's `options` (ZELBasXmlOptions): in one piece, or with
// `chunked` in the library's chunks.
ReadResult ReadDocument(const std::string& input, bool chunked, unsigned long options,
                        ZELBasXmlDocument& document, Progress& progress);

// Checks that `input` is well-formed, in chunks, building no tree.
ReadResult CheckDocument(const std::string& input, ZELBasXmlDocument& document, Progress& progress);

}  // namespace zelbasxml_detail
