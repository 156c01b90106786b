// Apartments, identifiers as text, ProgIDs and the failures of activation.
#include <thread>

#include <gtest/gtest.h>

#include "pal/objbase.h"
#include "pal/ocidl.h"
#include "pal/oleauto.h"
#include "pal/winreg.h"
#include "support/temp_prefix.h"

namespace {

constexpr GUID kSample = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};
constexpr GUID kOther = {0x0AB1C2D3, 0x0001, 0x0002, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80}};

void SetDefault(const std::u16string& path, const std::u16string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(Apartments, InitialisationIsCountedPerThreadAndKeepsItsModel) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  std::thread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "another thread has an apartment of its own";
    CoUninitialize();
  }).join();
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "balanced: the thread left its apartment";
  CoUninitialize();
}

TEST(Identifiers, TextHasTheRegistryFormInUpperCase) {
  OLECHAR text[39];
  EXPECT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0) << "no room for the terminator";

  CLSID parsed{};
  EXPECT_EQ(CLSIDFromString(u"{6b29fc40-ca47-1067-b31d-00dd010662da}", &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, kSample));
  EXPECT_EQ(CLSIDFromString(u"{6B29FC40-CA47-1067-B31D-00DD010662D}", &parsed), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(u"{6B29FC40+CA47-1067-B31D-00DD010662DA}", &parsed), CO_E_CLASSSTRING);
  IID iid{};
  EXPECT_EQ(IIDFromString(u"{00020400-0000-0000-C000-000000000046}", &iid), S_OK);
  EXPECT_TRUE(IsEqualIID(iid, IID_IDispatch));
  EXPECT_EQ(IIDFromString(u"Some.ProgID", &iid), E_INVALIDARG);
}

TEST(Identifiers, StandardInterfacesHaveTheirWindowsValues) {
  OLECHAR text[39];
  auto textOf = [&](REFIID iid) {
    StringFromGUID2(iid, text, 39);
    return std::u16string(text);
  };
  EXPECT_EQ(textOf(IID_IUnknown), u"{00000000-0000-0000-C000-000000000046}");
  EXPECT_EQ(textOf(IID_IClassFactory), u"{00000001-0000-0000-C000-000000000046}");
  EXPECT_EQ(textOf(IID_ITypeInfo), u"{00020401-0000-0000-C000-000000000046}");
  EXPECT_EQ(textOf(IID_IViewObjectEx), u"{3AF24292-0C96-11CE-A0CF-00AA00600AB8}");
  EXPECT_EQ(textOf(IID_IOleInPlaceObjectWindowless), u"{1C2056CC-5EF4-101B-8BC8-00AA003E3B29}");
  EXPECT_EQ(textOf(IID_IPersistStreamInit), u"{7FD52380-4E07-101B-AE2D-08002B2EC713}");
  EXPECT_EQ(textOf(IID_IProvideClassInfo2), u"{A6BC3AC0-DBAA-11CE-9DE3-00AA004BB851}");
  EXPECT_EQ(textOf(IID_IQuickActivate), u"{CF51ED10-62FE-11CF-BF86-00A0C9034836}");
  EXPECT_EQ(textOf(IID_IObjectSafety), u"{CB5BDC81-93C1-11CF-8F20-00805F2CD064}");
  EXPECT_EQ(textOf(IID_ISupportErrorInfo), u"{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  EXPECT_EQ(textOf(IID_IConnectionPointContainer), u"{B196B284-BAB4-101A-B69C-00AA00341D07}");
}

TEST(ProgIds, AVersionIndependentProgIdFollowsItsCurrentVersion) {
  test_support::TempPrefix prefix;
  SetDefault(u"Cam.Viewer\\CLSID", u"{0AB1C2D3-0001-0002-1020-304050607080}");
  SetDefault(u"Cam.Viewer\\CurVer", u"Cam.Viewer.2");
  SetDefault(u"Cam.Viewer.2\\CLSID", u"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"cam.viewer", &clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, kSample));
  EXPECT_EQ(CLSIDFromString(u"Cam.Viewer", &clsid), S_OK) << "text without braces is a ProgID";
  EXPECT_TRUE(IsEqualGUID(clsid, kSample));

  SetDefault(u"Cam.Viewer\\CurVer", u"Cam.Viewer.9");
  EXPECT_EQ(CLSIDFromProgID(u"Cam.Viewer", &clsid), S_OK) << "a current version that is missing is passed over";
  EXPECT_TRUE(IsEqualGUID(clsid, kOther));
  EXPECT_EQ(CLSIDFromProgID(u"No.Such.Thing", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(u"No.Such.Thing", &clsid), CO_E_CLASSSTRING);
}

class Activation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
  void TearDown() override { CoUninitialize(); }

  void RegisterServer(const std::u16string& module) {
    SetDefault(u"CLSID\\{6B29FC40-CA47-1067-B31D-00DD010662DA}\\InprocServer32", module);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{6B29FC40-CA47-1067-B31D-00DD010662DA}\\InprocServer32", 0,
                            KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const char16_t model[] = u"Apartment";
    RegSetValueExW(key, u"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
    RegCloseKey(key);
  }

  test_support::TempPrefix prefix_;
};

TEST_F(Activation, FailuresAreReportedAsWindowsReportsThem) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);

  RegisterServer(u"/nonexistent/camera.so");
  EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_ALL, IID_IUnknown, &object), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

  const std::string pal = PAL_LIBRARY_PATH;
  RegisterServer(std::u16string(pal.begin(), pal.end()));
  EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CO_E_ERRORINDLL)
      << "a module without DllGetClassObject";
}

TEST_F(Activation, AThreadOutsideAnyApartmentIsRefused) {
  HRESULT seen = S_OK;
  std::thread([&] {
    void* object = nullptr;
    seen = CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object);
  }).join();
  EXPECT_EQ(seen, CO_E_NOTINITIALIZED);
}

TEST_F(Activation, AClassOfAnotherServerIsNotAvailable) {
  const std::string module = COM_SERVER_A_PATH;
  RegisterServer(std::u16string(module.begin(), module.end()));
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE)
      << "the module's DllGetClassObject answers for its own class only";
  EXPECT_EQ(object, nullptr);
}

TEST(TaskMemory, BlocksOfAnySizeCanBeFreed) {
  void* empty = CoTaskMemAlloc(0);
  EXPECT_NE(empty, nullptr);
  CoTaskMemFree(empty);
  auto* block = static_cast<char*>(CoTaskMemAlloc(8));
  ASSERT_NE(block, nullptr);
  block[7] = 'x';
  block = static_cast<char*>(CoTaskMemRealloc(block, 64));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[7], 'x');
  EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);
  CoTaskMemFree(nullptr);
}

}  // namespace
