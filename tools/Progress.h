// The progress line of zelbasxml: what a long run is doing, on a terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace zelbasxml_detail {

// A line on standard error through the whole run over an input of more than
// 64 MiB, when standard error is a terminal: the share of the input read and
// the rate, then the time spent parsing, then the bytes written and the rate
// (or, for a file the library writes, the time spent writing).
// It is drawn on each change of step, and redrawn by a thread of its own four
// times a second, and leaves the cursor at its start, so that
// a report written meanwhile overwrites it. Cleared at the end.
class Progress {
public:
  explicit Progress(bool quiet);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress();

  // Shows the line from now on if the input is large enough and standard
  // error a terminal; -1 for an input of unknown size.
  void Start(long long inputSize);
  // Bytes of the input read so far by the tool itself.
  void Read(long long done);
  // The whole input is read; the library parses it.
  void Parse();
  // Bytes written so far.
  void Write(long long done);
  // Writing, by the library, in a way that does not count the bytes.
  void Writing();
  // Writes `line` and a line feed on standard error, in place of the
  // progress line, which comes back below it.
  void Say(const std::string& line);
  // Clears the line, for good.
  void Stop();

private:
  enum Step { kReading, kParsing, kWriting };
  typedef std::chrono::steady_clock Clock;

  // The step `next` from now on, `count` bytes done (-1: not counted).
  void Enter(Step next, long long count = 0);
  void Run();
  void Draw();

  bool quiet;
  long long total = -1;
  Step entered = kReading;  // the step as the calling thread last set it
  std::atomic<long long> done{0};
  std::mutex mutex;  // guards what follows
  std::condition_variable wake;
  Step step = kReading;
  bool stopping = false;
  Clock::time_point since = Clock::now();
  int width = 0;
  std::thread thread;
};

}  // namespace zelbasxml_detail
