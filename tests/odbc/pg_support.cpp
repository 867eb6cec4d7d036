#include "tests/odbc/pg_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>

#include "ecm/ddl.h"
#include "platform/ado/odbc/odbc_api.h"
#include "platform/com/utf.h"

// Not ours to free: unixODBC loses the character-set converters of a connection handle whose connection it serves
// from its pool (once per handle: the provider keeps its handles, see platform/ado/odbc/odbc_api.cpp), and
// psqlODBC the result of a statement whose description the server refused (a missing table).
extern "C" const char* __lsan_default_suppressions() { return "leak:iconv_open\nleak:psqlodbcw.so\n"; }

namespace pgtest {
namespace {

std::string ReadLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string Shell(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Script(const char* name) { return std::string(QORVENA_SOURCE_DIR) + "/scripts/" + name; }

bool Load(const std::string& folder, PgServer& s) {
  std::filesystem::path f(folder);
  s.fixture = folder;
  s.conninfo = ReadLine(f / "conninfo");
  s.cluster = ReadLine(f / "cluster-dir");
  std::string port = ReadLine(f / "port");
  s.port = port.empty() ? 0 : std::atoi(port.c_str());
  return !s.conninfo.empty() && !s.cluster.empty() && s.port > 0;
}

// A cluster started for this process when the test program runs without the CTest fixture.
struct OwnCluster {
  std::string folder;
  ~OwnCluster() {
    if (folder.empty()) return;
    std::string cmd = Shell(Script("pg_fixture.sh")) + " stop " + Shell(folder) + " >/dev/null 2>&1";
    [[maybe_unused]] int rc = std::system(cmd.c_str());
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

std::string Upper(std::u16string_view s) {
  std::string out = Utf16ToUtf8(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Text(const ado::odbc::Diagnostics& d) {
  std::string out;
  for (const auto& x : d) out += (out.empty() ? "" : "\n") + Utf16ToUtf8(x.state) + " " + Utf16ToUtf8(x.message);
  return out;
}

// A connection of the oracle's own. The driver manager may hand out a pooled connection that a server restart
// has closed; such a one is dropped and another made.
std::unique_ptr<ado::odbc::Connection> Connect(const PgServer& server, ado::odbc::Diagnostics& d) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    d.clear();
    auto c = ado::odbc::Connection::Open(Utf8ToUtf16(server.conninfo), d);
    if (!c) return nullptr;
    auto st = c->NewStatement(d);
    if (st && st->ExecuteDirect(u"SELECT 1", d)) return c;
    if (!c->IsDead()) return c;
  }
  return nullptr;
}

}  // namespace

std::string PgServer::DataSource() const {
  std::string out = "odbc:";
  std::size_t i = 0;
  while (i < conninfo.size()) {
    std::size_t end = conninfo.find(';', i);
    if (end == std::string::npos) end = conninfo.size();
    std::string part = conninfo.substr(i, end - i);
    std::string key = part.substr(0, part.find('='));
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!part.empty() && key != "UID" && key != "PWD") out += part + ";";
    i = end + 1;
  }
  return out;
}

bool PgServer::Stop() const {
  std::string cmd = Shell(Script("pg.sh")) + " stop " + Shell(cluster);
  return std::system(cmd.c_str()) == 0;
}

bool PgServer::Resume() const {
  std::string cmd = Shell(Script("pg.sh")) + " resume " + Shell(cluster) + " " + std::to_string(port);
  return std::system(cmd.c_str()) == 0;
}

const PgServer* Server(const char* variable) {
  static std::map<std::string, std::unique_ptr<PgServer>> servers;
  static std::map<std::string, OwnCluster> own;
  if (auto it = servers.find(variable); it != servers.end()) return it->second.get();
  auto server = std::make_unique<PgServer>();
  const char* folder = std::getenv(variable);
  if (folder && *folder) {
    if (!Load(folder, *server)) {
      ADD_FAILURE() << variable << "=" << folder << " names no running PostgreSQL fixture";
      return nullptr;
    }
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "qorvena-pgtest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      ADD_FAILURE() << "cannot make a folder for PostgreSQL";
      return nullptr;
    }
    own[variable].folder = pattern;
    std::string cmd = Shell(Script("pg_fixture.sh")) + " start " + Shell(pattern);
    if (std::system(cmd.c_str()) != 0 || !Load(pattern, *server)) {
      ADD_FAILURE() << "cannot start PostgreSQL with " << cmd;
      return nullptr;
    }
  }
  // Before the first connection: the driver manager reads its settings (pooling) when it starts.
  if (!std::getenv("ODBCSYSINI")) setenv("ODBCSYSINI", server->fixture.c_str(), 1);
  if (!(folder && *folder) && !CreateLibrary(*server, "ECMLIB")) return nullptr;
  return (servers[variable] = std::move(server)).get();
}

bool Db::Exec(const std::string& sql, std::string* error) const {
  ado::odbc::Diagnostics d;
  auto c = Connect(server_, d);
  std::unique_ptr<ado::odbc::Statement> st = c ? c->NewStatement(d) : nullptr;
  bool ok = st && st->ExecuteDirect(Utf8ToUtf16(sql), d);
  while (ok && st->MoreResults(d)) {
  }
  ok = ok && d.empty();
  if (!ok && error) *error = Text(d);
  return ok;
}

std::vector<Row> Db::Query(const std::string& sql, std::string* error) const {
  std::vector<Row> rows;
  ado::odbc::Diagnostics d;
  auto c = Connect(server_, d);
  std::unique_ptr<ado::odbc::Statement> st = c ? c->NewStatement(d) : nullptr;
  int columns = 0;
  std::vector<std::string> names;
  bool ok = st && st->ExecuteDirect(Utf8ToUtf16(sql), d) && st->ResultColumns(columns, d);
  for (int i = 1; ok && i <= columns; ++i) {
    ado::odbc::ColumnDescription cd;
    ok = st->Describe(i, cd, d);
    names.push_back(Upper(cd.name));
  }
  while (ok) {
    int got = st->Fetch(d);
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    Row row;
    for (int i = 1; ok && i <= columns; ++i) {
      std::optional<std::u16string> text;
      ok = st->GetText(i, text, d);
      row[names[static_cast<std::size_t>(i - 1)]] = text ? std::optional<std::string>(Utf16ToUtf8(*text)) : std::nullopt;
    }
    if (ok) rows.push_back(std::move(row));
  }
  if (!ok && error) *error = Text(d);
  if (!ok && !error) ADD_FAILURE() << sql << ": " << Text(d);
  return rows;
}

bool CreateLibrary(const PgServer& server, const std::string& library, std::string* error) {
  Db db(server);
  auto statements = EcmCreateStatements(SqlDialect::PostgreSQL, library);
  if (statements.empty()) {
    if (error) *error = "not a library name: " + library;
    return false;
  }
  statements.push_back("GRANT USAGE ON SCHEMA " + library + " TO \"" + kReleaseUser + "\"");
  statements.push_back("GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA " + library + " TO \"" + kReleaseUser + "\"");
  for (const std::string& s : statements) {
    std::string message;
    if (!db.Exec(s, &message)) {
      if (error) {
        *error = message;
      } else {
        ADD_FAILURE() << s << ": " << message;
      }
      return false;
    }
  }
  return true;
}

std::string CreateUniqueLibrary(const PgServer& server, const std::string& prefix) {
  static int counter = 0;
  std::string name = prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
  std::string error;
  Db(server).Exec("DROP SCHEMA IF EXISTS " + name + " CASCADE");
  if (!CreateLibrary(server, name, &error)) ADD_FAILURE() << "library " << name << ": " << error;
  return name;
}

void DropLibrary(const PgServer& server, const std::string& library) {
  std::string error;
  if (!Db(server).Exec("DROP SCHEMA IF EXISTS " + library + " CASCADE", &error))
    ADD_FAILURE() << "dropping " << library << ": " << error;
}

}  // namespace pgtest
