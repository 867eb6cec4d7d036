// The SQLite baseline: the rows the connector wrote, replayed with SQLite's own C API and the same commit
// pattern (each record its own transaction), with a connection per document or one kept connection.
#pragma once

#include <cstdint>
#include <string>

#include "bench/release/common.h"

namespace bench {

enum class ConnectionUse { PerDocument, Kept };

struct SqliteReplay {
  std::string sourceFile;  // the library the connector wrote
  std::string targetFile;  // an empty library with the same tables
  ConnectionUse use = ConnectionUse::PerDocument;
  std::string synchronous = "FULL";
};

RunResult RunSqliteBaseline(const SqliteReplay& replay);

// A digest of every row of the four tables in insertion order (values with their storage class), and the row
// count; equal digests mean the same rows were written.
bool SqliteTablesDigest(const std::string& file, std::uint64_t& digest, std::uint64_t& rows, std::string* error);

}  // namespace bench
