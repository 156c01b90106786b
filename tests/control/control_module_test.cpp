// The control module as a host meets it: its exports, its registration, its class object and
// lock count, dispatch by name over its type library, and its resources. Hosts include only the
// public interface header, and so do these tests.
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pal/host_kit.h"
#include "pal/libloader.h"
#include "pal/user32.h"
#include "prowlnet/icprowlnet.h"
#include "support/child_process.h"
#include "support/netns.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"
#include "support/window_quota.h"

namespace {

using namespace std::chrono_literals;
using ATL::CComBSTR;
using ATL::CComPtr;
using ATL::CComVariant;
using test_support::KeysBelow;
using test_support::Narrow;
using test_support::StringValue;

constexpr char16_t kModule[] = u"" PROWLNET_MODULE_PATH_U;

std::string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return Narrow(text);
}

/// Runs the documented registration command.
int Regsvr32(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {REGSVR32_PATH, "-s"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return test_support::RunProgram(argv);
}

class ControlModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    // The keys every Windows machine has under HKEY_CLASSES_ROOT, for registration to write into.
    for (const char16_t* root : {u"TypeLib", u"Interface"}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, root, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      RegCloseKey(key);
    }
    rootsBefore_ = KeysBelow(HKEY_CLASSES_ROOT, u"");
    ASSERT_EQ(Regsvr32({PROWLNET_MODULE_PATH}), 0);
    module_ = LoadLibraryW(kModule);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
    CoUninitialize();
  }

  HRESULT CallEntry(const char* name) {
    const auto entry = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module_, name));
    return entry == nullptr ? E_FAIL : entry();
  }
  HRESULT CanUnloadNow() { return CallEntry("DllCanUnloadNow"); }
  CComPtr<IClassFactory> ClassObject() {
    CComPtr<IClassFactory> factory;
    EXPECT_EQ(CoGetClassObject(CLSID_CProwlnet, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    return factory;
  }
  CComPtr<ICProwlnet> Create() {
    CComPtr<ICProwlnet> control;
    EXPECT_EQ(control.CoCreateInstance(kProwlnetProgId, nullptr, CLSCTX_INPROC_SERVER), S_OK);
    return control;
  }

  test_support::TempPrefix prefix_;
  std::set<std::string> rootsBefore_;
  HMODULE module_ = nullptr;
};

TEST_F(ControlModule, ExportsExactlyItsEntryPointsAndItsResourceTable) {
  test_support::ChildProcess nm({"/usr/bin/nm", "-D", "--defined-only", PROWLNET_MODULE_PATH});
  ASSERT_EQ(nm.Wait(30s), 0) << nm.output();
  std::set<std::string> exported;
  std::istringstream lines(nm.output());
  for (std::string address, type, name; lines >> address >> type >> name;) exported.insert(name);
  EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                             "DllUnregisterServer", "PalResourceSection"}));
}

TEST_F(ControlModule, RegistrationWritesExactlyTheClassApplicationAndLibraryEntries) {
  const std::string clsid = GuidText(CLSID_CProwlnet);
  const std::string appid = GuidText(APPID_Prowlnet);
  const std::string libid = GuidText(LIBID_ProwlnetLib);
  const std::string module = PROWLNET_MODULE_PATH;
  struct Entry {
    std::string key;
    const char16_t* name;
    std::string value;
  };
  const std::string c = "CLSID\\" + clsid;
  const std::vector<Entry> expected = {
      {"Prowlnet.CProwlnet.1", nullptr, "CProwlnet Class"},
      {"Prowlnet.CProwlnet.1\\CLSID", nullptr, clsid},
      {"Prowlnet.CProwlnet", nullptr, "CProwlnet Class"},
      {"Prowlnet.CProwlnet\\CLSID", nullptr, clsid},
      {"Prowlnet.CProwlnet\\CurVer", nullptr, "Prowlnet.CProwlnet.1"},
      {c, nullptr, "CProwlnet Class"},
      {c, u"AppID", appid},
      {c + "\\ProgID", nullptr, "Prowlnet.CProwlnet.1"},
      {c + "\\VersionIndependentProgID", nullptr, "Prowlnet.CProwlnet"},
      {c + "\\InprocServer32", nullptr, module},
      {c + "\\InprocServer32", u"ThreadingModel", "Apartment"},
      {c + "\\ToolboxBitmap32", nullptr, module + ", 102"},
      {c + "\\MiscStatus", nullptr, "0"},
      {c + "\\MiscStatus\\1", nullptr, "132497"},
      {c + "\\TypeLib", nullptr, libid},
      {c + "\\Version", nullptr, "1.0"},
      {"AppID\\" + appid, nullptr, "Prowlnet"},
      {"AppID\\Prowlnet.DLL", u"AppID", appid},
      {"TypeLib\\" + libid + "\\1.0\\0\\win32", nullptr, module},
  };
  for (const Entry& entry : expected)
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, test_support::Wide(entry.key), entry.name), entry.value) << entry.key;
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, test_support::Wide(c)),
            (std::set<std::string>{"Control", "InprocServer32", "MiscStatus", "MiscStatus\\1", "ProgID", "Programmable",
                                   "ToolboxBitmap32", "TypeLib", "Version", "VersionIndependentProgID"}));
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u"AppID"), (std::set<std::string>{appid, "Prowlnet.DLL"}));
}

TEST_F(ControlModule, UnregisteringLeavesOnlyTheNoRemoveRootsAndRestoresTheThreadLocale) {
  ASSERT_TRUE(SetThreadLocale(0x0411));
  ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
  EXPECT_EQ(GetThreadLocale(), 0x0411u);
  std::set<std::string> expected = rootsBefore_;
  expected.insert({"AppID", "CLSID"});
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""), expected);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(kProwlnetProgId, &clsid), CO_E_CLASSSTRING);
  CComPtr<ITypeLib> library;
  EXPECT_EQ(LoadRegTypeLib(LIBID_ProwlnetLib, 1, 0, 0, &library), TYPE_E_LIBNOTREGISTERED);
  ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
  EXPECT_EQ(GetThreadLocale(), 0x0411u);
}

TEST_F(ControlModule, MethodsAreFoundByNameWithTheirDispatchIdentifiers) {
  CComPtr<ICProwlnet> control = Create();
  ASSERT_NE(control, nullptr);
  UINT count = 0;
  EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  const std::vector<std::pair<const char16_t*, DISPID>> methods = {
      {u"StartSearch", 1},   {u"StopSearch", 2},    {u"GetIPCCount", 4},     {u"GetIPCInfo", 5},
      {u"ModifyIPC", 6},     {u"GetIPCInfoXML", 7}, {u"ModifyIPCXML", 8},    {u"GetNetworkParam", 9},
      {u"GetOneIPAddress", 10}};
  for (const auto& [name, expected] : methods) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(control->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, expected) << Narrow(name);
    EXPECT_NE(id, 3);
  }
  LPOLESTR withParameters[] = {const_cast<LPOLESTR>(u"ModifyIPCXML"), const_cast<LPOLESTR>(u"index"),
                               const_cast<LPOLESTR>(u"strXML")};
  DISPID ids[3] = {};
  EXPECT_EQ(control->GetIDsOfNames(GUID_NULL, withParameters, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[1], 0);
  EXPECT_EQ(ids[2], 1);
  LPOLESTR wrongCase[] = {const_cast<LPOLESTR>(u"startsearch2")};
  DISPID none = 0;
  EXPECT_EQ(control->GetIDsOfNames(GUID_NULL, wrongCase, 1, 0, &none), DISP_E_UNKNOWNNAME);

  CComPtr<ISupportErrorInfo> errors;
  ASSERT_EQ(control.QueryInterface(&errors), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ICProwlnet), S_OK);
  EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST_F(ControlModule, ANegativeIndexReachesGetNetworkParamAsALargeNumberAndGivesAnEmptyString) {
  CComPtr<ICProwlnet> control = Create();
  ASSERT_NE(control, nullptr);
  CComVariant index(static_cast<LONG>(-1));
  DISPPARAMS params{&index, nullptr, 1, 0};
  CComVariant result;
  ASSERT_EQ(control->Invoke(9, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_NE(result.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(result.bstrVal), 0u);
}

TEST_F(ControlModule, TheLibraryCarriesItsHelpStringsAndTypesInOrder) {
  CComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(LIBID_ProwlnetLib, 1, 0, 0, &library), S_OK);
  CComBSTR name;
  CComBSTR help;
  ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::u16string(name), u"ProwlnetLib");
  EXPECT_EQ(std::u16string(help), u"Prowlnet 1.0 类型库");
  ASSERT_EQ(library->GetTypeInfoCount(), 3u);
  const std::vector<std::pair<std::u16string, std::u16string>> types = {
      {u"_ICProwlnetEvents", u"_ICProwlnetEvents 接口"}, {u"CProwlnet", u"CProwlnet Class"}, {u"ICProwlnet", u"ICProwlnet 接口"}};
  for (UINT i = 0; i < 3; ++i) {
    CComBSTR typeName;
    CComBSTR typeHelp;
    ASSERT_EQ(library->GetDocumentation(static_cast<INT>(i), &typeName, &typeHelp, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(typeName), types[i].first);
    EXPECT_EQ(std::u16string(typeHelp), types[i].second);
  }
  CComPtr<ITypeInfo> info;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_ICProwlnet, &info), S_OK);
  CComBSTR methodHelp;
  ASSERT_EQ(info->GetDocumentation(10, nullptr, &methodHelp, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::u16string(methodHelp), u"方法GetOneIPAddress");
}

TEST_F(ControlModule, TheModuleStaysLoadedWhileAnObjectOrALockOrTheClassObjectIsHeld) {
  EXPECT_EQ(CanUnloadNow(), S_OK);
  {
    CComPtr<ICProwlnet> control = Create();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(CanUnloadNow(), S_OK);
  CComPtr<IClassFactory> factory = ClassObject();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(CanUnloadNow(), S_FALSE) << "a held class object keeps the module";
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Release();
  EXPECT_EQ(CanUnloadNow(), S_FALSE) << "a lock keeps the module";
  ClassObject()->LockServer(FALSE);
  EXPECT_EQ(CanUnloadNow(), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_EQ(GetProcAddress(module_, "DllCanUnloadNow") != nullptr, true) << "still loaded for this test's own hold";
}

TEST_F(ControlModule, TheClassObjectRefusesAggregationAndOtherClasses) {
  CComPtr<IClassFactory> factory = ClassObject();
  ASSERT_NE(factory, nullptr);
  IUnknown* outer = factory;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  const auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module_, "DllGetClassObject"));
  ASSERT_NE(getClassObject, nullptr);
  EXPECT_EQ(getClassObject(IID_ICProwlnet, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  factory.Release();
  EXPECT_EQ(CanUnloadNow(), S_OK) << "nothing of the refused objects is left";
}

TEST_F(ControlModule, CreationWithoutAWindowFailsWithTheSystemErrorAndLeavesNothing) {
  ASSERT_TRUE(test_support::UseUpWindowQuota());
  CComPtr<ICProwlnet> control;
  const HRESULT hr = control.CoCreateInstance(kProwlnetProgId, nullptr, CLSCTX_INPROC_SERVER);
  EXPECT_EQ(hr, static_cast<HRESULT>(0x80070486));
  EXPECT_EQ(control, nullptr);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ControlModule, ItsResourcesAreTheNameTheScriptsAndARealToolboxBitmap) {
  WCHAR name[32];
  EXPECT_EQ(LoadStringW(module_, 100, name, 32), 8);
  EXPECT_EQ(std::u16string(name), u"Prowlnet");
  HRSRC bitmap = FindResourceExW(module_, RT_BITMAP(), MAKEINTRESOURCEW(102), LANG_CHINESE_PRC);
  ASSERT_NE(bitmap, nullptr);
  const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module_, bitmap)));
  const DWORD size = SizeofResource(module_, bitmap);
  // A device-independent bitmap: BITMAPINFOHEADER, 16 palette entries, 16 rows of 8 bytes.
  auto field = [&](size_t offset, size_t width) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes + offset, width);
    return value;
  };
  ASSERT_EQ(size, 40u + 16 * 4 + 16 * 8);
  EXPECT_EQ(field(0, 4), 40u);
  EXPECT_EQ(field(4, 4), 16u) << "width";
  EXPECT_EQ(field(8, 4), 16u) << "height";
  EXPECT_EQ(field(12, 2), 1u) << "planes";
  EXPECT_EQ(field(14, 2), 4u) << "bits a pixel";
  EXPECT_EQ(field(16, 4), 0u) << "uncompressed";
  std::set<int> colours;
  for (size_t i = 40 + 64; i < size; ++i) {
    colours.insert(bytes[i] >> 4);
    colours.insert(bytes[i] & 0x0F);
  }
  EXPECT_GE(colours.size(), 4u) << "an image, not a blank";
  for (const WORD script : {101, 103})
    EXPECT_NE(FindResourceExW(module_, u"REGISTRY", MAKEINTRESOURCEW(script), LANG_CHINESE_PRC), nullptr) << script;
}

}  // namespace
