// PostgreSQL for tests: the cluster of the test run (the CTest fixture started by scripts/pg_fixture.sh), ECM
// libraries as schemas, and plain SQL through ODBC to set up tables and read back what reached them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pgtest {

// The fixture folder's environment variables: the shared cluster, and the one the restart tests stop and start.
inline constexpr char kSharedFixture[] = "QORVENA_PG_FIXTURE";
inline constexpr char kRestartFixture[] = "QORVENA_PG_RESTART_FIXTURE";

// The login the fixture makes for releasing documents: it may read and insert in the libraries.
inline constexpr char kReleaseUser[] = "KOFAXREL";
inline constexpr char kReleasePassword[] = "secret";

struct PgServer {
  std::string fixture;   // the folder with conninfo, port, cluster-dir, odbcinst.ini, odbc.ini
  std::string cluster;   // the cluster's own folder, for scripts/pg.sh stop|resume
  int port = 0;
  std::string conninfo;  // ODBC connection string with user and password

  // The connection string without user and password, as "odbc:..." for a document's server name.
  std::string DataSource() const;
  // Stops the server (connections die with it) and starts it again on the same port.
  bool Stop() const;
  bool Resume() const;
};

// The server of the fixture that `variable` names. Run by hand without the fixture, a cluster is started for
// this process (and stopped when it exits). ODBCSYSINI is pointed at the fixture folder, so the driver manager
// pools connections; call this before the first ODBC connection of the process. Null (with a test failure)
// when no server can be had.
const PgServer* Server(const char* variable = kSharedFixture);

using Row = std::map<std::string, std::optional<std::string>>;  // upper-case column name -> text, nullopt = NULL

// SQL through a connection of its own.
class Db {
 public:
  explicit Db(const PgServer& server) : server_(server) {}
  bool Exec(const std::string& sql, std::string* error = nullptr) const;
  // Every row, each column as the driver's text.
  std::vector<Row> Query(const std::string& sql, std::string* error = nullptr) const;

 private:
  const PgServer& server_;
};

// A library (schema with the four ECM tables, open to kReleaseUser) under a name no other test process uses:
// PREFIX_PID_N.
std::string CreateUniqueLibrary(const PgServer& server, const std::string& prefix);
bool CreateLibrary(const PgServer& server, const std::string& library, std::string* error = nullptr);
void DropLibrary(const PgServer& server, const std::string& library);

}  // namespace pgtest
