// A fresh directory per test, removed with its content afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
public:
  TempDir() {
    std::string pattern = ::testing::TempDir() + "zelbas-XXXXXX";
    path = mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
    EXPECT_FALSE(path.empty());
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }

  std::string File(const std::string& name) const { return path + "/" + name; }

  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }

  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string path;
};
