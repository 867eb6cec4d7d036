#include "platform/com/variant.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/com/unknown.h"
#include "platform/com/utf.h"

void VariantInit(VARIANT* v) {
  if (!v) return;
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  switch (v->vt) {
    case VT_BSTR:
      SysFreeString(v->bstrVal);
      break;
    case VT_DISPATCH:
      if (v->pdispVal) v->pdispVal->Release();
      break;
    case VT_UNKNOWN:
      if (v->punkVal) v->punkVal->Release();
      break;
    default:
      break;
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  switch (src->vt) {
    case VT_BSTR:
      copy.bstrVal = src->bstrVal ? SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal)) : nullptr;
      if (src->bstrVal && !copy.bstrVal) return E_OUTOFMEMORY;
      break;
    case VT_DISPATCH:
      if (copy.pdispVal) copy.pdispVal->AddRef();
      break;
    case VT_UNKNOWN:
      if (copy.punkVal) copy.punkVal->AddRef();
      break;
    default:
      break;
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

CComVariant::CComVariant(IDispatch* p) : VARIANT() {
  vt = VT_DISPATCH;
  pdispVal = p;
  if (p) p->AddRef();
}

CComVariant::CComVariant(IUnknown* p) : VARIANT() {
  vt = VT_UNKNOWN;
  punkVal = p;
  if (p) p->AddRef();
}

namespace {

// Everything numeric goes through either a 64-bit integer or a double.
struct Number {
  bool isDouble = false;
  LONGLONG i = 0;
  double d = 0;
};

HRESULT ReadNumber(const VARIANT& v, Number& n) {
  switch (v.vt) {
    case VT_EMPTY: n.i = 0; return S_OK;
    case VT_I1: n.i = v.cVal; return S_OK;
    case VT_I2: n.i = v.iVal; return S_OK;
    case VT_I4: n.i = v.lVal; return S_OK;
    case VT_INT: n.i = v.intVal; return S_OK;
    case VT_I8: n.i = v.llVal; return S_OK;
    case VT_UI1: n.i = v.bVal; return S_OK;
    case VT_UI2: n.i = v.uiVal; return S_OK;
    case VT_UI4: n.i = v.ulVal; return S_OK;
    case VT_UINT: n.i = v.uintVal; return S_OK;
    case VT_UI8:
      if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max())) return DISP_E_OVERFLOW;
      n.i = static_cast<LONGLONG>(v.ullVal);
      return S_OK;
    case VT_BOOL: n.i = v.boolVal ? -1 : 0; return S_OK;
    case VT_R4: n.isDouble = true; n.d = v.fltVal; return S_OK;
    case VT_R8: case VT_DATE: n.isDouble = true; n.d = v.dblVal; return S_OK;
    case VT_BSTR: {
      std::string s = Utf16ToUtf8(BstrView(v.bstrVal));
      std::size_t b = s.find_first_not_of(" \t");
      std::size_t e = s.find_last_not_of(" \t");
      if (b == std::string::npos) return DISP_E_TYPEMISMATCH;
      s = s.substr(b, e - b + 1);
      LONGLONG iv = 0;
      const char* first = s.data() + (s[0] == '+' ? 1 : 0);
      auto [p, ec] = std::from_chars(first, s.data() + s.size(), iv);
      if (ec == std::errc() && p == s.data() + s.size()) {
        n.i = iv;
        return S_OK;
      }
      if (ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
      double dv = 0;
      auto [p2, ec2] = std::from_chars(first, s.data() + s.size(), dv);
      if (ec2 == std::errc() && p2 == s.data() + s.size() && std::isfinite(dv)) {
        n.isDouble = true;
        n.d = dv;
        return S_OK;
      }
      return ec2 == std::errc::result_out_of_range ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Rounds half to even, as OLE Automation does when it narrows a double to an integer.
HRESULT ToInteger(const Number& n, LONGLONG lo, LONGLONG hi, LONGLONG& out) {
  if (n.isDouble) {
    double r = std::nearbyint(n.d);
    // hi + 1, not hi: the largest 64-bit integer has no double, and rounds up to 2^63, which no integer holds.
    if (!(r >= static_cast<double>(lo) && r < static_cast<double>(hi) + 1.0)) return DISP_E_OVERFLOW;
    out = static_cast<LONGLONG>(r);
  } else {
    if (n.i < lo || n.i > hi) return DISP_E_OVERFLOW;
    out = n.i;
  }
  return S_OK;
}

std::u16string NumberText(const Number& n) {
  char buf[64];
  if (n.isDouble) {
    std::snprintf(buf, sizeof buf, "%.15g", n.d);
  } else {
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n.i));
  }
  std::string s(buf);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD /*flags*/, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (src->vt == vt) return VariantCopy(dest, src);
  VARIANT result;
  result.vt = vt;
  if (src->vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (vt == VT_BSTR) {
    if (src->vt == VT_EMPTY) {
      result.bstrVal = SysAllocString(u"");
    } else if (src->vt == VT_BOOL) {
      result.bstrVal = SysAllocString(src->boolVal ? u"True" : u"False");
    } else {
      Number n;
      if (HRESULT hr = ReadNumber(*src, n); FAILED(hr)) return hr;
      result.bstrVal = SysAllocString(NumberText(n));
    }
    if (!result.bstrVal) return E_OUTOFMEMORY;
    VariantClear(dest);
    *dest = result;
    return S_OK;
  }
  if (vt == VT_EMPTY) {
    VariantClear(dest);
    return S_OK;
  }
  Number n;
  if (src->vt == VT_BSTR && vt == VT_BOOL) {
    auto text = BstrView(src->bstrVal);
    if (text == u"True" || text == u"true" || text == u"TRUE") {
      n.i = -1;
    } else if (text == u"False" || text == u"false" || text == u"FALSE") {
      n.i = 0;
    } else if (HRESULT hr = ReadNumber(*src, n); FAILED(hr)) {
      return hr;
    }
  } else if (HRESULT hr = ReadNumber(*src, n); FAILED(hr)) {
    return hr;
  }
  LONGLONG iv = 0;
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1: hr = ToInteger(n, -128, 127, iv); result.cVal = static_cast<signed char>(iv); break;
    case VT_I2: hr = ToInteger(n, -32768, 32767, iv); result.iVal = static_cast<SHORT>(iv); break;
    case VT_I4: hr = ToInteger(n, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), iv); result.lVal = static_cast<LONG>(iv); break;
    case VT_INT: hr = ToInteger(n, std::numeric_limits<INT>::min(), std::numeric_limits<INT>::max(), iv); result.intVal = static_cast<INT>(iv); break;
    case VT_I8: hr = ToInteger(n, std::numeric_limits<LONGLONG>::min(), std::numeric_limits<LONGLONG>::max(), iv); result.llVal = iv; break;
    case VT_UI1: hr = ToInteger(n, 0, 255, iv); result.bVal = static_cast<BYTE>(iv); break;
    case VT_UI2: hr = ToInteger(n, 0, 65535, iv); result.uiVal = static_cast<USHORT>(iv); break;
    case VT_UI4: hr = ToInteger(n, 0, std::numeric_limits<ULONG>::max(), iv); result.ulVal = static_cast<ULONG>(iv); break;
    case VT_UINT: hr = ToInteger(n, 0, std::numeric_limits<UINT>::max(), iv); result.uintVal = static_cast<UINT>(iv); break;
    case VT_UI8: hr = ToInteger(n, 0, std::numeric_limits<LONGLONG>::max(), iv); result.ullVal = static_cast<ULONGLONG>(iv); break;
    case VT_ERROR: hr = ToInteger(n, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), iv); result.scode = static_cast<SCODE>(iv); break;
    case VT_BOOL:
      result.boolVal = (n.isDouble ? n.d != 0 : n.i != 0) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_R8: case VT_DATE:
      result.dblVal = n.isDouble ? n.d : static_cast<double>(n.i);
      break;
    case VT_R4:
      result.fltVal = static_cast<float>(n.isDouble ? n.d : static_cast<double>(n.i));
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  if (FAILED(hr)) return hr;
  VariantClear(dest);
  *dest = result;
  return S_OK;
}

std::u16string VariantToString(const VARIANT& v) {
  if (v.vt == VT_BSTR) return BstrToString(v.bstrVal);
  CComVariant text;
  if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) return {};
  return BstrToString(text.bstrVal);
}
