// The module's start-up and shut-down, and the guards its classes put around the class bodies.
#include <gtest/gtest.h>

#include <stdexcept>

#include "resources/qorvena_module.h"
#include "server/app.h"
#include "server/classes.h"
#include "tests/server/fake_axlib.h"

namespace {

class App : public ::testing::Test {
 protected:
  void SetUp() override { fake_axlib::Reset(); }
};

TEST_F(App, ConstructionSetsTheModulesTypeLibraryIdentifier) {
  CAtlModule::m_libid = GUID_NULL;
  CqorvenaApp app;
  EXPECT_EQ(CAtlModule::m_libid, MakeGuid("{A073AE4B-4E77-4E59-9ED3-2900E7489322}"));
}

TEST_F(App, StartsAndStopsTheDataAccessLayerWithTheModulesResources) {
  CqorvenaApp app;
  EXPECT_TRUE(app.InitInstance());
  EXPECT_EQ(fake_axlib::initCalls, 1);
  EXPECT_EQ(fake_axlib::resourcesAtInit, u"qorvena");
  EXPECT_EQ(app.ExitInstance(), 0);
  EXPECT_EQ(fake_axlib::shutdownCalls, 1);
  EXPECT_EQ(fake_axlib::resourcesAtShutdown, u"qorvena");
  EXPECT_NE(AfxGetResourceHandle(), QorvenaResources()) << "the caller's resources are back";
}

// The shut-down's handler deletes a data access exception (the leak check sees it) and ignores anything else.
TEST_F(App, ShutDownSwallowsExceptions) {
  for (auto what : {fake_axlib::Throw::AxException, fake_axlib::Throw::OtherException}) {
    CqorvenaApp app;
    fake_axlib::shutdownThrows = what;
    EXPECT_EQ(app.ExitInstance(), 0);
  }
  EXPECT_EQ(fake_axlib::shutdownCalls, 2);
}

TEST_F(App, AStartUpThatThrowsFailsInsteadOfLeavingTheModule) {
  for (auto what : {fake_axlib::Throw::AxException, fake_axlib::Throw::OtherException}) {
    CqorvenaApp app;
    fake_axlib::initThrows = what;
    EXPECT_FALSE(app.InitInstance());
  }
  EXPECT_NE(AfxGetResourceHandle(), QorvenaResources());
}

TEST(ClassGuards, EscapingExceptionsEndTheOperationWithAnError) {
  struct Case {
    const char* what;
    std::function<HRESULT()> body;
  };
  const Case cases[] = {
      {"data access", []() -> HRESULT { throw new dbAx::CAxException(5003, 0); }},
      {"standard", []() -> HRESULT { throw std::logic_error("bug"); }},
      {"anything", []() -> HRESULT { throw 42; }},
  };
  for (const auto& c : cases) {
    KfxReturnValue ret = KFX_REL_SUCCESS;
    EXPECT_EQ(qorvena_detail::Shielded(&ret, c.body), S_OK) << c.what;
    EXPECT_EQ(ret, KFX_REL_ERROR) << c.what;
    EXPECT_EQ(qorvena_detail::Shielded(nullptr, c.body), E_UNEXPECTED) << c.what << ": no outcome to set";
  }
  EXPECT_EQ(qorvena_detail::Shielded(nullptr, []() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  KfxReturnValue ret = KFX_REL_ERROR;
  EXPECT_EQ(qorvena_detail::Shielded(&ret, [&] {
              ret = KFX_REL_SUCCESS;
              return S_FALSE;
            }),
            S_FALSE)
      << "a body that returns is left alone";
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
}

struct RecordingCreator {
  static inline const ResourceModule* resources = nullptr;
  static HRESULT CreateInstance(void*, REFIID, void** ppv) {
    resources = AfxGetResourceHandle();
    *ppv = nullptr;
    return E_NOTIMPL;
  }
};

TEST(ClassGuards, ObjectsAreMadeWithTheModulesResources) {
  void* p = nullptr;
  EXPECT_EQ(qorvena_detail::ModuleStateCreator<RecordingCreator>::CreateInstance(nullptr, IID_IUnknown, &p), E_NOTIMPL);
  EXPECT_EQ(RecordingCreator::resources, QorvenaResources());
  EXPECT_NE(AfxGetResourceHandle(), QorvenaResources());
}

}  // namespace
