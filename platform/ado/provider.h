// The interface between the ADO object model and the providers that reach a database.
//
// A connection string "Provider=IBMDA400;Data source=NAME;" is served by the provider that ProviderKindFor(NAME)
// names: "sqlite" for "sqlite:DIR" or an existing directory, "odbc" for anything else. A provider registers
// itself under its kind (RegisterProvider, usually from a static object in its own source file, which is compiled
// into the qado library), so a provider is added without touching the object model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ado/adoext.h"

namespace ado {

// The key=value pairs of a connection string. Keys compare case-insensitively.
struct ConnectionProperties {
  std::vector<std::pair<std::u16string, std::u16string>> pairs;  // in order, keys trimmed, as written

  // The value of a key (last one wins), or null.
  const std::u16string* Find(std::u16string_view key) const;
  std::u16string Get(std::u16string_view key) const {
    const std::u16string* v = Find(key);
    return v ? *v : std::u16string();
  }
};

// Parses "key=value;key=value". Values may be quoted with " or ' (a doubled quote stands for itself); blanks
// around keys and unquoted values are dropped; pairs without '=' are ignored.
ConnectionProperties ParseConnectionString(std::u16string_view text);

// What a provider is given to connect.
struct ConnectRequest {
  std::u16string connectionString;  // as given to Open
  ConnectionProperties properties;
  std::u16string dataSource;  // the "Data Source" value
  std::u16string userId;      // Open's argument, or "User ID" of the string
  std::u16string password;    // Open's argument, or "Password" of the string
};

// One column as the ADO Field reports it.
struct ColumnInfo {
  std::u16string name;
  DataTypeEnum type = adVarWChar;
  LONG definedSize = 0;      // characters for text types (0: no declared length)
  BYTE precision = 255;      // digits for numeric types, 255 otherwise
  BYTE numericScale = 255;   // fraction digits for DECIMAL/NUMERIC, 255 otherwise
  LONG attributes = 0;       // FieldAttributeEnum bits
  std::u16string typeText;   // the declared type, normalised ("CHAR(2)", "DECIMAL(5,2)"), for messages
  std::u16string tableName;  // base table the column comes from, for messages (may be empty)
};

// Finds columns by name as Fields.Item does: ASCII letters in any case, the first of equal names.
class ColumnIndex {
 public:
  static std::shared_ptr<const ColumnIndex> Build(const std::vector<ColumnInfo>& columns);
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::size_t Find(std::u16string_view name) const;

 private:
  std::vector<std::u16string> names_;
  std::vector<std::uint32_t> slots_;  // open addressing: column + 1, 0 for an empty slot
};

// The result of a statement: its columns, its rows, and inserting rows into its base table.
class Rowset {
 public:
  virtual ~Rowset() = default;
  virtual const std::vector<ColumnInfo>& Columns() const = 0;
  // The index of Columns() by name. A provider that hands out the same columns again may keep one index for them.
  virtual std::shared_ptr<const ColumnIndex> NameIndex() const { return ColumnIndex::Build(Columns()); }
  // All rows of the result, one VARIANT per column (VT_NULL, VT_I4/VT_I2/VT_I8, VT_R8 or VT_BSTR).
  virtual std::vector<std::vector<CComVariant>> TakeRows() = 0;
  // Whether rows can be inserted (there is a base table with an updatable column).
  virtual bool CanInsert() const = 0;
  // Inserts one row; values[i] is null for a column that was not set. Commits it before returning. A value the
  // column cannot hold is refused with one error per column; nothing is stored then. On success `stored`
  // receives the row as a later read would see it; an entry left VT_EMPTY stands for the value exactly as it was
  // given (values[i]), which saves copying it.
  virtual HRESULT Insert(const std::vector<const VARIANT*>& values, std::vector<CComVariant>& stored,
                         ProviderErrors& errors) = 0;
};

// An open connection to a data source.
class Session {
 public:
  virtual ~Session() = default;
  // Runs a statement. A statement that returns rows gives a rowset; others are executed and give none.
  virtual HRESULT OpenRowset(std::u16string_view command, std::unique_ptr<Rowset>& rowset,
                             ProviderErrors& errors) = 0;
  // Runs one or more statements that return no rows.
  virtual HRESULT Execute(std::u16string_view command, LONG* recordsAffected, ProviderErrors& errors) = 0;
};

class Provider {
 public:
  virtual ~Provider() = default;
  virtual HRESULT Connect(const ConnectRequest& request, std::shared_ptr<Session>& session,
                          ProviderErrors& errors) = 0;
};

// Registers a provider for a kind ("sqlite", "odbc"); the provider must live as long as the process.
void RegisterProvider(std::u16string_view kind, Provider* provider);
Provider* FindProvider(std::u16string_view kind);

// "sqlite" for "sqlite:DIR" or an existing directory; "odbc" for "odbc:..." and any other name.
std::u16string ProviderKindFor(std::u16string_view dataSource);

// ASCII case-insensitive comparison, as identifiers and connection-string keys compare.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace ado
