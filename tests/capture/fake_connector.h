// An export connector for the host's tests: it records what it is given and reports through the platform's
// error log the way a real connector does. A document fails when a value is longer than `maxLength`
// (a stand-in for a database that refuses it), or when its invoice number is "THROW" (the connector then
// throws, which must not take the host down).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/kofax.h"
#include "host/report.h"
#include "platform/com/utf.h"

namespace fakes {

struct SeenValue {
  std::string destination, value, tableName;
  std::vector<std::string> rows;
  bool rowsAnswered = false;  // RowValues answered the row values interface
};

struct SeenDocument {
  std::string pdfFileName, server, user, password, library;
  std::vector<SeenValue> values;
};

struct ConnectorJournal {
  std::vector<std::string> calls;
  std::vector<SeenDocument> documents;
  std::size_t maxLength = 35;
  bool failOpen = false;
  bool failClose = false;
  HRESULT putResult = S_OK;
  void Clear() { *this = ConnectorJournal{}; }
};

inline ConnectorJournal& Journal() {
  static ConnectorJournal journal;
  return journal;
}

class FakeConnector final : public ComObject<NoDispatch<IKfxReleaseScript>> {
 public:
  HRESULT OpenScript(KfxReturnValue* ret) override {
    Journal().calls.push_back("OpenScript");
    *ret = Journal().failOpen ? KFX_REL_ERROR : KFX_REL_SUCCESS;
    return S_OK;
  }
  HRESULT ReleaseDoc(KfxReturnValue* ret) override;
  HRESULT CloseScript(KfxReturnValue* ret) override {
    Journal().calls.push_back("CloseScript");
    data_.Release();
    CurrentReleaseData.Release();
    *ret = Journal().failClose ? KFX_REL_ERROR : KFX_REL_SUCCESS;
    return S_OK;
  }
  HRESULT get_DocumentData(IReleaseData** data) override { return data_.CopyTo(data); }
  HRESULT putref_DocumentData(IReleaseData* data) override {
    Journal().calls.push_back("DocumentData");
    if (Journal().putResult != S_OK) return Journal().putResult;
    data_ = data;
    CurrentReleaseData = data;
    return S_OK;
  }

 private:
  CComPtr<IReleaseData> data_;
};

inline std::string Text(const CComBSTR& b) { return Utf16ToUtf8(b.View()); }

inline HRESULT FakeConnector::ReleaseDoc(KfxReturnValue* ret) {
  Journal().calls.push_back("ReleaseDoc");
  *ret = KFX_REL_ERROR;
  SeenDocument doc;
  CComBSTR pdf, server, user, password;
  data_->get_KofaxPDFFileName(&pdf);
  data_->get_ConnectString(&server);
  data_->get_UserName(&user);
  data_->get_Password(&password);
  doc.pdfFileName = Text(pdf);
  doc.server = Text(server);
  doc.user = Text(user);
  doc.password = Text(password);
  CComPtr<ICustomProperties> props;
  if (data_->get_CustomProperties(&props) == S_OK) {
    CComPtr<ICustomProperty> library;
    CComBSTR text;
    if (props->get_Item(CComVariant(u"serverAPILibrary"), &library) == S_OK && library->get_Value(&text) == S_OK)
      doc.library = Text(text);
  }
  CComPtr<IValues> values;
  if (data_->get_Values(&values) != S_OK) {
    ReportToHost(REPORT_HERE, 1, u"Failed to get values");
    return S_OK;
  }
  LONG count = 0;
  values->get_Count(&count);
  std::string tooLong, invoice;
  for (LONG i = 1; i <= count; ++i) {
    CComPtr<IValue> v;
    if (values->get_Item(CComVariant(i), &v) != S_OK) continue;
    SeenValue seen;
    CComBSTR destination, value, table;
    v->get_Destination(&destination);
    v->get_Value(&value);
    v->get_TableName(&table);
    seen.destination = Text(destination);
    seen.value = Text(value);
    seen.tableName = Text(table);
    if (!table.IsEmpty()) {
      CComPtr<IDispatch> rowsDispatch;
      if (v->get_RowValues(CComVariant(0, VT_INT), &rowsDispatch) == S_OK) {
        CComPtr<IRowValues> rows;
        if (rows.QueryFrom(rowsDispatch) == S_OK) {
          seen.rowsAnswered = true;
          LONG n = 0;
          rows->get_Count(&n);
          for (LONG j = 1; j <= n; ++j) {
            CComPtr<IValue> row;
            CComBSTR text;
            if (rows->get_Item(CComVariant(j), &row) == S_OK && row->get_Value(&text) == S_OK)
              seen.rows.push_back(Text(text));
          }
        }
      }
    }
    bool column = seen.destination.find('.') != std::string::npos;
    if (column && seen.value.size() > Journal().maxLength && tooLong.empty()) tooLong = seen.destination;
    if (seen.destination == "TBHB.BHINV") invoice = seen.value;
    doc.values.push_back(std::move(seen));
  }
  Journal().documents.push_back(doc);
  if (invoice == "THROW") throw std::runtime_error("connector fault");
  if (!tooLong.empty()) {
    ReportToHost(REPORT_HERE, 1, u"Error Updating %s: value too long\nsecond line", Utf8ToUtf16(tooLong));
    return S_OK;
  }
  ReportToHost(REPORT_HERE, 0, u"Document Released Successfully %s", pdf);
  *ret = KFX_REL_SUCCESS;
  return S_OK;
}

inline HRESULT CreateFakeConnector(IKfxReleaseScript** script) {
  CComPtr<IKfxReleaseScript> connector(new FakeConnector);
  *script = connector.Detach();
  return S_OK;
}

}  // namespace fakes
