#include <gtest/gtest.h>

#include <memory>

#include "capture/host_objects.h"
#include "ecm/mapping_model.h"
#include "ecm/settings.h"
#include "platform/com/utf.h"

using namespace capture;

namespace {

std::string U8(std::u16string_view s) { return Utf16ToUtf8(s); }

std::string Destination(IValue* v) {
  CComBSTR b;
  EXPECT_EQ(v->get_Destination(&b), S_OK);
  return U8(b.View());
}
std::string ValueText(IValue* v) {
  CComBSTR b;
  EXPECT_EQ(v->get_Value(&b), S_OK);
  return U8(b.View());
}

std::vector<DocumentValue> SampleValues() {
  return {
      {u"TPEC.PESID", u"V10023", u"VendorId", KFX_REL_INDEXFIELD, u"", {}},
      {u"TBLB.BLCIT", u"A-1", u"ItemNumber", KFX_REL_INDEXFIELD, u"InvoiceLines", {u"A-1", u"B-2", u"C-3"}},
      {u"TPEC.PESID", u"second", u"Other", KFX_REL_TEXTCONSTANT, u"", {}},
  };
}

TEST(Values, ItemByPositionOfAnyIntegerKind) {
  CComPtr<IValues> values = MakeValues(SampleValues());
  LONG count = 0;
  ASSERT_EQ(values->get_Count(&count), S_OK);
  EXPECT_EQ(count, 3);
  struct Case {
    CComVariant key;
    HRESULT hr;
    std::string destination;
  } cases[] = {
      {CComVariant(1), S_OK, "TPEC.PESID"},
      {CComVariant(2, VT_INT), S_OK, "TBLB.BLCIT"},
      {CComVariant(3, VT_I2), S_OK, "TPEC.PESID"},
      {CComVariant(0), DISP_E_BADINDEX, ""},
      {CComVariant(4), DISP_E_BADINDEX, ""},
      {CComVariant(-1), DISP_E_BADINDEX, ""},
      {CComVariant(1.0), DISP_E_BADINDEX, ""},  // neither a position nor a name
      {CComVariant(), DISP_E_BADINDEX, ""},
  };
  for (auto& c : cases) {
    CComPtr<IValue> v;
    EXPECT_EQ(values->get_Item(c.key, &v), c.hr) << c.destination;
    if (c.hr == S_OK) EXPECT_EQ(Destination(v), c.destination);
    else EXPECT_FALSE(v);
  }
}

TEST(Values, ItemByDestinationFindsTheFirst) {
  CComPtr<IValues> values = MakeValues(SampleValues());
  CComPtr<IValue> v;
  ASSERT_EQ(values->get_Item(CComVariant(u"TPEC.PESID"), &v), S_OK);
  EXPECT_EQ(ValueText(v), "V10023");
  EXPECT_EQ(values->get_Item(CComVariant(u"tpec.pesid"), &v), DISP_E_BADINDEX);
  EXPECT_EQ(values->get_Item(CComVariant(u"OriginalFolder"), &v), DISP_E_BADINDEX);
}

TEST(Values, EveryPropertyOfAValue) {
  CComPtr<IValue> v = MakeValue({u"TBLB.BLCIT", u"A-1", u"ItemNumber", KFX_REL_INDEXFIELD, u"InvoiceLines", {}});
  CComBSTR source, table;
  LONG type = -1;
  EXPECT_EQ(v->get_SourceName(&source), S_OK);
  EXPECT_EQ(v->get_SourceType(&type), S_OK);
  EXPECT_EQ(v->get_TableName(&table), S_OK);
  EXPECT_EQ(source, std::u16string_view(u"ItemNumber"));
  EXPECT_EQ(type, KFX_REL_INDEXFIELD);
  EXPECT_EQ(table, std::u16string_view(u"InvoiceLines"));
}

TEST(Values, RowValuesAnswerTheirInterfaceAndCountFromOne) {
  CComPtr<IValues> values = MakeValues(SampleValues());
  CComPtr<IValue> v;
  ASSERT_EQ(values->get_Item(CComVariant(2), &v), S_OK);
  CComPtr<IDispatch> dispatch;
  ASSERT_EQ(v->get_RowValues(CComVariant(0, VT_INT), &dispatch), S_OK);
  CComPtr<IRowValues> rows;
  ASSERT_EQ(dispatch->QueryInterface(MakeGuid("{2044A7E0-C29E-49E1-A862-AAB6020ED02F}"),
                                     reinterpret_cast<void**>(&rows)),
            S_OK);
  LONG count = 0;
  ASSERT_EQ(rows->get_Count(&count), S_OK);
  ASSERT_EQ(count, 3);
  std::vector<std::string> texts;
  for (LONG j = 1; j <= count; ++j) {
    CComPtr<IValue> row;
    ASSERT_EQ(rows->get_Item(CComVariant(j), &row), S_OK);
    texts.push_back(ValueText(row));
    EXPECT_EQ(Destination(row), "TBLB.BLCIT");
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"A-1", "B-2", "C-3"}));
  CComPtr<IValue> none;
  EXPECT_EQ(rows->get_Item(CComVariant(0), &none), DISP_E_BADINDEX);
  EXPECT_EQ(rows->get_Item(CComVariant(4), &none), DISP_E_BADINDEX);

  // A value without rows has an empty row collection.
  ASSERT_EQ(values->get_Item(CComVariant(1), &v), S_OK);
  ASSERT_EQ(v->get_RowValues(CComVariant(0, VT_INT), &dispatch), S_OK);
  ASSERT_EQ(rows.QueryFrom(dispatch), S_OK);
  ASSERT_EQ(rows->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST(CustomProperties, ItemAddRemoveAndLiveItems) {
  CComPtr<ICustomProperties> props = MakeCustomProperties({{u"serverAPILibrary", u"ECMLIB"}, {u"Other", u"x"}});
  CComPtr<ICustomProperty> p;
  ASSERT_EQ(props->get_Item(CComVariant(u"serverAPILibrary"), &p), S_OK);
  CComBSTR value, name;
  ASSERT_EQ(p->get_Value(&value), S_OK);
  EXPECT_EQ(value, std::u16string_view(u"ECMLIB"));
  EXPECT_EQ(props->get_Item(CComVariant(u"serverapilibrary"), &p), DISP_E_BADINDEX);
  ASSERT_EQ(props->get_Item(CComVariant(2), &p), S_OK);
  ASSERT_EQ(p->get_Name(&name), S_OK);
  EXPECT_EQ(name, std::u16string_view(u"Other"));

  CComBSTR dup(u"Other"), v2(u"y"), empty;
  EXPECT_NE(props->Add(dup, v2, nullptr), S_OK);  // the name exists
  EXPECT_NE(props->Add(empty, v2, nullptr), S_OK);
  ASSERT_EQ(p->put_Value(v2), S_OK);              // live item
  EXPECT_EQ(ReadCustomProperties(props), (std::vector<PropertyDef>{{u"serverAPILibrary", u"ECMLIB"}, {u"Other", u"y"}}));
  EXPECT_EQ(props->Remove(CComVariant(u"Missing")), DISP_E_BADINDEX);
  EXPECT_EQ(props->Remove(CComVariant(u"Other")), S_OK);
  EXPECT_EQ(props->Remove(CComVariant(5)), DISP_E_BADINDEX);
  LONG count = 0;
  props->get_Count(&count);
  EXPECT_EQ(count, 1);
}

TEST(CustomProperties, SettingsHelpersOnTheHostsCollection) {
  CComPtr<ICustomProperties> props = MakeCustomProperties({});
  std::u16string value;
  EXPECT_FALSE(GetCustomProperty(props, kLibraryProperty, u"", value));
  EXPECT_TRUE(SetCustomProperty(props, kLibraryProperty, u"LIB1"));
  EXPECT_TRUE(SetCustomProperty(props, kLibraryProperty, u" LIB2 "));
  EXPECT_TRUE(GetCustomProperty(props, kLibraryProperty, u"", value));
  EXPECT_EQ(value, u" LIB2 ");
  LONG count = 0;
  props->get_Count(&count);
  EXPECT_EQ(count, 1);
}

class Events final : public ReleaseEvents {
 public:
  std::vector<std::string> seen;
  void LogError(LONG e1, LONG e2, LONG e3, std::u16string_view m, std::u16string_view module, LONG line) override {
    seen.push_back("log " + std::to_string(e1) + std::to_string(e2) + std::to_string(e3) + " " + U8(m) + " " +
                   U8(module) + ":" + std::to_string(line));
  }
  void SendMessage(std::u16string_view m, LONG n, LONG info) override {
    seen.push_back("send " + U8(m) + " " + std::to_string(n) + " " + std::to_string(info));
  }
};

TEST(ReleaseData, PresentsTheDocumentAndForwardsReports) {
  auto events = std::make_shared<Events>();
  ReleaseDocument doc{u"ECM export", u"/pdf/1.pdf", u"sqlite:/srv/ecm", u"KOFAX", u"  pw  ",
                      {{u"serverAPILibrary", u"ECMLIB"}}, SampleValues()};
  CComPtr<IReleaseData> data = MakeReleaseData(doc, events);
  CComBSTR name, pdf, server, user, password;
  data->get_Name(&name);
  data->get_KofaxPDFFileName(&pdf);
  data->get_ConnectString(&server);
  data->get_UserName(&user);
  data->get_Password(&password);
  EXPECT_EQ(name, std::u16string_view(u"ECM export"));
  EXPECT_EQ(pdf, std::u16string_view(u"/pdf/1.pdf"));
  EXPECT_EQ(server, std::u16string_view(u"sqlite:/srv/ecm"));
  EXPECT_EQ(user, std::u16string_view(u"KOFAX"));
  EXPECT_EQ(password, std::u16string_view(u"  pw  "));
  std::u16string library;
  EXPECT_TRUE(GetCustomProperty(static_cast<IReleaseData*>(data), kLibraryProperty, u"", library));
  EXPECT_EQ(library, u"ECMLIB");
  CComPtr<IValues> values;
  ASSERT_EQ(data->get_Values(&values), S_OK);
  LONG count = 0;
  values->get_Count(&count);
  EXPECT_EQ(count, 3);

  CComBSTR message(u"Error Updating TBHB: x\nline 2"), module(u"export/releaseScript.cpp");
  EXPECT_EQ(data->LogError(1, 0, 0, message, module, 212), S_OK);
  EXPECT_EQ(data->SendMessage(message, 1, KFX_REL_DOC_ERROR), S_OK);
  EXPECT_EQ(events->seen, (std::vector<std::string>{"log 100 Error Updating TBHB: x\nline 2 export/releaseScript.cpp:212",
                                                    "send Error Updating TBHB: x\nline 2 1 1"}));
}

TEST(Links, AddRemoveAndRefuseUnknownTypes) {
  CComPtr<ILinks> links = MakeLinks({});
  CComBSTR a(u"Vendor"), d(u"TPEC.PESID");
  CComPtr<ILink> added;
  ASSERT_EQ(links->Add(a, KFX_REL_INDEXFIELD, d, &added), S_OK);
  ASSERT_TRUE(added);
  EXPECT_EQ(links->Add(a, 7, d, nullptr), E_INVALIDARG);
  EXPECT_EQ(links->Add(a, KFX_REL_UNDEFINED_LINK, d, nullptr), E_INVALIDARG);
  ASSERT_EQ(links->Add(a, KFX_REL_BATCHFIELD, d, nullptr), S_OK);
  EXPECT_EQ(links->Remove(CComVariant(3)), DISP_E_BADINDEX);
  EXPECT_EQ(links->Remove(CComVariant(1)), S_OK);
  EXPECT_EQ(ReadLinks(links), (std::vector<LinkDef>{{u"Vendor", KFX_REL_BATCHFIELD, u"TPEC.PESID"}}));
  EXPECT_EQ(links->RemoveAll(), S_OK);
  EXPECT_TRUE(ReadLinks(links).empty());
}

TEST(IndexFields, ByPositionAndName) {
  CComPtr<IIndexFields> fields = MakeIndexFields({{u"Vendor", u""}, {u"ItemNumber", u"InvoiceLines"}});
  LONG count = 0;
  ASSERT_EQ(fields->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);
  CComPtr<IIndexField> f;
  ASSERT_EQ(fields->get_Item(CComVariant(2), &f), S_OK);
  CComBSTR name, table;
  f->get_Name(&name);
  f->get_TableName(&table);
  EXPECT_EQ(name, std::u16string_view(u"ItemNumber"));
  EXPECT_EQ(table, std::u16string_view(u"InvoiceLines"));
  ASSERT_EQ(fields->get_Item(CComVariant(u"Vendor"), &f), S_OK);
  EXPECT_EQ(fields->get_Item(CComVariant(3), &f), DISP_E_BADINDEX);
}

std::vector<std::string> WalkNames(IUnknown* collection) {
  std::vector<std::string> names;
  CComPtr<IUnknown> unknown;
  CComPtr<IBatchVariableNames2> v2;
  CComPtr<IBatchVariableNames> v1;
  if (v2.QueryFrom(collection) == S_OK) {
    EXPECT_EQ(v2->get__NewEnum(&unknown), S_OK);
  } else {
    EXPECT_EQ(v1.QueryFrom(collection), S_OK);
    EXPECT_EQ(v1->get__NewEnum(&unknown), S_OK);
  }
  CComPtr<IEnumVARIANT> e;
  EXPECT_EQ(e.QueryFrom(unknown), S_OK);
  for (;;) {
    CComVariant item;
    ULONG fetched = 0;
    HRESULT hr = e->Next(1, &item, &fetched);
    if (hr != S_OK) {
      EXPECT_EQ(hr, S_FALSE);
      EXPECT_EQ(fetched, 0u);
      break;
    }
    EXPECT_EQ(item.vt, VT_BSTR);
    names.push_back(U8(BstrView(item.bstrVal)));
  }
  return names;
}

TEST(BatchVariableNames, BothInterfacesAndAWorkingEnumerator) {
  CComPtr<IDispatch> names = MakeBatchVariableNames({u"Batch Name", u"First Page Original File Name", u"Site ID"});
  const std::vector<std::string> expected = {"Batch Name", "First Page Original File Name", "Site ID"};
  EXPECT_EQ(WalkNames(names), expected);
  CComPtr<IBatchVariableNames> v1;
  ASSERT_EQ(v1.QueryFrom(names), S_OK);
  LONG count = 0;
  ASSERT_EQ(v1->get_Count(&count), S_OK);
  EXPECT_EQ(count, 3);
  CComBSTR second;
  ASSERT_EQ(v1->get_Item(CComVariant(2), &second), S_OK);
  EXPECT_EQ(second, std::u16string_view(u"First Page Original File Name"));
  // The same object through either interface.
  CComPtr<IUnknown> a, b;
  ASSERT_EQ(a.QueryFrom(v1), S_OK);
  CComPtr<IBatchVariableNames2> v2;
  ASSERT_EQ(v2.QueryFrom(names), S_OK);
  ASSERT_EQ(b.QueryFrom(v2), S_OK);
  EXPECT_EQ(a.get(), b.get());
}

TEST(Enumerator, NextSkipResetClone) {
  CComPtr<IEnumVARIANT> e = MakeEnumVariant({CComVariant(u"a"), CComVariant(u"b"), CComVariant(u"c")});
  VARIANT items[4];
  ULONG fetched = 9;
  ASSERT_EQ(e->Next(2, items, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  for (ULONG i = 0; i < fetched; ++i) VariantClear(&items[i]);
  CComPtr<IEnumVARIANT> copy;
  ASSERT_EQ(e->Clone(&copy), S_OK);
  ASSERT_EQ(e->Next(4, items, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(U8(BstrView(items[0].bstrVal)), "c");
  VariantClear(&items[0]);
  EXPECT_EQ(copy->Next(4, items, &fetched), S_FALSE);  // the clone kept its place
  EXPECT_EQ(fetched, 1u);
  VariantClear(&items[0]);
  ASSERT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  EXPECT_EQ(e->Skip(5), S_FALSE);
  EXPECT_EQ(e->Next(1, items, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
}

DocumentClass SampleClass() {
  DocumentClass c;
  c.name = u"Invoice";
  c.batchClassName = u"AP Invoices";
  c.instanceName = u"Old name";
  c.indexFields = {{u"Vendor", u""}, {u"ItemNumber", u"InvoiceLines"}};
  c.valueNames = {u"Batch Name", u"Site ID"};
  c.customProperties = {{u"serverAPILibrary", u"OLD"}};
  return c;
}

TEST(SetupData, EditsReachTheStoreOnlyThroughApply) {
  std::vector<DocumentClass> applied;
  CComPtr<IReleaseSetupData> setup = MakeReleaseSetupData(SampleClass(), [&](const DocumentClass& c) {
    applied.push_back(c);
    return true;
  });
  CComBSTR batchClass, docClass;
  setup->get_BatchClassName(&batchClass);
  setup->get_DocClassName(&docClass);
  EXPECT_EQ(batchClass, std::u16string_view(u"AP Invoices"));
  EXPECT_EQ(docClass, std::u16string_view(u"Invoice"));

  // What the setup does when OK is pressed.
  CComBSTR name(u"ECM export"), server(u"sqlite:/srv/ecm"), user(u"KOFAX"), password(u" secret ");
  EXPECT_EQ(setup->put_Name(name), S_OK);
  EXPECT_EQ(setup->put_ConnectString(server), S_OK);
  EXPECT_EQ(setup->put_UserName(user), S_OK);
  EXPECT_EQ(setup->put_Password(password), S_OK);
  EXPECT_TRUE(SetCustomProperty(static_cast<IReleaseSetupData*>(setup), kLibraryProperty, u"ECMLIB"));
  auto model = std::make_unique<CMappingModel>(setup);
  model->BuildCatalogue();
  ASSERT_TRUE(model->LoadLinks());
  model->Entry(model->FindByKey(u"TPEC.PESID")).source = CComBSTR(u"Vendor");
  model->Entry(model->FindByKey(u"TPEC.PESID")).sourceType = KFX_REL_INDEXFIELD;
  model->Entry(model->FindByKey(u"TPEC.PEPGN")).source = CComBSTR(u"GRP1");
  model->Entry(model->FindByKey(u"TPEC.PEPGN")).sourceType = KFX_REL_TEXTCONSTANT;
  ASSERT_TRUE(model->SaveLinks());
  EXPECT_TRUE(applied.empty());  // nothing stored without Apply

  ASSERT_EQ(setup->Apply(), S_OK);
  ASSERT_EQ(applied.size(), 1u);
  const DocumentClass& c = applied[0];
  EXPECT_EQ(c.instanceName, u"ECM export");
  EXPECT_EQ(c.serverName, u"sqlite:/srv/ecm");
  EXPECT_EQ(c.userName, u"KOFAX");
  EXPECT_EQ(c.password, u" secret ");
  EXPECT_EQ(c.customProperties, (std::vector<PropertyDef>{{u"serverAPILibrary", u"ECMLIB"}}));
  EXPECT_EQ(c.links, (std::vector<LinkDef>{{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                                           {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"},
                                           {u"OriginalFolder", KFX_REL_BATCHFIELD, u"OriginalFolder"},
                                           {u"First Page Original File Name", KFX_REL_VARIABLE, u"OriginalFileName"},
                                           {u"OriginalFileNameExt", KFX_REL_BATCHFIELD, u"OriginalFileNameExt"}}));
  EXPECT_EQ(c.indexFields, SampleClass().indexFields);
  EXPECT_EQ(c.name, u"Invoice");

  // A second setup run over the stored class sees exactly that mapping.
  CComPtr<IReleaseSetupData> again = MakeReleaseSetupData(c, nullptr);
  auto reloaded = std::make_unique<CMappingModel>(again);
  reloaded->BuildCatalogue();
  ASSERT_TRUE(reloaded->LoadLinks());
  EXPECT_EQ(reloaded->Entry(2).source, std::u16string_view(u"Vendor"));
  EXPECT_EQ(reloaded->Entry(16).source, std::u16string_view(u"GRP1"));
  EXPECT_EQ(again->Apply(), E_FAIL);  // nowhere to store
}

TEST(SetupData, ApplyReportsAFailedStore) {
  CComPtr<IReleaseSetupData> setup = MakeReleaseSetupData(SampleClass(), [](const DocumentClass&) { return false; });
  EXPECT_EQ(setup->Apply(), E_FAIL);
}

TEST(SetupData, CollectionsOfTheClass) {
  CComPtr<IReleaseSetupData> setup = MakeReleaseSetupData(SampleClass(), nullptr);
  CComPtr<IIndexFields> fields;
  ASSERT_EQ(setup->get_IndexFields(&fields), S_OK);
  LONG count = 0;
  fields->get_Count(&count);
  EXPECT_EQ(count, 2);
  CComPtr<IDispatch> names;
  ASSERT_EQ(setup->get_BatchVariableNames(&names), S_OK);
  EXPECT_EQ(WalkNames(names), (std::vector<std::string>{"Batch Name", "Site ID"}));
  std::u16string library;
  EXPECT_TRUE(GetCustomProperty(static_cast<IReleaseSetupData*>(setup), kLibraryProperty, u"", library));
  EXPECT_EQ(library, u"OLD");
}

}  // namespace
