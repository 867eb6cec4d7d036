// Class objects of Connection and Recordset, entered into the in-process class table when the library loads.
#include <mutex>

#include "platform/ado/adoext.h"
#include "platform/com/activation.h"

namespace ado {
namespace {

using Creator = HRESULT (*)(REFIID, void**);

class AdoClassFactory : public ComObject<IClassFactory> {
 public:
  explicit AdoClassFactory(Creator create) : create_(create) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(riid, ppv);
  }
  HRESULT LockServer(int) override { return S_OK; }

 private:
  Creator create_;
};

// The library registers itself as it loads, so that a host or module linked against it finds ADO by CLSID.
[[maybe_unused]] const HRESULT g_registeredAtLoad = RegisterAdoClasses();

}  // namespace

HRESULT RegisterAdoClasses() {
  static std::once_flag once;
  static HRESULT result = S_OK;
  std::call_once(once, [] {
    DWORD cookie = 0;
    result = CoRegisterInprocClass(CLSID_Connection, MakeComObject<AdoClassFactory>(&CreateConnectionObject), &cookie);
    if (SUCCEEDED(result))
      result = CoRegisterInprocClass(CLSID_Recordset, MakeComObject<AdoClassFactory>(&CreateRecordsetObject), &cookie);
  });
  return result;
}

}  // namespace ado
