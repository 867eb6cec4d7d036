// The ODBC provider (unixODBC): serves every data source that is not the embedded database.
//
//   odbc:KEY=VALUE;...   an ODBC connection string, handed to the driver manager as written
//   odbc:NAME            an ODBC data source name (DSN=NAME)
//   NAME                 an IBM i host, reached through the IBM i Access ODBC driver:
//                        DRIVER={IBM i Access ODBC Driver};SYSTEM=NAME;  (+ QORVENA_IBMI_ODBC_OPTIONS)
//
// The user id and password given to Connection.Open are added as UID and PWD (replacing any in the string).
// They reach the driver and nothing else: no message of this provider contains them.
//
// A statement is prepared and described before it runs, so a missing library or table fails Recordset.Open.
// Inserting: one parameterised INSERT of the columns that were set, values bound as UTF-16 text, prepared once
// per connection and set of columns; the driver commits each record on its own (autocommit). A closed connection
// is kept by the provider with its prepared statements for the next Open of the same connection string. Every diagnostic
// record of the driver becomes an Error of the connection (Number from the SQLSTATE's class, Description the
// driver's text, SQLState, NativeError).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ado/odbc/odbc_api.h"
#include "platform/ado/provider.h"

namespace ado::odbc {

// The IBM i driver's name as registered in odbcinst.ini, and extra connection-string keywords for it.
inline constexpr char kIbmiDriverVariable[] = "QORVENA_IBMI_ODBC_DRIVER";
inline constexpr char kIbmiOptionsVariable[] = "QORVENA_IBMI_ODBC_OPTIONS";
inline constexpr char16_t kDefaultIbmiDriver[] = u"IBM i Access ODBC Driver";

// The data source of a connection request. An ODBC connection string has semicolons of its own, so an
// unquoted "Data Source=odbc:KEY=VALUE;..." runs to the end of the connection string given to Open (the export
// writes "Provider=IBMDA400;Data source=%s;" with the server name as it is configured).
std::u16string DataSourceOf(const ConnectRequest& request);

// The connection string given to the driver manager for a data source and the credentials of Open. Empty
// credentials leave the string's own UID/PWD (if any) in place.
std::u16string OdbcConnectionString(std::u16string_view dataSource, std::u16string_view userId,
                                    std::u16string_view password);

// A connection-string value, in braces when it holds ';', braces or blanks at its ends ("}" doubled).
std::u16string QuoteOdbcValue(std::u16string_view value);

// The connection string with every password value replaced by "***", for showing it to people.
std::u16string RedactPasswords(std::u16string_view connectionString);

// The OLE DB result that fits a SQLSTATE: 22001/22003 DB_E_DATAOVERFLOW, other 22xxx DB_E_CANTCONVERTVALUE,
// 23xxx DB_E_INTEGRITYVIOLATION, 28xxx DB_SEC_E_AUTH_FAILED, 42501 DB_SEC_E_PERMISSIONDENIED, missing
// table or schema (42P01, 42704, 42S02, 3F000) DB_E_NOTABLE, other 42xxx DB_E_ERRORSINCOMMAND, HYT00/HYT01
// DB_E_ABORTLIMITREACHED, anything else E_FAIL.
HRESULT HResultForSqlState(std::u16string_view state);

// Whether a SQLSTATE says the connection itself is gone (08xxx; PostgreSQL's 57P01 to 57P03).
bool IsConnectionLost(std::u16string_view state);

// The ADO field of a described column. PostgreSQL has one exact numeric type, which its driver reports as
// SQL_NUMERIC whether the column was declared DECIMAL or NUMERIC; with `oneNumericType` such columns are
// reported as adDecimal, the type the ECM tables are declared with, so the decimal digit check applies.
// Elsewhere SQL_DECIMAL is adDecimal and SQL_NUMERIC adNumeric.
ColumnInfo ColumnFromDescription(const ColumnDescription& description, bool oneNumericType);

// The provider's own check of a value for a DECIMAL/NUMERIC column, made where the database would store a
// changed value instead of refusing it: more fraction digits than the scale (PostgreSQL rounds them), or a
// number that is not plain decimal notation (an exponent, NaN, infinity). Everything else is left to the
// database, which refuses in its own words. False with `error` filled when the value is refused.
bool CheckNumericText(const ColumnInfo& column, std::u16string_view text, ProviderError& error);

// The table of "SELECT ... FROM [schema.]table [WHERE ...]" as written there, the insert target for drivers that
// do not name the base table of a result column. Empty when the statement reads more than one table, or from a
// subquery, or is not of that form.
std::u16string TableOfSimpleSelect(std::u16string_view sql);

// Counters for tests and measurements.
std::uint64_t InsertStatementsPrepared();
// Connections found dead when a session was opened (a pooled connection whose server went away) and dropped.
std::uint64_t DeadConnectionsDropped();

}  // namespace ado::odbc
