// Synthetic invoices for the release benchmark: a document class that maps every required ECM column and
// about forty more, and documents whose values fit their columns, generated from a seed and a position so
// that every run releases the same documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/model.h"

namespace bench {

struct ClassSettings {
  std::u16string serverName;  // "sqlite:DIR" or "odbc:CONNECTION-STRING"
  std::u16string userName;
  std::u16string password;
  std::u16string library;
};

struct ClassShape {
  int required = 0;     // required catalogue columns mapped
  int header = 0;       // other TPEC/TBHB/TBSB columns mapped
  int lineCommon = 0;   // TBLB columns mapped to a single value (common to all lines)
  int lineColumns = 0;  // TBLB columns mapped to a table field
};

capture::DocumentClass MakeInvoiceClass(const ClassSettings& settings, ClassShape* shape = nullptr);

// The batch every document is presented in: batch fields and platform values, one document slot.
capture::Batch MakeBatchFrame(const capture::DocumentClass& documentClass);

// Fills `document` with invoice `index` of the series `seed`: index field values that fit their columns and
// 0 to 5 invoice lines.
void MakeInvoice(const capture::DocumentClass& documentClass, std::uint64_t seed, std::size_t index,
                 capture::BatchDocument& document);

}  // namespace bench
