// A fresh directory per test, removed with its content afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
public:
  TempDir() {
    std::string pattern = ::testing::TempDir() + "zelbas-XXXXXX";
#if defined(_WIN32)
    bool made = _mktemp_s(&pattern[0], pattern.size() + 1) == 0 && std::filesystem::create_directory(pattern);
#else
    bool made = mkdtemp(&pattern[0]) != nullptr;
#endif
    path = made ? pattern : std::string();
    EXPECT_FALSE(path.empty());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }

  std::string File(const std::string& name) const { return path + "/" + name; }

  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(std::filesystem::u8path(File(name)), std::ios::binary) << bytes;
    return File(name);
  }

  static std::string Read(const std::string& file) {
    std::ifstream in(std::filesystem::u8path(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string path;
};
