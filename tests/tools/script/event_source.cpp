// An in-process server whose object has events, for the script host's tests: ScriptTest.Bell,
// whose method Ring(times) fires its event Rang(count, text) that many times, synchronously, to
// every sink joined to its default outgoing interface. Registered with regsvr32 like any module.
#include <dlfcn.h>

#include <iterator>
#include <string>

#include "com_server/registration.h"
#include "pal/atlcom.h"
#include "pal/kernel32.h"
#include "pal/libloader.h"
#include "pal/statreg.h"
#include "pal/typelib_data.h"

namespace event_source {
namespace {

constexpr CLSID kClsid = {0x3A6C2E50, 0x7B1D, 0x4C9E, {0x8F, 0x21, 0x5D, 0x0B, 0x6E, 0x43, 0x19, 0xC7}};
constexpr IID kBellIid = {0x3A6C2E51, 0x7B1D, 0x4C9E, {0x8F, 0x21, 0x5D, 0x0B, 0x6E, 0x43, 0x19, 0xC7}};
constexpr IID kEventsIid = {0x3A6C2E52, 0x7B1D, 0x4C9E, {0x8F, 0x21, 0x5D, 0x0B, 0x6E, 0x43, 0x19, 0xC7}};
constexpr GUID kLibid = {0x3A6C2E53, 0x7B1D, 0x4C9E, {0x8F, 0x21, 0x5D, 0x0B, 0x6E, 0x43, 0x19, 0xC7}};
constexpr GUID kAppid = {0x3A6C2E54, 0x7B1D, 0x4C9E, {0x8F, 0x21, 0x5D, 0x0B, 0x6E, 0x43, 0x19, 0xC7}};
constexpr DISPID kRangId = 1;

class IBell : public IDispatch {
 public:
  virtual HRESULT Ring(LONG times) = 0;  // DISPID 1
};

constexpr pal::ParamData kRingParams[] = {{u"times", VT_I4, PARAMFLAG_FIN}};
constexpr pal::ParamData kRangParams[] = {{u"count", VT_I4, PARAMFLAG_FIN}, {u"text", VT_BSTR, PARAMFLAG_FIN}};
constexpr pal::MethodData kBellMethods[] = {{u"Ring", 1, u"Ring", kRingParams}};
constexpr pal::MethodData kEventMethods[] = {{u"Rang", kRangId, u"Rang", kRangParams}};
constexpr pal::ImplementedData kImplemented[] = {
    {&kBellIid, IMPLTYPEFLAG_FDEFAULT},
    {&kEventsIid, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
};
constexpr pal::TypeData kTypes[] = {
    {pal::TypeKind::kDispInterface, kEventsIid, u"_IBellEvents", u"_IBellEvents", 0, kEventMethods, {}},
    {pal::TypeKind::kCoClass, kClsid, u"Bell", u"Bell", TYPEFLAG_FCANCREATE, {}, kImplemented},
    {pal::TypeKind::kDualInterface, kBellIid, u"IBell", u"IBell", TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, kBellMethods,
     {}},
};
constexpr pal::TypeLibData kLibrary = {kLibid, 1, 0, 0, u"BellLib", u"BellLib 1.0", 0, kTypes};

LONG volatile moduleLocks = 0;

class Bell final : public IBell, public ATL::IConnectionPointContainerImpl, public ATL::IProvideClassInfo2Impl {
 public:
  Bell() : IConnectionPointContainerImpl({&kEventsIid}), IProvideClassInfo2Impl(kClsid, &kEventsIid, kLibid, 1, 0) {
    InterlockedIncrement(&moduleLocks);
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kBellIid)) {
      *object = static_cast<IBell*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
      *object = static_cast<IConnectionPointContainer*>(this);
    } else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2)) {
      *object = static_cast<IProvideClassInfo2*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    const HRESULT hr = LoadTypeInfo();
    return FAILED(hr) ? hr : typeInfo_.CopyTo(info);
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    const HRESULT hr = LoadTypeInfo();
    return FAILED(hr) ? hr : DispGetIDsOfNames(typeInfo_, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                 UINT* argumentError) override {
    const HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    return DispInvoke(static_cast<IBell*>(this), typeInfo_, id, flags, params, result, exception, argumentError);
  }

  HRESULT Ring(LONG times) override {
    for (LONG count = 1; count <= times; ++count) Fire(count);
    return S_OK;
  }

 private:
  ~Bell() { InterlockedDecrement(&moduleLocks); }

  HRESULT LoadTypeInfo() {
    if (typeInfo_ != nullptr) return S_OK;
    ATL::CComPtr<ITypeLib> library;
    const HRESULT hr = LoadRegTypeLib(kLibid, 1, 0, 0, &library);
    return FAILED(hr) ? hr : library->GetTypeInfoOfGuid(kBellIid, &typeInfo_);
  }

  /// Rang(count, "ding") to every joined sink.
  void Fire(LONG count) {
    ATL::CComPtr<IConnectionPoint> point;
    ATL::CComPtr<IEnumConnections> connections;
    if (FAILED(FindConnectionPoint(kEventsIid, &point)) || FAILED(point->EnumConnections(&connections))) return;
    CONNECTDATA connection{};
    while (connections->Next(1, &connection, nullptr) == S_OK) {
      ATL::CComPtr<IDispatch> sink;
      if (SUCCEEDED(connection.pUnk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink)))) {
        ATL::CComVariant arguments[2] = {ATL::CComVariant(u"ding"), ATL::CComVariant(count)};  // last first
        DISPPARAMS params{arguments, nullptr, 2, 0};
        sink->Invoke(kRangId, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
      }
      connection.pUnk->Release();
    }
  }

  ULONG references_ = 1;
  ATL::CComPtr<ITypeInfo> typeInfo_;
};

class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // The factory is part of the module and lives as long as it does.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* made = new Bell;
    const HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

ClassFactory factory;

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

std::u16string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) return u"";
  const std::string narrow(info.dli_fname);
  return std::u16string(narrow.begin(), narrow.end());  // build paths are ASCII
}

void AddReplacements(ATL::CRegObject& registrar, const std::u16string& module) {
  registrar.AddReplacement(u"MODULE", module.c_str());
  registrar.AddReplacement(u"CLSID", GuidText(kClsid).c_str());
  registrar.AddReplacement(u"LIBID", GuidText(kLibid).c_str());
  registrar.AddReplacement(u"APPID", GuidText(kAppid).c_str());
  registrar.AddReplacement(u"PROGID", u"ScriptTest.Bell");
  registrar.AddReplacement(u"CLASSNAME", u"Bell");
  registrar.AddReplacement(u"OLEMISC", u"0");
}

constexpr pal::ResourceEntry kResources[] = {{u"TYPELIB", 0, 1, LANG_NEUTRAL_DEFAULT, &kLibrary, sizeof kLibrary}};
constexpr pal::ResourceSection kResourceSection = {kResources, std::size(kResources)};

}  // namespace
}  // namespace event_source

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  *object = nullptr;
  if (!IsEqualCLSID(clsid, event_source::kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return event_source::factory.QueryInterface(riid, object);
}

extern "C" HRESULT DllCanUnloadNow() { return event_source::moduleLocks == 0 ? S_OK : S_FALSE; }

extern "C" const pal::ResourceSection* PalResourceSection() { return &event_source::kResourceSection; }

extern "C" HRESULT DllRegisterServer() {
  const std::u16string module = event_source::ModulePath();
  ATL::CRegObject registrar;
  event_source::AddReplacements(registrar, module);
  HRESULT hr = registrar.StringRegister(com_server::kAppScript);
  if (SUCCEEDED(hr)) hr = registrar.StringRegister(com_server::kClassScript);
  if (FAILED(hr)) return hr;
  ATL::CComPtr<ITypeLib> library;
  hr = LoadTypeLib(module.c_str(), &library);
  return FAILED(hr) ? hr : RegisterTypeLib(library, module.c_str(), nullptr);
}

extern "C" HRESULT DllUnregisterServer() {
  ATL::CRegObject registrar;
  event_source::AddReplacements(registrar, event_source::ModulePath());
  HRESULT hr = registrar.StringUnregister(com_server::kClassScript);
  if (SUCCEEDED(hr)) hr = UnRegisterTypeLib(event_source::kLibid, 1, 0, 0, SYS_WIN32);
  if (SUCCEEDED(hr)) hr = registrar.StringUnregister(com_server::kAppScript);
  return hr;
}
