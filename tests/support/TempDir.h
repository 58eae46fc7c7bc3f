// A fresh directory per test, private to this user, removed with its content
// afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

struct TempDir {
  TempDir() : path(::testing::TempDir() + "zelbas-XXXXXX") {
#if defined(_WIN32)
    EXPECT_TRUE(_mktemp_s(&path[0], path.size() + 1) == 0 && std::filesystem::create_directory(path)) << path;
#else
    EXPECT_NE(mkdtemp(&path[0]), nullptr) << path;
#endif
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
