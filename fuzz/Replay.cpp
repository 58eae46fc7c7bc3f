// Replays fuzz inputs without libFuzzer: each argument is a file, or a folder
// whose files (names starting with '.' skipped) are run in name order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    size_t first = files.size();
    if (fs::is_directory(argv[i], error)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(argv[i])) files.push_back(entry.path());
    } else {
      files.emplace_back(argv[i]);
    }
    std::sort(files.begin() + static_cast<long>(first), files.end());
  }
  size_t runs = 0;
  for (const fs::path& file : files) {
    if (file.filename().string()[0] == '.') continue;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "replay: cannot read %s\n", file.string().c_str());
      return 2;
    }
    // A copy of exactly the input's size, so that ASan sees any read past it.
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
    ++runs;
  }
  std::printf("replayed %zu inputs\n", runs);
  return 0;
}
