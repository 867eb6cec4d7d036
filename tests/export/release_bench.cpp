// Documents per second released into PostgreSQL, one connection per document as the export opens them.
//   release_bench [DOCUMENTS]
// The server: QORVENA_PG_FIXTURE's cluster, else one started for the run. Whether connections are pooled is the
// driver manager's configuration: ODBCSYSINI names the folder of the odbcinst.ini in use (the fixture's pools;
// ODBCSYSINI=/etc uses the system's, which does not).
#include <chrono>
#include <cstdio>

#include "platform/ado/odbc/odbc_api.h"
#include "tests/export/release_fixture.h"

using namespace release_test;

int main(int argc, char** argv) {
  int documents = argc > 1 ? std::atoi(argv[1]) : 300;
  const pgtest::PgServer* server = pgtest::Server();
  if (!server) return 1;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  dbAx::AxLibInit();
  std::string library = pgtest::CreateUniqueLibrary(*server, "BENCH");

  capture::ReleaseDocument document;
  document.connectString = Utf8ToUtf16(server->DataSource());
  document.userName = Utf8ToUtf16(pgtest::kReleaseUser);
  document.password = Utf8ToUtf16(pgtest::kReleasePassword);
  document.customProperties = {{u"serverAPILibrary", Utf8ToUtf16(library)}};
  document.values = RequiredValues();
  document.values.erase(document.values.end() - 2, document.values.end());
  document.values.push_back(TableValue("TBLB.BLCIT", {"A", "B", "C"}));
  document.values.push_back(TableValue("TBLB.BLINQ", {"1", "2.5", "3"}));

  CComPtr<Connector> connector = MakeComObject<Connector>();
  KfxReturnValue ret;
  connector->OpenScript(&ret);
  auto events = std::make_shared<RecordingEvents>();
  std::uint64_t connectsBefore = ado::odbc::ConnectsMade();
  int released = 0;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < documents; ++i) {
    CComPtr<IReleaseData> data = capture::MakeReleaseData(document, events);
    connector->putref_DocumentData(data);
    connector->ReleaseDoc(&ret);
    released += ret == KFX_REL_SUCCESS;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  connector->CloseScript(&ret);
  const char* ini = std::getenv("ODBCSYSINI");
  std::printf("%d of %d documents released in %.2f s: %.1f documents/s (ODBCSYSINI=%s, %llu connects)\n", released,
              documents, seconds, documents / seconds, ini ? ini : "",
              static_cast<unsigned long long>(ado::odbc::ConnectsMade() - connectsBefore));
  if (released != documents && !events->log.empty()) std::printf("last report: %s\n", events->log.back().message.c_str());
  pgtest::DropLibrary(*server, library);
  return released == documents ? 0 : 1;
}
