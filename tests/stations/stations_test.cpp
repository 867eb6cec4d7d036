// Two release stations, two capture host processes, releasing different batches into one embedded ECM library at
// the same time: every document of both batches reaches the tables exactly once and whole.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>

#include "ecm/ddl.h"
#include "tests/stations/station.h"

namespace {

namespace fs = std::filesystem;

class Stations : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qorvena-stations-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "ecm");
    std::string message;
    ASSERT_EQ(CreateSqliteLibrary((dir_ / "ecm").string(), "ECMLIB", &message), CreateLibraryResult::Created)
        << message;
  }
  void TearDown() override {
    std::error_code ec;
    if (!HasFailure()) fs::remove_all(dir_, ec);
  }

  // A capture host command of one station; its output goes to the station's folder.
  int Host(const fs::path& home, std::vector<std::string> args) {
    std::vector<std::string> command = {QORVENA_CAPTURE_HOST, "--home", home.string(), "--registry",
                                        (home / "registry.json").string()};
    command.insert(command.end(), args.begin(), args.end());
    pid_t pid = station::Spawn(command, (home / "out.txt").string(), (home / "err.txt").string());
    return pid < 0 ? -1 : station::Wait(pid);
  }

  // A station with the connector registered and the invoice class imported.
  fs::path PrepareStation(const std::string& name) {
    fs::path home = dir_ / name;
    fs::create_directories(home);
    EXPECT_EQ(Host(home, {"register", QORVENA_MODULE}), 0) << station::ReadText(home / "err.txt");
    std::ofstream(home / "class.json")
        << station::InvoiceClassJson("sqlite:" + (dir_ / "ecm").string(), "ECMLIB", "KOFAXREL", "secret");
    EXPECT_EQ(Host(home, {"class-import", (home / "class.json").string()}), 0) << station::ReadText(home / "err.txt");
    return home;
  }

  station::Records ReadRecords() {
    std::string error;
    station::Records r = station::ReadSqliteRecords(dir_ / "ecm" / "ECMLIB.db", error);
    EXPECT_EQ(error, "");
    return r;
  }

  fs::path dir_;
};

TEST_F(Stations, TwoStationsReleaseIntoOneEmbeddedLibraryAtTheSameTime) {
  constexpr std::size_t kDocuments = 200;  // per station
  const std::string prefixes[] = {"ST1", "ST2"};
  fs::path homes[2];
  std::vector<std::string> invoices;
  for (int s = 0; s < 2; ++s) {
    homes[s] = PrepareStation("station" + std::to_string(s + 1));
    ASSERT_TRUE(station::WriteBatch(homes[s] / "batch.json", prefixes[s], kDocuments));
    for (std::size_t n = 1; n <= kDocuments; ++n) invoices.push_back(station::InvoiceNumber(prefixes[s], n));
  }
  ASSERT_FALSE(HasFailure());

  pid_t pids[2];
  for (int s = 0; s < 2; ++s) {
    pids[s] = station::Spawn({QORVENA_CAPTURE_HOST, "--home", homes[s].string(), "--registry",
                              (homes[s] / "registry.json").string(), "release", (homes[s] / "batch.json").string(),
                              "--quiet"},
                             (homes[s] / "release-out.txt").string(), (homes[s] / "release-err.txt").string());
    ASSERT_GT(pids[s], 0);
  }
  for (int s = 0; s < 2; ++s) {
    // Every document released: the stations wait for each other's writes instead of failing.
    EXPECT_EQ(station::Wait(pids[s]), 0) << station::ReadText(homes[s] / "release-out.txt")
                                         << station::ReadText(homes[s] / "release-err.txt");
  }

  station::Verdict v = station::Check(ReadRecords(), invoices);
  EXPECT_THAT(v.problems, ::testing::IsEmpty());
  std::cout << "[ stations ] SQLite: " << invoices.size() << " documents from two stations; " << v.sharedKeys
            << " keys taken by two documents (" << v.documentsOnSharedKeys << " documents)\n";
  RecordProperty("shared_keys", static_cast<int>(v.sharedKeys));
}

}  // namespace
