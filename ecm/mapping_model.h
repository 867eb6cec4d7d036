// The catalogue of mappable ECM columns and the setup's mapping model over it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/kofax.h"

enum EcmTable : LONG {
  ECM_TPEC = 0,
  ECM_TBHB = 1,
  ECM_TBSB = 2,
  ECM_TBLB = 3,
  ECM_EMPTY_SLOT = 4,
};

constexpr int kMappingSlots = 197;       // the last 40 stay empty
constexpr int kCatalogueColumns = 157;

struct MappingEntry {
  CComBSTR source;                           // index field, platform value name or constant text; empty if unmapped
  LONG sourceType = KFX_REL_UNDEFINED_LINK;  // KfxLinkSourceType, -1 for "not mapped"
  LONG table = ECM_EMPTY_SLOT;
  CComBSTR label;
  CComBSTR key;   // "TBHB.BHINV": the link destination
  CComBSTR help;
  CComBSTR typeText;
  bool required = false;
};

class CMappingModel {
 public:
  // The setup data is not owned: the setup script holds the counted reference.
  explicit CMappingModel(IReleaseSetupData* setupData = nullptr);

  bool SetEntry(int index, LONG table, LPCOLESTR key, LPCOLESTR label, LPCOLESTR help, LPCOLESTR typeText,
                bool required);
  void BuildCatalogue();
  // First slot whose key equals `key` (case-sensitive; null equals empty), or -1.
  int FindByKey(std::u16string_view key) const;

  // Stored links <-> slots.
  bool LoadLinks();
  bool SaveLinks();
  // The platform's value names, for the mapping menu (defined with the mapping sources of the setup).
  bool LoadValueNames();

  MappingEntry& Entry(int index) { return m_entries[index]; }
  const MappingEntry& Entry(int index) const { return m_entries[index]; }
  IReleaseSetupData* SetupData() const { return m_pSetupData; }
  std::vector<std::u16string>& ValueNames() { return m_valueNames; }
  const std::vector<std::u16string>& ValueNames() const { return m_valueNames; }

 private:
  MappingEntry m_entries[kMappingSlots];
  IReleaseSetupData* m_pSetupData;
  std::vector<std::u16string> m_valueNames;
};

// "TBHB.BHINV" -> "TBHB", "BHINV"; a key without a full stop is all table and no column.
void SplitKey(std::u16string_view key, std::u16string& table, std::u16string& column);

// Name of an ECM table by index (0..3), empty otherwise.
std::u16string_view EcmTableName(LONG table);
