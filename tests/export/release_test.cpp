// Whole releases into an ECM library, on the embedded database and on PostgreSQL through ODBC, from one set of
// cases: what reaches each table, column by column, and what the platform is told.
#include <fstream>

#include "export/release_steps.h"
#include "tests/export/release_fixture.h"

namespace release_test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::string Col(const Row& row, const std::string& column) {
  auto it = row.find(column);
  if (it == row.end()) return "<no such column " + column + ">";
  return it->second ? *it->second : "<null>";
}

// A fixed clock: 14:05:09.007 UTC on 3 June 2014, moving on by one millisecond per reading.
std::int64_t FixedClock() {
  static std::int64_t now = 1401804309007;
  return now++;
}

using Releasing = BackendRelease;
INSTANTIATE_TEST_SUITE_P(Backends, Releasing, ::testing::Values(BackendKind::SQLite, BackendKind::PostgreSQL),
                         BackendName);

TEST_P(Releasing, SuccessWritesOneRecordPerHeaderTableAndReportsOnlyToTheLog) {
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_SUCCESS);
  ASSERT_EQ(events_->log.size(), 1u);
  const LogEntry& entry = events_->log[0];
  EXPECT_EQ(entry.message, "Document Released Successfully C:\\release\\0001.pdf");
  EXPECT_EQ(entry.err1, 0);
  EXPECT_EQ(entry.err2, 0);
  EXPECT_EQ(entry.err3, 0);
  EXPECT_EQ(entry.module, "export/releaseScript.cpp");
  EXPECT_GT(entry.line, 0);
  EXPECT_TRUE(events_->messages.empty());
  EXPECT_EQ(Rows("TPEC").size(), 1u);
  EXPECT_EQ(Rows("TBHB").size(), 1u);
  EXPECT_EQ(Rows("TBSB").size(), 1u);
  EXPECT_EQ(Rows("TBLB").size(), 1u);
}

TEST_P(Releasing, RepeatedValuesAreCopiedIntoTheirSisterColumns) {
  auto values = RequiredValues();
  values.push_back(Value("TPEC.PELDU", "SCANUSER"));
  values.push_back(Value("TBHB.BHINV", "INV-4711"));
  values.push_back(Value("TBSB.BSSHN", "DN-9"));
  values.push_back(Value("TBSB.BSORD", "123456"));
  ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  Row tpec = Rows("TPEC").at(0), tbhb = Rows("TBHB").at(0), tbsb = Rows("TBSB").at(0), tblb = Rows("TBLB").at(0);
  struct Case {
    const Row& row;
    const char* column;
    const char* text;
  };
  const Case cases[] = {
      {tpec, "PESID", "SUPPLIER01"}, {tbhb, "BHSID", "SUPPLIER01"}, {tbsb, "BSSID", "SUPPLIER01"},
      {tblb, "BLSID", "SUPPLIER01"}, {tbhb, "BHRCD", "QORVENA01"},  {tbsb, "BSRCD", "QORVENA01"},
      {tblb, "BLRCD", "QORVENA01"},  {tbhb, "BHDTD", "APINVOICE"},  {tbsb, "BSDTD", "APINVOICE"},
      {tblb, "BLDTD", "APINVOICE"},  {tpec, "PELDU", "SCANUSER"},   {tbhb, "BHCRU", "SCANUSER"},
      {tbsb, "BSCRU", "SCANUSER"},   {tblb, "BLCRU", "SCANUSER"},   {tpec, "PELMU", "SCANUSER"},
      {tbhb, "BHLMU", "SCANUSER"},   {tbsb, "BSLMU", "SCANUSER"},   {tblb, "BLLMU", "SCANUSER"},
      {tbsb, "BSINV", "INV-4711"},   {tblb, "BLINV", "INV-4711"},   {tblb, "BLSDN", "DN-9"},
      {tblb, "BLORD", "123456"},
  };
  for (const Case& c : cases) EXPECT_EQ(Col(c.row, c.column), c.text) << c.column;
}

TEST_P(Releasing, FirstLineValueWinsAndLastHeaderValueWins) {
  auto values = RequiredValues();
  // A single TBLB value before the copy of the order number keeps its place.
  values.insert(values.begin(), Value("TBLB.BLORD", "111111"));
  values.push_back(Value("TBSB.BSORD", "222222"));
  values.push_back(Value("TBLB.BLITD", "first"));
  values.push_back(Value("TBLB.BLITD", "second"));
  values.push_back(Value("TBHB.BHCUR", "USD"));
  values.push_back(Value("TBHB.BHCUR", "EUR"));
  ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  Row tblb = Rows("TBLB").at(0);
  EXPECT_EQ(Col(tblb, "BLORD"), "111111");
  EXPECT_EQ(Col(tblb, "BLITD"), "first");
  EXPECT_EQ(Col(Rows("TBSB").at(0), "BSORD"), "222222");
  EXPECT_EQ(Col(Rows("TBHB").at(0), "BHCUR"), "EUR");
}

TEST_P(Releasing, DestinationsOutsideTheEcmTablesAreIgnored) {
  auto values = RequiredValues();
  values.push_back(Value("tpec.PETPI", "lower-case table"));
  values.push_back(Value("TPEC.PEXYZ", "no such column"));
  values.push_back(Value("OriginalFolder", "/nowhere"));
  values.push_back(Value("NOTABLE.COL", "x"));
  ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  EXPECT_EQ(Col(Rows("TPEC").at(0), "PETPI"), "<null>");
}

TEST_P(Releasing, TableRowsBecomeNumberedInvoiceLines) {
  struct Case {
    const char* name;
    std::vector<capture::DocumentValue> tables;
    std::vector<std::vector<std::string>> expected;  // BLOLN, BLINL, BLCSQ, BLCIT, BLINQ per line
  };
  const Case cases[] = {
      {"three rows",
       {TableValue("TBLB.BLCIT", {"A", "B", "C"}), TableValue("TBLB.BLINQ", {"1", "2", "3"})},
       {{"1", "1", "4", "A", "1"}, {"2", "2", "6", "B", "2"}, {"3", "3", "8", "C", "3"}}},
      {"three and five rows",
       {TableValue("TBLB.BLCIT", {"A", "B", "C"}), TableValue("TBLB.BLINQ", {"1", "2", "3", "4", "5"})},
       {{"1", "1", "4", "A", "1"},
        {"2", "2", "6", "B", "2"},
        {"3", "3", "8", "C", "3"},
        {"4", "4", "10", "<null>", "4"},
        {"5", "5", "12", "<null>", "5"}}},
      {"a table value without rows and no other rows",
       {TableValue("TBLB.BLITD", {}), Value("TBLB.BLCIT", "SINGLE")},
       {{"1", "1", "4", "SINGLE", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    auto values = RequiredValues();
    values.erase(values.end() - 2, values.end());  // the lines' item and quantity come from the table
    for (auto& v : c.tables) values.push_back(v);
    ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
    auto lines = Rows("TBLB");
    ASSERT_EQ(lines.size(), c.expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::vector<std::string> got = {Col(lines[i], "BLOLN"), Col(lines[i], "BLINL"), Col(lines[i], "BLCSQ"),
                                      Col(lines[i], "BLCIT"), Col(lines[i], "BLINQ")};
      EXPECT_EQ(got, c.expected[i]) << "line " << i + 1;
      EXPECT_EQ(Col(lines[i], "BLSID"), "SUPPLIER01") << "common values on every line";
    }
  }
}

TEST_P(Releasing, ASingleLineIsCountedOnceUnlessTheQuantityIsMapped) {
  auto values = RequiredValues();
  values.pop_back();  // BLINQ unmapped
  ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  Row line = Rows("TBLB").at(0);
  EXPECT_EQ(Col(line, "BLOLN"), "1");
  EXPECT_EQ(Col(line, "BLINL"), "1");
  EXPECT_EQ(Col(line, "BLCSQ"), "4");
  EXPECT_EQ(Col(line, "BLINQ"), "1");

  auto mapped = RequiredValues();
  mapped.back() = Value("TBLB.BLINQ", "7.5");
  ASSERT_EQ(Release(mapped), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  EXPECT_EQ(Col(Rows("TBLB").at(1), "BLINQ"), "7.5");
}

TEST_P(Releasing, OneStampKeysAllRecordsOfADocument) {
  SetReleaseClock(&FixedClock);
  ASSERT_EQ(Release(RequiredValues()), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  SetReleaseClock(nullptr);
  Row tpec = Rows("TPEC").at(0), tbhb = Rows("TBHB").at(0), tbsb = Rows("TBSB").at(0), tblb = Rows("TBLB").at(0);
  const std::string key = Col(tpec, "PEGUI");
  EXPECT_EQ(key.substr(0, 12), "140603140509");
  for (auto [row, columns] : std::vector<std::pair<Row*, std::vector<const char*>>>{
           {&tpec, {"PEGUI", "PEICN"}}, {&tbhb, {"BHGUI", "BHICN"}}, {&tbsb, {"BSGUI", "BSICN"}},
           {&tblb, {"BLGUI", "BLICN"}}}) {
    for (const char* column : columns) EXPECT_EQ(Col(*row, column), key) << column;
  }
  struct Case {
    const Row& row;
    const char* column;
    const char* text;
  };
  const Case cases[] = {
      {tpec, "PELDD", "20140603"}, {tpec, "PELDT", "140509"}, {tpec, "PELMD", "20140603"}, {tpec, "PELMT", "140509"},
      {tpec, "PERID", "PE"},       {tpec, "PEMSN", "1"},      {tpec, "PEECA", "ECM617"},   {tpec, "PESTS", "0"},
      {tbhb, "BHCRD", "20140603"}, {tbhb, "BHCRT", "140509"}, {tbhb, "BHLMD", "20140603"}, {tbhb, "BHLMT", "140509"},
      {tbhb, "BHRID", "BH"},       {tbhb, "BHMSN", "1"},      {tbhb, "BHPCF", "0"},        {tbhb, "BHDIR", "I"},
      {tbhb, "BHCSQ", "1"},        {tbsb, "BSCRD", "20140603"}, {tbsb, "BSRID", "BS"},   {tbsb, "BSPCF", "0"},
      {tbsb, "BSCSQ", "3"},        {tblb, "BLCRD", "20140603"}, {tblb, "BLLMT", "140509"}, {tblb, "BLRID", "BL"},
      {tblb, "BLMSN", "1"},        {tblb, "BLPCF", "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Col(c.row, c.column), c.text) << c.column;
}

TEST(ReleaseStampTest, TheKeyIsTheUtcTimeToTheMillisecondAndNeverRepeats) {
  // 00:30 on 4 June in a zone east of UTC is still 3 June in UTC.
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  SetReleaseClock(&FixedClock);
  ReleaseStamp first = MakeReleaseStamp();
  ReleaseStamp second = MakeReleaseStamp();
  SetReleaseClock(nullptr);
  unsetenv("TZ");
  tzset();
  EXPECT_EQ(first.date, u"20140603");
  EXPECT_EQ(first.key.size(), 15u);
  EXPECT_NE(first.key, second.key);

  // A clock that stands still, or is set back an hour: the keys go on increasing, and nothing waits for the
  // clock to catch up.
  static std::int64_t now = 1401804309007;
  SetReleaseClock([]() -> std::int64_t { return now; });
  ReleaseStamp a = MakeReleaseStamp();
  ReleaseStamp b = MakeReleaseStamp();
  now -= 3600 * 1000;
  ReleaseStamp c = MakeReleaseStamp();
  SetReleaseClock(nullptr);
  EXPECT_EQ(a.key, u"140603140509007");
  EXPECT_EQ(b.key, u"140603140509008");
  EXPECT_EQ(c.key, u"140603140509009");
}

TEST_P(Releasing, AMappedAutomaticColumnEndsWithTheAutomaticText) {
  auto values = RequiredValues();
  values.push_back(Value("TPEC.PEECA", "OTHER"));
  values.push_back(Value("TBLB.BLRID", "XX"));  // a line value arrives first and keeps its place
  ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  EXPECT_EQ(Col(Rows("TPEC").at(0), "PEECA"), "ECM617");
  EXPECT_EQ(Col(Rows("TBLB").at(0), "BLRID"), "XX");
}

TEST_P(Releasing, TheOriginalFileNamesTheDocumentWhenItExists) {
  std::filesystem::create_directories(dir_ / "in.box");
  std::ofstream(dir_ / "in.box" / "scan.pdf") << "%PDF";
  struct Case {
    std::string folder, file, extension, expected;
  };
  const std::string folder = (dir_ / "in.box").string();
  const Case cases[] = {
      {folder, "scan.tif", "pdf", folder + "/scan.pdf"},
      {folder + "/", "scan", ".pdf", folder + "/scan.pdf"},
      // The full stop of the folder name is not the file's extension.
      {folder, "scan", "pdf", folder + "/scan.pdf"},
      {folder, "missing.tif", "pdf", "C:\\release\\0001.pdf"},
      {"", "scan.tif", "pdf", "C:\\release\\0001.pdf"},
  };
  for (const Case& c : cases) {
    auto values = RequiredValues();
    values.push_back(Value("OriginalFolder", c.folder));
    values.push_back(Value("OriginalFileName", c.file));
    values.push_back(Value("OriginalFileNameExt", c.extension));
    ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
    EXPECT_THAT(Logged(), ElementsAre("Document Released Successfully " + c.expected));
  }
}

TEST_P(Releasing, ADocumentWithoutAnyNameIsReportedWithNothingAfterTheBlank) {
  document_.kofaxPdfFileName.clear();
  ASSERT_EQ(Release(RequiredValues()), KFX_REL_SUCCESS);
  EXPECT_THAT(Logged(), ElementsAre("Document Released Successfully "));
}

// ---------------------------------------------------------------------------------------------------------------
// Failures the database itself gives
// ---------------------------------------------------------------------------------------------------------------

TEST_P(Releasing, AHeaderValueWithTooManyDigitsFailsBeforeAnythingIsWritten) {
  auto values = RequiredValues();
  values[4] = Value("TBHB.BHIND", "202403150");  // nine digits for DECIMAL(8, 0)
  EXPECT_EQ(Release(values), KFX_REL_ERROR);
  EXPECT_THAT(Logged(), ElementsAre("Error in readVariables: Invalid number of digits in decimal Field 'BHIND' "
                                    "(9 > 8) (Error Code: 0x00000000)"));
  ASSERT_EQ(events_->messages.size(), 1u);
  EXPECT_EQ(events_->messages[0].text, Logged()[0]);
  EXPECT_EQ(events_->messages[0].errorNumber, 1);
  EXPECT_EQ(events_->messages[0].infoRet, KFX_REL_DOC_ERROR);
  for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) EXPECT_TRUE(Rows(table).empty()) << table;
}

TEST_P(Releasing, AFailingLineIsReportedAndTheOtherLinesAreStillWritten) {
  auto values = RequiredValues();
  values.erase(values.end() - 2, values.end());
  values.push_back(TableValue("TBLB.BLCIT", {"A", "B", "C"}));
  values.push_back(TableValue("TBLB.BLINQ", {"1", "two", "3"}));
  EXPECT_EQ(Release(values), KFX_REL_ERROR);
  auto logged = Logged();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_THAT(logged[0], ::testing::StartsWith("Error Updating TBLB record 2 of 3: CAxRecordset::Update\n"));
  EXPECT_THAT(logged[0], HasSubstr(Words("Value 'two' for column TBLB.BLINQ is not a valid number",
                                         "invalid input syntax for type numeric: \"two\"")));
  EXPECT_EQ(Rows("TPEC").size(), 1u);
  EXPECT_EQ(Rows("TBHB").size(), 1u);
  EXPECT_EQ(Rows("TBSB").size(), 1u);
  auto lines = Rows("TBLB");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Col(lines[0], "BLOLN"), "1");
  EXPECT_EQ(Col(lines[1], "BLOLN"), "3");
  EXPECT_EQ(Col(lines[1], "BLCSQ"), "8");
  EXPECT_EQ(Col(lines[1], "BLCIT"), "C");
}

TEST_P(Releasing, TheSingleLineOfADocumentWithoutRowsIsRecordZeroOfZero) {
  auto values = RequiredValues();
  values.back() = Value("TBLB.BLINQ", "lots");
  EXPECT_EQ(Release(values), KFX_REL_ERROR);
  auto logged = Logged();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_THAT(logged[0], ::testing::StartsWith("Error Updating TBLB record 0 of 0: "));
  EXPECT_TRUE(Rows("TBLB").empty());
  EXPECT_EQ(Rows("TBSB").size(), 1u);
}

TEST_P(Releasing, AMissingHeaderTableIsReportedAndTheDocumentFailsBeforeAnyCommit) {
  DropTable("TBSB");
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
  // The sender's copy into TBSB is the first write to reach the unopened table; cancelling that table's
  // record fails the same way, and that failure is reported at the document's level.
  std::string missing = OnPostgres() ? "relation \"" + Lower(library_) + ".tbsb\" does not exist"
                                     : "no such table: " + library_ + ".TBSB";
  EXPECT_THAT(Logged(), ElementsAre(AllOf(StartsWith("Error Initializing TBSB: CAxRecordset::Open\n"), HasSubstr(missing),
                                          EndsWith("\nCOM Error: IDispatch error #3127")),
                                    "Error in readVariables: The dbAx object is not open\n"
                                    "Source: CAxRecordset::SetFieldValue",
                                    "Error in ReleaseDoc: The dbAx object is not open\n"
                                    "Source: CAxRecordset::CancelUpdate"));
  for (const char* table : {"TPEC", "TBHB", "TBLB"}) EXPECT_TRUE(Rows(table).empty()) << table;
}

TEST_P(Releasing, ALostInvoiceLineTableFailsAfterTheHeadersAreCommitted) {
  DropTable("TBLB");
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
  auto logged = Logged();
  ASSERT_EQ(logged.size(), 1u) << ::testing::PrintToString(logged);
  EXPECT_THAT(logged[0], ::testing::StartsWith("Error Creating TBLB Record: CAxRecordset::Open\n"));
  EXPECT_EQ(Rows("TPEC").size(), 1u);
  EXPECT_EQ(Rows("TBHB").size(), 1u);
  EXPECT_EQ(Rows("TBSB").size(), 1u);
}

TEST_P(Releasing, LibraryNamesThatAreNotIdentifiersNeverReachTheDatabase) {
  struct Case {
    std::u16string library;
    bool refusedBeforeSql;
  };
  const Case cases[] = {
      {u"ECMLIB; DROP TABLE TPEC", true},
      {u"ECMLIB.TPEC--", true},
      {u"ECM LIB", true},
      {u"", false},  // goes to the server as ".TPEC", which refuses it
      {Utf8ToUtf16(Lower(library_)), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.library));
    document_.customProperties = {{u"serverAPILibrary", c.library}};
    bool lowerCase = !c.library.empty() && !c.refusedBeforeSql;
    EXPECT_EQ(Release(RequiredValues()), lowerCase ? KFX_REL_SUCCESS : KFX_REL_ERROR);
    if (lowerCase) continue;
    auto logged = Logged();
    ASSERT_GE(logged.size(), 3u);
    const char* tables[] = {"TPEC", "TBHB", "TBSB"};
    for (int i = 0; i < 3; ++i) {
      EXPECT_THAT(logged[i], ::testing::StartsWith(std::string("Error Initializing ") + tables[i] + ": "));
      if (c.refusedBeforeSql) {
        EXPECT_THAT(logged[i], HasSubstr("'" + Utf16ToUtf8(c.library) + "' is not valid"));
      }
    }
  }
  EXPECT_EQ(Rows("TPEC").size(), 1u) << "only the lower-case library released";
}

TEST_P(Releasing, TheNextDocumentIsUnaffectedByAFailure) {
  auto bad = RequiredValues();
  bad[0] = Value("TPEC.PESID", std::string(40, 'X'));  // CHAR(15)
  EXPECT_EQ(Release(bad), KFX_REL_ERROR);
  EXPECT_EQ(events_->messages.size(), 1u);
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  EXPECT_EQ(Rows("TPEC").size(), 1u);
}

TEST_P(Releasing, AnUnreachableServerFailsBeforeAnyRecord) {
  document_.connectString = backend_->UnreachableServer();
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
  EXPECT_THAT(Logged(), ElementsAre(AllOf(StartsWith("Error in ReleaseDoc: CAxConnection::Open\n"),
                                          HasSubstr(Words("The server folder '/nonexistent/qorvena/server' does not "
                                                          "exist.",
                                                          "Connection refused")),
                                          Not(HasSubstr(pgtest::kReleasePassword)))));
  ASSERT_EQ(events_->messages.size(), 1u);
  for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) EXPECT_TRUE(Rows(table).empty()) << table;
}

TEST_P(Releasing, WrongCredentialsFailBeforeAnyRecordWithTheServersWords) {
  if (!OnPostgres()) GTEST_SKIP() << "the embedded database has no login";
  struct Case {
    const char16_t* user;
    const char16_t* password;
  };
  const Case cases[] = {{u"KOFAXREL", u"Wr0ng-Secret!"}, {u"NOBODY", u"Wr0ng-Secret!"}, {u"kofaxrel", u"secret"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.user));
    document_.userName = c.user;
    document_.password = c.password;
    EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
    EXPECT_THAT(Logged(), ElementsAre(AllOf(StartsWith("Error in ReleaseDoc: CAxConnection::Open\n"),
                                            HasSubstr("password authentication failed for user \"" +
                                                      Utf16ToUtf8(c.user) + "\""),
                                            EndsWith("\nCOM Error: Unspecified error"),
                                            Not(HasSubstr(Utf16ToUtf8(c.password))))));
  }
  for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) EXPECT_TRUE(Rows(table).empty()) << table;
}

TEST_P(Releasing, AMissingLibraryFailsToOpenEveryHeaderTableAndTheDocumentAtItsFirstWrite) {
  document_.customProperties = {{u"serverAPILibrary", u"NOSUCHLIB"}};
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
  std::vector<::testing::Matcher<std::string>> expected;
  for (std::string table : {"TPEC", "TBHB", "TBSB"}) {
    std::string missing = OnPostgres() ? "relation \"nosuchlib." + Lower(table) + "\" does not exist"
                                       : "no such table: NOSUCHLIB." + table;
    expected.push_back(AllOf(StartsWith("Error Initializing " + table + ": CAxRecordset::Open\n"), HasSubstr(missing),
                             EndsWith("\nCOM Error: IDispatch error #3127")));
  }
  // The first write goes to TPEC, which is not open; cancelling its record fails the same way.
  expected.push_back(::testing::Eq("Error in readVariables: The dbAx object is not open\n"
                                   "Source: CAxRecordset::SetFieldValue"));
  expected.push_back(::testing::Eq("Error in ReleaseDoc: The dbAx object is not open\n"
                                   "Source: CAxRecordset::CancelUpdate"));
  EXPECT_THAT(Logged(), ElementsAreArray(expected));
  EXPECT_EQ(events_->messages.size(), expected.size());
  for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) EXPECT_TRUE(Rows(table).empty()) << table;
}

// A value the database refuses ends the document where it is refused; the records committed before stay, the
// pending ones are cancelled, and the report carries the database's own words.
TEST_P(Releasing, ARefusedValueIsReportedInTheDatabasesWordsAndLeavesTheCommittedRecords) {
  struct Case {
    const char* what;
    capture::DocumentValue value;
    const char* report;  // the start of the one report
    const char* sqliteWords;
    const char* postgresWords;
    std::size_t committed;  // TPEC, TBHB, TBSB committed in this order; 3 = also no line
  };
  const Case cases[] = {
      {"text too long", Value("TPEC.PESID", std::string(40, 'X')), "Error Updating TPEC: CAxRecordset::Update\n",
       "is too long: CHAR(15) holds at most 15 characters.", "value too long for type character(15)", 0},
      {"not a number", Value("TBHB.BHITT", "abc"), "Error Updating TBHB: CAxRecordset::Update\n",
       "Value 'abc' for column TBHB.BHITT is not a valid number for DECIMAL(15,2).",
       "invalid input syntax for type numeric: \"abc\"", 1},
      {"too many integer digits", Value("TBSB.BSSWT", "1234567890123"), "Error Updating TBSB: CAxRecordset::Update\n",
       "is out of range: DECIMAL(13,3) holds at most 10 integer and 3 fraction digits.", "numeric field overflow", 2},
      {"too many fraction digits", Value("TBSB.BSORD", "12.7"), "Error Updating TBSB: CAxRecordset::Update\n",
       "Value '12.7' for column TBSB.BSORD is out of range: DECIMAL(6,0) holds at most 6 integer and 0 fraction "
       "digits.",
       "Value '12.7' for column tbsb.bsord has too many fraction digits: DECIMAL(6,0) holds at most 0; the value "
       "would be rounded.",
       2},
      {"line text too long", Value("TBLB.BLITD", std::string(40, 'Y')),
       "Error Updating TBLB record 0 of 0: CAxRecordset::Update\n", "is too long: CHAR(35) holds at most 35",
       "value too long for type character(35)", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    auto values = RequiredValues();
    values.push_back(c.value);
    EXPECT_EQ(Release(values), KFX_REL_ERROR);
    EXPECT_THAT(Logged(), ElementsAre(AllOf(StartsWith(c.report), HasSubstr(Words(c.sqliteWords, c.postgresWords)),
                                            HasSubstr("\nCOM Error: IDispatch error #"))));
    ASSERT_EQ(events_->messages.size(), 1u);
    EXPECT_EQ(events_->messages[0].text, Logged()[0]);
    const char* tables[] = {"TPEC", "TBHB", "TBSB", "TBLB"};
    for (std::size_t t = 0; t < 4; ++t) {
      auto rows = Rows(tables[t]);
      ASSERT_EQ(rows.size(), t < c.committed ? 1u : 0u) << tables[t];
    }
    // What was committed is the document, column by column.
    if (c.committed > 0) {
      Row tpec = Rows("TPEC").at(0);
      EXPECT_EQ(Col(tpec, "PESID"), "SUPPLIER01");
      EXPECT_EQ(Col(tpec, "PERCD"), "QORVENA01");
      EXPECT_EQ(Col(tpec, "PEDWN"), "APINVOICE");
      EXPECT_EQ(Col(tpec, "PEPGN"), "GRP1");
      EXPECT_EQ(Col(tpec, "PERID"), "PE");
    }
    if (c.committed > 1) {
      Row tbhb = Rows("TBHB").at(0);
      EXPECT_EQ(Col(tbhb, "BHIND"), "20240315");
      EXPECT_EQ(Col(tbhb, "BHSEN"), "V1001");
      EXPECT_EQ(Col(tbhb, "BHSID"), "SUPPLIER01");
      EXPECT_EQ(Col(tbhb, "BHGUI"), Col(Rows("TPEC").at(0), "PEGUI"));
    }
    if (c.committed > 2) {
      Row tbsb = Rows("TBSB").at(0);
      EXPECT_EQ(Col(tbsb, "BSRCD"), "QORVENA01");
      EXPECT_EQ(Col(tbsb, "BSCSQ"), "3");
    }
  }
}

// ---------------------------------------------------------------------------------------------------------------
// The connector object
// ---------------------------------------------------------------------------------------------------------------

TEST(ConnectorObject, OpenAndCloseAlwaysSucceedAndCloseSilencesReports) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  auto first = MakeComObject<Connector>();
  auto second = MakeComObject<Connector>();
  KfxReturnValue ret = KFX_REL_ERROR;
  EXPECT_EQ(first->OpenScript(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  ret = KFX_REL_ERROR;
  EXPECT_EQ(first->CloseScript(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_SUCCESS);

  auto events = std::make_shared<RecordingEvents>();
  CComPtr<IReleaseData> data = capture::MakeReleaseData({}, events);
  second->putref_DocumentData(data);
  CComPtr<IReleaseData> back;
  EXPECT_EQ(second->get_DocumentData(&back), S_OK);
  EXPECT_EQ(back.get(), data.get());
  ReportToHost(REPORT_HERE, 1, u"reaches the host");
  first->CloseScript(&ret);  // any connector's CloseScript silences reporting for all
  ReportToHost(REPORT_HERE, 1, u"goes nowhere");
  EXPECT_EQ(events->log.size(), 1u);
  second->CloseScript(&ret);
}

}  // namespace
}  // namespace release_test
