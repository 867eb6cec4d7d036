// The fixed list of mappable ECM columns, as data. CMappingModel::BuildCatalogue fills its slots from it and
// the ECM tables' DDL is generated from it, so the two cannot drift apart.
#pragma once

#include <span>

#include "ecm/mapping_model.h"

struct CatalogueColumn {
  EcmTable table;
  const char16_t* key;  // "TBHB.BHINV"
  const char16_t* label;
  const char16_t* help;  // empty when the column has none
  const char16_t* typeText;
  bool required;
};

// The 157 columns in slot order.
std::span<const CatalogueColumn> CatalogueColumns();
