// Automation strings keep the Windows layout: byte length before, 16-bit terminator after.
#include <cstring>

#include <gtest/gtest.h>

#include "pal/oleauto.h"

namespace {

DWORD PrefixOf(BSTR text) {
  DWORD length;
  std::memcpy(&length, reinterpret_cast<const BYTE*>(text) - sizeof(DWORD), sizeof length);
  return length;
}

TEST(Bstr, CarriesItsByteLengthAndATerminator) {
  BSTR text = SysAllocString(u"camera");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(PrefixOf(text), 12u);
  EXPECT_EQ(SysStringLen(text), 6u);
  EXPECT_EQ(SysStringByteLen(text), 12u);
  EXPECT_EQ(text[6], 0);
  SysFreeString(text);
}

TEST(Bstr, LengthCountsEmbeddedZeros) {
  const OLECHAR source[] = {u'a', 0, u'b'};
  BSTR text = SysAllocStringLen(source, 3);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(text[2], u'b');
  EXPECT_EQ(text[3], 0);
  SysFreeString(text);
}

TEST(Bstr, EmptyIsNotNull) {
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], 0);
  SysFreeString(empty);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, ByteLengthMayBeOddAndStillEndsInAWholeTerminator) {
  BSTR bytes = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(bytes), 3u);
  EXPECT_EQ(SysStringLen(bytes), 1u);
  EXPECT_EQ(std::memcmp(bytes, "abc\0\0", 5), 0);
  SysFreeString(bytes);
}

}  // namespace
