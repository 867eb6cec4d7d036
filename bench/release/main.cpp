// bench/release: documents per second through the connector against the database's own C API, and the
// connector's resident memory, for the embedded SQLite database and for PostgreSQL over ODBC.
//
//   release [--n 1000,10000] [--runs 3] [--db sqlite,pg] [--baselines perdoc,kept] [--synchronous MODE]
//           [--seed S] [--work DIR] [--keep]
//
// Every measurement runs in a child process of its own, so that its peak resident memory is its own.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/release/baseline_odbc.h"
#include "bench/release/baseline_sqlite.h"
#include "bench/release/common.h"
#include "bench/release/connector_run.h"
#include "ecm/ddl.h"
#include "platform/com/utf.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

constexpr char kLibrary[] = "ECMLIB";

std::map<std::string, std::string> Options(int argc, char** argv, int first) {
  std::map<std::string, std::string> options;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) != 0) continue;
    std::string key = a.substr(2), value = "1";
    if (auto eq = key.find('='); eq != std::string::npos) {
      value = key.substr(eq + 1);
      key = key.substr(0, eq);
    } else if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
      value = argv[++i];
    }
    options[key] = value;
  }
  return options;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty()) out.push_back(item);
  return out;
}

std::string Get(const std::map<std::string, std::string>& o, const std::string& key, const std::string& fallback) {
  auto it = o.find(key);
  return it == o.end() ? fallback : it->second;
}

// ---- children ----

int ChildMain(const std::string& kind, const std::map<std::string, std::string>& o) {
  RunResult result;
  if (kind == "child-connector") {
    ConnectorRun run;
    run.modulePath = QORVENA_MODULE_PATH;
    run.registryPath = Get(o, "registry", "");
    run.serverName = Utf8ToUtf16(Get(o, "server", ""));
    run.userName = Utf8ToUtf16(Get(o, "user", ""));
    run.password = Utf8ToUtf16(Get(o, "password", ""));
    run.library = Utf8ToUtf16(Get(o, "library", kLibrary));
    run.documents = std::strtoull(Get(o, "n", "0").c_str(), nullptr, 10);
    run.seed = std::strtoull(Get(o, "seed", "1").c_str(), nullptr, 10);
    result = RunConnector(run);
  } else if (kind == "child-sqlite") {
    SqliteReplay replay;
    replay.sourceFile = Get(o, "source", "");
    replay.targetFile = Get(o, "target", "");
    replay.use = Get(o, "use", "perdoc") == "kept" ? ConnectionUse::Kept : ConnectionUse::PerDocument;
    replay.synchronous = Get(o, "synchronous", "FULL");
    result = RunSqliteBaseline(replay);
  } else if (kind == "child-odbc") {
    OdbcReplay replay;
    replay.connectionString = Get(o, "conn", "");
    replay.sourceSchema = Get(o, "source", "");
    replay.targetSchema = Get(o, "target", "");
    replay.use = Get(o, "use", "perdoc") == "kept" ? OdbcConnectionUse::Kept : OdbcConnectionUse::PerDocument;
    replay.pooling = Get(o, "pooling", "yes") == "yes";
    result = RunOdbcBaseline(replay);
  } else {
    std::cerr << "unknown child " << kind << "\n";
    return 2;
  }
  PrintResult(result);
  return result.failure.empty() && result.released == result.documents ? 0 : 1;
}

// ---- the parent ----

// The disk's sync latency now, in microseconds (median of 64 writes of a page, each synced): with a sync per
// committed record it decides much of what a run measures.
double SyncLatencyMicros(const std::string& dir) {
  std::string path = dir + "/sync-probe";
  int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
  if (fd < 0) return 0;
  char page[4096] = {1};
  std::vector<double> us;
  for (int i = 0; i < 64; ++i) {
    if (::pwrite(fd, page, sizeof page, static_cast<off_t>(i) * 4096) != static_cast<ssize_t>(sizeof page)) break;
    auto start = Clock::now();
    ::fdatasync(fd);
    us.push_back(1e6 * SecondsSince(start));
  }
  ::close(fd);
  ::unlink(path.c_str());
  std::sort(us.begin(), us.end());
  return us.empty() ? 0 : us[us.size() / 2];
}
std::vector<double> g_syncMicros;

struct Measured {
  RunResult result;
  long peakKb = 0;
  bool ok = false;
};

// Runs this program as a child with the arguments and reads its result line and peak memory.
Measured RunChild(const std::vector<std::string>& args) {
  Measured m;
  int fds[2];
  if (pipe(fds) != 0) return m;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    static std::string self = fs::read_symlink("/proc/self/exe").string();
    argv.push_back(self.data());
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(self.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  m.peakKb = usage.ru_maxrss;
  std::istringstream lines(output);
  std::string line;
  bool parsed = false;
  while (std::getline(lines, line))
    if (ParseResult(line, m.result)) parsed = true;
  if (m.result.peakKb > 0) m.peakKb = m.result.peakKb;
  m.ok = parsed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!parsed) m.result.failure = "the child printed no result (status " + std::to_string(status) + ")";
  return m;
}

struct Sample {
  double docsPerSecond = 0;
  double cpuMsPerDocument = 0;
  long peakKb = 0;
  long growthKb = 0;  // resident memory at the end minus after the first tenth
};

// Samples per (database, N, variant), in run order.
std::map<std::string, std::vector<Sample>> g_samples;
std::vector<std::string> g_failures;
int g_runs = 0;
// Set by SIGINT/SIGTERM: the measurement under way ends, the server is stopped, and what was measured is shown.
volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) { g_interrupted = 1; }

std::string Key(const std::string& db, std::size_t n, const std::string& variant) {
  return db + "|" + std::to_string(n) + "|" + variant;
}

bool Record(const std::string& db, std::size_t n, const std::string& variant, const Measured& m) {
  Sample s;
  if (m.ok && m.result.seconds > 0) s.docsPerSecond = static_cast<double>(m.result.released) / m.result.seconds;
  if (m.ok && m.result.released > 0)
    s.cpuMsPerDocument = 1000 * m.result.cpuSeconds / static_cast<double>(m.result.released);
  s.peakKb = m.peakKb;
  s.growthKb = m.result.rssEndKb - m.result.rssAfterFirstTenthKb;
  std::fprintf(stderr, "  %-6s N=%-6zu %-16s %9.1f docs/s  cpu %6.3f ms/doc  peak %7ld KiB  growth %6ld KiB%s%s\n",
               db.c_str(), n, variant.c_str(), s.docsPerSecond, s.cpuMsPerDocument, s.peakKb, s.growthKb,
               m.ok ? "" : "  FAILED: ",
               m.ok ? "" : m.result.failure.c_str());
  if (!m.ok) {
    g_failures.push_back(db + " N=" + std::to_string(n) + " " + variant + ": " + m.result.failure);
    return false;
  }
  g_samples[Key(db, n, variant)].push_back(s);
  return true;
}

void CheckSame(const std::string& db, std::size_t n, const std::string& variant, bool ok, std::uint64_t a,
               std::uint64_t rowsA, std::uint64_t b, std::uint64_t rowsB, const std::string& error) {
  if (ok && a == b && rowsA == rowsB) return;
  std::string text = db + " N=" + std::to_string(n) + " " + variant + ": the baseline did not write the same rows (" +
                     std::to_string(rowsA) + " vs " + std::to_string(rowsB) + " rows" +
                     (error.empty() ? "" : ", " + error) + ")";
  std::fprintf(stderr, "  %s\n", text.c_str());
  g_failures.push_back(text);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

std::string Range(const std::vector<double>& v, const char* format) {
  if (v.empty()) return "";
  char text[96];
  std::snprintf(text, sizeof text, format, Median(v), *std::min_element(v.begin(), v.end()),
                *std::max_element(v.begin(), v.end()));
  return text;
}

void Summary(const std::vector<std::string>& dbs, const std::vector<std::size_t>& ns,
             const std::vector<std::string>& baselines) {
  std::printf("\n%-6s %6s  %-16s %26s %19s %22s %16s %9s\n", "db", "N", "variant", "docs/s median [min, max]",
              "connector/variant", "cpu ms/doc [min, max]", "cpu variant/conn", "peak KiB");
  for (const std::string& db : dbs) {
    for (std::size_t n : ns) {
      auto& connector = g_samples[Key(db, n, "connector")];
      std::vector<std::string> variants = {"connector"};
      for (const std::string& b : baselines) variants.push_back("baseline-" + b);
      for (const std::string& variant : variants) {
        auto& samples = g_samples[Key(db, n, variant)];
        if (samples.empty()) continue;
        std::vector<double> rates, ratios, cpu, cpuRatios, peaks;
        for (std::size_t i = 0; i < samples.size(); ++i) {
          rates.push_back(samples[i].docsPerSecond);
          cpu.push_back(samples[i].cpuMsPerDocument);
          peaks.push_back(static_cast<double>(samples[i].peakKb));
          if (variant != "connector" && i < connector.size() && samples[i].docsPerSecond > 0) {
            ratios.push_back(connector[i].docsPerSecond / samples[i].docsPerSecond);
            if (connector[i].cpuMsPerDocument > 0)
              cpuRatios.push_back(samples[i].cpuMsPerDocument / connector[i].cpuMsPerDocument);
          }
        }
        std::printf("%-6s %6zu  %-16s %26s %19s %22s %16s %9.0f\n", db.c_str(), n, variant.c_str(),
                    Range(rates, "%.1f [%.1f, %.1f]").c_str(), Range(ratios, "%.2f [%.2f, %.2f]").c_str(),
                    Range(cpu, "%.3f [%.3f, %.3f]").c_str(), Range(cpuRatios, "%.2f [%.2f, %.2f]").c_str(),
                    Median(peaks));
      }
    }
    // Peak memory of the connector at the largest N against the smallest.
    if (ns.size() >= 2) {
      auto& small = g_samples[Key(db, ns.front(), "connector")];
      auto& large = g_samples[Key(db, ns.back(), "connector")];
      std::vector<double> a, b;
      for (auto& s : small) a.push_back(static_cast<double>(s.peakKb));
      for (auto& s : large) b.push_back(static_cast<double>(s.peakKb));
      if (!a.empty() && !b.empty())
        std::printf("%-6s connector peak memory, median at N=%zu / median at N=%zu: %.3f\n", db.c_str(), ns.back(),
                    ns.front(), Median(b) / Median(a));
    }
  }
  if (!g_syncMicros.empty()) {
    std::vector<double> sync = g_syncMicros;
    std::sort(sync.begin(), sync.end());
    std::printf("disk sync latency before the SQLite measurements: median %.0f us [%.0f, %.0f]\n", Median(sync),
                sync.front(), sync.back());
  }
  std::printf("(%d run(s); ratios are taken run by run, then the median of them; cpu: processor time of the\n"
              " releasing process per document, a measure the other load of the machine disturbs less)\n",
              g_runs);
}

int ParentMain(const std::map<std::string, std::string>& o) {
  std::vector<std::size_t> ns;
  for (const std::string& n : Split(Get(o, "n", "1000,10000"))) ns.push_back(std::strtoull(n.c_str(), nullptr, 10));
  int runs = std::max(1, std::atoi(Get(o, "runs", "3").c_str()));
  g_runs = runs;
  std::vector<std::string> dbs = Split(Get(o, "db", "sqlite,pg"));
  std::vector<std::string> baselines = Split(Get(o, "baselines", "perdoc,kept"));
  std::string synchronous = Get(o, "synchronous", "");
  std::string seed = Get(o, "seed", "1");
  bool keep = o.count("keep") > 0;

  std::string work = Get(o, "work", "");
  if (work.empty()) {
    std::string pattern = (fs::temp_directory_path() / "qorvena-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::cerr << "cannot make a work folder\n";
      return 1;
    }
    work = pattern;
  }
  fs::create_directories(work);
  work = fs::absolute(work).string();
  if (!synchronous.empty()) setenv("QORVENA_SQLITE_SYNCHRONOUS", synchronous.c_str(), 1);
  std::string sqliteSync = synchronous.empty() ? "FULL" : synchronous;

  std::string conninfo;
  std::string fixture = work + "/pg";
  std::string fixtureScript = std::string(QORVENA_SOURCE_DIR) + "/scripts/pg_fixture.sh";
  bool pgStarted = false;
  if (std::find(dbs.begin(), dbs.end(), "pg") != dbs.end()) {
    std::fprintf(stderr, "starting PostgreSQL (scripts/pg_fixture.sh, scripts/pg.sh) in %s\n", fixture.c_str());
    std::string cmd = "'" + fixtureScript + "' start '" + fixture + "'";
    if (std::system(cmd.c_str()) != 0 || !(std::ifstream(fixture + "/conninfo") >> std::ws, true)) {
      std::cerr << "cannot start PostgreSQL; leaving the PostgreSQL half out\n";
      dbs.erase(std::remove(dbs.begin(), dbs.end(), "pg"), dbs.end());
    } else {
      pgStarted = true;
      std::getline(std::ifstream(fixture + "/conninfo"), conninfo);
      // The driver manager pools connections only when its odbcinst.ini says so.
      setenv("ODBCSYSINI", fixture.c_str(), 1);
    }
  }

  std::fprintf(stderr, "work folder %s; SQLite synchronous=%s\n", work.c_str(), sqliteSync.c_str());
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  for (int run = 1; run <= runs && !g_interrupted; ++run) {
    for (std::size_t n : ns) {
      if (g_interrupted) break;
      std::fprintf(stderr, "run %d of %d, N=%zu\n", run, runs, n);
      for (const std::string& db : dbs) {
        if (g_interrupted) break;
        std::string tag = "r" + std::to_string(run) + "n" + std::to_string(n);
        if (db == "sqlite") {
          std::string dir = work + "/sqlite-" + tag;
          fs::create_directories(dir);
          g_syncMicros.push_back(SyncLatencyMicros(dir));
          std::fprintf(stderr, "  disk sync latency %.0f us (median of 64)\n", g_syncMicros.back());
          auto library = [&](const std::string& name) {
            std::string message;
            if (CreateSqliteLibrary(dir + "/" + name, kLibrary, &message) != CreateLibraryResult::Created)
              std::cerr << message << "\n";
            return dir + "/" + name + "/" + kLibrary + ".db";
          };
          std::string source = library("connector");
          Measured c = RunChild({"child-connector", "--server", "sqlite:" + dir + "/connector", "--user", "KOFAXREL",
                                 "--password", "", "--library", kLibrary, "--n", std::to_string(n), "--seed", seed,
                                 "--registry", dir + "/registry.json"});
          if (!Record(db, n, "connector", c)) continue;
          std::uint64_t digestC = 0, rowsC = 0;
          std::string error;
          SqliteTablesDigest(source, digestC, rowsC, &error);
          for (const std::string& b : baselines) {
            std::string target = library(b);
            Measured m = RunChild({"child-sqlite", "--source", source, "--target", target, "--use", b,
                                   "--synchronous", sqliteSync});
            if (!Record(db, n, "baseline-" + b, m)) continue;
            std::uint64_t digest = 0, rows = 0;
            bool ok = SqliteTablesDigest(target, digest, rows, &error);
            CheckSame(db, n, "baseline-" + b, ok, digestC, rowsC, digest, rows, error);
          }
          if (!keep) fs::remove_all(dir);
        } else if (db == "pg") {
          std::string source = "C" + tag, error;
          auto schema = [&](const std::string& name) {
            std::vector<std::string> sql = {"DROP SCHEMA IF EXISTS " + name + " CASCADE"};
            for (const std::string& s : EcmCreateStatements(SqlDialect::PostgreSQL, name)) sql.push_back(s);
            if (!OdbcExec(conninfo, sql, &error)) std::cerr << "cannot create the schema " << name << ": " << error << "\n";
          };
          schema(source);
          Measured c = RunChild({"child-connector", "--server", "odbc:" + conninfo, "--user", "ecm", "--password",
                                 "ecm", "--library", source, "--n", std::to_string(n), "--seed", seed, "--registry",
                                 work + "/registry-" + tag + ".json"});
          if (!Record(db, n, "connector", c)) continue;
          std::uint64_t digestC = 0, rowsC = 0;
          OdbcTablesDigest(conninfo, source, digestC, rowsC, &error);
          for (const std::string& b : baselines) {
            std::string target = (b == "kept" ? "K" : "P") + tag;
            schema(target);
            Measured m = RunChild({"child-odbc", "--conn", conninfo, "--source", source, "--target", target, "--use", b});
            if (Record(db, n, "baseline-" + b, m)) {
              std::uint64_t digest = 0, rows = 0;
              bool ok = OdbcTablesDigest(conninfo, target, digest, rows, &error);
              CheckSame(db, n, "baseline-" + b, ok, digestC, rowsC, digest, rows, error);
            }
            if (!keep) OdbcExec(conninfo, {"DROP SCHEMA " + target + " CASCADE"}, nullptr);
          }
          if (!keep) OdbcExec(conninfo, {"DROP SCHEMA " + source + " CASCADE"}, nullptr);
        }
      }
    }
  }
  if (pgStarted) {
    std::string cmd = "'" + fixtureScript + "' stop '" + fixture + "'";
    if (std::system(cmd.c_str()) != 0) std::cerr << "stopping PostgreSQL failed\n";
  }
  Summary(dbs, ns, baselines);
  for (const std::string& f : g_failures) std::printf("FAILED: %s\n", f.c_str());
  if (!keep && !o.count("work")) fs::remove_all(work);
  return g_failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strncmp(argv[1], "child-", 6) == 0) return ChildMain(argv[1], Options(argc, argv, 2));
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << "usage: release [--n 1000,10000] [--runs 3] [--db sqlite,pg] [--baselines perdoc,kept]\n"
                 "               [--synchronous FULL|NORMAL] [--seed S] [--work DIR] [--keep]\n";
    return 0;
  }
  return ParentMain(Options(argc, argv, 1));
}
