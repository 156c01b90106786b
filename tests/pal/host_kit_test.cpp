// What hosts rely on from the kit: smart pointers that hold exactly one reference and ask for the
// IID of the type they are given, strings converted by the right code page, and loud failure
// where a value would leak.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "pal/host_kit.h"

namespace {

/// An object that counts its references and records the last interface it was asked for.
class Counted : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    asked = riid;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
    AddRef();
    *object = this;
    return S_OK;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

  ULONG references = 1;
  IID asked = GUID_NULL;
};

TEST(CComPtr, HoldsExactlyOneReferenceAndAsksForTheIidOfItsType) {
  Counted object;
  {
    ATL::CComPtr<IUnknown> held(&object);
    EXPECT_EQ(object.references, 2u);
    ATL::CComPtr<IUnknown> copy = held;
    EXPECT_EQ(object.references, 3u);
    ATL::CComPtr<IUnknown> moved = std::move(copy);
    EXPECT_EQ(object.references, 3u);
    ATL::CComPtr<IDispatch> dispatch;
    ASSERT_EQ(held.QueryInterface(&dispatch), S_OK);
    EXPECT_TRUE(IsEqualIID(object.asked, IID_IDispatch));
    EXPECT_EQ(object.references, 4u);
    held = nullptr;
    EXPECT_EQ(object.references, 3u);
  }
  EXPECT_EQ(object.references, 1u);
}

TEST(CComBSTR, ConvertsAnsiTextByTheCodePageAndHostTextAsUtf8) {
  setenv("PROWLNET_ACP", "936", 1);
  const ATL::CComBSTR fromAnsi("\xC4\xE3");  // GBK for U+4F60
  EXPECT_EQ(std::u16string(fromAnsi), u"\u4F60");
  EXPECT_EQ(pal::Utf8FromBstr(fromAnsi), "\xE4\xBD\xA0");
  const ATL::CComBSTR fromUtf8 = pal::BstrFromUtf8("\xE4\xBD\xA0!");
  EXPECT_EQ(std::u16string(fromUtf8), u"\u4F60!");
  const ATL::CComBSTR empty = pal::BstrFromUtf8("");
  EXPECT_NE(empty.m_str, nullptr) << "an empty string, not a null one";
  EXPECT_EQ(empty.Length(), 0u);
  unsetenv("PROWLNET_ACP");
}

TEST(CComBSTRDeathTest, TakingTheAddressOfAHeldStringStopsTheProcess) {
  ATL::CComBSTR held(u"kept");
  EXPECT_DEATH((void)&held, "CComBSTR that still holds a value");
}

}  // namespace
