// The test in-process server module. Built twice: COM_SERVER_B selects the second identity.
#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <string>

#include "com_server/cam_test.h"
#include "com_server/registration.h"
#include "pal/kernel32.h"
#include "pal/libloader.h"
#include "pal/statreg.h"
#include "pal/typelib_data.h"

namespace com_server {
namespace {

#ifdef COM_SERVER_B
constexpr const Identity& kIdentity = kServerB;
#else
constexpr const Identity& kIdentity = kServerA;
#endif

LONG volatile moduleLocks = 0;

// ---- type library ------------------------------------------------------------------------------

constexpr pal::ParamData kResetParams[] = {{u"pRetVal", VT_I4 | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr pal::ParamData kAddParams[] = {
    {u"a", VT_I4, PARAMFLAG_FIN}, {u"b", VT_I4, PARAMFLAG_FIN}, {u"pSum", VT_I4 | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr pal::ParamData kDescribeParams[] = {{u"name", VT_BSTR, PARAMFLAG_NONE},
                                              {u"port", VT_UI4, PARAMFLAG_FIN},
                                              {u"pText", VT_BSTR | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr pal::ParamData kIsEvenParams[] = {{u"value", VT_I2, PARAMFLAG_FIN},
                                            {u"pEven", VT_BOOL | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr pal::ParamData kLengthParams[] = {{u"text", VT_BSTR, PARAMFLAG_FIN},
                                            {u"pLength", VT_UI4 | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr pal::ParamData kFailParams[] = {{u"code", VT_I4, PARAMFLAG_FIN}};
constexpr pal::ParamData kFillParams[] = {{u"buffer", VT_UI1 | VT_BYREF, PARAMFLAG_FIN},
                                          {u"size", VT_I4, PARAMFLAG_FIN},
                                          {u"pWritten", VT_I4 | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};

constexpr pal::MethodData kMethods[] = {
    {u"Reset", 1, u"\u65b9\u6cd5Reset", kResetParams},
    {u"Add", 2, u"\u65b9\u6cd5Add", kAddParams},
    {u"Describe", 4, u"\u65b9\u6cd5Describe", kDescribeParams},
    {u"IsEven", 5, u"\u65b9\u6cd5IsEven", kIsEvenParams},
    {u"Length", 6, u"\u65b9\u6cd5Length", kLengthParams},
    {u"Fail", 7, u"\u65b9\u6cd5Fail", kFailParams},
    {u"Fill", 8, u"\u65b9\u6cd5Fill", kFillParams},
};

constexpr pal::ImplementedData kImplemented[] = {
    {&kIdentity.iid, IMPLTYPEFLAG_FDEFAULT},
    {&kIdentity.events, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
};

constexpr pal::TypeData kTypes[] = {
    {pal::TypeKind::kDispInterface, kIdentity.events, u"_ICamTestEvents", u"_ICamTestEvents Interface", 0, {}, {}},
    {pal::TypeKind::kCoClass, kIdentity.clsid, u"CamTest", u"CamTest Class", TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, {},
     kImplemented},
    {pal::TypeKind::kDualInterface, kIdentity.iid, u"ICamTest", u"ICamTest \u63a5\u53e3",
     TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION, kMethods, {}},
};

constexpr pal::TypeLibData kLibrary = {
    kIdentity.libid, 1, 0, 0, u"CamTestLib", u"CamTest 1.0 \u7c7b\u578b\u5e93", 0, kTypes,
};

// ---- the object --------------------------------------------------------------------------------

class CamTest final : public ICamTest {
 public:
  CamTest() { InterlockedIncrement(&moduleLocks); }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, kIdentity.iid))
      return E_NOINTERFACE;
    AddRef();
    *object = static_cast<ICamTest*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    const HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    const HRESULT hr = LoadTypeInfo();
    return FAILED(hr) ? hr : DispGetIDsOfNames(typeInfo_, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 UINT* argErr) override {
    const HRESULT hr = LoadTypeInfo();
    return FAILED(hr) ? hr : DispInvoke(static_cast<ICamTest*>(this), typeInfo_, id, flags, params, result, excepInfo, argErr);
  }

  HRESULT Reset(LONG* pRetVal) override {
    *pRetVal = 0;
    return S_OK;
  }
  HRESULT Add(LONG a, LONG b, LONG* pSum) override {
    *pSum = a + b;
    return S_OK;
  }
  HRESULT Describe(BSTR name, ULONG port, BSTR* pText) override {
    std::u16string text(name == nullptr ? u"" : name, SysStringLen(name));
    text += u':';
    for (char c : std::to_string(port)) text += static_cast<char16_t>(c);
    *pText = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *pText == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  HRESULT IsEven(SHORT value, VARIANT_BOOL* pEven) override {
    *pEven = value % 2 == 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT Length(BSTR text, ULONG* pLength) override {
    *pLength = SysStringLen(text);
    return S_OK;
  }
  HRESULT Fail(LONG code) override { return static_cast<HRESULT>(code); }
  HRESULT Fill(BYTE* buffer, LONG size, LONG* pWritten) override {
    for (LONG i = 0; i < size; ++i) buffer[i] = static_cast<BYTE>(0xA0 + i);
    *pWritten = size;
    return S_OK;
  }

 private:
  ~CamTest() {
    if (typeInfo_ != nullptr) typeInfo_->Release();
    InterlockedDecrement(&moduleLocks);
  }

  /// The interface's type information, from the registered library, on first use.
  HRESULT LoadTypeInfo() {
    if (typeInfo_ != nullptr) return S_OK;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(kIdentity.libid, 1, 0, 0, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(kIdentity.iid, &typeInfo_);
    lib->Release();
    return hr;
  }

  ULONG references_ = 1;  // the object lives in one apartment: a plain count
  ITypeInfo* typeInfo_ = nullptr;
};

class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // The factory is part of the module and lives as long as it does.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* made = new CamTest;
    const HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&moduleLocks);
    } else {
      InterlockedDecrement(&moduleLocks);
    }
    return S_OK;
  }
};

ClassFactory factory;

// ---- registration ------------------------------------------------------------------------------

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

/// The module's own path, as it was loaded.
std::u16string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) return u"";
  const std::string narrow(info.dli_fname);
  return std::u16string(narrow.begin(), narrow.end());  // build paths are ASCII
}

void AddReplacements(ATL::CRegObject& registrar, const std::u16string& module) {
  registrar.AddReplacement(u"MODULE", module.c_str());
  registrar.AddReplacement(u"CLSID", GuidText(kIdentity.clsid).c_str());
  registrar.AddReplacement(u"LIBID", GuidText(kIdentity.libid).c_str());
  registrar.AddReplacement(u"APPID", GuidText(kIdentity.appid).c_str());
  registrar.AddReplacement(u"PROGID", kIdentity.progId);
  registrar.AddReplacement(u"CLASSNAME", kIdentity.className);
  registrar.AddReplacement(u"OLEMISC", u"132497");
}

}  // namespace
}  // namespace com_server

using com_server::kIdentity;

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kIdentity.clsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return com_server::factory.QueryInterface(riid, object);
}

extern "C" HRESULT DllCanUnloadNow() { return com_server::moduleLocks == 0 ? S_OK : S_FALSE; }

namespace com_server {
namespace {
constexpr pal::ResourceEntry kResources[] = {
    {u"TYPELIB", 0, 1, LANG_NEUTRAL_DEFAULT, &kLibrary, sizeof kLibrary},
};
constexpr pal::ResourceSection kResourceSection = {kResources, std::size(kResources)};
}  // namespace
}  // namespace com_server

extern "C" const pal::ResourceSection* PalResourceSection() { return &com_server::kResourceSection; }

extern "C" HRESULT DllRegisterServer() {
  const std::u16string module = com_server::ModulePath();
  ATL::CRegObject registrar;
  com_server::AddReplacements(registrar, module);
  HRESULT hr = registrar.StringRegister(com_server::kAppScript);
  if (SUCCEEDED(hr)) hr = registrar.StringRegister(com_server::kClassScript);
  if (FAILED(hr)) return hr;
  ITypeLib* lib = nullptr;
  hr = LoadTypeLib(module.c_str(), &lib);
  if (FAILED(hr)) return hr;
  hr = RegisterTypeLib(lib, module.c_str(), nullptr);
  lib->Release();
  return hr;
}

extern "C" HRESULT DllUnregisterServer() {
  ATL::CRegObject registrar;
  com_server::AddReplacements(registrar, com_server::ModulePath());
  HRESULT hr = registrar.StringUnregister(com_server::kClassScript);
  if (SUCCEEDED(hr)) hr = UnRegisterTypeLib(kIdentity.libid, 1, 0, 0, SYS_WIN32);
  if (SUCCEEDED(hr)) hr = registrar.StringUnregister(com_server::kAppScript);
  return hr;
}
