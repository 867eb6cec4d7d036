// What a document that was reported released survives: the release process crashing right after ReleaseDoc,
// with its connection to the library still held open behind the connection pool.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/export/release_fixture.h"

namespace {

using namespace release_test;

class Durability : public ReleaseFixture {};

TEST_F(Durability, AReleasedDocumentSurvivesACrashOfTheProcess) {
  pid_t child = fork();
  if (child == 0) {
    std::vector<capture::DocumentValue> values = RequiredValues();
    values.push_back(TableValue("TBLB.BLITD", {"FIRST", "SECOND"}));
    KfxReturnValue ret = Release(values);
    if (ret != KFX_REL_SUCCESS) _exit(1);
    std::abort();  // no CloseScript, no close of anything: the process simply dies
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child released its document and crashed";
  EXPECT_EQ(Rows("TPEC").size(), 1u);
  EXPECT_EQ(Rows("TBHB").size(), 1u);
  EXPECT_EQ(Rows("TBSB").size(), 1u);
  std::vector<Row> lines = Rows("TBLB");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["BLITD"], "FIRST");
  EXPECT_EQ(lines[1]["BLITD"], "SECOND");
}

}  // namespace
