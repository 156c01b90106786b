// The conformance suite on the test in-process server: registration through its scripts, creation
// by ProgID in this process and in another, early- and late-bound calls, unregistration.
#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "com_server/cam_test.h"
#include "pal/atlbase.h"
#include "support/child_process.h"
#include "support/module_entry.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"

namespace {

using namespace std::chrono_literals;
using com_server::ICamTest;
using com_server::kServerA;
using com_server::kServerB;
using test_support::ChildProcess;
using test_support::KeysBelow;
using test_support::StringValue;

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

bool IsLoaded(const char* module) {
  void* handle = dlopen(module, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

class ComServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
  void TearDown() override { CoUninitialize(); }

  void Register() { ASSERT_EQ(test_support::CallModuleEntry(COM_SERVER_A_PATH, "DllRegisterServer"), S_OK); }

  ATL::CComPtr<ICamTest> Create() {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kServerA.progId, &clsid), S_OK);
    ATL::CComPtr<ICamTest> server;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kServerA.iid, reinterpret_cast<void**>(&server)), S_OK);
    return server;
  }

  test_support::TempPrefix prefix_;
};

TEST_F(ComServer, RegistersItsClassApplicationAndTypeLibrary) {
  Register();
  const std::u16string clsid = u"CLSID\\" + GuidText(kServerA.clsid);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\InprocServer32", nullptr), COM_SERVER_A_PATH);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\InprocServer32", u"ThreadingModel"), "Apartment");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\MiscStatus\\1", nullptr), "132497");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, clsid, u"AppID"), test_support::Narrow(GuidText(kServerA.appid)));
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"CamTestA.Server\\CurVer", nullptr), "CamTestA.Server.1");
  const std::u16string lib = u"TypeLib\\" + GuidText(kServerA.libid) + u"\\1.0";
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, lib + u"\\0\\win32", nullptr), COM_SERVER_A_PATH);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"Interface\\" + GuidText(kServerA.iid) + u"\\TypeLib", nullptr),
            test_support::Narrow(GuidText(kServerA.libid)));
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, u"AppID\\CamTestA.Server.DLL", u"AppID"), test_support::Narrow(GuidText(kServerA.appid)));
}

TEST_F(ComServer, IsCreatedByProgIdAndCalledThroughItsVtable) {
  Register();
  ATL::CComPtr<ICamTest> server = Create();
  ASSERT_NE(server, nullptr);
  LONG number = -1;
  EXPECT_EQ(server->Reset(&number), S_OK);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(server->Add(40, 2, &number), S_OK);
  EXPECT_EQ(number, 42);
  const ATL::CComBSTR name(u"cam");
  ATL::CComBSTR text;
  EXPECT_EQ(server->Describe(name, 3001, &text), S_OK);
  EXPECT_EQ(std::u16string(text), u"cam:3001");
  VARIANT_BOOL even = VARIANT_FALSE;
  EXPECT_EQ(server->IsEven(4, &even), S_OK);
  EXPECT_EQ(even, VARIANT_TRUE);
}

TEST_F(ComServer, IsCreatedByProgIdInASecondProcess) {
  Register();
  ChildProcess client({COM_CLIENT_PATH, "call", "CamTestA.Server"});
  ASSERT_TRUE(client.started());
  EXPECT_EQ(client.Wait(30s), 0) << client.output();
  EXPECT_EQ(client.output(), "sum=5 text=cam:3001\n");
}

TEST_F(ComServer, ModuleStaysLoadedUntilItCanUnload) {
  Register();
  ATL::CComPtr<ICamTest> server = Create();
  ASSERT_NE(server, nullptr);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLoaded(COM_SERVER_A_PATH)) << "an object is alive: DllCanUnloadNow says S_FALSE";
  server.Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsLoaded(COM_SERVER_A_PATH));
}

TEST_F(ComServer, UnregisteringLeavesExactlyTheNoRemoveKeys) {
  // The keys every Windows machine has under HKEY_CLASSES_ROOT, for registration to write into.
  for (const char16_t* root : {u"TypeLib", u"Interface"}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, root, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  const std::set<std::string> before = KeysBelow(HKEY_CLASSES_ROOT, u"");
  Register();
  ASSERT_EQ(test_support::CallModuleEntry(COM_SERVER_A_PATH, "DllUnregisterServer"), S_OK);
  std::set<std::string> expected = before;
  expected.insert({"AppID", "CLSID"});
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""), expected);

  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(kServerA.progId, &clsid), CO_E_CLASSSTRING);
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kServerA.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}

TEST_F(ComServer, TwoProcessesRegisteringAtOnceAreBothRegistered) {
  ChildProcess first({COM_CLIENT_PATH, "register", COM_SERVER_A_PATH, "gate"});
  ChildProcess second({COM_CLIENT_PATH, "register", COM_SERVER_B_PATH, "gate"});
  ASSERT_EQ(first.Read(1, 30s), "r");
  ASSERT_EQ(second.Read(1, 30s), "r");
  ASSERT_TRUE(first.Write("g"));
  ASSERT_TRUE(second.Write("g"));
  EXPECT_EQ(first.Wait(60s), 0) << first.output();
  EXPECT_EQ(second.Wait(60s), 0) << second.output();

  for (const auto* identity : {&kServerA, &kServerB}) {
    const std::u16string clsid = u"CLSID\\" + GuidText(identity->clsid);
    EXPECT_TRUE(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\InprocServer32", nullptr).has_value());
    EXPECT_TRUE(StringValue(HKEY_CLASSES_ROOT, clsid + u"\\MiscStatus\\1", nullptr).has_value());
    EXPECT_TRUE(StringValue(HKEY_CLASSES_ROOT, std::u16string(identity->progId) + u"\\CurVer", nullptr).has_value());
    ATL::CComPtr<ITypeLib> lib;
    EXPECT_EQ(LoadRegTypeLib(identity->libid, 1, 0, 0, &lib), S_OK);
  }
}

// ---- late binding ------------------------------------------------------------------------------

class LateBound : public ComServer {
 protected:
  void SetUp() override {
    ComServer::SetUp();
    Register();
    server_ = Create();
    ASSERT_NE(server_, nullptr);
  }
  void TearDown() override {
    server_.Release();
    ComServer::TearDown();
  }

  /// Invokes `id` with `args` in call order (the DISPPARAMS holds them reversed).
  HRESULT Call(DISPID id, std::vector<VARIANT> args, VARIANT* result, UINT* argErr = nullptr, EXCEPINFO* excep = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return server_->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, excep, argErr);
  }

  ATL::CComPtr<ICamTest> server_;
};

VARIANT Long(LONG value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

/// A variant that borrows `text`: the test keeps it alive and frees it.
VARIANT Text(BSTR text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

TEST_F(LateBound, NamesMapToTheirDispidsWithoutRegardToCase) {
  struct Case {
    const char16_t* name;
    DISPID id;
  } cases[] = {{u"Reset", 1}, {u"ADD", 2}, {u"describe", 4}, {u"IsEven", 5}, {u"length", 6}, {u"Fail", 7}, {u"Fill", 8}};
  for (const Case& c : cases) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    DISPID id = 0;
    EXPECT_EQ(server_->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, c.id) << test_support::Narrow(c.name);
  }
  LPOLESTR withParams[] = {const_cast<LPOLESTR>(u"Describe"), const_cast<LPOLESTR>(u"PORT"), const_cast<LPOLESTR>(u"name")};
  DISPID ids[3] = {};
  EXPECT_EQ(server_->GetIDsOfNames(GUID_NULL, withParams, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 4);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], 0);
}

TEST_F(LateBound, UnknownNamesAreRefused) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"Subtract")};
  DISPID id = 0;
  EXPECT_EQ(server_->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  LPOLESTR badParam[] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"c")};
  DISPID ids[2] = {};
  EXPECT_EQ(server_->GetIDsOfNames(GUID_NULL, badParam, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 2) << "the method is still named";
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  VARIANT result;
  EXPECT_EQ(Call(3, {}, &result), DISP_E_MEMBERNOTFOUND) << "no member has DISPID 3";
}

TEST_F(LateBound, ResultsComeBackAsTheDeclaredType) {
  VARIANT result;
  ASSERT_EQ(Call(2, {Long(40), Long(2)}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);

  BSTR name = SysAllocString(u"cam");
  ASSERT_EQ(Call(4, {Text(name), Long(3001)}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result.bstrVal), u"cam:3001");
  EXPECT_EQ(VariantClear(&result), S_OK);

  VARIANT small;
  small.vt = VT_I2;
  small.iVal = 7;
  ASSERT_EQ(Call(5, {small}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);

  ASSERT_EQ(Call(6, {Text(name)}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_UI4);
  EXPECT_EQ(result.ulVal, 3u);

  // Without a place for the result, the string is freed, not leaked.
  EXPECT_EQ(Call(4, {Text(name), Long(1)}, nullptr), S_OK);
  SysFreeString(name);
}

TEST_F(LateBound, AWrongArgumentCountIsRefused) {
  VARIANT result;
  EXPECT_EQ(Call(2, {Long(1)}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(2, {Long(1), Long(2), Long(3)}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(1, {Long(1)}, &result), DISP_E_BADPARAMCOUNT) << "the [out, retval] is not an argument";
}

TEST_F(LateBound, ArgumentsOfAnotherTypeAreCoercedToTheDeclaredOne) {
  BSTR forty = SysAllocString(u" 40 ");
  VARIANT two;
  two.vt = VT_BOOL;
  two.boolVal = VARIANT_TRUE;
  VARIANT result;
  ASSERT_EQ(Call(2, {Text(forty), two}, &result), S_OK);
  EXPECT_EQ(result.lVal, 39) << "\" 40 \" + True(-1)";

  BSTR port = SysAllocString(u"3001");
  ASSERT_EQ(Call(4, {Long(7), Text(port)}, &result), S_OK);
  EXPECT_EQ(std::u16string(result.bstrVal), u"7:3001");
  VariantClear(&result);

  ASSERT_EQ(Call(4, {Long(7), Long(-1)}, &result), S_OK);
  EXPECT_EQ(std::u16string(result.bstrVal), u"7:4294967295") << "a negative long reaches an unsigned parameter as is";
  VariantClear(&result);

  LONG byReference = 5;
  VARIANT reference;
  reference.vt = VT_I4 | VT_BYREF;
  reference.plVal = &byReference;
  ASSERT_EQ(Call(2, {reference, Long(1)}, &result), S_OK);
  EXPECT_EQ(result.lVal, 6);
  SysFreeString(forty);
  SysFreeString(port);
}

TEST_F(LateBound, ArgumentsThatDoNotCoerceNameTheirPosition) {
  BSTR camera = SysAllocString(u"camera");
  VARIANT result;
  UINT argErr = 99;
  EXPECT_EQ(Call(2, {Text(camera), Long(1)}, &result, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u) << "the first argument sits last in rgvarg";
  argErr = 99;
  EXPECT_EQ(Call(2, {Long(1), Text(camera)}, &result, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);

  VARIANT big;
  big.vt = VT_R8;
  big.dblVal = 1e12;
  EXPECT_EQ(Call(2, {big, Long(1)}, &result, &argErr), DISP_E_OVERFLOW);
  SysFreeString(camera);
}

TEST_F(LateBound, APointerParameterTakesTheCallersBuffer) {
  BYTE buffer[4] = {};
  VARIANT pointer;
  pointer.vt = VT_UI1 | VT_BYREF;
  pointer.pbVal = buffer;
  VARIANT result;
  ASSERT_EQ(Call(8, {pointer, Long(4)}, &result), S_OK);
  EXPECT_EQ(result.lVal, 4);
  EXPECT_EQ(buffer[0], 0xA0);
  EXPECT_EQ(buffer[3], 0xA3);
  UINT argErr = 99;
  EXPECT_EQ(Call(8, {Long(0), Long(4)}, &result, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);
}

TEST_F(LateBound, NamedArgumentsGoToTheirParameters) {
  VARIANT args[2] = {Long(1000), Long(3)};  // named "b" first, then positional "a"
  DISPID named[1] = {1};
  DISPPARAMS params{args, named, 2, 1};
  VARIANT result;
  ASSERT_EQ(server_->Invoke(2, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.lVal, 1003);
}

TEST_F(LateBound, AFailureOfTheMethodComesBackAsAnException) {
  constexpr HRESULT kCode = static_cast<HRESULT>(0x80040201);
  EXCEPINFO excep;
  std::memset(&excep, 0xFF, sizeof excep);
  VARIANT result;
  EXPECT_EQ(Call(7, {Long(kCode)}, &result, nullptr, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, kCode);
  EXPECT_EQ(excep.bstrDescription, nullptr);
  EXPECT_EQ(Call(7, {Long(S_OK)}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_EMPTY) << "a method without a result leaves it empty";
}

}  // namespace
