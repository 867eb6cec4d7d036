// The setup as the capture host runs it: the module loaded with dlopen, the setup script made by its class
// object, RunUI answered through the sheet's widgets alone (the module carries its own copy of the window
// framework; only Qt is shared).
#include <dlfcn.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "platform/com/activation.h"
#include "platform/ui/window.h"
#include "tests/setup/fake_host.h"
#include "tests/ui/ui_test_support.h"

namespace {

using fakehost::FakeSetupData;
using fakehost::LinkRecord;

CComPtr<IKfxReleaseSetupScript> CreateSetupScript() {
  // Kept loaded for the life of the test program, as the host keeps it while it may still call in.
  static void* module = ::dlopen(std::filesystem::canonical(QORVENA_MODULE_PATH).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) return {};
  auto getClassObject = reinterpret_cast<PfnDllGetClassObject>(::dlsym(module, "DllGetClassObject"));
  if (!getClassObject) return {};
  CComPtr<IClassFactory> factory;
  if (getClassObject(CLSID_DodoSetupScript, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) return {};
  CComPtr<IKfxReleaseSetupScript> script;
  factory->CreateInstance(nullptr, IKfxReleaseSetupScript::iid, reinterpret_cast<void**>(&script));
  return script;
}

template <class T>
T* Control(QWidget* sheet, UINT id) {
  return dynamic_cast<T*>(FindDlgItem(sheet, id));
}

QPushButton* Button(QWidget* sheet, const QString& text) {
  for (auto* button : sheet->findChildren<QPushButton*>()) {
    if (button->text() == text && button->isVisible()) return button;
  }
  return nullptr;
}

class ModuleRunUITest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    script = CreateSetupScript();
    ASSERT_NE(script.get(), nullptr);
    data = MakeComObject<FakeSetupData>();
    data->indexFields->names = {u"Vendor"};
    ASSERT_EQ(script->putref_SetupData(data), S_OK);
  }
  uitest::Watchdog watchdog_;
  CComPtr<IKfxReleaseSetupScript> script;
  CComPtr<FakeSetupData> data;
};

TEST_F(ModuleRunUITest, OkStoresTheSettingsAndShowsTheModulesVersion) {
  uitest::WhenModal([](QWidget* sheet) {
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Vantrel Export Connector for InforLX Setup"));
    // The module's own version resource.
    auto* version = Control<QLabel>(sheet, 11060);
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->isVisible());
    EXPECT_EQ(version->text(), QStringLiteral("1.5.2"));
    auto* server = Control<QLineEdit>(sheet, 11017);
    ASSERT_NE(server, nullptr);
    QTest::keyClicks(server, "IBMI02");
    QTest::keyClicks(Control<QLineEdit>(sheet, 11028), "LIB2");
    QPushButton* ok = Button(sheet, QStringLiteral("OK"));
    ASSERT_NE(ok, nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  KfxReturnValue ret = KFX_REL_ERROR;
  EXPECT_EQ(script->RunUI(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  EXPECT_EQ(data->connectString, u"IBMI02");
  EXPECT_EQ(data->properties->values[u"serverAPILibrary"], u"LIB2");
  EXPECT_EQ(data->links->links.size(), 3u);
  EXPECT_EQ(data->applyCount, 1);
}

TEST_F(ModuleRunUITest, CancelStoresNothing) {
  uitest::WhenModal([](QWidget* sheet) {
    QTest::keyClicks(Control<QLineEdit>(sheet, 11017), "IGNORED");
    QTest::keyClick(sheet, Qt::Key_Escape);
  });
  KfxReturnValue ret = KFX_REL_ERROR;
  EXPECT_EQ(script->RunUI(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  EXPECT_EQ(data->Writes(), fakehost::Journal{});
}

}  // namespace
