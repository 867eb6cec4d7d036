// Two release stations, two capture host processes, releasing different batches into one PostgreSQL library at
// the same time: every document of both batches reaches the tables exactly once and whole.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "tests/odbc/pg_support.h"
#include "tests/stations/station.h"

namespace {

namespace fs = std::filesystem;

TEST(StationsOnPostgreSQL, TwoStationsReleaseIntoOneLibraryAtTheSameTime) {
  const pgtest::PgServer* server = pgtest::Server();
  ASSERT_NE(server, nullptr);
  const std::string library = pgtest::CreateUniqueLibrary(*server, "STATIONS");
  ASSERT_FALSE(library.empty());
  const fs::path dir = fs::temp_directory_path() / ("qorvena-pg-stations-" + std::to_string(::getpid()));
  fs::remove_all(dir);

  // The stations talk to the server through unixODBC and psqlODBC, which lose memory of their own (see
  // tests/odbc/pg_support.cpp); a leak check of the station processes leaves those out.
  fs::create_directories(dir);
  std::ofstream(dir / "lsan.supp") << "leak:iconv_open\nleak:psqlodbcw.so\n";
  const char* options = std::getenv("LSAN_OPTIONS");
  std::string lsan = (options && *options ? std::string(options) + ":" : "") + "suppressions=" + (dir / "lsan.supp").string();
  setenv("LSAN_OPTIONS", lsan.c_str(), 1);

  constexpr std::size_t kDocuments = 150;  // per station
  const std::string prefixes[] = {"PG1", "PG2"};
  fs::path homes[2];
  std::vector<std::string> invoices;
  auto host = [&](const fs::path& home, std::vector<std::string> args, const std::string& log) {
    std::vector<std::string> command = {QORVENA_CAPTURE_HOST, "--home", home.string(), "--registry",
                                        (home / "registry.json").string()};
    command.insert(command.end(), args.begin(), args.end());
    return station::Spawn(command, (home / (log + "-out.txt")).string(), (home / (log + "-err.txt")).string());
  };
  for (int s = 0; s < 2; ++s) {
    homes[s] = dir / ("station" + std::to_string(s + 1));
    fs::create_directories(homes[s]);
    EXPECT_EQ(station::Wait(host(homes[s], {"register", QORVENA_MODULE}, "register")), 0)
        << station::ReadText(homes[s] / "register-err.txt");
    std::ofstream(homes[s] / "class.json")
        << station::InvoiceClassJson(server->DataSource(), library, pgtest::kReleaseUser, pgtest::kReleasePassword);
    EXPECT_EQ(station::Wait(host(homes[s], {"class-import", (homes[s] / "class.json").string()}, "import")), 0)
        << station::ReadText(homes[s] / "import-err.txt");
    ASSERT_TRUE(station::WriteBatch(homes[s] / "batch.json", prefixes[s], kDocuments));
    for (std::size_t n = 1; n <= kDocuments; ++n) invoices.push_back(station::InvoiceNumber(prefixes[s], n));
  }
  ASSERT_FALSE(::testing::Test::HasFailure());

  pid_t pids[2];
  for (int s = 0; s < 2; ++s) {
    pids[s] = host(homes[s], {"release", (homes[s] / "batch.json").string(), "--quiet"}, "release");
    ASSERT_GT(pids[s], 0);
  }
  for (int s = 0; s < 2; ++s)
    EXPECT_EQ(station::Wait(pids[s]), 0) << station::ReadText(homes[s] / "release-out.txt")
                                         << station::ReadText(homes[s] / "release-err.txt");

  station::Records r;
  pgtest::Db db(*server);
  auto text = [](const pgtest::Row& row, const char* column) {
    auto it = row.find(column);
    return it == row.end() || !it->second ? std::string() : station::Trim(*it->second);
  };
  for (const auto& row : db.Query("SELECT pegui FROM " + library + ".tpec")) r.tpecKeys.push_back(text(row, "PEGUI"));
  for (const auto& row : db.Query("SELECT bhinv, bhgui FROM " + library + ".tbhb"))
    r.tbhb.push_back({text(row, "BHINV"), text(row, "BHGUI")});
  for (const auto& row : db.Query("SELECT bsinv, bsgui FROM " + library + ".tbsb"))
    r.tbsb.push_back({text(row, "BSINV"), text(row, "BSGUI")});
  for (const auto& row : db.Query("SELECT blinv, blgui, blcit, bloln FROM " + library + ".tblb"))
    r.tblb.push_back({text(row, "BLINV"), text(row, "BLGUI"), text(row, "BLCIT"), std::stoi(text(row, "BLOLN"))});

  station::Verdict v = station::Check(r, invoices);
  EXPECT_THAT(v.problems, ::testing::IsEmpty());
  std::cout << "[ stations ] PostgreSQL: " << invoices.size() << " documents from two stations; " << v.sharedKeys
            << " keys taken by two documents (" << v.documentsOnSharedKeys << " documents)\n";
  ::testing::Test::RecordProperty("shared_keys", static_cast<int>(v.sharedKeys));
  if (!::testing::Test::HasFailure()) {
    pgtest::DropLibrary(*server, library);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
}

}  // namespace
