// A recording ADO for tests: stands in front of the real Connection and Recordset classes, logs every ADO call
// made through the objects it hands out, and fails chosen calls.
//
//   ado::AdoRecorder rec;
//   rec.Install();                                   // CoCreateInstance of Connection/Recordset now records
//   rec.FailWhen("Recordset.Update", 1, DB_E_DATAOVERFLOW,
//                {ado::MakeProviderError(DB_E_DATAOVERFLOW, u"Value too long", u"22001")});
//   ... run the code under test ...
//   EXPECT_EQ(rec.Calls(), (std::vector<std::string>{"CoCreateInstance(Connection)", ...}));
//   rec.Uninstall();                                 // also done by the destructor
//
// Objects: every object reached from a recorded Connection or Recordset (Fields, Field, Errors, Error) is
// recorded too. Calls go on to the real object, which does the real work (a real SQLite library, for instance).
// QueryInterface, AddRef, Release and the IDispatch methods are not recorded.
//
// Log lines: "Class.Method(arguments)", the class being CoCreateInstance, Connection, Recordset, Fields,
// Field[NAME] (the column's name), Errors or Error. Arguments are written as:
//   text                 "text"  (with \" \\ \n \r \t escaped; a null BSTR is "")
//   LONG and enums       decimal: 3, -1; Supports' option in hex: 0x1000400
//   VARIANT              "text" for VT_BSTR, 5 for VT_I4, (short)5 (int)5 (long long)5 (byte)5 (double)1.5,
//                        true/false, <empty>, <null>, <missing> (VT_ERROR DISP_E_PARAMNOTFOUND),
//                        <error 0x80020005>, <Connection> (a connection object), <nothing> (null dispatch),
//                        <IDispatch>, <IUnknown>
//   IDispatch*           <Connection> or <nothing>
// Out parameters are not written. For example:
//   CoCreateInstance(Connection)
//   Connection.put_CursorLocation(3)
//   Connection.Open("Provider=IBMDA400;Data source=sqlite:/tmp/x;", "user", "secret", -1)
//   Recordset.Open("SELECT * FROM ECMLIB.TPEC WHERE 1=0", <Connection>, 0, 3, -1)
//   Recordset.Supports(0x1000400)
//   Recordset.AddNew(<missing>, <missing>)
//   Fields.get_Item("BHAMT")
//   Field[BHAMT].put_Value("123.45")
//   Errors.get_Item(0)
//   Error.get_Description()
// The key of a line is "Class.Method" without the column name ("Field.put_Value", "CoCreateInstance").
//
// Failing calls: a failed call does not reach the real object; it returns the given HRESULT (out pointers are
// null) and, when errors are given, replaces the contents of the connection's Errors collection with them, as a
// provider does (for a Recordset, Fields or Field: the recordset's active connection, if any). Calls are counted
// from 1 since Install or ClearCalls, in the order they are made, so the same run gives the same numbers.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/adoext.h"

namespace ado {

struct RecordedCall {
  std::string line;   // "Field[BHAMT].put_Value(\"123.45\")"
  std::string key;    // "Field.put_Value"
  HRESULT hr = S_OK;  // what the caller got
  bool injected = false;  // failed by the recorder
};

class AdoRecorder {
 public:
  AdoRecorder();
  ~AdoRecorder();  // uninstalls
  AdoRecorder(const AdoRecorder&) = delete;
  AdoRecorder& operator=(const AdoRecorder&) = delete;

  // Puts the recording classes in front of the real ones (the newest registration wins) / revokes them.
  // Objects already handed out keep recording after Uninstall.
  void Install();
  void Uninstall();
  bool Installed() const;

  // Fails the n-th call (1-based) counted overall.
  void FailCall(std::size_t n, HRESULT hr, ProviderErrors errors = {});
  // Fails the k-th call (1-based) that matches a pattern, or every matching call when k is 0. A pattern without
  // '*' or '?' matches a key ("Recordset.Update") or a whole line ("CoCreateInstance(Recordset)"); with them it
  // is a wildcard pattern over the whole line ("Field[BHAMT].put_Value(*").
  void FailWhen(std::string pattern, std::size_t k, HRESULT hr, ProviderErrors errors = {});
  void FailEvery(std::string pattern, HRESULT hr, ProviderErrors errors = {}) {
    FailWhen(std::move(pattern), 0, hr, std::move(errors));
  }
  void ClearFailures();

  std::vector<std::string> Calls() const;  // the log lines, in order
  std::vector<RecordedCall> Entries() const;
  std::size_t CallCount() const;
  // Empties the log and restarts the call count (failure rules stay, their match counts restart).
  void ClearCalls();
  // The log as one text, a line per call, for test failure messages.
  std::string Dump() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
  DWORD connectionCookie_ = 0;
  DWORD recordsetCookie_ = 0;
};

// Whether a line matches a pattern as FailWhen reads it.
bool RecorderPatternMatches(const std::string& pattern, const std::string& key, const std::string& line);

}  // namespace ado
