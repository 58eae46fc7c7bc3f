// Collects what is written to the standard error stream (descriptor 2) while
// it is on: the parse error reports, from C stdio as well as C++ streams.
#pragma once

#include <cstdio>
#include <string>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

class StderrCapture {
public:
  // Points descriptor 2 at an unnamed temporary file.
  StderrCapture() : file(std::tmpfile()) {
    std::fflush(stderr);
    if (file != nullptr) {
      saved = dup(2);
      dup2(fileno(file), 2);
    }
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  ~StderrCapture() { Stop(); }

  // Puts descriptor 2 back and gives what was written meanwhile.
  std::string Stop() {
    std::string text;
    if (file == nullptr) return text;
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::rewind(file);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) != 0;) text.append(buffer, n);
    std::fclose(file);
    file = nullptr;
    return text;
  }

private:
  std::FILE* file;
  int saved = -1;
};
