// Helpers for tests that use ADO with the embedded SQLite provider: a temporary server folder, a COM apartment,
// a library with tables, and reading rows back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ado/adoext.h"
#include "platform/ado/sqlite/sqlite_provider.h"
#include "platform/com/com.h"

namespace adotest {

// A server folder that is removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qado-XXXXXX").string();
    if (char* made = mkdtemp(pattern.data())) path_ = made;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::u16string DataSource() const { return u"sqlite:" + Utf8ToUtf16(path_.string()); }
  std::u16string ConnectionString() const { return u"Provider=IBMDA400;Data source=" + DataSource() + u";"; }

 private:
  std::filesystem::path path_;
};

// COM for the test's thread, as the platform's thread has it.
class ComApartment {
 public:
  ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComApartment() { CoUninitialize(); }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

inline std::string Narrow(std::u16string_view s) { return Utf16ToUtf8(s); }

inline CComPtr<_Connection> NewConnection() {
  CComPtr<_Connection> c;
  EXPECT_EQ(CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                             reinterpret_cast<void**>(&c)),
            S_OK);
  return c;
}

inline CComPtr<_Recordset> NewRecordset() {
  CComPtr<_Recordset> r;
  EXPECT_EQ(CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID__Recordset,
                             reinterpret_cast<void**>(&r)),
            S_OK);
  return r;
}

inline CComPtr<_Connection> OpenConnection(std::u16string_view connectionString) {
  CComPtr<_Connection> c = NewConnection();
  if (c) {
    EXPECT_EQ(c->Open(CComBSTR(connectionString), CComBSTR(u"user"), CComBSTR(u"pw"), -1), S_OK);
  }
  return c;
}

inline HRESULT Execute(_Connection* c, std::u16string_view sql) {
  return c->Execute(CComBSTR(sql), nullptr, adCmdText, nullptr);
}

// Creates library `name` in the folder and runs the DDL statements in it.
inline void MakeLibrary(const TempDir& dir, std::u16string_view name, const std::vector<std::u16string>& ddl) {
  ASSERT_EQ(ado::sqlite::CreateLibrary(dir.path(), name), S_OK);
  CComPtr<_Connection> c = OpenConnection(dir.ConnectionString());
  for (const auto& statement : ddl) ASSERT_EQ(Execute(c, statement), S_OK) << Narrow(statement);
  c->Close();
}

struct ErrorRecord {
  HRESULT number = 0;
  std::u16string description, sqlState, source;
  LONG nativeError = 0;
};

inline std::vector<ErrorRecord> ErrorsOf(_Connection* c) {
  std::vector<ErrorRecord> out;
  CComPtr<Errors> errors;
  if (FAILED(c->get_Errors(&errors))) return out;
  LONG count = 0;
  errors->get_Count(&count);
  for (LONG i = 0; i < count; ++i) {
    CComPtr<Error> e;
    if (FAILED(errors->get_Item(CComVariant(i), &e))) continue;
    ErrorRecord r;
    e->get_Number(&r.number);
    CComBSTR text;
    e->get_Description(&text);
    r.description = text.Str();
    e->get_SQLState(&text);
    r.sqlState = text.Str();
    e->get_Source(&text);
    r.source = text.Str();
    e->get_NativeError(&r.nativeError);
    out.push_back(r);
  }
  return out;
}

// Every row of a query, each value as text ("<null>" for NULL), read through ADO.
inline std::vector<std::vector<std::u16string>> ReadRows(_Connection* c, std::u16string_view sql) {
  std::vector<std::vector<std::u16string>> rows;
  CComPtr<_Recordset> r = NewRecordset();
  HRESULT hr = r->Open(CComVariant(sql), CComVariant(static_cast<IDispatch*>(c)), adOpenForwardOnly, adLockReadOnly,
                       adCmdText);
  EXPECT_EQ(hr, S_OK) << Narrow(sql);
  if (FAILED(hr)) return rows;
  CComPtr<Fields> fields;
  r->get_Fields(&fields);
  LONG count = 0;
  fields->get_Count(&count);
  VARIANT_BOOL eof = VARIANT_FALSE;
  while (SUCCEEDED(r->get_EOF(&eof)) && !eof) {
    std::vector<std::u16string> row;
    for (LONG i = 0; i < count; ++i) {
      CComPtr<Field> f;
      fields->get_Item(CComVariant(i), &f);
      CComVariant v;
      f->get_Value(&v);
      row.push_back(v.vt == VT_NULL ? u"<null>" : VariantToString(v));
    }
    rows.push_back(row);
    r->MoveNext();
  }
  r->Close();
  return rows;
}

}  // namespace adotest
