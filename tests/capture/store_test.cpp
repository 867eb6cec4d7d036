#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "capture/host_objects.h"
#include "capture/store.h"

using namespace capture;
namespace fs = std::filesystem;

namespace {

class Store : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("qcapture-store-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string error;
    store = ClassStore::Open((dir / "classes.db").string(), &error);
    ASSERT_TRUE(store) << error;
  }
  void TearDown() override {
    store.reset();
    fs::remove_all(dir);
  }
  fs::path dir;
  std::unique_ptr<ClassStore> store;
};

DocumentClass Full() {
  DocumentClass c;
  c.name = u"Invoice";
  c.batchClassName = u"AP Invoices";
  c.instanceName = u"ECM export";
  c.serverName = u"sqlite:/srv/ecm";
  c.userName = u"KOFAX";
  c.password = u"  p\u00e4ss w\u00f6rd \U0001F511 ";
  c.customProperties = {{u"serverAPILibrary", u"ECMLIB"}, {u"A", u""}};
  c.links = {{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
             {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"},
             {u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"}};  // duplicates kept as stored
  c.indexFields = {{u"Vendor", u""}, {u"ItemNumber", u"InvoiceLines"}};
  c.batchFields = {u"OriginalFolder", u"OriginalFileNameExt"};
  c.valueNames = {u"Batch Name", u"Site ID"};
  c.connectorProgId = u"{A4836D49-3680-49E8-B8F0-9F6413E4DA13}";
  return c;
}

TEST_F(Store, KeepsEverySettingInOrder) {
  std::string error;
  ASSERT_TRUE(store->Create(Full(), &error)) << error;
  DocumentClass loaded;
  bool found = false;
  ASSERT_TRUE(store->Load(u"Invoice", loaded, &found, &error)) << error;
  ASSERT_TRUE(found);
  EXPECT_EQ(loaded, Full());

  // Another process (here: another connection) sees the same.
  auto other = ClassStore::Open((dir / "classes.db").string(), &error);
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->Load(u"invoice", loaded, &found, &error));  // names match regardless of case
  EXPECT_TRUE(found);
  EXPECT_EQ(loaded, Full());
}

TEST_F(Store, CreateRefusesAnExistingNameSaveReplaces) {
  std::string error;
  ASSERT_TRUE(store->Create(Full(), &error));
  DocumentClass lower = Full();
  lower.name = u"INVOICE";
  EXPECT_FALSE(store->Create(lower, &error));
  EXPECT_EQ(error, "the document class 'Invoice' already exists");

  DocumentClass changed = Full();
  changed.links = {{u"X", KFX_REL_BATCHFIELD, u"TBHB.BHINV"}};
  changed.customProperties.clear();
  changed.indexFields.pop_back();
  ASSERT_TRUE(store->Save(changed, &error)) << error;
  DocumentClass loaded;
  bool found = false;
  ASSERT_TRUE(store->Load(u"Invoice", loaded, &found, &error));
  EXPECT_EQ(loaded, changed);
}

TEST_F(Store, NamesAndRemove) {
  std::string error;
  DocumentClass a = Full(), b = Full();
  a.name = u"zeta";
  b.name = u"Alpha";
  ASSERT_TRUE(store->Create(a, &error));
  ASSERT_TRUE(store->Create(b, &error));
  std::vector<std::u16string> names;
  ASSERT_TRUE(store->Names(names, &error));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"zeta"}));
  bool found = false;
  ASSERT_TRUE(store->Remove(u"ZETA", &found, &error));
  EXPECT_TRUE(found);
  ASSERT_TRUE(store->Remove(u"zeta", &found, &error));
  EXPECT_FALSE(found);
  DocumentClass loaded;
  ASSERT_TRUE(store->Load(u"zeta", loaded, &found, &error));
  EXPECT_FALSE(found);
  ASSERT_TRUE(store->Names(names, &error));
  EXPECT_EQ(names, std::vector<std::u16string>{u"Alpha"});
  // Re-creating after removal leaves no children of the old class behind.
  a.links.clear();
  ASSERT_TRUE(store->Create(a, &error));
  ASSERT_TRUE(store->Load(u"zeta", loaded, &found, &error));
  EXPECT_TRUE(loaded.links.empty());
}

TEST_F(Store, UnnamedClassIsRefused) {
  std::string error;
  DocumentClass c;
  EXPECT_FALSE(store->Save(c, &error));
  EXPECT_EQ(error, "a document class needs a name");
}

TEST_F(Store, SetupDataCommitsToTheStoreOnApplyOnly) {
  std::string error;
  ASSERT_TRUE(store->Create(Full(), &error));
  DocumentClass c;
  bool found = false;
  ASSERT_TRUE(store->Load(u"Invoice", c, &found, &error));
  CComPtr<IReleaseSetupData> setup = MakeReleaseSetupData(c, [this](const DocumentClass& edited) {
    std::string failure;
    return store->Save(edited, &failure);
  });
  CComBSTR server(u"sqlite:/elsewhere");
  ASSERT_EQ(setup->put_ConnectString(server), S_OK);
  CComPtr<ILinks> links;
  ASSERT_EQ(setup->get_Links(&links), S_OK);
  ASSERT_EQ(links->RemoveAll(), S_OK);

  DocumentClass stored;
  ASSERT_TRUE(store->Load(u"Invoice", stored, &found, &error));
  EXPECT_EQ(stored, Full());  // not applied yet

  ASSERT_EQ(setup->Apply(), S_OK);
  ASSERT_TRUE(store->Load(u"Invoice", stored, &found, &error));
  EXPECT_EQ(stored.serverName, u"sqlite:/elsewhere");
  EXPECT_TRUE(stored.links.empty());
  EXPECT_EQ(stored.indexFields, Full().indexFields);
  EXPECT_EQ(stored.password, Full().password);
}

TEST(StoreOpen, AFileThatIsNoStore) {
  fs::path file = fs::temp_directory_path() / ("qcapture-notastore-" + std::to_string(::getpid()));
  { std::ofstream(file) << "this is not a database, just some text that is long enough to matter............"; }
  std::string error;
  EXPECT_FALSE(ClassStore::Open(file.string(), &error));
  EXPECT_NE(error.find(file.string()), std::string::npos) << error;
  fs::remove(file);
  EXPECT_FALSE(ClassStore::Open("/nonexistent-folder/classes.db", &error));
  EXPECT_NE(error.find("/nonexistent-folder/classes.db"), std::string::npos) << error;
}

}  // namespace
