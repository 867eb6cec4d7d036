// BSTR: a length-prefixed UTF-16 allocation. A null BSTR is an empty string wherever strings are compared.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/com/comtypes.h"

BSTR SysAllocString(LPCOLESTR text);
BSTR SysAllocStringLen(LPCOLESTR text, UINT length);  // text may be null: zero-filled
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);       // characters, without the terminator
UINT SysStringByteLen(BSTR text);
int SysReAllocString(BSTR* target, LPCOLESTR text);

BSTR SysAllocString(std::u16string_view text);
inline std::u16string_view BstrView(BSTR b) { return b ? std::u16string_view(b, SysStringLen(b)) : std::u16string_view(); }
inline std::u16string BstrToString(BSTR b) { return std::u16string(BstrView(b)); }
// Case-sensitive comparison; null equals empty.
inline bool BstrEqual(BSTR a, BSTR b) { return BstrView(a) == BstrView(b); }

// Owning BSTR, ATL style.
class CComBSTR {
 public:
  CComBSTR() = default;
  CComBSTR(std::u16string_view text) : m_str(SysAllocString(text)) {}
  CComBSTR(LPCOLESTR text) : m_str(text ? SysAllocString(text) : nullptr) {}
  CComBSTR(const CComBSTR& other) : m_str(other.m_str ? SysAllocStringLen(other.m_str, other.Length()) : nullptr) {}
  CComBSTR(CComBSTR&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
  CComBSTR& operator=(CComBSTR other) noexcept {
    std::swap(m_str, other.m_str);
    return *this;
  }
  ~CComBSTR() { SysFreeString(m_str); }

  UINT Length() const { return SysStringLen(m_str); }
  bool IsEmpty() const { return Length() == 0; }
  std::u16string_view View() const { return BstrView(m_str); }
  std::u16string Str() const { return BstrToString(m_str); }
  operator BSTR() const { return m_str; }
  BSTR* operator&() {
    Empty();
    return &m_str;
  }
  void Empty() {
    SysFreeString(m_str);
    m_str = nullptr;
  }
  BSTR Copy() const { return m_str ? SysAllocStringLen(m_str, Length()) : nullptr; }
  BSTR Detach() { return std::exchange(m_str, nullptr); }
  void Attach(BSTR b) {
    SysFreeString(m_str);
    m_str = b;
  }
  friend bool operator==(const CComBSTR& a, const CComBSTR& b) { return a.View() == b.View(); }
  friend bool operator==(const CComBSTR& a, std::u16string_view b) { return a.View() == b; }

  BSTR m_str = nullptr;
};
