#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "capture/json_io.h"
#include "platform/com/utf.h"

using namespace capture;

namespace {

const char* kBatch = R"({
  "name": "Morning",
  "batchClass": "AP Invoices",
  "documentClass": "Invoice",
  "_comment": "ignored",
  "batchFields": {"OriginalFolder": "/scans"},
  "values": {"Batch Description": "mail"},
  "documents": [
    {"name": "INV-1", "kofaxPdfFileName": "/r/1.pdf", "originalFileName": "1.tif",
     "values": {"Site ID": "7"},
     "indexFields": {"Vendor": "V1", "Amount": 12.5, "Empty": null,
                     "InvoiceLines": [{"ItemNumber": "A", "Quantity": 2}, {"ItemNumber": "B"}]}},
    {"indexFields": {}}
  ]
})";

TEST(BatchFile, Parses) {
  Batch b;
  std::string error;
  ASSERT_TRUE(ParseBatch(kBatch, "batch.json", b, &error)) << error;
  EXPECT_EQ(b.file, "batch.json");
  EXPECT_EQ(b.name, u"Morning");
  EXPECT_EQ(b.batchClass, u"AP Invoices");
  EXPECT_EQ(b.documentClass, u"Invoice");
  EXPECT_EQ(b.batchFields.at(u"OriginalFolder"), u"/scans");
  EXPECT_EQ(b.values.at(u"Batch Description"), u"mail");
  ASSERT_EQ(b.documents.size(), 2u);
  const BatchDocument& d = b.documents[0];
  EXPECT_EQ(d.name, u"INV-1");
  EXPECT_EQ(d.kofaxPdfFileName, u"/r/1.pdf");
  EXPECT_EQ(d.originalFileName, u"1.tif");
  EXPECT_EQ(d.values.at(u"Site ID"), u"7");
  EXPECT_EQ(d.indexFields.at(u"Vendor"), u"V1");
  EXPECT_EQ(d.indexFields.at(u"Amount"), u"12.5");
  EXPECT_EQ(d.indexFields.at(u"Empty"), u"");
  ASSERT_EQ(d.tables.at(u"InvoiceLines").size(), 2u);
  EXPECT_EQ(d.tables.at(u"InvoiceLines")[0].at(u"Quantity"), u"2");
  EXPECT_EQ(d.tables.at(u"InvoiceLines")[1].count(u"Quantity"), 0u);
  EXPECT_EQ(DocumentLabel(b.documents[1], 2), u"document 2");
  EXPECT_EQ(DocumentLabel(d, 1), u"INV-1");
}

TEST(BatchFile, FaultsNameTheirPlace) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "b.json:1:1: not valid JSON: "},
      {"{\n  \"documentClass\": \"X\",\n  \"documents\": [}\n", "b.json:3:17: not valid JSON: "},
      {"[]", "b.json: at /: expected an object, found a list"},
      {R"({"documents": [{}]})", "b.json: at /: the member 'documentClass' is missing"},
      {R"({"documentClass": "", "documents": [{}]})", "b.json: at /documentClass: must not be empty"},
      {R"({"documentClass": "X"})", "b.json: at /: the member 'documents' is missing"},
      {R"({"documentClass": "X", "documents": []})", "b.json: at /documents: the batch has no documents"},
      {R"({"documentClass": "X", "documents": {}})", "b.json: at /documents: expected a list of documents, found an object"},
      {R"({"documentClass": "X", "document": []})", "b.json: at /document: unknown member 'document'"},
      {R"({"documentClass": "X", "documents": [{"indexField": {}}]})", "b.json: at /documents/0/indexField: unknown member"},
      {R"({"documentClass": "X", "documents": [{}, {"indexFields": {"Vendor": {"a": 1}}}]})",
       "b.json: at /documents/1/indexFields/Vendor: expected a text, found an object"},
      {R"({"documentClass": "X", "documents": [{"indexFields": {"T": [{"A": "1"}, "x"]}}]})",
       "b.json: at /documents/0/indexFields/T/1: expected a table row"},
      {R"({"documentClass": "X", "documents": [{"indexFields": {"T": [{"A": true}]}}]})",
       "b.json: at /documents/0/indexFields/T/0/A: expected a text, found true or false"},
      {R"({"documentClass": "X", "batchFields": [], "documents": [{}]})", "b.json: at /batchFields: expected an object"},
      {R"({"documentClass": "X", "documents": [{"indexFields": {"a/b": 1, "": 2}}]})",
       "b.json: at /documents/0/indexFields: a field name must not be empty"},
      {"{\"documentClass\": \"\xff\", \"documents\": [{}]}", "b.json:1:20: not valid JSON: "},
      {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[",
       "b.json:1:65: nested deeper than 64 levels"},
      {R"({"documentClass": "X", "documents": [{"indexFields": {"A": 1e400}}]})",
       "b.json: not valid JSON: number overflow parsing '1e400'"},
  };
  for (const Case& c : cases) {
    Batch b;
    std::string error;
    EXPECT_FALSE(ParseBatch(c.text, "b.json", b, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error << "\nfor: " << c.text;
  }
}

TEST(BatchFile, MissingFile) {
  Batch b;
  std::string error;
  EXPECT_FALSE(ReadBatchFile("/nonexistent/batch.json", b, &error));
  EXPECT_EQ(error.rfind("/nonexistent/batch.json: cannot be read: ", 0), 0u) << error;
  const std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_FALSE(ReadBatchFile(folder, b, &error));
  EXPECT_EQ(error, folder + ": cannot be read: it is a folder");
  DocumentClass c;
  EXPECT_FALSE(ReadClassFile(folder, c, &error));
  EXPECT_EQ(error, folder + ": cannot be read: it is a folder");
}

DocumentClass ClassForCheck() {
  DocumentClass c;
  c.name = u"Invoice";
  c.batchClassName = u"AP Invoices";
  c.indexFields = {{u"Vendor", u""}, {u"ItemNumber", u"InvoiceLines"}, {u"Charge", u"Charges"}};
  c.batchFields = {u"OriginalFolder"};
  return c;
}

TEST(BatchFile, CheckedAgainstTheClass) {
  struct Case {
    const char* documents;
    const char* extra;
    const char* message;  // empty: fine
  } cases[] = {
      {R"([{"indexFields": {"Vendor": "V", "InvoiceLines": [{"ItemNumber": "A"}], "Charges": []}}])", "", ""},
      {R"([{"indexFields": {"Vendr": "V"}}])", "", "at /documents/0/indexFields/Vendr: the document class 'Invoice' has no index field 'Vendr'"},
      {R"([{}, {"indexFields": {"ItemNumber": "A"}}])", "",
       "at /documents/1/indexFields/ItemNumber: the index field 'ItemNumber' belongs to the table 'InvoiceLines'"},
      {R"([{"indexFields": {"Lines": []}}])", "", "at /documents/0/indexFields/Lines: the document class 'Invoice' has no table 'Lines'"},
      {R"([{"indexFields": {"InvoiceLines": [{"ItemNumber": "A"}, {"Charge": "1"}]}}])", "",
       "at /documents/0/indexFields/InvoiceLines/1/Charge: the table 'InvoiceLines' has no field 'Charge'"},
      {R"([{}])", R"("batchFields": {"Station": "1"},)", "at /batchFields/Station: the document class 'Invoice' has no batch field 'Station'"},
      {R"([{}])", R"("batchClass": "Other",)", "at /batchClass: the batch class 'Other' is not the batch class 'AP Invoices'"},
  };
  for (const Case& c : cases) {
    std::string text = std::string("{") + c.extra + R"("documentClass": "Invoice", "documents": )" + c.documents + "}";
    Batch b;
    std::string error;
    ASSERT_TRUE(ParseBatch(text, "b.json", b, &error)) << error;
    bool ok = CheckBatchAgainstClass(b, ClassForCheck(), &error);
    if (!*c.message) {
      EXPECT_TRUE(ok) << error;
    } else {
      EXPECT_FALSE(ok) << text;
      EXPECT_EQ(error.rfind(std::string("b.json: ") + c.message, 0), 0u) << error;
    }
  }
}

const char* kClass = R"({
  "documentClass": "Invoice",
  "batchClass": "AP Invoices",
  "connector": "qorvena.QorvenExportConnector",
  "instanceName": "ECM export",
  "serverName": "sqlite:/srv/ecm",
  "userName": "KOFAX",
  "password": "  pw  ",
  "customProperties": {"serverAPILibrary": "ECMLIB", "Other": "1"},
  "indexFields": ["Vendor", {"name": "ItemNumber", "table": "InvoiceLines"}],
  "batchFields": ["OriginalFolder"],
  "valueNames": ["Batch Name"],
  "links": [
    {"source": "Vendor", "type": "indexField", "destination": "TPEC.PESID"},
    {"source": "GRP1", "type": 1, "destination": "TPEC.PEPGN"},
    {"source": "Batch Name", "type": "KFX_REL_VARIABLE", "destination": "TPEC.PELDU"},
    {"source": "OriginalFolder", "type": "batchField", "destination": "OriginalFolder"}
  ]
})";

TEST(ClassFile, ParsesAndRoundTrips) {
  DocumentClass c;
  std::string error;
  ASSERT_TRUE(ParseClass(kClass, "c.json", c, &error)) << error;
  EXPECT_EQ(c.name, u"Invoice");
  EXPECT_EQ(c.password, u"  pw  ");
  EXPECT_EQ(c.customProperties, (std::vector<PropertyDef>{{u"serverAPILibrary", u"ECMLIB"}, {u"Other", u"1"}}));
  EXPECT_EQ(c.indexFields, (std::vector<IndexFieldDef>{{u"Vendor", u""}, {u"ItemNumber", u"InvoiceLines"}}));
  EXPECT_EQ(c.links, (std::vector<LinkDef>{{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                                           {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"},
                                           {u"Batch Name", KFX_REL_VARIABLE, u"TPEC.PELDU"},
                                           {u"OriginalFolder", KFX_REL_BATCHFIELD, u"OriginalFolder"}}));
  DocumentClass again;
  ASSERT_TRUE(ParseClass(ClassToJson(c), "c2.json", again, &error)) << error;
  EXPECT_EQ(again, c);
}

TEST(ClassFile, Defaults) {
  DocumentClass c;
  std::string error;
  ASSERT_TRUE(ParseClass(R"({"documentClass": "Bare"})", "c.json", c, &error)) << error;
  EXPECT_EQ(c.connectorProgId, u"qorvena.QorvenExportConnector");
  EXPECT_EQ(c.valueNames, DefaultValueNames());
  EXPECT_TRUE(c.links.empty());
}

TEST(ClassFile, FaultsNameTheirPlace) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {R"({"batchClass": "X"})", "c.json: at /: the member 'documentClass' is missing"},
      {R"({"documentClass": "X", "connector": ""})", "c.json: at /connector: must not be empty"},
      {R"({"documentClass": "X", "indexFields": ["A", "A"]})", "c.json: at /indexFields/1: the index field 'A' is defined twice"},
      {R"({"documentClass": "X", "indexFields": ["T", {"name": "B", "table": "T"}]})",
       "c.json: at /indexFields/0: the index field 'T' has the name of a table"},
      {R"({"documentClass": "X", "indexFields": [{"table": "T"}]})", "c.json: at /indexFields/0: the member 'name' is missing"},
      {R"({"documentClass": "X", "links": [{"source": "A", "type": "index", "destination": "D"}]})",
       "c.json: at /links/0/type: expected a source type"},
      {R"({"documentClass": "X", "links": [{"source": "A", "type": 4, "destination": "D"}]})",
       "c.json: at /links/0/type: expected a source type"},
      {R"({"documentClass": "X", "links": [{"source": "A", "type": 0}]})", "c.json: at /links/0: the member 'destination' is missing"},
      {R"({"documentClass": "X", "batchFields": ["B", "B"]})", "c.json: at /batchFields/1: the batch field 'B' is defined twice"},
      {R"({"documentClass": "X", "customProperties": []})", "c.json: at /customProperties: expected an object, found a list"},
      {R"({"documentClass": "X", "passwd": "x"})", "c.json: at /passwd: unknown member 'passwd'"},
  };
  for (const Case& c : cases) {
    DocumentClass dc;
    std::string error;
    EXPECT_FALSE(ParseClass(c.text, "c.json", dc, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error;
  }
}

TEST(ClassFile, TheExampleClassAndBatchFitTogether) {
  const std::filesystem::path examples = QORVENA_EXAMPLES_DIR;
  DocumentClass c;
  Batch b;
  std::string error;
  ASSERT_TRUE(ReadClassFile((examples / "invoice-class.json").string(), c, &error)) << error;
  ASSERT_TRUE(ReadBatchFile((examples / "invoice-batch.json").string(), b, &error)) << error;
  EXPECT_TRUE(CheckBatchAgainstClass(b, c, &error)) << error;
  EXPECT_GE(b.documents.size(), 4u);
  // The eight required columns are mapped, the invoice lines come from a table field.
  for (const char16_t* key : {u"TPEC.PESID", u"TPEC.PERCD", u"TPEC.PEDWN", u"TPEC.PEPGN", u"TBHB.BHIND",
                              u"TBHB.BHSEN", u"TBLB.BLCIT", u"TBLB.BLINQ"}) {
    bool mapped = false;
    for (const LinkDef& l : c.links) mapped = mapped || l.destination == key;
    EXPECT_TRUE(mapped) << Utf16ToUtf8(key);
  }
  const IndexFieldDef* item = c.FindIndexField(u"ItemNumber");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->table, u"InvoiceLines");
}

// A batch is read document by document: the documents come one at a time, in order, whatever the order of the
// batch's members, and a batch that changed between the passes is noticed.
TEST(BatchReaderTest, HandsOverTheDocumentsOneAtATime) {
  const std::string text = R"({"documents": [{"name": "A"}, {"name": "B"}, {"name": "C"}], "documentClass": "Invoice",
                               "values": {"Site ID": "7"}})";
  BatchReader reader;
  std::string error;
  ASSERT_TRUE(reader.OpenText(text, "b.json", &error)) << error;
  EXPECT_EQ(reader.DocumentCount(), 3u);
  EXPECT_EQ(reader.Header().documentClass, u"Invoice");
  EXPECT_EQ(reader.Header().values.at(u"Site ID"), u"7");
  EXPECT_TRUE(reader.Header().documents.empty());
  std::vector<std::string> seen;
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(reader.ForEachDocument(
        [&](std::size_t index, const BatchDocument& d) { seen.push_back(std::to_string(index) + Utf16ToUtf8(d.name)); },
        &error))
        << error;
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"0A", "1B", "2C", "0A", "1B", "2C"}));
}

TEST(BatchReaderTest, TheBatchsOwnFaultsComeBeforeThoseOfItsDocuments) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      // As in a batch read whole: the batch's members are checked before its documents.
      {R"({"documents": [{"indexField": {}}]})", "b.json: at /: the member 'documentClass' is missing"},
      {R"({"documents": [{"indexField": {}}], "documentClass": "X"})", "b.json: at /documents/0/indexField: unknown member"},
      {R"({"documents": [{"name": 1}, {"indexField": 2}], "documentClass": "X", "bad": [)", "b.json:1:79: not valid JSON"},
      // A second list of documents would silently replace the first.
      {R"({"documentClass": "X", "documents": [{}], "documents": [{}]})",
       "b.json: at /documents: the member 'documents' is given twice"},
  };
  for (const Case& c : cases) {
    BatchReader reader;
    std::string error;
    EXPECT_FALSE(reader.OpenText(c.text, "b.json", &error)) << c.text;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error << "\nfor: " << c.text;
  }
}

TEST(BatchReaderTest, ABatchFileThatChangesWhileItIsReleasedIsNoticed) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("qcapture-batch-" + std::to_string(::getpid()) + ".json");
  std::ofstream(file) << R"({"documentClass": "X", "documents": [{"name": "A"}, {"name": "B"}]})";
  BatchReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(file.string(), &error)) << error;
  std::ofstream(file) << R"({"documentClass": "X", "documents": [{"name": "A"}]})";
  std::size_t seen = 0;
  EXPECT_FALSE(reader.ForEachDocument([&](std::size_t, const BatchDocument&) { ++seen; }, &error));
  EXPECT_EQ(seen, 1u);
  EXPECT_EQ(error, file.string() + ": the batch changed while it was released: it had 2 documents, now 1");
  std::ofstream(file) << R"({"documentClass": "X", "documents": [{"name": "A"}, {"nam": "B"}]})";
  EXPECT_FALSE(reader.ForEachDocument([&](std::size_t, const BatchDocument&) {}, &error));
  EXPECT_EQ(error.rfind(file.string() + ": at /documents/1/nam: unknown member", 0), 0u) << error;
  std::filesystem::remove(file);
  EXPECT_FALSE(reader.ForEachDocument([&](std::size_t, const BatchDocument&) {}, &error));
  EXPECT_EQ(error.rfind(file.string() + ": cannot be read: ", 0), 0u) << error;
}

TEST(BatchReaderTest, ChecksEveryDocumentAgainstTheClass) {
  const std::string text =
      R"({"documentClass": "Invoice", "documents": [{"indexFields": {"Vendor": "V"}}, {"indexFields": {"Vendr": "V"}}]})";
  BatchReader reader;
  std::string error;
  ASSERT_TRUE(reader.OpenText(text, "b.json", &error)) << error;
  DocumentClass c;
  c.name = u"Invoice";
  c.indexFields = {{u"Vendor", u""}};
  EXPECT_FALSE(reader.CheckAgainstClass(c, &error));
  EXPECT_EQ(error, "b.json: at /documents/1/indexFields/Vendr: the document class 'Invoice' has no index field 'Vendr'");
}

}  // namespace
