// Connections of the embedded provider kept open between uses: what a later user of a pooled connection sees,
// and what must never reach it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/ado/adoext.h"
#include "platform/ado/sqlite/sqlite_provider.h"
#include "tests/ado/ado_test_support.h"

namespace {

using adotest::ErrorsOf;
using adotest::ReadRows;

constexpr char16_t kTable[] = u"CREATE TABLE ECMLIB.TBHB (BHCUR CHAR(2), BHINV CHAR(15), BHAMT DECIMAL(5,2))";
constexpr char16_t kInsertQuery[] = u"SELECT * FROM ECMLIB.TBHB WHERE 1=0";

class SqlitePool : public ::testing::Test {
 protected:
  void SetUp() override {
    ado::sqlite::CloseIdleConnections();
    adotest::MakeLibrary(dir_, u"ECMLIB", {kTable});
  }
  void TearDown() override { ado::sqlite::CloseIdleConnections(); }

  CComPtr<_Connection> Connect() { return adotest::OpenConnection(dir_.ConnectionString()); }

  static CComPtr<_Recordset> OpenForInsert(_Connection* c, HRESULT expected = S_OK) {
    CComPtr<_Recordset> r = adotest::NewRecordset();
    EXPECT_EQ(r->put_CursorLocation(adUseClient), S_OK);
    EXPECT_EQ(r->Open(CComVariant(kInsertQuery), CComVariant(static_cast<IDispatch*>(c)), adOpenForwardOnly,
                      adLockOptimistic, adCmdUnspecified),
              expected);
    return r;
  }
  static HRESULT Put(_Recordset* r, std::u16string_view column, std::u16string_view value) {
    CComPtr<Fields> fields;
    r->get_Fields(&fields);
    CComPtr<Field> f;
    if (HRESULT hr = fields->get_Item(CComVariant(column), &f); FAILED(hr)) return hr;
    return f->put_Value(CComVariant(value));
  }
  static HRESULT AddNew(_Recordset* r) { return r->AddNew(OptionalArgumentOmitted(), OptionalArgumentOmitted()); }
  static HRESULT Update(_Recordset* r) { return r->Update(OptionalArgumentOmitted(), OptionalArgumentOmitted()); }

  // One record through a new connection, as the export writes a document: open, insert, close.
  void InsertOne(std::u16string_view invoice) {
    CComPtr<_Connection> c = Connect();
    CComPtr<_Recordset> r = OpenForInsert(c);
    ASSERT_EQ(AddNew(r), S_OK);
    ASSERT_EQ(Put(r, u"BHINV", invoice), S_OK);
    ASSERT_EQ(Update(r), S_OK);
    EXPECT_EQ(r->Close(), S_OK);
    EXPECT_EQ(c->Close(), S_OK);
  }

  // The invoices in the library file, read with SQLite itself.
  std::vector<std::string> InvoicesOnDisk() const {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((dir_.path() / "ECMLIB.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(db, "SELECT BHINV FROM TBHB ORDER BY rowid", -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
  }

  void ExecRaw(const std::string& sql) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir_.path() / "ECMLIB.db").c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

  adotest::ComApartment com_;
  adotest::TempDir dir_;
};

TEST_F(SqlitePool, AClosedConnectionWaitsInThePoolWithItsPreparedStatements) {
  InsertOne(u"A1");
  EXPECT_EQ(ado::sqlite::IdleConnections(), 1u);
  std::uint64_t prepared = ado::sqlite::InsertStatementsPrepared();
  CComPtr<_Connection> c = Connect();
  EXPECT_EQ(ado::sqlite::IdleConnections(), 0u) << "the open connection came from the pool";
  CComPtr<_Recordset> r = OpenForInsert(c);
  ASSERT_EQ(AddNew(r), S_OK);
  ASSERT_EQ(Put(r, u"BHINV", u"A2"), S_OK);
  ASSERT_EQ(Update(r), S_OK);
  EXPECT_EQ(ado::sqlite::InsertStatementsPrepared(), prepared) << "the insert of the first document was kept";
  r->Close();
  c->Close();
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"A1", "A2"}));
}

TEST_F(SqlitePool, ARecordLeftPendingNeverReachesTheNextUser) {
  {
    CComPtr<_Connection> c = Connect();
    CComPtr<_Recordset> r = OpenForInsert(c);
    ASSERT_EQ(AddNew(r), S_OK);
    ASSERT_EQ(Put(r, u"BHINV", u"ABANDONED"), S_OK);
    // The connection closes with the record still pending: the recordset closes with it and drops the record.
    EXPECT_EQ(c->Close(), S_OK);
    EXPECT_EQ(Update(r), adErrObjectClosed);
  }
  EXPECT_EQ(ado::sqlite::IdleConnections(), 1u);
  InsertOne(u"NEXT");
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"NEXT"}));
}

TEST_F(SqlitePool, AConnectionThatRanOtherStatementsIsClosedNotPooled) {
  struct Case {
    const char16_t* statement;
    bool throughExecute;
  };
  const Case cases[] = {
      {u"BEGIN", true},
      {u"PRAGMA ECMLIB.synchronous=OFF", true},
      {u"CREATE TEMP TABLE TBHB (X INTEGER)", true},
      {u"PRAGMA ECMLIB.journal_mode", false},  // a statement with rows that is not a query
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(adotest::Narrow(k.statement));
    ado::sqlite::CloseIdleConnections();
    CComPtr<_Connection> c = Connect();
    CComPtr<_Recordset> r = OpenForInsert(c);  // names the library, so it is attached
    r->Close();
    if (k.throughExecute) {
      EXPECT_EQ(adotest::Execute(c, k.statement), S_OK);
    } else {
      EXPECT_EQ(ReadRows(c, k.statement).size(), 1u);
    }
    EXPECT_EQ(c->Close(), S_OK);
    EXPECT_EQ(ado::sqlite::IdleConnections(), 0u);
  }
  // An insert in a transaction that was never committed is gone with the connection.
  CComPtr<_Connection> c = Connect();
  ASSERT_EQ(adotest::Execute(c, u"BEGIN"), S_OK);
  ASSERT_EQ(adotest::Execute(c, u"INSERT INTO ECMLIB.TBHB (BHINV) VALUES ('UNCOMMITTED')"), S_OK);
  EXPECT_EQ(c->Close(), S_OK);
  EXPECT_EQ(ado::sqlite::IdleConnections(), 0u);
  InsertOne(u"COMMITTED");
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"COMMITTED"}));
}

TEST_F(SqlitePool, ALibraryReplacedBetweenDocumentsGetsTheNextRecords) {
  InsertOne(u"OLD");
  ASSERT_EQ(ado::sqlite::IdleConnections(), 1u);
  // A fresh library, made elsewhere and moved over the one the pooled connection has attached.
  adotest::TempDir other;
  adotest::MakeLibrary(other, u"ECMLIB", {kTable});
  ado::sqlite::CloseIdleConnections();  // the connection that made it, not the one under test
  InsertOne(u"FILLER");                 // again a pooled connection on the library under test
  ASSERT_EQ(ado::sqlite::IdleConnections(), 1u);
  // The administrator keeps the old library aside and puts the new one in its place.
  std::filesystem::rename(dir_.path() / "ECMLIB.db", other.path() / "OLD.db");
  std::filesystem::rename(other.path() / "ECMLIB.db", dir_.path() / "ECMLIB.db");
  InsertOne(u"NEW");
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"NEW"}));
  // The old library's last records were still in its log when it was moved; they went into the old file.
  sqlite3* old = nullptr;
  ASSERT_EQ(sqlite3_open_v2((other.path() / "OLD.db").c_str(), &old, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(old, "SELECT group_concat(BHINV) FROM TBHB", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "OLD,FILLER");
  sqlite3_finalize(st);
  sqlite3_close(old);
}

TEST_F(SqlitePool, ALibraryDeletedBetweenDocumentsIsMissingForTheNextDocument) {
  InsertOne(u"OLD");
  ASSERT_EQ(ado::sqlite::IdleConnections(), 1u);
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(dir_.path() / ("ECMLIB.db" + std::string(suffix)));
  CComPtr<_Connection> c = Connect();
  OpenForInsert(c, DB_E_NOTABLE);
  auto errors = ErrorsOf(c);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].description, u"no such table: ECMLIB.TBHB");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "ECMLIB.db"));
}

TEST_F(SqlitePool, WritesOfAnotherConnectionAreSeenAndWaitedFor) {
  InsertOne(u"MINE1");
  ExecRaw("INSERT INTO TBHB (BHINV) VALUES ('THEIRS')");
  CComPtr<_Connection> c = Connect();
  ASSERT_EQ(ado::sqlite::IdleConnections(), 0u);
  EXPECT_EQ(ReadRows(c, u"SELECT BHINV FROM ECMLIB.TBHB ORDER BY rowid"),
            (std::vector<std::vector<std::u16string>>{{u"MINE1"}, {u"THEIRS"}}));
  // Another writer holds the library: the pooled connection waits for it (busy timeout) instead of failing.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir_.path() / "ECMLIB.db").c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; INSERT INTO TBHB (BHINV) VALUES ('THEIRS2')", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  std::thread writer([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  CComPtr<_Recordset> r = OpenForInsert(c);
  ASSERT_EQ(AddNew(r), S_OK);
  ASSERT_EQ(Put(r, u"BHINV", u"MINE2"), S_OK);
  EXPECT_EQ(Update(r), S_OK);
  writer.join();
  sqlite3_close(other);
  r->Close();
  c->Close();
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"MINE1", "THEIRS", "THEIRS2", "MINE2"}));
}

TEST_F(SqlitePool, ATableChangedMeanwhileIsDescribedAnew) {
  InsertOne(u"BEFORE");
  // Another program widens a column and adds one while the connection waits in the pool.
  ExecRaw("DROP TABLE TBHB; CREATE TABLE TBHB (BHCUR CHAR(5), BHINV CHAR(15), BHAMT DECIMAL(5,2), BHNEW CHAR(3))");
  CComPtr<_Connection> c = Connect();
  ASSERT_EQ(ado::sqlite::IdleConnections(), 0u);
  CComPtr<_Recordset> r = OpenForInsert(c);
  CComPtr<Fields> fields;
  r->get_Fields(&fields);
  LONG count = 0;
  fields->get_Count(&count);
  EXPECT_EQ(count, 4);
  ASSERT_EQ(AddNew(r), S_OK);
  EXPECT_EQ(Put(r, u"BHNEW", u"NEW"), S_OK);
  EXPECT_EQ(Put(r, u"BHCUR", u"ABCDE"), S_OK);  // fits CHAR(5), not the CHAR(2) it was
  EXPECT_EQ(Put(r, u"BHINV", u"AFTER"), S_OK);
  EXPECT_EQ(Update(r), S_OK) << (ErrorsOf(c).empty() ? "" : adotest::Narrow(ErrorsOf(c)[0].description));
  r->Close();
  c->Close();
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"AFTER"}));
}

// A child process inherits the parent's pooled connections in memory; it must neither use nor close them.
TEST_F(SqlitePool, AForkedChildMakesItsOwnConnections) {
  InsertOne(u"PARENT1");
  ASSERT_EQ(ado::sqlite::IdleConnections(), 1u);
  pid_t child = fork();
  if (child == 0) {
    CComPtr<_Connection> c = Connect();
    bool fresh = ado::sqlite::IdleConnections() == 0;
    CComPtr<_Recordset> r = OpenForInsert(c);
    bool ok = SUCCEEDED(AddNew(r)) && SUCCEEDED(Put(r, u"BHINV", u"CHILD")) && SUCCEEDED(Update(r));
    r->Close();
    c->Close();
    _exit(ok && fresh ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  InsertOne(u"PARENT2");
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"PARENT1", "CHILD", "PARENT2"}));
}

// The durability the library is opened with: a record is committed when Update returns, and a crash of the
// process right after it (no close, no checkpoint) loses nothing.
TEST_F(SqlitePool, ACommittedRecordSurvivesACrashOfTheProcess) {
  EXPECT_STREQ(ado::sqlite::SynchronousSetting(), "FULL");
  pid_t child = fork();
  if (child == 0) {
    CComPtr<_Connection> c = Connect();
    CComPtr<_Recordset> r = OpenForInsert(c);
    for (const char16_t* invoice : {u"C1", u"C2"}) {
      if (FAILED(AddNew(r)) || FAILED(Put(r, u"BHINV", invoice)) || FAILED(Update(r))) _exit(1);
    }
    // A record still pending at the crash is not committed.
    AddNew(r);
    Put(r, u"BHINV", u"PENDING");
    std::abort();
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child crashed";
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "ECMLIB.db-wal")) << "the records are in the log, not yet checkpointed";
  EXPECT_EQ(InvoicesOnDisk(), (std::vector<std::string>{"C1", "C2"}));
}

}  // namespace
