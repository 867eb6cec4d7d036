#include "bench/release/common.h"

#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bench {

void PrintResult(const RunResult& r) {
  std::string failure = r.failure;
  for (char& c : failure)
    if (c == '\n' || c == '\r') c = ' ';
  std::printf("RESULT documents=%zu released=%zu seconds=%.6f cpu_seconds=%.6f rss_tenth_kb=%ld rss_end_kb=%ld "
              "peak_kb=%ld failure=%s\n",
              r.documents, r.released, r.seconds, r.cpuSeconds, r.rssAfterFirstTenthKb, r.rssEndKb, PeakRssKb(),
              failure.c_str());
  std::fflush(stdout);
}

bool ParseResult(const std::string& line, RunResult& r) {
  if (line.rfind("RESULT ", 0) != 0) return false;
  std::istringstream in(line.substr(7));
  std::string item;
  while (in >> item) {
    auto eq = item.find('=');
    if (eq == std::string::npos) continue;
    std::string key = item.substr(0, eq), value = item.substr(eq + 1);
    if (key == "documents") r.documents = std::strtoull(value.c_str(), nullptr, 10);
    else if (key == "released") r.released = std::strtoull(value.c_str(), nullptr, 10);
    else if (key == "seconds") r.seconds = std::strtod(value.c_str(), nullptr);
    else if (key == "cpu_seconds") r.cpuSeconds = std::strtod(value.c_str(), nullptr);
    else if (key == "rss_tenth_kb") r.rssAfterFirstTenthKb = std::strtol(value.c_str(), nullptr, 10);
    else if (key == "rss_end_kb") r.rssEndKb = std::strtol(value.c_str(), nullptr, 10);
    else if (key == "peak_kb") r.peakKb = std::strtol(value.c_str(), nullptr, 10);
    else if (key == "failure") {
      r.failure = value;
      std::string rest;
      std::getline(in, rest);
      r.failure += rest;
      break;
    }
  }
  return true;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return 0;
}

long CurrentRssKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  if (!(statm >> size >> resident)) return 0;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace bench
