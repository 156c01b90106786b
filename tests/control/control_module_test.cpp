// The control module as a host meets it: its exports, its registration (from any folder, in the
// system locale), its class object and lock count, dispatch by name over its type library, the
// type information a browser walks, its window and its resources. Hosts include only the public
// interface header, and so do these tests.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "pal/host_kit.h"
#include "pal/libloader.h"
#include "pal/ocidl.h"
#include "pal/oleidl.h"
#include "pal/user32.h"
#include "prowlnet/icprowlnet.h"
#include "support/child_process.h"
#include "support/module_entry.h"
#include "support/netns.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"
#include "support/window_quota.h"

namespace {

/// The thread's locale at each registry value this process wrote, since the last clear.
std::vector<LCID>& LocalesAtWrites() {
  static std::vector<LCID> locales;
  return locales;
}

}  // namespace

/// This program's RegSetValueExW comes before pal's in the order symbols are looked up in, so the
/// registration that the module runs in this process writes through it: it notes the thread's
/// locale and hands the call on to pal's.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  using Write = LSTATUS (*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
  static const Write pals = [] {
    Dl_info own{};
    const bool named = dladdr(reinterpret_cast<void*>(&RegSetValueExW), &own) != 0 && own.dli_sname != nullptr;
    return named ? reinterpret_cast<Write>(dlsym(RTLD_NEXT, own.dli_sname)) : nullptr;
  }();
  if (pals == nullptr) {
    std::fprintf(stderr, "control_module_test: pal's RegSetValueExW is out of reach\n");
    std::abort();
  }
  LocalesAtWrites().push_back(GetThreadLocale());
  return pals(key, name, reserved, type, data, size);
}

namespace {

using namespace std::chrono_literals;
using ATL::CComBSTR;
using ATL::CComPtr;
using ATL::CComVariant;
using test_support::KeysBelow;
using test_support::TreeBelow;
using test_support::Narrow;

constexpr char16_t kModule[] = u"" PROWLNET_MODULE_PATH_U;

std::string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return Narrow(text);
}

/// What registering the module at `module` leaves under HKEY_CLASSES_ROOT, every key and value.
std::set<std::string> RegisteredTree(const std::string& module) {
  const std::string clsid = GuidText(CLSID_CProwlnet);
  const std::string appid = GuidText(APPID_Prowlnet);
  const std::string libid = GuidText(LIBID_ProwlnetLib);
  const std::string c = "CLSID\\" + clsid;
  const std::string lib = "TypeLib\\" + libid;
  std::set<std::string> tree = {
      "AppID", "AppID\\" + appid, "AppID\\" + appid + " @ = Prowlnet", "AppID\\Prowlnet.DLL",
      "AppID\\Prowlnet.DLL @AppID = " + appid,
      "CLSID", c, c + " @ = CProwlnet Class", c + " @AppID = " + appid, c + "\\Control",
      c + "\\InprocServer32", c + "\\InprocServer32 @ = " + module, c + "\\InprocServer32 @ThreadingModel = Apartment",
      c + "\\MiscStatus", c + "\\MiscStatus @ = 0", c + "\\MiscStatus\\1", c + "\\MiscStatus\\1 @ = 132497",
      c + "\\ProgID", c + "\\ProgID @ = Prowlnet.CProwlnet.1", c + "\\Programmable", c + "\\ToolboxBitmap32",
      c + "\\ToolboxBitmap32 @ = " + module + ", 102", c + "\\TypeLib", c + "\\TypeLib @ = " + libid,
      c + "\\Version", c + "\\Version @ = 1.0", c + "\\VersionIndependentProgID",
      c + "\\VersionIndependentProgID @ = Prowlnet.CProwlnet",
      "Prowlnet.CProwlnet", "Prowlnet.CProwlnet @ = CProwlnet Class", "Prowlnet.CProwlnet\\CLSID",
      "Prowlnet.CProwlnet\\CLSID @ = " + clsid, "Prowlnet.CProwlnet\\CurVer",
      "Prowlnet.CProwlnet\\CurVer @ = Prowlnet.CProwlnet.1", "Prowlnet.CProwlnet.1",
      "Prowlnet.CProwlnet.1 @ = CProwlnet Class", "Prowlnet.CProwlnet.1\\CLSID", "Prowlnet.CProwlnet.1\\CLSID @ = " + clsid,
      "TypeLib", lib, lib + "\\1.0", lib + "\\1.0 @ = Prowlnet 1.0 类型库", lib + "\\1.0\\0", lib + "\\1.0\\0\\win32",
      lib + "\\1.0\\0\\win32 @ = " + module, lib + "\\1.0\\FLAGS", lib + "\\1.0\\FLAGS @ = 0", lib + "\\1.0\\HELPDIR",
      lib + "\\1.0\\HELPDIR @ = ", "Interface"};
  // Both interfaces go to automation's proxies: the dual one to the type library marshaller, the
  // dispatch-only one to IDispatch's.
  for (const auto& [iid, name, proxy] : {std::tuple{IID_ICProwlnet, "ICProwlnet", "{00020424-0000-0000-C000-000000000046}"},
                                         std::tuple{DIID__ICProwlnetEvents, "_ICProwlnetEvents",
                                                    "{00020420-0000-0000-C000-000000000046}"}}) {
    const std::string i = "Interface\\" + GuidText(iid);
    tree.insert({i, i + " @ = " + name, i + "\\ProxyStubClsid", i + "\\ProxyStubClsid @ = " + proxy,
                 i + "\\ProxyStubClsid32", i + "\\ProxyStubClsid32 @ = " + proxy, i + "\\TypeLib",
                 i + "\\TypeLib @ = " + libid, i + "\\TypeLib @Version = 1.0"});
  }
  return tree;
}

/// A copy of the module in a new folder `folder`; its path, or "" when it could not be made.
std::string CopyOfModuleIn(const std::string& folder) {
  if (mkdir(folder.c_str(), 0755) != 0) return "";
  const std::string copy = folder + "/prowlnet.so";
  std::ifstream from(PROWLNET_MODULE_PATH, std::ios::binary);
  std::ofstream to(copy, std::ios::binary);
  to << from.rdbuf();
  return to.good() ? copy : "";
}

/// The name of a type, or of one of its members.
std::string NameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  CComBSTR name;
  if (info == nullptr || FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) return "";
  return Narrow(std::u16string_view(name, name.Length()));
}

/// The type that implemented type `index` of `info` refers to: a class's interface, an
/// interface's base.
CComPtr<ITypeInfo> Referred(ITypeInfo* info, UINT index = 0) {
  CComPtr<ITypeInfo> referred;
  HREFTYPE ref = 0;
  if (info != nullptr && SUCCEEDED(info->GetRefTypeOfImplType(index, &ref))) info->GetRefTypeInfo(ref, &referred);
  return referred;
}

/// The methods of an interface in order, each with its vtable slot: "Invoke 6".
std::vector<std::string> MethodsOf(ITypeInfo* info) {
  std::vector<std::string> methods;
  TYPEATTR* attr = nullptr;
  if (info == nullptr || FAILED(info->GetTypeAttr(&attr))) return methods;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc))) continue;
    methods.push_back(NameOf(info, desc->memid) + " " + std::to_string(desc->oVft / static_cast<SHORT>(sizeof(void*))));
    info->ReleaseFuncDesc(desc);
  }
  info->ReleaseTypeAttr(attr);
  return methods;
}

/// What `comp` binds `name` to: the type that holds it and the member's identifier ("none").
std::string Bound(ITypeComp* comp, const char16_t* name) {
  std::u16string text(name);
  CComPtr<ITypeInfo> holder;
  DESCKIND kind = DESCKIND_NONE;
  BINDPTR bound{};
  if (FAILED(comp->Bind(text.data(), 0, 0, &holder, &kind, &bound))) return "failed";
  if (kind != DESCKIND_FUNCDESC) return kind == DESCKIND_NONE ? "none" : "not a method";
  const MEMBERID id = bound.lpfuncdesc->memid;
  holder->ReleaseFuncDesc(bound.lpfuncdesc);
  return NameOf(holder) + " " + std::to_string(id);
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
  EXPECT_EQ(TreeBelow(HKEY_CLASSES_ROOT, u""), RegisteredTree(PROWLNET_MODULE_PATH));
}

TEST_F(ControlModule, AModuleInAFolderWithAQuoteRegistersItsWholePathAndOneThatCannotBeWrittenFails) {
  const std::string quoted = CopyOfModuleIn(prefix_.root() + "/odd'dir {x} = s 'y'");
  ASSERT_FALSE(quoted.empty());
  ASSERT_EQ(test_support::CallModuleEntry(quoted.c_str(), "DllRegisterServer"), S_OK);
  ASSERT_EQ(TreeBelow(HKEY_CLASSES_ROOT, u""), RegisteredTree(quoted));
  CComPtr<ICProwlnet> control = Create();
  ASSERT_NE(control, nullptr) << "created from the folder with the quote";
  LONG count = -1;
  EXPECT_EQ(control->GetIPCCount(&count), S_OK);

  // A file name that is no text in any encoding has no UTF-16 form to register.
  const std::set<std::string> before = TreeBelow(HKEY_CLASSES_ROOT, u"");
  const std::string undecodable = CopyOfModuleIn(prefix_.root() + "/bad\xFF\xFE" "dir");
  ASSERT_FALSE(undecodable.empty());
  EXPECT_TRUE(FAILED(test_support::CallModuleEntry(undecodable.c_str(), "DllRegisterServer")));
  EXPECT_EQ(TreeBelow(HKEY_CLASSES_ROOT, u""), before);
}

TEST_F(ControlModule, UnregisteringLeavesOnlyTheNoRemoveRootsAndBothRunInTheSystemLocale) {
  const LCID own = GetSystemDefaultLCID() == 0x0411 ? 0x0407 : 0x0411;
  ASSERT_TRUE(SetThreadLocale(own));
  ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
  EXPECT_EQ(GetThreadLocale(), own);
  std::set<std::string> expected = rootsBefore_;
  expected.insert({"AppID", "CLSID"});
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""), expected);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(kProwlnetProgId, &clsid), CO_E_CLASSSTRING);
  CComPtr<ITypeLib> library;
  EXPECT_EQ(LoadRegTypeLib(LIBID_ProwlnetLib, 1, 0, 0, &library), TYPE_E_LIBNOTREGISTERED);
  LocalesAtWrites().clear();
  ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
  EXPECT_EQ(GetThreadLocale(), own);
  const std::set<LCID> during(LocalesAtWrites().begin(), LocalesAtWrites().end());
  EXPECT_EQ(during, std::set<LCID>{GetSystemDefaultLCID()}) << LocalesAtWrites().size() << " values written";
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
  }
  LPOLESTR withParameters[] = {const_cast<LPOLESTR>(u"ModifyIPCXML"), const_cast<LPOLESTR>(u"index"),
                               const_cast<LPOLESTR>(u"strXML")};
  DISPID ids[3] = {};
  EXPECT_EQ(control->GetIDsOfNames(GUID_NULL, withParameters, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[1], 0);
  EXPECT_EQ(ids[2], 1);
  // Names match without regard to case, as Windows matches them; a name that is none is unknown.
  LPOLESTR otherCase[] = {const_cast<LPOLESTR>(u"startsearch")};
  DISPID found = 0;
  EXPECT_EQ(control->GetIDsOfNames(GUID_NULL, otherCase, 1, 0, &found), S_OK);
  EXPECT_EQ(found, 1);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"StartSearching")};
  DISPID none = 0;
  EXPECT_EQ(control->GetIDsOfNames(GUID_NULL, unknown, 1, 0, &none), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(none, DISPID_UNKNOWN);

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

TEST_F(ControlModule, ATypeBrowserWalksFromTheControlDownToIUnknownAndFindsNamesInAnyCase) {
  CComPtr<ICProwlnet> control = Create();
  ASSERT_NE(control, nullptr);
  CComPtr<ITypeInfo> interface;
  ASSERT_EQ(control->GetTypeInfo(0, 0, &interface), S_OK);

  // The base is IDispatch as the standard automation library describes it, and IUnknown its.
  CComPtr<ITypeInfo> dispatch = Referred(interface);
  EXPECT_EQ(NameOf(dispatch), "IDispatch");
  EXPECT_EQ(MethodsOf(dispatch), (std::vector<std::string>{"GetTypeInfoCount 3", "GetTypeInfo 4", "GetIDsOfNames 5", "Invoke 6"}));
  CComPtr<ITypeInfo> unknown = Referred(dispatch);
  EXPECT_EQ(NameOf(unknown), "IUnknown");
  EXPECT_EQ(MethodsOf(unknown), (std::vector<std::string>{"QueryInterface 0", "AddRef 1", "Release 2"}));
  EXPECT_EQ(Referred(unknown), nullptr);
  CComPtr<ITypeLib> standard;
  UINT index = 0;
  ASSERT_EQ(dispatch->GetContainingTypeLib(&standard, &index), S_OK);
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(standard->GetLibAttr(&libAttr), S_OK);
  EXPECT_EQ(GuidText(libAttr->guid), "{00020430-0000-0000-C000-000000000046}");
  EXPECT_EQ(libAttr->wMajorVerNum, 2);
  standard->ReleaseTLibAttr(libAttr);
  FUNCDESC* invoke = nullptr;
  ASSERT_EQ(dispatch->GetFuncDesc(3, &invoke), S_OK);
  ASSERT_EQ(invoke->cParams, 8);
  const TYPEDESC& parameters = invoke->lprgelemdescParam[4].tdesc;
  ASSERT_EQ(parameters.vt, VT_PTR);
  ASSERT_EQ(parameters.lptdesc->vt, VT_USERDEFINED);
  CComPtr<ITypeInfo> record;
  ASSERT_EQ(dispatch->GetRefTypeInfo(parameters.lptdesc->hreftype, &record), S_OK);
  dispatch->ReleaseFuncDesc(invoke);
  EXPECT_EQ(NameOf(record), "DISPPARAMS");

  // The vtable form stands on IDispatch too; the class names both its interfaces.
  CComPtr<ITypeInfo> vtable = Referred(interface, static_cast<UINT>(-1));
  EXPECT_EQ(NameOf(Referred(vtable)), "IDispatch");
  EXPECT_EQ(MethodsOf(vtable).front(), "StartSearch 7");
  CComPtr<IProvideClassInfo> classInfo;
  ASSERT_EQ(control.QueryInterface(&classInfo), S_OK);
  CComPtr<ITypeInfo> coclass;
  ASSERT_EQ(classInfo->GetClassInfo(&coclass), S_OK);
  EXPECT_EQ(NameOf(Referred(coclass, 0)), "ICProwlnet");
  EXPECT_EQ(NameOf(Referred(coclass, 1)), "_ICProwlnetEvents");
  EXPECT_EQ(NameOf(Referred(Referred(coclass, 1))), "IDispatch");

  // Names bound as a script engine binds them: in any case, up through the bases.
  CComPtr<ITypeComp> comp;
  ASSERT_EQ(interface->GetTypeComp(&comp), S_OK);
  EXPECT_EQ(Bound(comp, u"getipccount"), "ICProwlnet 4");
  EXPECT_EQ(Bound(comp, u"INVOKE"), "IDispatch " + std::to_string(0x60010003));
  EXPECT_EQ(Bound(comp, u"Nothing"), "none");

  // The library answers names in any case, with its own spelling.
  CComPtr<ITypeLib> library;
  ASSERT_EQ(interface->GetContainingTypeLib(&library, &index), S_OK);
  for (const auto& [asked, spelled] : {std::pair{u"icprowlnet", u"ICProwlnet"}, std::pair{u"GETONEIPADDRESS", u"GetOneIPAddress"}}) {
    std::u16string name(asked);
    BOOL found = FALSE;
    ASSERT_EQ(library->IsName(name.data(), 0, &found), S_OK);
    EXPECT_TRUE(found) << Narrow(asked);
    EXPECT_EQ(name, spelled);
  }
  std::u16string nothing(u"Nothing");
  BOOL found = TRUE;
  ASSERT_EQ(library->IsName(nothing.data(), 0, &found), S_OK);
  EXPECT_FALSE(found);
  std::u16string stop(u"stopsearch");
  ITypeInfo* holders[2] = {};
  MEMBERID ids[2] = {};
  USHORT count = 2;
  ASSERT_EQ(library->FindName(stop.data(), 0, holders, ids, &count), S_OK);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(NameOf(holders[0]), "ICProwlnet");
  EXPECT_EQ(ids[0], 2);
  holders[0]->Release();
  CComPtr<ITypeComp> libraryComp;
  ASSERT_EQ(library->GetTypeComp(&libraryComp), S_OK);
  std::u16string className(u"cprowlnet");
  CComPtr<ITypeInfo> named;
  CComPtr<ITypeComp> inner;
  ASSERT_EQ(libraryComp->BindType(className.data(), 0, &named, &inner), S_OK);
  EXPECT_EQ(NameOf(named), "CProwlnet");

  // What the standard runtime does and this layer does not answers E_NOTIMPL: calls through a
  // plain interface's type information, and arguments of types it does not convert.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(dispatch->Invoke(static_cast<IDispatch*>(control.p), 0x60010000, DISPATCH_METHOD, &none, nullptr, nullptr,
                             nullptr),
            E_NOTIMPL);
  VARIANT single;
  single.vt = VT_R4;
  single.fltVal = 1.0F;
  DISPPARAMS oneFloat{&single, nullptr, 1, 0};
  CComVariant result;
  EXPECT_EQ(control->Invoke(9, GUID_NULL, 0, DISPATCH_METHOD, &oneFloat, &result, nullptr, nullptr), E_NOTIMPL);
}

TEST_F(ControlModule, TheModuleStaysLoadedWhileAnObjectOrALockOrTheClassObjectIsHeld) {
  FreeLibrary(module_);  // only COM holds the module from here on
  module_ = nullptr;
  const auto loaded = [] { return test_support::CanUnloadNowIfLoaded(PROWLNET_MODULE_PATH) != E_FAIL; };
  {
    CComPtr<ICProwlnet> control = Create();
    ASSERT_NE(control, nullptr);
    CoFreeUnusedLibraries();
    ASSERT_TRUE(loaded()) << "a held object keeps the module";
    LONG count = -1;
    EXPECT_EQ(control->GetIPCCount(&count), S_OK);
  }
  CComPtr<IClassFactory> factory = ClassObject();
  ASSERT_NE(factory, nullptr);
  CoFreeUnusedLibraries();
  ASSERT_TRUE(loaded()) << "a held class object keeps the module";
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Release();
  CoFreeUnusedLibraries();
  ASSERT_TRUE(loaded()) << "a lock keeps the module";
  ClassObject()->LockServer(FALSE);
  EXPECT_EQ(test_support::CanUnloadNowIfLoaded(PROWLNET_MODULE_PATH), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(loaded()) << "nothing holds it any more";
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
  void* again = nullptr;
  ASSERT_EQ(getClassObject(CLSID_CProwlnet, IID_IClassFactory, &again), S_OK);
  EXPECT_EQ(again, static_cast<IClassFactory*>(factory)) << "one class object, kept";
  static_cast<IClassFactory*>(again)->Release();
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
  // Every resource is Chinese (PRC); the table shows it for the string too, which pal keeps as
  // an entry of its own.
  EXPECT_NE(FindResourceExW(module_, u"TYPELIB", MAKEINTRESOURCEW(1), LANG_CHINESE_PRC), nullptr);
  const auto table = reinterpret_cast<pal::LPFNRESOURCESECTION>(GetProcAddress(module_, pal::kResourceSectionEntry));
  ASSERT_NE(table, nullptr);
  std::set<std::string> resources;
  for (const pal::ResourceEntry& entry : std::span(table()->entries, table()->count)) {
    const std::string type = entry.typeName != nullptr ? Narrow(entry.typeName) : std::to_string(entry.typeNumber);
    resources.insert(type + " " + std::to_string(entry.number) + " " + std::to_string(entry.language));
  }
  EXPECT_EQ(resources, (std::set<std::string>{"TYPELIB 1 2052", "6 100 2052", "REGISTRY 101 2052", "2 102 2052",
                                              "REGISTRY 103 2052"}));
}

TEST_F(ControlModule, TheControlWindowIsAHiddenPopupOfItsOwnClassAndConsumes0x465) {
  CComPtr<ICProwlnet> control = Create();
  ASSERT_NE(control, nullptr);
  CComPtr<IOleWindow> inPlace;
  ASSERT_EQ(control.QueryInterface(&inPlace), S_OK);
  HWND window = nullptr;
  ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
  WCHAR text[64] = {};
  EXPECT_EQ(GetWindowTextW(window, text, 64), 11);
  EXPECT_EQ(std::u16string(text), u"MyAtlWindow");
  RECT place{};
  ASSERT_TRUE(GetWindowRect(window, &place));
  EXPECT_EQ(std::vector<LONG>({place.left, place.top, place.right, place.bottom}), std::vector<LONG>({0, 0, 100, 100}));
  EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE), static_cast<LONG_PTR>(WS_POPUP));
  EXPECT_EQ(GetWindowLongPtrW(window, GWL_EXSTYLE), 0);

  // "ATL:" and the address of the class record, which lies in the module.
  ASSERT_GT(GetClassNameW(window, text, 64), 0);
  const std::string className = Narrow(text);
  ASSERT_EQ(className.substr(0, 4), "ATL:");
  const std::string address = className.substr(4);
  EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos) << className;
  Dl_info holder{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(std::strtoull(address.c_str(), nullptr, 16)), &holder), 0) << className;
  EXPECT_STREQ(holder.dli_fname, PROWLNET_MODULE_PATH);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  ASSERT_TRUE(GetClassInfoExW(module_, text, &windowClass));
  EXPECT_EQ(windowClass.style, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
  EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
  EXPECT_EQ(windowClass.hCursor, LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(windowClass.hInstance, module_) << "the module's class";

  EXPECT_EQ(SendMessageW(window, 0x465, 1, 2), 0);
  EXPECT_TRUE(IsWindow(window));
}

}  // namespace
