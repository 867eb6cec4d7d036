// Errors collection and Error objects.
#include <cstdint>

#include "platform/ado/internal.h"

namespace ado {

std::u16string AdoErrorText(HRESULT hr) {
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x800A0BB9u:
      return u"Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.";
    case 0x800A0BCDu:
      return u"Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
             u"current record.";
    case 0x800A0C93u: return u"Operation is not allowed in this context.";
    case 0x800A0CB3u: return u"Object or provider is not capable of performing requested operation.";
    case 0x800A0CC1u:
      return u"Item cannot be found in the collection corresponding to the requested name or ordinal.";
    case 0x800A0E78u: return u"Operation is not allowed when the object is closed.";
    case 0x800A0E79u: return u"Operation is not allowed when the object is open.";
    case 0x800A0E7Au: return u"Provider cannot be found. It may not be properly installed.";
    case 0x800A0E7Du:
      return u"The connection cannot be used to perform this operation. It is either closed or invalid in this "
             u"context.";
    default: return {};
  }
}

namespace detail {
namespace {

class ErrorObject : public ComObject<NoDispatch<Error>> {
 public:
  explicit ErrorObject(ProviderError e) : e_(std::move(e)) {}

  HRESULT get_Number(LONG* number) override {
    if (!number) return E_POINTER;
    *number = e_.number;
    return S_OK;
  }
  HRESULT get_Source(BSTR* source) override { return Text(e_.source, source); }
  HRESULT get_Description(BSTR* description) override { return Text(e_.description, description); }
  HRESULT get_SQLState(BSTR* state) override { return Text(e_.sqlState, state); }
  HRESULT get_NativeError(LONG* native) override {
    if (!native) return E_POINTER;
    *native = e_.nativeError;
    return S_OK;
  }

 private:
  static HRESULT Text(const std::u16string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocString(text);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  ProviderError e_;
};

class ErrorsObject : public ComObject<NoDispatch<Errors>, IProviderErrorSink> {
 public:
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT index, Error** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    CComVariant position;
    if (index.vt == VT_BSTR || FAILED(VariantChangeType(&position, &index, 0, VT_I4))) return adErrItemNotFound;
    if (position.lVal < 0 || static_cast<std::size_t>(position.lVal) >= items_.size()) return adErrItemNotFound;
    return items_[static_cast<std::size_t>(position.lVal)].CopyTo(item);
  }
  HRESULT Refresh() override { return S_OK; }
  HRESULT Clear() override {
    items_.clear();
    return S_OK;
  }

  void ReplaceErrors(const ProviderErrors& errors) override {
    items_.clear();
    for (const auto& e : errors) AppendError(e);
  }
  void AppendError(const ProviderError& error) override {
    items_.emplace_back(MakeComObject<ErrorObject>(error));
  }

 private:
  std::vector<CComPtr<Error>> items_;
};

}  // namespace

CComPtr<Errors> MakeErrorsCollection() {
  CComPtr<ErrorsObject> e = MakeComObject<ErrorsObject>();
  return CComPtr<Errors>(e.get());
}

}  // namespace detail
}  // namespace ado
