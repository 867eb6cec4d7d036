// A long batch through one capture host process: the batch file is written, the host releases it into an
// embedded library, the host's resident memory is sampled while it runs, and every document is looked for in
// the tables afterwards.
#pragma once

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <thread>

#include "ecm/ddl.h"
#include "tests/stations/station.h"

namespace soak {

namespace fs = std::filesystem;

struct Options {
  std::size_t documents = 100000;
  fs::path dir;                                // everything of the run: library, home, batch, outputs
  std::string host, module;                    // the capture host program and the connector module
  std::chrono::milliseconds interval{1000};    // between memory samples
  std::function<void(const std::string&)> say;  // progress lines, if wanted
};

struct Sample {
  double seconds;
  long rssKb, peakKb;
  std::size_t released;  // documents in TBHB by then
};

struct Result {
  std::string failure;  // empty when the host released everything and every document is in the tables
  std::vector<Sample> samples;
  double seconds = 0;
  long peakKb = 0;  // the host's high-water mark when it ended, as the system counted it
  std::uintmax_t batchBytes = 0;
  station::Verdict verdict;
};

// VmRSS and VmHWM of a process, in kB; false when it has gone.
inline bool Memory(pid_t pid, long& rssKb, long& peakKb) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  bool rss = false, peak = false;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) rss = (rssKb = std::stol(line.substr(6)), true);
    if (line.rfind("VmHWM:", 0) == 0) peak = (peakKb = std::stol(line.substr(6)), true);
  }
  return rss && peak;
}

inline std::size_t CountRows(const fs::path& library, const char* table) {
  sqlite3* db = nullptr;
  std::size_t n = 0;
  if (sqlite3_open_v2(library.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 1000);
    sqlite3_stmt* st = nullptr;
    std::string sql = std::string("SELECT COUNT(*) FROM ") + table;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      n = static_cast<std::size_t>(sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return n;
}

inline Result Run(const Options& o) {
  Result result;
  auto say = [&](const std::string& text) {
    if (o.say) o.say(text);
  };
  auto fail = [&](std::string text) {
    result.failure = std::move(text);
    return result;
  };
  std::error_code ec;
  fs::remove_all(o.dir, ec);
  const fs::path ecm = o.dir / "ecm", home = o.dir / "home", batch = o.dir / "batch.json";
  fs::create_directories(ecm);
  fs::create_directories(home);
  std::string message;
  if (CreateSqliteLibrary(ecm.string(), "SOAKLIB", &message) != CreateLibraryResult::Created) return fail(message);
  const fs::path library = ecm / "SOAKLIB.db";

  auto host = [&](std::vector<std::string> args, const std::string& name) {
    std::vector<std::string> command = {o.host, "--home", home.string(), "--registry", (home / "registry.json").string()};
    command.insert(command.end(), args.begin(), args.end());
    return station::Spawn(command, (o.dir / (name + "-out.txt")).string(), (o.dir / (name + "-err.txt")).string());
  };
  auto output = [&](const std::string& name) {
    return station::ReadText(o.dir / (name + "-out.txt")) + station::ReadText(o.dir / (name + "-err.txt"));
  };
  if (station::Wait(host({"register", o.module}, "register")) != 0) return fail("register: " + output("register"));
  std::ofstream(home / "class.json") << station::InvoiceClassJson("sqlite:" + ecm.string(), "SOAKLIB", "KOFAXREL", "");
  if (station::Wait(host({"class-import", (home / "class.json").string()}, "import")) != 0)
    return fail("class-import: " + output("import"));

  say("writing a batch of " + std::to_string(o.documents) + " documents");
  if (!station::WriteBatch(batch, "SOAK", o.documents)) return fail("cannot write " + batch.string());
  result.batchBytes = fs::file_size(batch, ec);

  say("releasing");
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = host({"release", batch.string(), "--quiet"}, "release");
  if (pid < 0) return fail("cannot start " + o.host);
  int status = -1;
  for (;;) {
    int raw = 0;
    struct rusage usage {};
    pid_t done = wait4(pid, &raw, WNOHANG, &usage);
    if (done == pid) {
      result.peakKb = usage.ru_maxrss;
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
      break;
    }
    Sample s{};
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (Memory(pid, s.rssKb, s.peakKb)) {
      s.released = CountRows(library, "TBHB");
      result.samples.push_back(s);
      char line[160];
      std::snprintf(line, sizeof line, "%8.1f s  %7zu documents  RSS %6.1f MB  peak %6.1f MB", s.seconds, s.released,
                    s.rssKb / 1024.0, s.peakKb / 1024.0);
      say(line);
    }
    std::this_thread::sleep_for(o.interval);
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) return fail("the release ended with status " + std::to_string(status) + ": " + output("release"));

  say("checking the tables");
  std::vector<std::string> invoices;
  invoices.reserve(o.documents);
  for (std::size_t n = 1; n <= o.documents; ++n) invoices.push_back(station::InvoiceNumber("SOAK", n));
  std::string unreadable;
  station::Records records = station::ReadSqliteRecords(library, unreadable);
  if (!unreadable.empty()) return fail("the tables: " + unreadable);
  result.verdict = station::Check(records, invoices);
  if (!result.verdict.problems.empty()) return fail("the tables: " + result.verdict.problems.front());
  return result;
}

// Growth of the resident memory over the run, in kB: the last samples against the first ones taken after
// documents / `after` were released (start-up and the first connections are behind it by then).
inline long Growth(const Result& r, std::size_t documents, std::size_t after = 10) {
  long first = -1, last = -1;
  for (const Sample& s : r.samples) {
    if (s.released * after < documents) continue;
    if (first < 0) first = s.rssKb;
    last = s.rssKb;
  }
  return first < 0 ? 0 : last - first;
}

}  // namespace soak
