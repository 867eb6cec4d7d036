#include <gtest/gtest.h>

#include "capture/resolve.h"
#include "platform/com/utf.h"

using namespace capture;

namespace {

DocumentClass InvoiceClass() {
  DocumentClass c;
  c.name = u"Invoice";
  c.batchClassName = u"AP Invoices";
  c.instanceName = u"ECM export";
  c.serverName = u"sqlite:/srv/ecm";
  c.userName = u"KOFAX";
  c.password = u"pw";
  c.customProperties = {{u"serverAPILibrary", u"ECMLIB"}};
  c.indexFields = {{u"Vendor", u""},
                   {u"Unused", u""},
                   {u"ItemNumber", u"InvoiceLines"},
                   {u"Quantity", u"InvoiceLines"},
                   {u"Charge", u"Charges"}};
  c.batchFields = {u"OriginalFolder", u"OriginalFileNameExt"};
  c.links = {{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
             {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"},
             {u"ItemNumber", KFX_REL_INDEXFIELD, u"TBLB.BLCIT"},
             {u"Quantity", KFX_REL_INDEXFIELD, u"TBLB.BLINQ"},
             {u"Charge", KFX_REL_INDEXFIELD, u"TBLB.BLALA"},
             {u"Unused", KFX_REL_INDEXFIELD, u"TBHB.BHRMA"},
             {u"Deleted field", KFX_REL_INDEXFIELD, u"TBHB.BHTDS"},
             {u"Scan Operator's User ID", KFX_REL_VARIABLE, u"TPEC.PELDU"},
             {u"OriginalFolder", KFX_REL_BATCHFIELD, u"OriginalFolder"},
             {u"First Page Original File Name", KFX_REL_VARIABLE, u"OriginalFileName"},
             {u"OriginalFileNameExt", KFX_REL_BATCHFIELD, u"OriginalFileNameExt"}};
  return c;
}

Batch SampleBatch() {
  Batch b;
  b.name = u"Morning";
  b.documentClass = u"Invoice";
  b.batchFields = {{u"OriginalFolder", u"/scans"}, {u"OriginalFileNameExt", u"pdf"}};
  b.values = {{u"Scan Operator's User ID", u"JSMITH"}};
  BatchDocument lines;
  lines.originalFileName = u"inv-1.tif";
  lines.kofaxPdfFileName = u"/release/1.pdf";
  lines.indexFields = {{u"Vendor", u"V1"}};
  lines.tables[u"InvoiceLines"] = {{{u"ItemNumber", u"A"}, {u"Quantity", u"2"}},
                                   {{u"ItemNumber", u"B"}},
                                   {{u"ItemNumber", u"C"}, {u"Quantity", u"1.5"}}};
  lines.values = {{u"Scan Operator's User ID", u"OVERRIDE"}};
  BatchDocument bare;
  bare.name = u"second";
  b.documents = {lines, bare};
  return b;
}

std::string U8(std::u16string_view s) { return Utf16ToUtf8(s); }

TEST(Resolve, OneValuePerLinkInLinkOrder) {
  auto values = ResolveLinks(InvoiceClass(), SampleBatch(), 0);
  ASSERT_EQ(values.size(), 11u);
  struct Expected {
    const char* destination;
    const char* value;
    const char* table;
    std::vector<std::string> rows;
  } expected[] = {
      {"TPEC.PESID", "V1", "", {}},
      {"TPEC.PEPGN", "GRP1", "", {}},
      {"TBLB.BLCIT", "A", "InvoiceLines", {"A", "B", "C"}},
      {"TBLB.BLINQ", "2", "InvoiceLines", {"2", "", "1.5"}},
      {"TBLB.BLALA", "", "Charges", {}},  // a table the document does not fill: no rows
      {"TBHB.BHRMA", "", "", {}},
      {"TBHB.BHTDS", "", "", {}},
      {"TPEC.PELDU", "OVERRIDE", "", {}},
      {"OriginalFolder", "/scans", "", {}},
      {"OriginalFileName", "inv-1.tif", "", {}},
      {"OriginalFileNameExt", "pdf", "", {}},
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(expected[i].destination);
    EXPECT_EQ(U8(values[i].destination), expected[i].destination);
    EXPECT_EQ(U8(values[i].value), expected[i].value);
    EXPECT_EQ(U8(values[i].tableName), expected[i].table);
    std::vector<std::string> rows;
    for (auto& r : values[i].rows) rows.push_back(U8(r));
    EXPECT_EQ(rows, expected[i].rows);
    EXPECT_EQ(values[i].sourceName, InvoiceClass().links[i].source);
    EXPECT_EQ(values[i].sourceType, InvoiceClass().links[i].sourceType);
  }
}

TEST(Resolve, DocumentWithoutValues) {
  auto values = ResolveLinks(InvoiceClass(), SampleBatch(), 1);
  EXPECT_EQ(U8(values[0].value), "");
  EXPECT_EQ(U8(values[2].tableName), "InvoiceLines");
  EXPECT_TRUE(values[2].rows.empty());
  EXPECT_EQ(U8(values[7].value), "JSMITH");  // the batch's value
  EXPECT_EQ(U8(values[9].value), "");
}

TEST(Resolve, PlatformValues) {
  DocumentClass c = InvoiceClass();
  Batch b = SampleBatch();
  struct Case {
    std::size_t doc;
    const char16_t* name;
    const char* value;
    bool found;
  } cases[] = {
      {0, u"Batch Class Name", "AP Invoices", true},
      {0, u"Batch Name", "Morning", true},
      {0, u"Document Class Name", "Invoice", true},
      {1, u"Document ID", "2", true},
      {0, u"First Page Original File Name", "inv-1.tif", true},
      {0, u"Scan Operator's User ID", "OVERRIDE", true},
      {1, u"Scan Operator's User ID", "JSMITH", true},
      {0, u"Site Name", "", false},
  };
  for (const Case& k : cases) {
    bool found = !k.found;
    EXPECT_EQ(U8(PlatformValue(c, b, k.doc, k.name, &found)), k.value) << U8(k.name);
    EXPECT_EQ(found, k.found) << U8(k.name);
  }
}

TEST(Resolve, ReleaseDocumentCarriesTheSettings) {
  ReleaseDocument d = MakeReleaseDocument(InvoiceClass(), SampleBatch(), 0);
  EXPECT_EQ(d.name, u"ECM export");
  EXPECT_EQ(d.kofaxPdfFileName, u"/release/1.pdf");
  EXPECT_EQ(d.connectString, u"sqlite:/srv/ecm");
  EXPECT_EQ(d.userName, u"KOFAX");
  EXPECT_EQ(d.password, u"pw");
  EXPECT_EQ(d.customProperties, InvoiceClass().customProperties);
  EXPECT_EQ(d.values.size(), 11u);
}

}  // namespace
