// What our ADO offers beyond ADO's own interfaces: the provider error record, a way for providers and test
// doubles to fill a connection's Errors collection, direct creation of the objects, and class registration.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ado/ado.h"

namespace ado {

// One entry of a connection's Errors collection.
struct ProviderError {
  HRESULT number = E_FAIL;       // Error.Number: the provider's HRESULT
  std::u16string description;    // Error.Description
  std::u16string sqlState;       // Error.SQLState, five characters such as "22001"
  LONG nativeError = 0;          // Error.NativeError
  std::u16string source;         // Error.Source
};
using ProviderErrors = std::vector<ProviderError>;

inline ProviderError MakeProviderError(HRESULT number, std::u16string description, std::u16string sqlState = {},
                                       LONG nativeError = 0, std::u16string source = {}) {
  return ProviderError{number, std::move(description), std::move(sqlState), nativeError, std::move(source)};
}

// Implemented by the Errors collection of a connection. A provider replaces the collection's contents whenever
// an operation fails, as ADO does ("the collection is cleared and filled with the new errors").
struct IProviderErrorSink : IUnknown {
  static constexpr IID iid = MakeGuid("{6F1D2C40-8B7E-4F51-9A63-2E0C5B7A1D01}");
  using base_interface = IUnknown;
  virtual void ReplaceErrors(const ProviderErrors& errors) = 0;
  virtual void AppendError(const ProviderError& error) = 0;
};

// Implemented by objects that stand in front of a real ADO object (the recording ADO), so that the real objects
// can reach the object behind a wrapper they are handed (a wrapped connection given to a real recordset).
struct IAdoWrapper : IUnknown {
  static constexpr IID iid = MakeGuid("{6F1D2C40-8B7E-4F51-9A63-2E0C5B7A1D02}");
  using base_interface = IUnknown;
  // The wrapped object, not AddRef'ed; valid while the wrapper lives.
  virtual IUnknown* Inner() = 0;
};

// Creates a real ADO object directly, bypassing the class table (for wrappers that sit in front of it).
HRESULT CreateConnectionObject(REFIID riid, void** ppv);
HRESULT CreateRecordsetObject(REFIID riid, void** ppv);

// Puts the class objects of CLSID_Connection and CLSID_Recordset into the in-process class table. Runs by itself
// when the library is loaded; calling it again does nothing.
HRESULT RegisterAdoClasses();

// The text ADO gives for one of its own error results (adErrProviderNotFound ...), empty for other codes.
std::u16string AdoErrorText(HRESULT hr);

}  // namespace ado
