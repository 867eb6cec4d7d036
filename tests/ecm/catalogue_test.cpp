#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "ecm/catalogue.h"
#include "ecm/mapping_model.h"
#include "platform/com/utf.h"

namespace {

std::string U8(std::u16string_view s) { return Utf16ToUtf8(s); }

class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override { model->BuildCatalogue(); }
  std::unique_ptr<CMappingModel> model = std::make_unique<CMappingModel>();
};

TEST_F(Catalogue, SlotsHoldTheColumnsInOrder) {
  struct Case {
    int slot;
    LONG table;
    const char16_t* key;
    const char16_t* label;
    const char16_t* type;
    bool required;
  } cases[] = {
      {0, ECM_TPEC, u"TPEC.PETPI", u"Trading Partner", u"CHAR(15)", false},
      {2, ECM_TPEC, u"TPEC.PESID", u"Sender ID", u"CHAR(15)", true},
      {4, ECM_TPEC, u"TPEC.PECMD", u"Completed Date", u"DECIMAL(8, 0)", false},
      {15, ECM_TPEC, u"TPEC.PEEIN", u"Reserved for future use.", u"DECIMAL(7, 0)", false},
      {16, ECM_TPEC, u"TPEC.PEPGN", u"Processing Group", u"CHAR(10)", true},
      {17, ECM_TBHB, u"TBHB.BHTPC", u"Trading Partner", u"CHAR(15)", false},
      {18, ECM_TBHB, u"TBHB.BHINV", u"Invoice Number", u"CHAR(22)", false},
      {23, ECM_TBHB, u"TBHB.BHEXR", u"Multiplier Exchange Rate", u"DECIMAL(15, 7)", false},
      {35, ECM_TBHB, u"TBHB.BHSAT", u"Customer/Vendor Attention of", u"CHAR(30)", false},
      {46, ECM_TBHB, u"TBHB.BHBAT", u"Bill-To Attention To", u"CHAR(30)", false},
      {70, ECM_TBHB, u"TBHB.BHSEN", u"Customer/Vendor Entity Code", u"CHAR(35)", true},
      {73, ECM_TBHB, u"TBHB.BHEIN", u"Reserved for future use.", u"DECIMAL(7, 0)", false},
      {74, ECM_TBSB, u"TBSB.BSPRF", u"Invoice Document Prefix", u"CHAR(2)", false},
      {89, ECM_TBSB, u"TBSB.BSSHT", u"Address", u"DECIMAL(4, 0)", false},
      {90, ECM_TBSB, u"TBSB.BSSWT", u"Shipment Total Weight", u"DECIMAL(13, 3)", false},
      {92, ECM_TBSB, u"TBSB.BSORD", u"INFOR ERP LX Order Number", u"DECIMAL(6, 0)", false},
      {129, ECM_TBSB, u"TBSB.BSEIN", u"Reserved for future use.", u"DECIMAL(7, 0)", false},
      {130, ECM_TBLB, u"TBLB.BLPRF", u"Invoice Document Prefix", u"CHAR(2)", false},
      {136, ECM_TBLB, u"TBLB.BLALM", u"Allow/Chrg Method of Handling", u"CHAR(3)", false},
      {139, ECM_TBLB, u"TBLB.BLCIT", u"Item Number", u"CHAR(35)", true},
      {144, ECM_TBLB, u"TBLB.BLINQ", u"Quantity Invoiced", u"DECIMAL(15, 3)", true},
      {148, ECM_TBLB, u"TBLB.BLORD", u"INFOR ERP LX Order Number", u"DECIMAL(6, 0)", false},
      {153, ECM_TBLB, u"TBLB.BLSUM", u"Stocking U/M", u"CHAR(3)", false},
      {156, ECM_TBLB, u"TBLB.BLSPC", u"U/M Conversion", u"DECIMAL(15, 5)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slot);
    const MappingEntry& e = model->Entry(c.slot);
    EXPECT_EQ(e.table, c.table);
    EXPECT_EQ(U8(e.key.View()), U8(c.key));
    EXPECT_EQ(U8(e.label.View()), U8(c.label));
    EXPECT_EQ(U8(e.typeText.View()), U8(c.type));
    EXPECT_EQ(e.required, c.required);
  }
}

TEST_F(Catalogue, TablesAreContiguousAndKeysDistinctAndPrefixed) {
  std::set<std::u16string> keys;
  const int firstSlot[] = {0, 17, 74, 130, 157};
  for (int i = 0; i < kCatalogueColumns; ++i) {
    const MappingEntry& e = model->Entry(i);
    EXPECT_TRUE(keys.insert(e.key.Str()).second) << U8(e.key.View());
    EXPECT_GE(i, firstSlot[e.table]);
    EXPECT_LT(i, firstSlot[e.table + 1]);
    std::u16string table, column;
    SplitKey(e.key.View(), table, column);
    EXPECT_EQ(table, EcmTableName(e.table));
    EXPECT_EQ(column.size(), 5u) << U8(e.key.View());
    EXPECT_FALSE(e.label.IsEmpty());
    EXPECT_FALSE(e.typeText.IsEmpty());
  }
}

TEST_F(Catalogue, ExactlyEightColumnsAreRequired) {
  std::vector<std::string> required;
  for (int i = 0; i < kMappingSlots; ++i)
    if (model->Entry(i).required) required.push_back(U8(model->Entry(i).key.View()));
  EXPECT_EQ(required, (std::vector<std::string>{"TPEC.PESID", "TPEC.PERCD", "TPEC.PEDWN", "TPEC.PEPGN",
                                                "TBHB.BHIND", "TBHB.BHSEN", "TBLB.BLCIT", "TBLB.BLINQ"}));
}

TEST_F(Catalogue, HelpTexts) {
  struct Case {
    const char16_t* key;
    const char16_t* help;
  } cases[] = {
      {u"TPEC.PETPI", u"ECM populates this field using the Sender ID."},
      {u"TPEC.PEPTY",
       u"Accepted values are 1 - 9 where 1 is highest priority and 9 is lowest.  If not specified, the default you "
       u"established during Trading Partner / ECA setup will be used. Note: The priority field will accept a value "
       u"of 1- 9, however values 1 and 2 are reserved for internal system use."},
      {u"TPEC.PEE01",
       u"Accepted values are: 0=Do not mark this message in error 1=Do mark this message in error  Default value "
       u"is '0'."},
      {u"TPEC.PEPGN", u"Processing Group"},
      {u"TBHB.BHINV",
       u"This field is required unless the vendor is NOT set up to automatically generate an invoice number "
       u"through the Vendor Maintenance program (ACP100). AHL.APINV field is 10 characters in length, and as a "
       u"result data from THBH.BHINV will be truncated when populated into this field."},
      {u"TBHB.BHIND", u"Date of invoice document as scanned (YYYYMMDD)"},
      {u"TBSB.BSSHN", u"Advice Note number if available from invoice (Needed for LX three way matching)."},
      {u"TBLB.BLORD", u"PO Number, if available from invoice (Needed for LX update)."},
      {u"TBLB.BLEIN", u"ECM will populate the error incident number, if any, that occurs within the ECA."},
      {u"TPEC.PESID", u""},
      {u"TPEC.PEE05", u""},
      {u"TBLB.BLSPC", u""},
  };
  for (const Case& c : cases) {
    int slot = model->FindByKey(c.key);
    ASSERT_GE(slot, 0) << U8(c.key);
    EXPECT_EQ(U8(model->Entry(slot).help.View()), U8(c.help)) << U8(c.key);
  }
  int withHelp = 0;
  for (int i = 0; i < kCatalogueColumns; ++i) withHelp += !model->Entry(i).help.IsEmpty();
  EXPECT_EQ(withHelp, 27);
}

TEST_F(Catalogue, SlotsAfterTheCatalogueStayEmpty) {
  for (int i = kCatalogueColumns; i < kMappingSlots; ++i) {
    const MappingEntry& e = model->Entry(i);
    EXPECT_EQ(e.table, ECM_EMPTY_SLOT);
    EXPECT_EQ(e.key.m_str, nullptr);
    EXPECT_EQ(e.label.m_str, nullptr);
    EXPECT_EQ(e.help.m_str, nullptr);
    EXPECT_EQ(e.typeText.m_str, nullptr);
  }
}

TEST_F(Catalogue, BuildingLeavesMappingsAlone) {
  auto fresh = std::make_unique<CMappingModel>();
  fresh->Entry(5).source = CComBSTR(u"Vendor");
  fresh->Entry(5).sourceType = KFX_REL_INDEXFIELD;
  fresh->BuildCatalogue();
  EXPECT_EQ(fresh->Entry(5).source, std::u16string_view(u"Vendor"));
  EXPECT_EQ(fresh->Entry(5).sourceType, KFX_REL_INDEXFIELD);
}

TEST_F(Catalogue, FindByKey) {
  struct Case {
    const char16_t* key;
    int slot;
  } cases[] = {
      {u"TPEC.PESID", 2},     {u"TBLB.BLSPC", 156}, {u"TPEC.PETPI", 0},     {u"tpec.pesid", -1},
      {u"TPEC.PESID ", -1},   {u"TPEC.NOPE", -1},   {u"OriginalFolder", -1}, {u"TBHB.BHINV", 18},
      // An empty key equals the first empty slot's null key.
      {u"", kCatalogueColumns},
  };
  for (const Case& c : cases) EXPECT_EQ(model->FindByKey(c.key), c.slot) << U8(c.key);
}

TEST_F(Catalogue, SetEntryOutsideTheSlotsChangesNothing) {
  for (int index : {kMappingSlots, -1, 1000}) {
    EXPECT_FALSE(model->SetEntry(index, ECM_TPEC, u"X.Y", u"L", u"H", u"T", true)) << index;
  }
  EXPECT_EQ(model->FindByKey(u"X.Y"), -1);
  EXPECT_EQ(model->Entry(kMappingSlots - 1).table, ECM_EMPTY_SLOT);
  EXPECT_EQ(model->Entry(0).key, std::u16string_view(u"TPEC.PETPI"));

  EXPECT_TRUE(model->SetEntry(kMappingSlots - 1, ECM_TBLB, u"TBLB.XTRA", u"Extra", nullptr, u"CHAR(1)", true));
  const MappingEntry& e = model->Entry(kMappingSlots - 1);
  EXPECT_EQ(e.table, ECM_TBLB);
  EXPECT_EQ(e.key, std::u16string_view(u"TBLB.XTRA"));
  EXPECT_EQ(e.label, std::u16string_view(u"Extra"));
  EXPECT_TRUE(e.help.IsEmpty());
  EXPECT_EQ(e.typeText, std::u16string_view(u"CHAR(1)"));
  EXPECT_TRUE(e.required);
  EXPECT_EQ(model->FindByKey(u"TBLB.XTRA"), kMappingSlots - 1);
}

TEST(SplitKey, Cases) {
  struct Case {
    const char16_t* key;
    const char16_t* table;
    const char16_t* column;
  } cases[] = {
      {u"TBHB.BHINV", u"TBHB", u"BHINV"},
      {u"OriginalFolder", u"OriginalFolder", u""},
      {u"TPEC.PESID.extra", u"TPEC", u"PESID"},
      {u"TPEC.", u"TPEC", u""},
      {u".PESID", u"", u"PESID"},
      {u"", u"", u""},
      {u"tpec.PESID", u"tpec", u"PESID"},
      {u"A..B", u"A", u""},
  };
  for (const Case& c : cases) {
    std::u16string table = u"junk", column = u"junk";
    SplitKey(c.key, table, column);
    EXPECT_EQ(U8(table), U8(c.table)) << U8(c.key);
    EXPECT_EQ(U8(column), U8(c.column)) << U8(c.key);
  }
}

TEST(EcmTableName, Names) {
  EXPECT_EQ(U8(EcmTableName(ECM_TPEC)), "TPEC");
  EXPECT_EQ(U8(EcmTableName(ECM_TBHB)), "TBHB");
  EXPECT_EQ(U8(EcmTableName(ECM_TBSB)), "TBSB");
  EXPECT_EQ(U8(EcmTableName(ECM_TBLB)), "TBLB");
  EXPECT_TRUE(EcmTableName(ECM_EMPTY_SLOT).empty());
  EXPECT_TRUE(EcmTableName(-1).empty());
}

}  // namespace
