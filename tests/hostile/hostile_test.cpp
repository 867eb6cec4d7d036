// Index values and settings chosen to break things: quotes, semicolons and SQL, format directives, control
// characters, texts of 10,000 characters, empty texts, invalid UTF-16, and column keys that name no column. They
// are stored verbatim where they fit, refused with a clear report where they do not, never run as SQL, and
// never crash the connector.
#include <fstream>

#include "platform/ado/recording/recorder.h"
#include "tests/export/release_fixture.h"

namespace release_test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;
using ::testing::StartsWith;

std::string Col(const Row& row, const std::string& column) {
  auto it = row.find(column);
  if (it == row.end()) return "<no such column " + column + ">";
  return it->second ? *it->second : "<null>";
}

// A value given as UTF-16, for what UTF-8 cannot carry.
capture::DocumentValue Value16(std::u16string destination, std::u16string text) {
  capture::DocumentValue v;
  v.destination = std::move(destination);
  v.value = std::move(text);
  return v;
}

class Hostile : public BackendRelease {
 protected:
  // The required values with some replaced or added.
  static std::vector<capture::DocumentValue> With(std::vector<capture::DocumentValue> extra) {
    auto values = RequiredValues();
    for (auto& v : extra) {
      auto same = std::find_if(values.begin(), values.end(), [&](auto& r) { return r.destination == v.destination; });
      if (same != values.end()) *same = v;
      else values.push_back(v);
    }
    return values;
  }
  void ExpectTablesIntact(std::size_t released) {
    for (const char* table : {"TPEC", "TBHB", "TBSB"}) EXPECT_THAT(Rows(table), SizeIs(released)) << table;
  }
};

INSTANTIATE_TEST_SUITE_P(Backends, Hostile, ::testing::Values(BackendKind::SQLite, BackendKind::PostgreSQL),
                         BackendName);

TEST_P(Hostile, TextsThatFitAreStoredVerbatimAndNeverRunAsSql) {
  struct Case {
    const char* destination;
    std::string text;
    const char* table;
    const char* column;
  };
  const Case cases[] = {
      {"TBHB.BHSEN", "O'Brien \"Ltd\"; DROP TABLE TBHB;--", "TBHB", "BHSEN"},
      {"TBHB.BHINV", "1'); DELETE FROM TPEC;", "TBHB", "BHINV"},
      {"TPEC.PEPGN", "';--/*%_", "TPEC", "PEPGN"},
      {"TBHB.BHRMA", "%s%n%x%d%%%ls %1$s {0}", "TBHB", "BHRMA"},
      {"TBHB.BHTDS", "tab\there, CR\rLF\n, bell\a, escape\x1b[31m, delete\x7f", "TBHB", "BHTDS"},
      {"TBHB.BHCUR", "", "TBHB", "BHCUR"},
      {"TBSB.BSSHN", "M\xc3\xbcller \xe2\x80\x93 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x98\x80", "TBSB", "BSSHN"},
  };
  std::vector<capture::DocumentValue> values;
  for (const Case& c : cases) values.push_back(Value(c.destination, c.text));
  values.push_back(TableValue("TBLB.BLCIT", {"A' OR '1'='1", "x\"); DROP TABLE TBLB; --", "$(rm -rf /) `id`"}));
  ASSERT_EQ(Release(With(values)), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  for (const Case& c : cases) EXPECT_EQ(Col(Rows(c.table).at(0), c.column), c.text) << c.destination;
  // The copies too: the shipment number goes to every line.
  auto lines = Rows("TBLB");
  ASSERT_THAT(lines, SizeIs(3));
  EXPECT_EQ(Col(lines[0], "BLCIT"), "A' OR '1'='1");
  EXPECT_EQ(Col(lines[1], "BLCIT"), "x\"); DROP TABLE TBLB; --");
  EXPECT_EQ(Col(lines[2], "BLCIT"), "$(rm -rf /) `id`");
  for (const Row& line : lines) EXPECT_EQ(Col(line, "BLSDN"), cases[6].text);
  ExpectTablesIntact(1);
}

TEST_P(Hostile, ValuesThatDoNotFitAreRefusedWithAClearReport) {
  const std::string huge(10000, 'X');
  struct Case {
    const char* what;
    capture::DocumentValue value;
    std::string report;  // how it begins
    const char* sqlite;  // the database's words, embedded
    const char* postgres;
    std::size_t headersKept;  // header records committed before the refusal
  };
  const Case cases[] = {
      {"10,000 characters", Value("TBHB.BHSEN", huge), "Error Updating TBHB: CAxRecordset::Update\n",
       "for column TBHB.BHSEN is too long: CHAR(35) holds at most 35 characters.",
       "value too long for type character(35)", 1},
      {"SQL where a number belongs", Value("TBHB.BHIND", "1; DROP TABLE TBHB"), "Error Updating TBHB: CAxRecordset::Update\n",
       "Value '1; DROP TABLE TBHB' for column TBHB.BHIND is not a valid number for DECIMAL(8,0).",
       "invalid input syntax", 1},
      {"an empty number", Value("TBHB.BHIND", ""), "Error Updating TBHB: CAxRecordset::Update\n",
       "Value '' for column TBHB.BHIND is not a valid number for DECIMAL(8,0).", "invalid input syntax", 1},
      {"10,000 characters on a line", TableValue("TBLB.BLCIT", {"A", huge}), "Error Updating TBLB record 2 of 2: ",
       "for column TBLB.BLCIT is too long: CHAR(35) holds at most 35 characters.",
       "value too long for type character(35)", 3},
  };
  std::size_t kept[3] = {0, 0, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Release(With({c.value})), KFX_REL_ERROR);
    auto logged = Logged();
    ASSERT_THAT(logged, SizeIs(1));
    EXPECT_THAT(logged[0], AllOf(StartsWith(c.report), HasSubstr(Words(c.sqlite, c.postgres))));
    EXPECT_LE(Utf8ToUtf16(logged[0]).size(), kReportMaxChars);
    ASSERT_THAT(events_->messages, SizeIs(1));
    EXPECT_EQ(events_->messages[0].text, logged[0]);
    const char* tables[] = {"TPEC", "TBHB", "TBSB"};
    for (std::size_t t = 0; t < 3; ++t) {
      if (t < c.headersKept) ++kept[t];
      EXPECT_THAT(Rows(tables[t]), SizeIs(kept[t])) << tables[t];
    }
  }
  // Nothing of the refused values was stored, and the lines that fit were.
  for (const Row& row : Rows("TBHB")) EXPECT_NE(Col(row, "BHSEN"), huge);
  auto lines = Rows("TBLB");
  ASSERT_THAT(lines, SizeIs(1));
  EXPECT_EQ(Col(lines[0], "BLCIT"), "A");
}

TEST_P(Hostile, TextThatIsNotValidUtf16IsRefusedNotStoredChanged) {
  // What the platform can hand over but no UTF-8 file can carry: halves of surrogate pairs, and NUL.
  struct Case {
    const char* what;
    std::u16string text;
    const char* shown;  // the value as the report quotes it
    const char* character;
  };
  const Case cases[] = {
      {"a lone high surrogate", u"AB\xD800" u"C", "AB\xEF\xBF\xBD" "C", "character 3 is half of a surrogate pair (U+D800) without its other half"},
      {"a lone low surrogate", u"\xDC01", "\xEF\xBF\xBD", "character 1 is half of a surrogate pair (U+DC01) without its other half"},
      {"a pair the wrong way round", u"x\xDE00\xD83D", "x\xEF\xBF\xBD\xEF\xBF\xBD",
       "character 2 is half of a surrogate pair (U+DE00) without its other half"},
      {"a NUL", std::u16string(u"NUL\0here", 8), "NUL\xEF\xBF\xBDhere", "character 4 is a NUL character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Release(With({Value16(u"TBHB.BHSEN", c.text)})), KFX_REL_ERROR);
    EXPECT_THAT(Logged(), ElementsAre("Error Updating TBHB: CAxRecordset::Update\nValue '" + std::string(c.shown) +
                                      "' for column " + Words("TBHB.BHSEN", "tbhb.bhsen") + " cannot be stored: " +
                                      c.character + ".\nCOM Error: " +
                                      Utf16ToUtf8(dbAx::HResultText(DB_E_ERRORSOCCURRED))));
  }
  // A whole pair is a character like any other.
  ASSERT_EQ(Release(With({Value16(u"TBHB.BHSEN", u"\xD83D\xDE00 ok")})), KFX_REL_SUCCESS)
      << ::testing::PrintToString(Logged());
  auto tbhb = Rows("TBHB");
  EXPECT_EQ(Col(tbhb.back(), "BHSEN"), "\xF0\x9F\x98\x80 ok");
  for (std::size_t i = 0; i + 1 < tbhb.size(); ++i) EXPECT_THAT(Col(tbhb[i], "BHSEN"), Not(HasSubstr("\xEF\xBF\xBD")));
}

TEST_P(Hostile, ColumnKeysThatNameNoColumnAreSkippedAndNeverRunAsSql) {
  // Only a link made outside the setup names such a column. Its value is looked up among the table's fields by
  // name and goes nowhere when there is none; the statements name only the tables' own columns.
  const std::vector<capture::DocumentValue> values = {
      Value("TPEC.NOSUCH", "lost"),
      Value("TPEC.BHINV", "another table's column"),
      Value("TBHB.PESID\"; DROP TABLE TBHB; --", "quoted"),
      Value("TBHB.BHINV' OR '1'='1", "fragment"),
      Value("TBLB.PESID", "a header column on the lines"),
      Value("TBLB.X\"); DELETE FROM TBLB; --", "line fragment"),
      Value("tpec.PESID", "lower-case table"),
      Value("TPEC.", "no column"),
      Value(".PESID", "no table"),
      Value("DROP TABLE TPEC", "no key at all"),
      Value16(u"TPEC.PE\xD800", u"a column name that is not text"),
      Value("TBHB.BHINV.EXTRA", "INV-1"),  // the column is the text up to the second full stop
  };
  ASSERT_EQ(Release(With(values)), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  EXPECT_THAT(Logged(), ElementsAre(StartsWith("Document Released Successfully")));
  ExpectTablesIntact(1);
  EXPECT_EQ(Col(Rows("TPEC").at(0), "PESID"), "SUPPLIER01");
  EXPECT_EQ(Col(Rows("TBHB").at(0), "BHINV"), "INV-1");
  // None of the texts reached any column.
  for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) {
    for (const Row& row : Rows(table)) {
      for (const auto& [column, text] : row) {
        for (std::size_t i = 0; i + 1 < values.size(); ++i)
          EXPECT_NE(text.value_or(""), Utf16ToUtf8(values[i].value)) << table << "." << column;
      }
    }
  }
}

TEST_P(Hostile, AnOriginalFileIsLookedForOnlyUnderItsWholeName) {
  // The folder exists up to the NUL; the whole path names nothing.
  const std::string folder = dir_.string();
  struct Case {
    const char* what;
    std::u16string folder, file;
  };
  const Case cases[] = {
      {"a NUL in the folder", Utf8ToUtf16(folder) + std::u16string(u"\0/elsewhere", 11), u"scan.pdf"},
      {"a NUL in the file name", Utf8ToUtf16(folder), std::u16string(u"\0scan.pdf", 9)},
      {"half a character", Utf8ToUtf16(folder), u"scan\xD800.pdf"},
      {"a path too long", Utf8ToUtf16(folder + "/" + std::string(300, 'd')), u"scan.pdf"},
  };
  std::ofstream(dir_ / "scan.pdf") << "%PDF";
  std::ofstream(dir_ / "scan\xEF\xBF\xBD.pdf") << "%PDF";  // what half a character would become
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto values = RequiredValues();
    values.push_back(Value16(u"OriginalFolder", c.folder));
    values.push_back(Value16(u"OriginalFileName", c.file));
    ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
    EXPECT_THAT(Logged(), ElementsAre("Document Released Successfully C:\\release\\0001.pdf"));
  }
}

TEST_P(Hostile, ALibraryNameIsNeverPutIntoAStatementUnlessItIsAName) {
  document_.customProperties = {{u"serverAPILibrary", Utf8ToUtf16(library_ + ".TPEC; DROP TABLE " + library_ + ".TBHB; --")}};
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
  auto logged = Logged();
  ASSERT_THAT(logged, SizeIs(5));
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_THAT(logged[i], AllOf(StartsWith(std::string("Error Initializing ") + (i == 0 ? "TPEC" : i == 1 ? "TBHB" : "TBSB") +
                                            ": The library name '" + library_ + ".TPEC; DROP TABLE"),
                                 HasSubstr("is not valid")));
  }
  EXPECT_EQ(logged[3], "Error in readVariables: The dbAx object is not open\nSource: CAxRecordset::SetFieldValue");
  EXPECT_THAT(logged[4], StartsWith("Error in ReleaseDoc: CAxRecordset::CancelUpdate\n"));
  document_.customProperties = {{u"serverAPILibrary", Utf8ToUtf16(library_)}};
  ASSERT_EQ(Release(RequiredValues()), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  ExpectTablesIntact(1);
}

// Reports that quote huge values: the report is cut to 1023 characters and still made, to the log and to the
// release module alike.
class HugeReports : public ReleaseFixture {};

TEST_F(HugeReports, AReportQuotingAHugeValueIsCutAndStillMade) {
  ado::AdoRecorder recorder;
  recorder.Install();
  // A provider that refuses the value as it is written (as real providers do for a text too long for its column)
  // makes the data access layer quote the value whole.
  recorder.FailWhen("Field[BHSEN].put_Value(*", 1, DB_E_ERRORSOCCURRED);
  const std::string huge(10000, 'Q');
  auto values = RequiredValues();
  values[5] = Value("TBHB.BHSEN", huge);
  EXPECT_EQ(Release(values), KFX_REL_ERROR);
  auto logged = Logged();
  ASSERT_THAT(logged, SizeIs(1));
  const std::string begins = "Error in readVariables: Failed to set Field 'BHSEN' to value '";
  EXPECT_EQ(logged[0], begins + std::string(kReportMaxChars - begins.size(), 'Q'));
  ASSERT_THAT(events_->messages, SizeIs(1));
  EXPECT_EQ(events_->messages[0].text, logged[0]);
  EXPECT_EQ(events_->messages[0].errorNumber, 1);
  recorder.Uninstall();

  // The success message of a document with a huge name.
  document_.kofaxPdfFileName = Utf8ToUtf16(std::string(5000, 'N'));
  ASSERT_EQ(Release(RequiredValues()), KFX_REL_SUCCESS);
  const std::string success = "Document Released Successfully ";
  EXPECT_THAT(Logged(), ElementsAre(success + std::string(kReportMaxChars - success.size(), 'N')));
  EXPECT_THAT(events_->messages, IsEmpty());

  // A cut never leaves half of a character behind.
  std::u16string faces = u"x";
  for (int i = 0; i < 2000; ++i) faces += u"\xD83D\xDE00";
  document_.kofaxPdfFileName = faces;
  ASSERT_EQ(Release(RequiredValues()), KFX_REL_SUCCESS);
  ASSERT_THAT(events_->log, SizeIs(1));
  std::u16string cut = Utf8ToUtf16(events_->log[0].message);
  EXPECT_EQ(cut.size(), kReportMaxChars - 1);  // 32 + 2 * 495: the next pair would not fit whole
  EXPECT_THAT(events_->log[0].message, EndsWith("\xF0\x9F\x98\x80"));
}

}  // namespace
}  // namespace release_test
