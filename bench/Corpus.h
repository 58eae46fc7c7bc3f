// The benchmark corpus: generated files, never committed.
#pragma once

#include <string>
#include <vector>

struct CorpusFile {
  std::string name;
  std::string path;
  size_t bytes;
};

// Writes the corpus files into `directory`; `scale` 1 gives the full sizes
// (about 50 MB for the largest), smaller values a quick run.
std::vector<CorpusFile> WriteCorpus(const std::string& directory, double scale);

// One shape at 1x, 4x and 16x size, to show that time per byte stays flat.
std::vector<CorpusFile> WriteScalingCorpus(const std::string& directory, double scale);
