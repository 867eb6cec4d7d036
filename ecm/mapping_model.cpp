#include "ecm/mapping_model.h"

#include "ecm/catalogue.h"

namespace {

// Links that every save writes after the column links: they tell the export where the document's
// original file lives.
struct FixedLink {
  const char16_t* source;
  LONG sourceType;
  const char16_t* destination;
};
constexpr FixedLink kFixedLinks[] = {
    {u"OriginalFolder", KFX_REL_BATCHFIELD, u"OriginalFolder"},
    {u"First Page Original File Name", KFX_REL_VARIABLE, u"OriginalFileName"},
    {u"OriginalFileNameExt", KFX_REL_BATCHFIELD, u"OriginalFileNameExt"},
};

}  // namespace

CMappingModel::CMappingModel(IReleaseSetupData* setupData) : m_pSetupData(setupData) {}

bool CMappingModel::SetEntry(int index, LONG table, LPCOLESTR key, LPCOLESTR label, LPCOLESTR help,
                             LPCOLESTR typeText, bool required) {
  if (index < 0 || index >= kMappingSlots) return false;
  MappingEntry& entry = m_entries[index];
  entry.table = table;
  entry.key = CComBSTR(key);
  entry.label = CComBSTR(label);
  entry.help = CComBSTR(help);
  entry.typeText = CComBSTR(typeText);
  entry.required = required;
  return true;
}

void CMappingModel::BuildCatalogue() {
  int index = 0;
  for (const CatalogueColumn& c : CatalogueColumns()) {
    SetEntry(index, c.table, c.key, c.label, c.help, c.typeText, c.required);
    ++index;
  }
}

int CMappingModel::FindByKey(std::u16string_view key) const {
  for (int i = 0; i < kMappingSlots; ++i) {
    if (m_entries[i].key.View() == key) return i;
  }
  return -1;
}

bool CMappingModel::LoadLinks() {
  for (MappingEntry& entry : m_entries) {
    entry.sourceType = KFX_REL_UNDEFINED_LINK;
    entry.source = CComBSTR(u"");
  }
  if (!m_pSetupData) return false;
  CComPtr<ILinks> links;
  if (m_pSetupData->get_Links(&links) != S_OK || !links) return false;
  LONG count = 0;
  if (links->get_Count(&count) != S_OK) return false;

  for (LONG j = 1; j <= count; ++j) {
    CComPtr<ILink> link;
    if (links->get_Item(CComVariant(j), &link) != S_OK || !link) continue;
    CComBSTR destination;
    if (link->get_Destination(&destination) != S_OK) continue;
    int slot = FindByKey(destination.View());
    if (slot < 0) continue;  // also drops the fixed links, which no save loses
    MappingEntry& entry = m_entries[slot];
    CComBSTR source;
    link->get_Source(&source);
    // A type that cannot be read must not pair the new source with an older link's type.
    LONG type = KFX_REL_UNDEFINED_LINK;
    if (link->get_SourceType(&type) != S_OK) type = KFX_REL_UNDEFINED_LINK;
    entry.source = source;
    entry.sourceType = type;
  }
  return true;
}

bool CMappingModel::SaveLinks() {
  if (!m_pSetupData) return false;
  CComPtr<ILinks> links;
  if (m_pSetupData->get_Links(&links) != S_OK || !links) return false;
  if (links->RemoveAll() != S_OK) return false;

  for (const MappingEntry& entry : m_entries) {
    if (entry.sourceType == KFX_REL_UNDEFINED_LINK || entry.source.IsEmpty()) continue;
    CComPtr<ILink> added;
    links->Add(entry.source, entry.sourceType, entry.key, &added);
  }
  for (const FixedLink& fixed : kFixedLinks) {
    CComBSTR source(fixed.source), destination(fixed.destination);
    CComPtr<ILink> added;
    links->Add(source, fixed.sourceType, destination, &added);
  }
  return true;
}

void SplitKey(std::u16string_view key, std::u16string& table, std::u16string& column) {
  std::size_t first = key.find(u'.');
  if (first == std::u16string_view::npos) {
    table.assign(key);
    column.clear();
    return;
  }
  table.assign(key.substr(0, first));
  std::u16string_view rest = key.substr(first + 1);
  column.assign(rest.substr(0, rest.find(u'.')));
}

std::u16string_view EcmTableName(LONG table) {
  switch (table) {
    case ECM_TPEC: return u"TPEC";
    case ECM_TBHB: return u"TBHB";
    case ECM_TBSB: return u"TBSB";
    case ECM_TBLB: return u"TBLB";
    default: return {};
  }
}
