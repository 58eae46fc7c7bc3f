// Replays fuzz inputs without libFuzzer: each argument is a file, or a folder
// whose files are run (each input on its own, so the order does not matter).
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
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files(1, argv[i]);
    if (fs::is_directory(files[0])) files.assign(fs::directory_iterator(argv[i]), fs::directory_iterator());
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      if (!in) return std::fprintf(stderr, "replay: cannot read %s\n", file.string().c_str()), 2;
      // A copy of exactly the input's size, so that ASan sees any read past it.
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
      ++runs;
    }
  }
  std::printf("replayed %zu inputs\n", runs);
  return 0;
}
