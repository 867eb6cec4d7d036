#include <gtest/gtest.h>

#include <memory>

#include "ecm/mapping_model.h"
#include "ecm/settings.h"
#include "fakes.h"

using fakes::FakeLinks;
using fakes::FakeSetupData;
using fakes::LinkRecord;

namespace {

const LinkRecord kFixedLinks[] = {
    {u"OriginalFolder", KFX_REL_BATCHFIELD, u"OriginalFolder"},
    {u"First Page Original File Name", KFX_REL_VARIABLE, u"OriginalFileName"},
    {u"OriginalFileNameExt", KFX_REL_BATCHFIELD, u"OriginalFileNameExt"},
};

class Links : public ::testing::Test {
 protected:
  void SetUp() override { model->BuildCatalogue(); }
  void Map(const char16_t* key, const char16_t* source, LONG type) {
    int slot = model->FindByKey(key);
    ASSERT_GE(slot, 0);
    model->Entry(slot).source = CComBSTR(source);
    model->Entry(slot).sourceType = type;
  }
  std::vector<LinkRecord> WithFixed(std::vector<LinkRecord> links) {
    links.insert(links.end(), std::begin(kFixedLinks), std::end(kFixedLinks));
    return links;
  }
  CComPtr<FakeSetupData> setup = MakeComObject<FakeSetupData>();
  std::unique_ptr<CMappingModel> model = std::make_unique<CMappingModel>(setup);
};

TEST_F(Links, SaveWritesTheColumnLinksThenTheThreeFixedOnes) {
  Map(u"TPEC.PESID", u"Vendor", KFX_REL_INDEXFIELD);
  Map(u"TPEC.PEPGN", u"GRP1", KFX_REL_TEXTCONSTANT);
  ASSERT_TRUE(model->SaveLinks());
  const std::vector<LinkRecord> expected =
      WithFixed({{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"}, {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"}});
  EXPECT_EQ(setup->links->links, expected);

  // Saving again clears first: the same links, no duplicates.
  ASSERT_TRUE(model->SaveLinks());
  EXPECT_EQ(setup->links->links, expected);
  EXPECT_EQ(setup->links->calls,
            (std::vector<std::string>{"RemoveAll", "Add", "Add", "Add", "Add", "Add", "RemoveAll", "Add", "Add", "Add",
                                      "Add", "Add"}));
}

TEST_F(Links, SaveSkipsEmptySourcesAndUnmappedSlotsAndKeepsSlotOrder) {
  Map(u"TBLB.BLCIT", u"ItemNumber", KFX_REL_INDEXFIELD);
  Map(u"TPEC.PEPGN", u"", KFX_REL_TEXTCONSTANT);                 // empty constant: no link
  Map(u"TBHB.BHINV", u"Stale", KFX_REL_UNDEFINED_LINK);          // unmapped despite a source
  Map(u"TPEC.PESID", u"Batch Name", KFX_REL_VARIABLE);
  Map(u"TBHB.BHSEN", u"Station", KFX_REL_BATCHFIELD);            // kept as loaded
  ASSERT_TRUE(model->SaveLinks());
  EXPECT_EQ(setup->links->links, WithFixed({{u"Batch Name", KFX_REL_VARIABLE, u"TPEC.PESID"},
                                            {u"Station", KFX_REL_BATCHFIELD, u"TBHB.BHSEN"},
                                            {u"ItemNumber", KFX_REL_INDEXFIELD, u"TBLB.BLCIT"}}));
}

TEST_F(Links, UnmappedModelSavesOnlyTheFixedLinks) {
  setup->links->links = {{u"Old", KFX_REL_INDEXFIELD, u"TPEC.PESID"}};
  ASSERT_TRUE(model->SaveLinks());
  EXPECT_EQ(setup->links->links, WithFixed({}));
}

TEST_F(Links, SaveFailures) {
  setup->failLinks = true;
  EXPECT_FALSE(model->SaveLinks());
  EXPECT_TRUE(setup->links->calls.empty());

  setup->failLinks = false;
  setup->links->failRemoveAll = true;
  setup->links->links = {{u"Old", KFX_REL_INDEXFIELD, u"TPEC.PESID"}};
  EXPECT_FALSE(model->SaveLinks());
  EXPECT_EQ(setup->links->calls, std::vector<std::string>{"RemoveAll"});
  EXPECT_EQ(setup->links->links.size(), 1u);

  // Failing adds do not fail the save.
  setup->links->failRemoveAll = false;
  setup->links->failAdd = true;
  setup->links->calls.clear();
  Map(u"TPEC.PESID", u"Vendor", KFX_REL_INDEXFIELD);
  EXPECT_TRUE(model->SaveLinks());
  EXPECT_EQ(setup->links->calls, (std::vector<std::string>{"RemoveAll", "Add", "Add", "Add", "Add"}));

  CMappingModel detached;
  EXPECT_FALSE(detached.SaveLinks());
}

TEST_F(Links, LoadPutsEachLinkIntoItsSlotLastOneWinning) {
  setup->links->links = WithFixed({{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                                   {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"},
                                   {u"Supplier", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                                   {u"Nowhere", KFX_REL_INDEXFIELD, u"TPEC.NOPE"},
                                   {u"Lower", KFX_REL_INDEXFIELD, u"tpec.pesid"},
                                   {u"Site", KFX_REL_BATCHFIELD, u"TBHB.BHSEN"}});
  model->Entry(18).source = CComBSTR(u"Leftover");
  model->Entry(18).sourceType = KFX_REL_INDEXFIELD;
  ASSERT_TRUE(model->LoadLinks());

  int mapped = 0;
  for (int i = 0; i < kMappingSlots; ++i) mapped += model->Entry(i).sourceType != KFX_REL_UNDEFINED_LINK;
  EXPECT_EQ(mapped, 3);
  EXPECT_EQ(model->Entry(2).source, std::u16string_view(u"Supplier"));
  EXPECT_EQ(model->Entry(2).sourceType, KFX_REL_INDEXFIELD);
  EXPECT_EQ(model->Entry(16).source, std::u16string_view(u"GRP1"));
  EXPECT_EQ(model->Entry(16).sourceType, KFX_REL_TEXTCONSTANT);
  EXPECT_EQ(model->Entry(70).source, std::u16string_view(u"Site"));
  EXPECT_EQ(model->Entry(70).sourceType, KFX_REL_BATCHFIELD);
  EXPECT_TRUE(model->Entry(18).source.IsEmpty());  // reset before loading
  for (VARTYPE vt : setup->links->itemKeyTypes) EXPECT_EQ(vt, VT_I4);
}

TEST_F(Links, LoadThenSaveKeepsTheMapping) {
  const std::vector<LinkRecord> stored = WithFixed({{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                                                    {u"Batch Name", KFX_REL_VARIABLE, u"TPEC.PERCD"},
                                                    {u"  spaced  ", KFX_REL_TEXTCONSTANT, u"TBLB.BLSPC"}});
  setup->links->links = stored;
  ASSERT_TRUE(model->LoadLinks());
  ASSERT_TRUE(model->SaveLinks());
  EXPECT_EQ(setup->links->links, stored);
}

TEST_F(Links, LoadSkipsPositionsThatCannotBeRead) {
  setup->links->links = {{u"A", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                         {u"B", KFX_REL_INDEXFIELD, u"TPEC.PERCD"},
                         {u"C", KFX_REL_INDEXFIELD, u"TPEC.PEDWN"},
                         {u"D", KFX_REL_INDEXFIELD, u"TPEC.PEPGN"}};
  setup->links->failItems = {1};
  setup->links->failDestinations = {2};
  setup->links->failTypes = {3};
  ASSERT_TRUE(model->LoadLinks());
  EXPECT_EQ(model->Entry(2).sourceType, KFX_REL_UNDEFINED_LINK);
  EXPECT_EQ(model->Entry(3).sourceType, KFX_REL_UNDEFINED_LINK);
  // A link whose type cannot be read does not count as mapped.
  EXPECT_EQ(model->Entry(6).sourceType, KFX_REL_UNDEFINED_LINK);
  EXPECT_EQ(model->Entry(16).source, std::u16string_view(u"D"));
  EXPECT_EQ(model->Entry(16).sourceType, KFX_REL_INDEXFIELD);
}

TEST_F(Links, LoadFailuresLeaveEverythingUnmapped) {
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    auto data = MakeComObject<FakeSetupData>();
    data->links->links = {{u"A", KFX_REL_INDEXFIELD, u"TPEC.PESID"}};
    data->failLinks = variant == 0;
    data->links->failCount = variant == 1;
    auto m = std::make_unique<CMappingModel>(variant == 2 ? nullptr : data.get());
    m->BuildCatalogue();
    m->Entry(2).source = CComBSTR(u"Before");
    m->Entry(2).sourceType = KFX_REL_INDEXFIELD;
    EXPECT_FALSE(m->LoadLinks());
    for (int i = 0; i < kMappingSlots; ++i) {
      EXPECT_EQ(m->Entry(i).sourceType, KFX_REL_UNDEFINED_LINK);
      EXPECT_TRUE(m->Entry(i).source.IsEmpty());
    }
  }
}

TEST(CustomProperty, GetSetsTheDefaultFirst) {
  auto props = MakeComObject<fakes::FakeProperties>();
  std::u16string value = u"junk";
  EXPECT_FALSE(GetCustomProperty(props, u"serverAPILibrary", u"", value));
  EXPECT_EQ(value, u"");
  EXPECT_EQ(props->calls, std::vector<std::string>{"Item(serverAPILibrary)"});
  EXPECT_EQ(props->keyTypes, std::vector<VARTYPE>{VT_BSTR});

  props->values[u"serverAPILibrary"] = u" ECMLIB ";
  EXPECT_TRUE(GetCustomProperty(props, u"serverAPILibrary", u"dflt", value));
  EXPECT_EQ(value, u" ECMLIB ");

  props->failValue = true;
  EXPECT_FALSE(GetCustomProperty(props, u"serverAPILibrary", u"dflt", value));
  EXPECT_EQ(value, u"dflt");
  props->failValue = false;
  props->failItem = true;
  value = u"junk";
  EXPECT_FALSE(GetCustomProperty(props, u"serverAPILibrary", u"dflt", value));
  EXPECT_EQ(value, u"dflt");

  value = u"junk";
  EXPECT_FALSE(GetCustomProperty(static_cast<ICustomProperties*>(nullptr), u"x", u"d", value));
  EXPECT_EQ(value, u"d");
}

TEST(CustomProperty, SetRemovesThenAdds) {
  auto props = MakeComObject<fakes::FakeProperties>();
  EXPECT_TRUE(SetCustomProperty(props, u"serverAPILibrary", u"LIB1"));  // remove fails: ignored
  EXPECT_TRUE(SetCustomProperty(props, u"serverAPILibrary", u"LIB2"));
  EXPECT_EQ(props->calls, (std::vector<std::string>{"Remove(serverAPILibrary)", "Add(serverAPILibrary=LIB1)",
                                                    "Remove(serverAPILibrary)", "Add(serverAPILibrary=LIB2)"}));
  EXPECT_EQ(props->keyTypes, (std::vector<VARTYPE>{VT_BSTR, VT_BSTR}));
  EXPECT_EQ(props->values[u"serverAPILibrary"], u"LIB2");

  props->failAdd = true;
  EXPECT_FALSE(SetCustomProperty(props, u"serverAPILibrary", u"LIB3"));
  EXPECT_EQ(props->values.count(u"serverAPILibrary"), 0u);  // removed before the failed add
  props->failAdd = false;
  EXPECT_TRUE(SetCustomProperty(props, u"serverAPILibrary", u"LIB2"));
  // A failed remove is ignored: the add decides.
  props->failRemove = true;
  EXPECT_TRUE(SetCustomProperty(props, u"other", u"x"));
  EXPECT_FALSE(SetCustomProperty(props, u"serverAPILibrary", u"LIB4"));  // still there: the add fails
  EXPECT_EQ(props->values[u"serverAPILibrary"], u"LIB2");
  EXPECT_FALSE(SetCustomProperty(static_cast<ICustomProperties*>(nullptr), u"x", u"y"));
}

TEST(CustomProperty, SetupAndReleaseSideEntries) {
  auto setup = MakeComObject<FakeSetupData>();
  EXPECT_TRUE(SetCustomProperty(static_cast<IReleaseSetupData*>(setup), u"serverAPILibrary", u"ECMLIB"));
  std::u16string value;
  EXPECT_TRUE(GetCustomProperty(static_cast<IReleaseSetupData*>(setup), u"serverAPILibrary", u"", value));
  EXPECT_EQ(value, u"ECMLIB");

  setup->failProperties = true;
  EXPECT_FALSE(SetCustomProperty(static_cast<IReleaseSetupData*>(setup), u"serverAPILibrary", u"OTHER"));
  EXPECT_EQ(setup->properties->values[u"serverAPILibrary"], u"ECMLIB");
  value = u"junk";
  EXPECT_FALSE(GetCustomProperty(static_cast<IReleaseSetupData*>(setup), u"serverAPILibrary", u"", value));
  EXPECT_EQ(value, u"");
  value = u"junk";
  EXPECT_FALSE(GetCustomProperty(static_cast<IReleaseData*>(nullptr), u"serverAPILibrary", u"", value));
  EXPECT_EQ(value, u"");
}

}  // namespace
