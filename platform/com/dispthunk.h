// The call thunk of a type library member, made from the interface's C++ method:
//
//   MemberDescription{1, u"OpenScript", INVOKE_FUNC, kRetParams, &DispatchMember<&IKfxReleaseScript::OpenScript>::Call}
//
// Parameters are taken from the converted arguments in order; a last parameter that is an out pointer (LONG*,
// an enum*, BSTR*, I**, VARIANT_BOOL*, double*, VARIANT*) is the return value and is handed back in `result`.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/typelib.h"

namespace dispatch_detail {

template <class T>
constexpr bool kIsInterfacePointer =
    std::is_pointer_v<T> && std::is_class_v<std::remove_pointer_t<T>> &&
    std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>;

// An out pointer: any pointer except an interface (taken in) and a BSTR (text taken in).
template <class T>
constexpr bool kIsOutPointer = std::is_pointer_v<T> && !kIsInterfacePointer<T> &&
                               !std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, OLECHAR>;

template <class T>
T FromVariant(VARIANT& v) {
  if constexpr (std::is_same_v<T, BSTR>) {
    return v.bstrVal;
  } else if constexpr (kIsInterfacePointer<T>) {
    // The argument was queried for exactly this interface.
    return static_cast<T>(v.punkVal);
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<T>(v.lVal);
  } else if constexpr (std::is_same_v<T, LONG> || std::is_same_v<T, ULONG>) {
    return static_cast<T>(v.lVal);
  } else if constexpr (std::is_same_v<T, SHORT>) {
    return v.iVal;  // VARIANT_BOOL shares the storage
  } else if constexpr (std::is_same_v<T, double>) {
    return v.dblVal;
  } else if constexpr (std::is_same_v<T, VARIANT>) {
    return v;
  } else {
    static_assert(sizeof(T) == 0, "parameter type not supported by DispatchMember");
  }
}

template <class T>
void ToVariant(T& value, VARIANT* out) {
  VariantClear(out);
  if constexpr (std::is_same_v<T, BSTR>) {
    out->vt = VT_BSTR;
    out->bstrVal = std::exchange(value, nullptr);
  } else if constexpr (kIsInterfacePointer<T>) {
    if constexpr (std::is_base_of_v<IDispatch, std::remove_pointer_t<T>>) {
      out->vt = VT_DISPATCH;
      out->pdispVal = std::exchange(value, nullptr);
    } else {
      out->vt = VT_UNKNOWN;
      out->punkVal = std::exchange(value, nullptr);
    }
  } else if constexpr (std::is_enum_v<T> || std::is_same_v<T, LONG> || std::is_same_v<T, ULONG>) {
    out->vt = VT_I4;
    out->lVal = static_cast<LONG>(value);
  } else if constexpr (std::is_same_v<T, SHORT>) {
    out->vt = VT_I2;  // converted to the declared type (VT_BOOL) by the caller
    out->iVal = value;
  } else if constexpr (std::is_same_v<T, double>) {
    out->vt = VT_R8;
    out->dblVal = value;
  } else if constexpr (std::is_same_v<T, VARIANT>) {
    *out = value;
    value.vt = VT_EMPTY;
  } else {
    static_assert(sizeof(T) == 0, "return type not supported by DispatchMember");
  }
}

template <class... A>
using Last = std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>;

}  // namespace dispatch_detail

template <auto Method>
struct DispatchMember;

template <class C, class... A, HRESULT (C::*Method)(A...)>
struct DispatchMember<Method> {
  template <std::size_t I>
  using Arg = std::tuple_element_t<I, std::tuple<A...>>;

  static HRESULT Call(void* instance, VARIANT* args, VARIANT* result) {
    C* self = static_cast<C*>(instance);
    if constexpr (sizeof...(A) > 0) {
      if constexpr (dispatch_detail::kIsOutPointer<dispatch_detail::Last<A...>>) {
        using Out = std::remove_pointer_t<dispatch_detail::Last<A...>>;
        Out out{};
        HRESULT hr = CallWithOut(self, args, &out, std::make_index_sequence<sizeof...(A) - 1>{});
        if (SUCCEEDED(hr) && result) {
          dispatch_detail::ToVariant(out, result);
        } else if (SUCCEEDED(hr)) {
          VARIANT discard;
          dispatch_detail::ToVariant(out, &discard);
          VariantClear(&discard);
        }
        return hr;
      } else {
        return CallIn(self, args, std::make_index_sequence<sizeof...(A)>{});
      }
    } else {
      (void)args;
      (void)result;
      return (self->*Method)();
    }
  }

 private:
  template <class Out, std::size_t... I>
  static HRESULT CallWithOut(C* self, VARIANT* args, Out* out, std::index_sequence<I...>) {
    (void)args;
    return (self->*Method)(dispatch_detail::FromVariant<Arg<I>>(args[I])..., out);
  }
  template <std::size_t... I>
  static HRESULT CallIn(C* self, VARIANT* args, std::index_sequence<I...>) {
    return (self->*Method)(dispatch_detail::FromVariant<Arg<I>>(args[I])...);
  }
};
