#include <gtest/gtest.h>

#include <thread>

#include "tests/dbax/dbax_test_support.h"

namespace {

using dbaxtest::Catch;
using dbaxtest::Text;

// Each case runs on a thread of its own, as COM apartments belong to threads.
void OnFreshThread(const std::function<void()>& body) {
  ASSERT_FALSE(dbAx::AxLibIsInitialized());
  std::thread t(body);
  t.join();
  EXPECT_FALSE(dbAx::AxLibIsInitialized());
}

TEST(AxLibInit, StartsASingleThreadedApartment) {
  OnFreshThread([] {
    ASSERT_EQ(CoCurrentApartmentModel(), -1);
    EXPECT_FALSE(Catch(dbAx::AxLibInit));
    EXPECT_TRUE(dbAx::AxLibIsInitialized());
    EXPECT_EQ(CoCurrentApartmentModel(), static_cast<int>(COINIT_APARTMENTTHREADED));
    dbAx::AxLibShutdown();
    EXPECT_EQ(CoCurrentApartmentModel(), -1);
  });
}

TEST(AxLibInit, ASecondCallDoesNothing) {
  OnFreshThread([] {
    dbAx::AxLibInit();
    dbAx::AxLibInit();
    dbAx::AxLibShutdown();  // one shut-down ends the one apartment it started
    EXPECT_EQ(CoCurrentApartmentModel(), -1);
    EXPECT_FALSE(dbAx::AxLibIsInitialized());
  });
}

TEST(AxLibInit, AThreadAlreadyInASingleThreadedApartmentIsFine) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_FALSE(Catch(dbAx::AxLibInit));
    EXPECT_TRUE(dbAx::AxLibIsInitialized());
    dbAx::AxLibShutdown();
    EXPECT_EQ(CoCurrentApartmentModel(), static_cast<int>(COINIT_APARTMENTTHREADED));
    CoUninitialize();
  });
}

TEST(AxLibInit, AMultiThreadedApartmentFailsAndLeavesTheFlagClear) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    auto e = Catch(dbAx::AxLibInit);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 5001);
    EXPECT_EQ(e->hresult, RPC_E_CHANGED_MODE);
    EXPECT_EQ(Text(e->message),
              "The dbAx Library failed to initialize\nCOM Error: Cannot change thread mode after it is set.\n"
              "Source: AxLibInit - COM Initialization.");
    EXPECT_FALSE(dbAx::AxLibIsInitialized());
    CoUninitialize();
  });
}

TEST(AxLibShutdown, WithoutInitDoesNothing) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    dbAx::AxLibShutdown();
    EXPECT_EQ(CoCurrentApartmentModel(), static_cast<int>(COINIT_APARTMENTTHREADED));
    CoUninitialize();
  });
}

TEST(AxLibShutdown, ClosesTheOpenConnectionsAndForgetsThem) {
  adotest::TempDir dir;
  OnFreshThread([&] {
    dbAx::AxLibInit();
    ASSERT_EQ(ado::sqlite::CreateLibrary(dir.path(), u"ECMLIB"), S_OK);
    dbAx::CAxConnection open, created;
    open.Create();
    open.Open(dir.ConnectionString(), u"", u"", -1);
    created.Create();
    ASSERT_EQ(dbAx::AxConnectionRegistry().size(), 2u);
    dbAx::AxLibShutdown();
    EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
    EXPECT_FALSE(open._IsOpen());
  });
}

TEST(AxLibInit, EmptiesTheRegistryWithoutTouchingTheConnections) {
  adotest::TempDir dir;
  OnFreshThread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    {
      dbAx::CAxConnection c;
      c.Create();
      c.Open(dir.ConnectionString(), u"", u"", -1);
      ASSERT_EQ(dbAx::AxConnectionRegistry().size(), 1u);
      dbAx::AxLibInit();
      EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
      EXPECT_TRUE(c._IsOpen());
    }  // its destructor finds nothing to remove
    EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
    dbAx::AxLibShutdown();
    CoUninitialize();
  });
}

}  // namespace
