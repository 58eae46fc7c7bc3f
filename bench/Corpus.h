// The benchmark corpus: generated files, never committed.
#pragma once

#include <string>
#include <vector>

struct CorpusFile {
  std::string name;
  std::string path;
  size_t bytes;
};

// Writes the corpus files into `directory`; `scale` 1 gives 10 MB a file
// (12 MB for the balanced tree), smaller values a quick run.
std::vector<CorpusFile> WriteCorpus(const std::string& directory, double scale);
