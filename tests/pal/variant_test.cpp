// VARIANT ownership and the conversions that late-bound calls make among integers, booleans and
// strings.
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

#include "pal/oleauto.h"

namespace {

VARIANT Str(const char16_t* text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

/// Converts and returns the HRESULT; `out` holds the result on success.
HRESULT Change(const VARIANT& source, VARTYPE vt, VARIANT& out, USHORT flags = 0) {
  VariantInit(&out);
  return VariantChangeType(&out, &source, flags, vt);
}

TEST(Variant, ClearFreesTheStringAndLeavesItEmpty) {
  VARIANT v = Str(u"owned");
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  VARIANT bad;
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  bad.vt = VT_VARIANT;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE) << "a VARIANT holds another only by reference";
}

TEST(Variant, ClearOfAReferenceFreesNothing) {
  BSTR text = SysAllocString(u"still mine");
  VARIANT reference;
  reference.vt = VT_BSTR | VT_BYREF;
  reference.pbstrVal = &text;
  EXPECT_EQ(VariantClear(&reference), S_OK);
  EXPECT_EQ(std::u16string(text), u"still mine");
  SysFreeString(text);
}

TEST(Variant, CopyMakesAnIndependentStringOfTheSameBytes) {
  VARIANT source;
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringByteLen("a\0b", 3);
  VARIANT copy = Str(u"overwritten and freed");
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  EXPECT_EQ(SysStringByteLen(copy.bstrVal), 3u);
  EXPECT_EQ(std::memcmp(copy.bstrVal, "a\0b", 3), 0);
  VariantClear(&source);
  VariantClear(&copy);
}

TEST(VariantChangeType, IntegersConvertWithinTheirRanges) {
  VARIANT v, out;
  v.vt = VT_I4;
  v.lVal = 32767;
  ASSERT_EQ(Change(v, VT_I2, out), S_OK);
  EXPECT_EQ(out.vt, VT_I2);
  EXPECT_EQ(out.iVal, 32767);
  v.lVal = 32768;
  EXPECT_EQ(Change(v, VT_I2, out), DISP_E_OVERFLOW);
  v.lVal = -1;
  EXPECT_EQ(Change(v, VT_UI4, out), DISP_E_OVERFLOW);
  v.vt = VT_UI4;
  v.ulVal = 4000000000u;
  EXPECT_EQ(Change(v, VT_I4, out), DISP_E_OVERFLOW);
  ASSERT_EQ(Change(v, VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  v.vt = VT_EMPTY;
  ASSERT_EQ(Change(v, VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, 0);
}

TEST(VariantChangeType, FractionsRoundHalfToEven) {
  VARIANT v, out;
  v.vt = VT_R8;
  for (auto [in, expected] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {2.4999, 2}}) {
    v.dblVal = in;
    ASSERT_EQ(Change(v, VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, expected) << in;
  }
  VARIANT text = Str(u"1.5");
  ASSERT_EQ(Change(text, VT_I2, out), S_OK);
  EXPECT_EQ(out.iVal, 2);
  VariantClear(&text);
}

TEST(VariantChangeType, NumbersAreReadFromText) {
  struct Case {
    const char16_t* text;
    HRESULT hr;
    LONG value;
  } cases[] = {
      {u"42", S_OK, 42},           {u"  -17  ", S_OK, -17},   {u"+8", S_OK, 8},
      {u"1,000", S_OK, 1000},      {u"1e3", S_OK, 1000},      {u"12.5e-1", S_OK, 1},
      {u"camera", DISP_E_TYPEMISMATCH, 0}, {u"", DISP_E_TYPEMISMATCH, 0}, {u"12abc", DISP_E_TYPEMISMATCH, 0},
      {u"1e", DISP_E_TYPEMISMATCH, 0},     {u"3000000000", DISP_E_OVERFLOW, 0}, {u"1e999", DISP_E_OVERFLOW, 0},
  };
  for (const Case& c : cases) {
    VARIANT text = Str(c.text), out;
    EXPECT_EQ(Change(text, VT_I4, out), c.hr) << static_cast<int>(&c - cases);
    if (c.hr == S_OK) {
      EXPECT_EQ(out.lVal, c.value);
    }
    VariantClear(&text);
  }
}

TEST(VariantChangeType, BooleansReadAndWriteAsAutomationSpellsThem) {
  VARIANT text = Str(u"tRuE"), out;
  ASSERT_EQ(Change(text, VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  VariantClear(&text);
  text = Str(u"0");
  ASSERT_EQ(Change(text, VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  VariantClear(&text);

  VARIANT yes;
  yes.vt = VT_BOOL;
  yes.boolVal = VARIANT_TRUE;
  ASSERT_EQ(Change(yes, VT_BSTR, out), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"-1");
  VariantClear(&out);
  ASSERT_EQ(Change(yes, VT_BSTR, out, VARIANT_ALPHABOOL), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"True");
  VariantClear(&out);
  ASSERT_EQ(Change(yes, VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, -1);
}

TEST(VariantChangeType, ReferencesAreReadThrough) {
  ULONG number = 4294967295u;
  VARIANT reference, out;
  reference.vt = VT_UI4 | VT_BYREF;
  reference.pulVal = &number;
  ASSERT_EQ(Change(reference, VT_BSTR, out), S_OK);
  EXPECT_EQ(std::u16string(out.bstrVal), u"4294967295");
  VariantClear(&out);

  VARIANT inner = Str(u"12");
  VARIANT outer;
  outer.vt = VT_VARIANT | VT_BYREF;
  outer.pvarVal = &inner;
  ASSERT_EQ(Change(outer, VT_I2, out), S_OK);
  EXPECT_EQ(out.iVal, 12);
  VariantClear(&inner);
  EXPECT_EQ(Change(outer, VT_I4 | VT_BYREF, out), DISP_E_BADVARTYPE) << "nothing converts to a reference";
}

TEST(VariantChangeType, InPlaceReplacesTheSourceOnlyOnSuccess) {
  VARIANT v = Str(u"123");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 123);
  VARIANT bad = Str(u"not a number");
  EXPECT_EQ(VariantChangeType(&bad, &bad, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(bad.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(bad.bstrVal), u"not a number");
  VariantClear(&bad);
}

}  // namespace
