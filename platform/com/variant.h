// VARIANT and the OLE Automation helpers the connector and the stand-ins use.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/bstr.h"
#include "platform/com/comtypes.h"

struct IUnknown;
struct IDispatch;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
};

struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  WORD wReserved1 = 0, wReserved2 = 0, wReserved3 = 0;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    SHORT iVal;
    USHORT uiVal;
    signed char cVal;
    BYTE bVal;
    float fltVal;
    double dblVal;
    double date;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
  };
  VARIANT() : llVal(0) {}
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);                          // releases BSTR/interfaces; leaves VT_EMPTY
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);    // deep copy (BSTR copied, interfaces AddRef'd)
// Supported: any of the numeric types, VT_BOOL and VT_BSTR to each other, VT_EMPTY to numbers/BSTR,
// VT_NULL only to itself. Text is parsed in the invariant locale.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD flags, VARTYPE vt);

// Owning VARIANT, ATL style.
class CComVariant : public VARIANT {
 public:
  CComVariant() = default;
  CComVariant(const CComVariant& other) : VARIANT() { VariantCopy(this, &other); }
  CComVariant(const VARIANT& other) : VARIANT() { VariantCopy(this, &other); }
  CComVariant(CComVariant&& other) noexcept : VARIANT(other) { other.vt = VT_EMPTY; }
  CComVariant(std::u16string_view text) : VARIANT() {
    vt = VT_BSTR;
    bstrVal = SysAllocString(text);
  }
  CComVariant(LPCOLESTR text) : CComVariant(std::u16string_view(text ? text : u"")) {}
  CComVariant(LONG value, VARTYPE type = VT_I4) : VARIANT() {
    vt = type;
    if (type == VT_ERROR) scode = value; else lVal = value;
  }
  CComVariant(double value) : VARIANT() {
    vt = VT_R8;
    dblVal = value;
  }
  CComVariant(bool value) : VARIANT() {
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  }
  CComVariant(IDispatch* p);
  CComVariant(IUnknown* p);
  ~CComVariant() { VariantClear(this); }

  CComVariant& operator=(const CComVariant& other) {
    if (this != &other) VariantCopy(this, &other);
    return *this;
  }
  CComVariant& operator=(CComVariant&& other) noexcept {
    if (this != &other) {
      VariantClear(this);
      static_cast<VARIANT&>(*this) = other;
      other.vt = VT_EMPTY;
    }
    return *this;
  }
  HRESULT Clear() { return VariantClear(this); }
  HRESULT ChangeType(VARTYPE type, const VARIANT* src = nullptr) {
    return VariantChangeType(this, src ? src : this, 0, type);
  }
  void Detach(VARIANT* dest) {
    VariantClear(dest);
    *dest = *this;
    vt = VT_EMPTY;
  }
};

// A VARIANT holding "optional argument omitted": VT_ERROR with DISP_E_PARAMNOTFOUND.
inline CComVariant OptionalArgumentOmitted() { return CComVariant(DISP_E_PARAMNOTFOUND, VT_ERROR); }
// Text of a VARIANT (converted with VariantChangeType); empty when it cannot be converted.
std::u16string VariantToString(const VARIANT& v);
