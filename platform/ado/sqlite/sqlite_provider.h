// The embedded provider: the IBM i "server" is a folder, each library the SQLite file DIR/LIBRARY.db, attached
// under the library's name when a statement names it ("SELECT * FROM ECMLIB.TPEC WHERE 1=0"). A library that has
// no file is never created; statements naming it fail as on the real server ("no such table: ECMLIB.TPEC").
//
// Selected by "Provider=IBMDA400;Data source=sqlite:DIR;" or by a data source that is an existing directory.
// User id and password are not checked (the folder's permissions are the access control).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/com/comtypes.h"

namespace ado::sqlite {

// Durability: a write-ahead log synced on every commit, so that a committed record survives a crash of the
// process and of the machine (power loss included). Each inserted record is its own transaction (autocommit).
inline constexpr char kJournalMode[] = "WAL";
inline constexpr char kSynchronous[] = "FULL";
// QORVENA_SQLITE_SYNCHRONOUS=NORMAL trades the machine-crash guarantee for speed: a committed record still
// survives a crash of the process, but the last records before a power loss or an operating-system crash may be
// lost. FULL, NORMAL and EXTRA are taken; anything else keeps FULL. Read once per process.
inline constexpr char kSynchronousVariable[] = "QORVENA_SQLITE_SYNCHRONOUS";
const char* SynchronousSetting();
// How long a statement waits for another process's write to finish before it fails.
inline constexpr int kBusyTimeoutMs = 5000;

// Connections are pooled per server folder: Connection.Close hands the SQLite connection back to the pool, and
// the next Open of the same folder takes it again, with its libraries attached, its page cache and its prepared
// statements. A pooled connection is handed out only when nothing is pending on it (no open transaction, no
// running statement) and every library it has attached is still the same file; a connection on which anything
// but plain queries and the recordsets' inserts ran is closed instead of pooled. At most 8 idle connections are
// kept, each at most 60 seconds; they are closed at exit. QORVENA_SQLITE_POOLING=0 (or off, no) closes every
// connection at Close instead.
inline constexpr char kPoolingVariable[] = "QORVENA_SQLITE_POOLING";
// Connections now idle in the pool, and closing them (a library file can then be moved or deleted cleanly).
std::size_t IdleConnections();
std::size_t CloseIdleConnections();

// Letters, digits, '_', '$', '#', '@'; 1 to 128 characters. Other names are never looked up as files.
bool IsValidLibraryName(std::u16string_view name);

// DIR/NAME.db
std::filesystem::path LibraryPath(const std::filesystem::path& serverDir, std::u16string_view library);

// Creates an empty library file DIR/NAME.db (in WAL mode). S_OK when created, S_FALSE when it already exists,
// E_INVALIDARG for a bad name, E_FAIL (with `error` filled) when the folder is missing or the file cannot be made.
// Tables are then created through ADO: Connection.Execute("CREATE TABLE NAME.T (...)").
HRESULT CreateLibrary(const std::filesystem::path& serverDir, std::u16string_view library,
                      std::u16string* error = nullptr);

// INSERT statements prepared so far in this process. A recordset prepares one per set of columns written, not
// one per record.
std::uint64_t InsertStatementsPrepared();

}  // namespace ado::sqlite
