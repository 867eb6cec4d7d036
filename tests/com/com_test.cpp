#include <gtest/gtest.h>

#include <thread>

#include "platform/com/com.h"

namespace {

TEST(Guid, ParsesAndFormatsTheRegistryForm) {
  constexpr GUID g = MakeGuid("{A4836D49-3680-49e8-B8F0-9F6413E4DA13}");
  EXPECT_EQ(GuidToString(g), u"{A4836D49-3680-49E8-B8F0-9F6413E4DA13}");
  EXPECT_EQ(GuidFromString(u"a4836d49-3680-49e8-b8f0-9f6413e4da13"), g);
  CLSID parsed;
  EXPECT_EQ(CLSIDFromString(u"{A4836D49-3680-49E8-B8F0-9F6413E4DA13}", &parsed), S_OK);
  EXPECT_EQ(parsed, g);
}

TEST(Guid, RejectsMalformedText) {
  for (const char16_t* bad : {u"", u"{A4836D49-3680-49E8-B8F0-9F6413E4DA1}", u"{A4836D49-3680-49E8-B8F0-9F6413E4DA13",
                              u"{A4836D49x3680-49E8-B8F0-9F6413E4DA13}", u"{G4836D49-3680-49E8-B8F0-9F6413E4DA13}"}) {
    CLSID c;
    EXPECT_EQ(CLSIDFromString(bad, &c), CO_E_CLASSSTRING) << std::string(bad, bad + std::u16string_view(bad).size());
  }
}

TEST(Bstr, LengthPrefixedAndNullEqualsEmpty) {
  BSTR b = SysAllocStringLen(u"ab\0cd", 5);
  EXPECT_EQ(SysStringLen(b), 5u);
  EXPECT_EQ(SysStringByteLen(b), 10u);
  EXPECT_EQ(b[5], 0);
  SysFreeString(b);
  BSTR empty = SysAllocString(u"");
  EXPECT_TRUE(BstrEqual(nullptr, empty));
  EXPECT_FALSE(BstrEqual(empty, CComBSTR(u"x")));
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(empty);
  SysFreeString(nullptr);
}

TEST(Variant, CopyAndClearOwnTheirText) {
  CComVariant a(u"text");
  CComVariant b(a);
  EXPECT_NE(a.bstrVal, b.bstrVal);
  EXPECT_EQ(BstrView(b.bstrVal), u"text");
  b.Clear();
  EXPECT_EQ(b.vt, VT_EMPTY);
}

TEST(Variant, ChangeTypeBetweenTextAndNumbers) {
  struct Case {
    CComVariant from;
    VARTYPE to;
    HRESULT hr;
    std::u16string text;  // of the result, when hr is S_OK
  };
  const Case cases[] = {
      {CComVariant(u"42"), VT_I4, S_OK, u"42"},
      {CComVariant(u" -7 "), VT_I2, S_OK, u"-7"},
      {CComVariant(u"12.5"), VT_R8, S_OK, u"12.5"},
      {CComVariant(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, u""},
      {CComVariant(u"99999999999"), VT_I4, DISP_E_OVERFLOW, u""},
      {CComVariant(u"300"), VT_UI1, DISP_E_OVERFLOW, u""},
      {CComVariant(LONG{5}), VT_BSTR, S_OK, u"5"},
      {CComVariant(2.5), VT_I4, S_OK, u"2"},  // banker's rounding
      {CComVariant(true), VT_BSTR, S_OK, u"True"},
      // The ends of the integer ranges: a double just past the end does not fit, whatever it rounds to.
      {CComVariant(u"9223372036854775807.5"), VT_I8, DISP_E_OVERFLOW, u""},
      {CComVariant(9223372036854775808.0), VT_I8, DISP_E_OVERFLOW, u""},
      {CComVariant(9223372036854775808.0), VT_UI8, DISP_E_OVERFLOW, u""},
      {CComVariant(-9223372036854775808.0), VT_I8, S_OK, u"-9223372036854775808"},
      {CComVariant(9223372036854774784.0), VT_I8, S_OK, u"9223372036854774784"},
      {CComVariant(4294967295.4), VT_UI4, S_OK, u"4294967295"},
      {CComVariant(4294967295.5), VT_UI4, DISP_E_OVERFLOW, u""},
      {CComVariant(32767.5), VT_I2, DISP_E_OVERFLOW, u""},
      {CComVariant(-32768.5), VT_I2, S_OK, u"-32768"},
  };
  for (const auto& c : cases) {
    CComVariant out;
    EXPECT_EQ(VariantChangeType(&out, &c.from, 0, c.to), c.hr) << VariantToString(c.from).size();
    if (c.hr == S_OK) {
      EXPECT_EQ(out.vt, c.to);
      EXPECT_EQ(VariantToString(out), c.text);
    }
  }
}

TEST(Apartment, RepeatsCountAndModelsDoNotMix) {
  std::thread([] {
    EXPECT_EQ(CoCurrentApartmentModel(), -1);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    EXPECT_EQ(CoCurrentApartmentModel(), static_cast<int>(COINIT_APARTMENTTHREADED));
    CoUninitialize();
    EXPECT_EQ(CoCurrentApartmentModel(), -1);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  }).join();
}

struct IThing : IUnknown {
  static constexpr IID iid = MakeGuid("{11111111-2222-3333-4444-555555555555}");
  using base_interface = IUnknown;
  virtual int Answer() = 0;
};

class Thing : public ComObject<IThing> {
 public:
  explicit Thing(int v) : v_(v) {}
  int Answer() override { return v_; }

 private:
  int v_;
};

class ThingFactory : public ComObject<IClassFactory> {
 public:
  explicit ThingFactory(int v) : v_(v) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    return MakeComObject<Thing>(v_)->QueryInterface(riid, ppv);
  }
  HRESULT LockServer(int) override { return S_OK; }

 private:
  int v_;
};

constexpr CLSID kThingClass = MakeGuid("{99999999-0000-0000-0000-000000000001}");

TEST(Activation, ClassTableWithOverrideAndRevoke) {
  std::thread([] {
    CComPtr<IThing> thing;
    EXPECT_EQ(CoCreateInstance(kThingClass, nullptr, CLSCTX_INPROC_SERVER, uuidof<IThing>(),
                               reinterpret_cast<void**>(&thing)),
              CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoCreateInstance(kThingClass, nullptr, CLSCTX_INPROC_SERVER, uuidof<IThing>(),
                               reinterpret_cast<void**>(&thing)),
              REGDB_E_CLASSNOTREG);
    DWORD real = 0, over = 0;
    ASSERT_EQ(CoRegisterInprocClass(kThingClass, MakeComObject<ThingFactory>(1), &real), S_OK);
    ASSERT_EQ(CoRegisterInprocClass(kThingClass, MakeComObject<ThingFactory>(2), &over), S_OK);
    ASSERT_EQ(CoCreateInstance(kThingClass, nullptr, CLSCTX_INPROC_SERVER, uuidof<IThing>(),
                               reinterpret_cast<void**>(&thing)),
              S_OK);
    EXPECT_EQ(thing->Answer(), 2);
    CoRevokeInprocClass(over);
    ASSERT_EQ(CoCreateInstance(kThingClass, nullptr, CLSCTX_INPROC_SERVER, uuidof<IThing>(),
                               reinterpret_cast<void**>(&thing)),
              S_OK);
    EXPECT_EQ(thing->Answer(), 1);
    CComPtr<IDispatch> none;
    EXPECT_EQ(thing.QueryInterface(&none), E_NOINTERFACE);
    CComPtr<IUnknown> agg;
    EXPECT_EQ(CoCreateInstance(kThingClass, thing, CLSCTX_INPROC_SERVER, uuidof<IThing>(),
                               reinterpret_cast<void**>(&agg)),
              CLASS_E_NOAGGREGATION);
    CoRevokeInprocClass(real);
    thing.Release();
    CoUninitialize();
  }).join();
}

TEST(SystemText, KnownCodesEndInCrLf) {
  std::u16string text;
  ASSERT_TRUE(SystemMessageText(E_FAIL, &text));
  EXPECT_EQ(text, u"Unspecified error\r\n");
  EXPECT_FALSE(SystemMessageText(MakeHResult(0x800A0E78u), &text));
  EXPECT_FALSE(SystemMessageText(MakeHResult(0x80040E14u), &text));
}

TEST(Utf, RoundTripsAndRepairsBadInput) {
  std::u16string s = u"Grüße \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD\uFFFD");
}

}  // namespace
