// The ODBC baseline: the rows the connector wrote into one schema, replayed into another with the ODBC API and
// the same commit pattern (autocommit: each record its own transaction). Kept apart from the COM headers,
// whose Windows type names clash with ODBC's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/release/common.h"

namespace bench {

enum class OdbcConnectionUse { PerDocument, Kept };

struct OdbcReplay {
  std::string connectionString;
  std::string sourceSchema, targetSchema;
  OdbcConnectionUse use = OdbcConnectionUse::PerDocument;
  bool pooling = true;  // driver-manager pooling requested, as the connector's provider requests it
};

RunResult RunOdbcBaseline(const OdbcReplay& replay);

// Runs statements one by one on a new connection; false with the driver's message at the first failure.
bool OdbcExec(const std::string& connectionString, const std::vector<std::string>& statements, std::string* error);

// A digest of the four tables of a schema (rows in document and line order, values as text) and the row count.
bool OdbcTablesDigest(const std::string& connectionString, const std::string& schema, std::uint64_t& digest,
                      std::uint64_t& rows, std::string* error);

}  // namespace bench
