// What the benchmark's child processes share: the result line a run prints, and resident memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace bench {

// One timed run, printed by the child as one line starting with "RESULT " and read back by the parent.
struct RunResult {
  std::size_t documents = 0;  // documents attempted
  std::size_t released = 0;   // documents written completely
  double seconds = 0;         // time spent releasing (set-up and synthesis excluded)
  double cpuSeconds = 0;      // processor time of the process in the same span
  long rssAfterFirstTenthKb = 0;
  long rssEndKb = 0;
  long peakKb = 0;  // the process's resident high-water mark (VmHWM) at the end
  std::string failure;  // first failure, if any
};

void PrintResult(const RunResult& result);
bool ParseResult(const std::string& line, RunResult& result);

// Resident set size of this process now, and its high-water mark since it started (exec), in KiB; 0 when it
// cannot be read. The high-water mark, unlike getrusage's ru_maxrss of a child, does not include the memory of
// the parent the child was forked from.
long CurrentRssKb();
long PeakRssKb();

using Clock = std::chrono::steady_clock;
inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of the process so far, in seconds.
double ProcessCpuSeconds();

// Adds the wall and processor time of the spans between Start and Stop.
class Stopwatch {
 public:
  void Start() {
    wall_ = Clock::now();
    cpu_ = ProcessCpuSeconds();
  }
  void Stop() {
    seconds += SecondsSince(wall_);
    cpuSeconds += ProcessCpuSeconds() - cpu_;
  }
  double seconds = 0, cpuSeconds = 0;

 private:
  Clock::time_point wall_;
  double cpu_ = 0;
};

// After document `done` (counted from 1) of a timed loop: the memory once the first tenth is through, read outside
// the timed span.
inline void AfterDocument(std::size_t done, std::size_t tenth, Stopwatch& watch, RunResult& result) {
  if (done != tenth) return;
  watch.Stop();
  result.rssAfterFirstTenthKb = CurrentRssKb();
  watch.Start();
}

// The end of a timed loop whose watch is stopped.
inline void Finish(const Stopwatch& watch, RunResult& result) {
  result.seconds = watch.seconds;
  result.cpuSeconds = watch.cpuSeconds;
  result.rssEndKb = CurrentRssKb();
}

}  // namespace bench
