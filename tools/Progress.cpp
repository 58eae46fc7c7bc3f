// The progress line of zelbasxml: its thread, its steps and its drawing.
#include "Progress.h"

#include <cstdio>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zelbasxml_detail {

Progress::Progress(bool quiet) : quiet(quiet) {}

Progress::~Progress() { Stop(); }

void Progress::Start(long long inputSize) {
#ifdef _WIN32
  bool terminal = _isatty(_fileno(stderr)) != 0;
#else
  bool terminal = isatty(fileno(stderr)) != 0;
#endif
  if (quiet || !terminal || inputSize <= (64LL << 20) || thread.joinable()) return;
  total = inputSize;
  since = Clock::now();
  try {
    thread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread, no progress line: the run goes on.
  }
}

void Progress::Read(long long count) { done.store(count, std::memory_order_relaxed); }

void Progress::Parse() { Enter(kParsing); }

void Progress::Write(long long count) {
  if (entered != kWriting) Enter(kWriting);
  done.store(count, std::memory_order_relaxed);
}

void Progress::Writing() { Enter(kWriting, -1); }

void Progress::Enter(Step next, long long count) {
  entered = next;
  std::lock_guard<std::mutex> lock(mutex);
  step = next;
  since = Clock::now();
  done.store(count, std::memory_order_relaxed);
  // Drawn here, so that every step shows, however short.
  if (thread.joinable()) Draw();
}

void Progress::Say(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex);
  int length = static_cast<int>(line.size());
  std::fprintf(stderr, "%s%*s\n", line.c_str(), width > length ? width - length : 0, "");
  width = 0;
}

void Progress::Stop() {
  if (!thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_one();
  thread.join();
  if (width > 0) std::fprintf(stderr, "%*s\r", width, "");
  width = 0;
}

void Progress::Run() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    Draw();
    wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping; });
  }
}

// Under the lock.
void Progress::Draw() {
  double seconds = std::chrono::duration<double>(Clock::now() - since).count();
  long long count = done.load(std::memory_order_relaxed);
  double rate = seconds > 0 && count > 0 ? static_cast<double>(count) / 1e6 / seconds : 0.0;
  char line[96];
  int length;
  if (step == kWriting && count < 0) {
    length = std::snprintf(line, sizeof line, "zelbasxml: writing, %.0f s", seconds);
  } else if (step == kWriting) {
    length = std::snprintf(line, sizeof line, "zelbasxml: %.0f MB written, %.0f MB/s",
                           static_cast<double>(count) / 1e6, rate);
  } else if (step == kParsing || count < 0) {
    length = std::snprintf(line, sizeof line, "zelbasxml: parsing, %.0f s", seconds);
  } else {
    length = std::snprintf(line, sizeof line, "zelbasxml: %lld%% read, %.0f MB/s", count * 100 / total, rate);
  }
  // Padded over what the line held before; the cursor goes back to its start.
  std::fprintf(stderr, "\r%s%*s\r", line, width > length ? width - length : 0, "");
  if (length > width) width = length;
}

}  // namespace zelbasxml_detail
