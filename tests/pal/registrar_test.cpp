// Registry scripts in register and unregister mode: the grammar in-process servers use, with
// ForceRemove, NoRemove, Delete, named values and replacements.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "pal/statreg.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"

namespace {

using test_support::KeysBelow;
using test_support::StringValue;

void MakeKey(const char16_t* path, const char16_t* value = nullptr) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  if (value != nullptr) {
    const std::u16string text(value);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
  }
  RegCloseKey(key);
}

constexpr char16_t kScript[] = uR"(
HKCR
{
  Viewer.Camera = s 'Camera Viewer'
  {
    CLSID = s '%CLSID%'
  }
  NoRemove CLSID
  {
    ForceRemove %CLSID% = s 'Camera Viewer'
    {
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
      'Misc Status' = s '0'
      {
        '1' = d '132497'
      }
      val Port = d '0xBB9'
    }
  }
}
)";

class Registrar : public ::testing::Test {
 protected:
  void SetUp() override {
    registrar_.AddReplacement(u"clsid", u"{11111111-2222-3333-4444-555555555555}");
    registrar_.AddReplacement(u"MODULE", u"/opt/cam/viewer.so");
  }
  test_support::TempPrefix prefix_;
  ATL::CRegObject registrar_;
};

TEST_F(Registrar, RegisterWritesKeysValuesAndReplacements) {
  ASSERT_EQ(registrar_.StringRegister(kScript), S_OK);
  const std::u16string clsid = u"CLSID\\{11111111-2222-3333-4444-555555555555}";
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Viewer.Camera", nullptr), "Camera Viewer");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Viewer.Camera\\CLSID", nullptr), "{11111111-2222-3333-4444-555555555555}");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\InprocServer32", nullptr), "/opt/cam/viewer.so");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\InprocServer32", u"ThreadingModel"), "Apartment");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\Misc Status", nullptr), "0");

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (clsid + u"\\Misc Status\\1").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, number = 0, size = sizeof number;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(number, 132497u);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, clsid.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"Port", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
  EXPECT_EQ(number, 3001u);
  RegCloseKey(key);
}

TEST_F(Registrar, ForceRemoveClearsTheKeyBeforeWritingItAgain) {
  MakeKey(u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale\\Deep");
  MakeKey(u"Viewer.Camera\\Extra");
  ASSERT_EQ(registrar_.StringRegister(kScript), S_OK);
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u"CLSID\\{11111111-2222-3333-4444-555555555555}"),
            (std::set<std::string>{"InprocServer32", "Misc Status", "Misc Status\\1"}));
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u"Viewer.Camera"), (std::set<std::string>{"CLSID", "Extra"}))
      << "a key without ForceRemove keeps what it had";
}

TEST_F(Registrar, UnregisterRemovesWhatItWroteButNoRemoveKeysAndForeignKeys) {
  MakeKey(u"CLSID\\{99999999-0000-0000-0000-000000000000}", u"another class");
  ASSERT_EQ(registrar_.StringRegister(kScript), S_OK);
  MakeKey(u"Viewer.Camera\\AddedLater");
  ASSERT_EQ(registrar_.StringUnregister(kScript), S_OK);
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""),
            (std::set<std::string>{"CLSID", "CLSID\\{99999999-0000-0000-0000-000000000000}", "Viewer.Camera",
                                   "Viewer.Camera\\AddedLater"}));
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Viewer.Camera", nullptr), "Camera Viewer")
      << "a key that still holds a foreign key stays as it is";

  EXPECT_EQ(registrar_.StringUnregister(kScript), S_OK) << "unregistering twice finds nothing to do";
}

TEST_F(Registrar, UnregisterDeletesNamedValuesOfKeysThatStay) {
  constexpr char16_t script[] = u"HKCR { NoRemove Shared { val Mine = s 'x' } }";
  MakeKey(u"Shared", u"kept");
  ASSERT_EQ(registrar_.StringRegister(script), S_OK);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Shared", u"Mine"), "x");
  ASSERT_EQ(registrar_.StringUnregister(script), S_OK);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Shared", u"Mine"), std::nullopt);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Shared", nullptr), "kept");
}

TEST_F(Registrar, DeleteRemovesAKeyAtRegistration) {
  MakeKey(u"Old\\Inner");
  ASSERT_EQ(registrar_.StringRegister(u"HKCR { Delete Old }"), S_OK);
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""), std::set<std::string>{});
}

TEST_F(Registrar, QuotesAndPercentSignsAreReadAsTextAndAReplacementStaysText) {
  ASSERT_EQ(registrar_.StringRegister(u"HKLM { 'Software\\Cam Vendor' = s 'it''s 100%% %MODULE%' }"), S_OK);
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, u"Software\\Cam Vendor", nullptr), "it's 100% /opt/cam/viewer.so");

  registrar_.AddReplacement(u"MODULE", u"/opt/it's {x} = s 'y'/viewer.so");
  ASSERT_EQ(registrar_.StringRegister(u"HKCR { Cam = s '%MODULE%' { %MODULE% } }"), S_OK);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Cam", nullptr), "/opt/it's {x} = s 'y'/viewer.so");
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u"Cam"), (std::set<std::string>{"/opt/it's {x} = s 'y'/viewer.so"}));

  // A replacement cannot name a key below another, nor leave a key without a name.
  registrar_.AddReplacement(u"SUBKEY", u"Deeper\\Still");
  registrar_.AddReplacement(u"NOTHING", u"");
  for (const char16_t* script : {u"HKCR { Other { '%SUBKEY%' } }", u"HKCR { Other { '%NOTHING%' = s 'x' } }"}) {
    EXPECT_EQ(registrar_.StringRegister(script), DISP_E_EXCEPTION) << test_support::Narrow(script);
    EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u"Other"), std::set<std::string>{});
  }
}

TEST_F(Registrar, AScriptThatDoesNotParseWritesNothing) {
  const char16_t* broken[] = {
      u"HKCR { Good = s 'x' Bad = q 'y' }",      // unknown value type
      u"HKCR { Good = s 'x' ",                  // unclosed block
      u"HKCR { Good = s 'x }",                  // unclosed quote
      u"HKCR { Good = s '%UNKNOWN%' }",         // replacement not given
      u"HKXX { Good }",                         // unknown root
      u"HKCR { val Lonely }",                   // named value without a value
      u"HKCR { Number = d 'twelve' }",          // not a number
  };
  for (const char16_t* script : broken) {
    EXPECT_EQ(registrar_.StringRegister(script), DISP_E_EXCEPTION) << test_support::Narrow(script);
    EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""), std::set<std::string>{}) << test_support::Narrow(script);
  }
}

}  // namespace
