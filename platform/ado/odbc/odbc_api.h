// A thin C++ layer over the ODBC API (unixODBC), in UTF-16 throughout. It is kept apart from the COM headers:
// the ODBC headers define Windows type names of their own (ULONG, BOOL ...) that clash with ours.
//
// One process-wide environment, allocated on first use with driver-manager connection pooling requested
// (SQL_ATTR_CONNECTION_POOLING = SQL_CP_ONE_PER_DRIVER, strict matching). unixODBC pools only when its
// odbcinst.ini also says so ([ODBC] Pooling=Yes); see platform/ado/README.md.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ado::odbc {

// One diagnostic record of a handle.
struct Diagnostic {
  std::u16string state;    // SQLSTATE, five characters
  long native = 0;         // the driver's native error
  std::u16string message;  // the driver's (or driver manager's) text, trailing line breaks removed
};
using Diagnostics = std::vector<Diagnostic>;

// SQL type codes as the ODBC headers define them, for callers that do not include them.
namespace sqltype {
inline constexpr int kChar = 1, kNumeric = 2, kDecimal = 3, kInteger = 4, kSmallInt = 5, kFloat = 6, kReal = 7,
                     kDouble = 8, kVarChar = 12, kDate = 91, kTime = 92, kTimestamp = 93, kLongVarChar = -1,
                     kBinary = -2, kVarBinary = -3, kLongVarBinary = -4, kBigInt = -5, kTinyInt = -6, kBit = -7,
                     kWChar = -8, kWVarChar = -9, kWLongVarChar = -10, kGuid = -11;
}

enum class Updatable { ReadOnly, Write, Unknown };
enum class Nullable { No, Yes, Unknown };

// A result column as the driver describes it.
struct ColumnDescription {
  std::u16string name;
  int sqlType = 0;
  std::uint64_t size = 0;  // characters for text, precision for numbers
  int digits = 0;          // scale of DECIMAL/NUMERIC
  Nullable nullable = Nullable::Unknown;
  Updatable updatable = Updatable::Unknown;
  std::u16string baseColumn, baseTable, schema;  // empty when the driver does not say
};

class Statement;

class Connection {
 public:
  // Connects with SQLDriverConnect. Null with the diagnostics when it fails.
  static std::unique_ptr<Connection> Open(std::u16string_view connectionString, Diagnostics& diagnostics);
  ~Connection();  // disconnects: a pooled connection goes back to the pool, a dead one is dropped
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::u16string DbmsName() const { return dbmsName_; }
  std::u16string DriverName() const { return driverName_; }
  std::u16string IdentifierQuote() const { return quote_; }  // empty when the driver quotes nothing
  // Whether the driver knows the connection to be lost (SQL_ATTR_CONNECTION_DEAD). Drivers learn this only
  // from a failed exchange with the server.
  bool IsDead() const;

  std::unique_ptr<Statement> NewStatement(Diagnostics& diagnostics);

 private:
  Connection() = default;
  void* dbc_ = nullptr;
  std::u16string dbmsName_, driverName_, quote_;
};

class Statement {
 public:
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Prepare(std::u16string_view sql, Diagnostics& diagnostics);
  // Columns of the prepared statement's result; 0 for a statement without one. Asking makes drivers that
  // prepare lazily describe the statement on the server, so a missing table is reported here.
  bool ResultColumns(int& count, Diagnostics& diagnostics);
  bool Describe(int column, ColumnDescription& description, Diagnostics& diagnostics);

  // Binds parameter `number` (1-based) as UTF-16 text of the given SQL type; null `value` binds NULL. The
  // text must stay alive until Execute.
  bool BindText(int number, int sqlType, std::uint64_t size, int digits, const std::u16string* value,
                Diagnostics& diagnostics);
  bool Execute(Diagnostics& diagnostics);  // the prepared statement; "no data" counts as success
  bool ExecuteDirect(std::u16string_view sql, Diagnostics& diagnostics);
  // Rows affected by the last execution, over all of its results; -1 when unknown.
  bool RowCount(std::int64_t& count, Diagnostics& diagnostics);
  // Moves to the next result of a batch of statements; false with no diagnostics at the end.
  bool MoreResults(Diagnostics& diagnostics);

  // 1: a row, 0: no more rows, -1: failure.
  int Fetch(Diagnostics& diagnostics);
  // A column of the current row; nullopt for NULL.
  bool GetText(int column, std::optional<std::u16string>& value, Diagnostics& diagnostics);
  bool GetInteger(int column, std::optional<std::int64_t>& value, Diagnostics& diagnostics);
  bool GetDouble(int column, std::optional<double>& value, Diagnostics& diagnostics);
  void CloseCursor();

 private:
  friend class Connection;
  Statement() = default;
  void* stmt_ = nullptr;
  std::deque<std::int64_t> indicators_;  // one per bound parameter, read by the driver at Execute: they must not move
};

// Connection handles allocated in this process. Disconnected handles are kept (up to 16) and used again, so one
// document after the other needs a single handle.
std::uint64_t ConnectionHandlesAllocated();

}  // namespace ado::odbc
