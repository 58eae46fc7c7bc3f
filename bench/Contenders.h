// The readers and writers the benchmark compares, each used as its own
// users use it, behind one table of plain functions per contender.
#pragma once

#include <cstddef>
#include <string>

// What a reader may need beside the file's name: its whole text, made before
// any read is timed, for the contenders that read text held in memory.
struct Input {
  std::string path;
  std::string text;
  void* prepared = nullptr;  // the reader's own form of `text`, if it has one
};

struct Reader {
  const char* name;
  bool wantsText;  // reads `Input::text` rather than the file
  // Makes `Input::prepared` from `Input::text` (untimed); may be null.
  void (*prepare)(Input& input);
  // One read, timed: the document (or a non-null token for raw Expat), null
  // when the read failed.
  void* (*read)(const Input& input);
  // Elements in what `read` gave (untimed).
  size_t (*count)(void* document, const Input& input);
  // Frees what `read` gave (untimed).
  void (*release)(void* document);
  void (*unprepare)(Input& input);
};

struct Writer {
  const char* name;
  void* (*load)(const std::string& path);  // the document to write, or null
  void* (*write)(void* document);          // one rendering, timed
  std::string (*text)(void* output);       // the rendered text (untimed)
  void (*release)(void* output);
  void (*unload)(void* document);
};

const Reader* FindReader(const std::string& name);
const Writer* FindWriter(const std::string& name);

// The peers' readers and writers (Peers.cpp), null for a name not theirs.
const Reader* FindPeerReader(const std::string& name);
const Writer* FindPeerWriter(const std::string& name);

// Elements in an XML text, counted by Expat; 0 when it is not well-formed.
size_t CountElements(const char* text, size_t size);
