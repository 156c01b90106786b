#include "control/module.h"

#include <new>
#include <string>

#include "control/class_factory.h"
#include "control/export.h"
#include "control/resources.h"
#include "engine/control_window.h"
#include "engine/search_thread.h"
#include "pal/atlbase.h"
#include "pal/libloader.h"
#include "pal/statreg.h"
#include "prowlnet/icprowlnet.h"

namespace prowlnet::control {
namespace {

/// The status flags of the class: recompose on resize, can't link inside, inside-out, activate
/// when visible, invisible at run time, set client site first.
constexpr char16_t kMiscStatus[] = u"132497";

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

/// This module's full path, as registration writes it.
std::u16string ModulePath(HMODULE module) {
  WCHAR path[4096];
  const DWORD length = module == nullptr ? 0 : GetModuleFileNameW(module, path, 4096);
  return length == 0 || length == 4096 ? u"" : std::u16string(path, length);
}

/// The last system error as an HRESULT, and a failure even when none is set.
HRESULT LastErrorOrFail() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

/// The thread's locale is the system default for the life of the scope, and then what it was.
class SystemLocaleScope {
 public:
  SystemLocaleScope() { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
  ~SystemLocaleScope() { SetThreadLocale(saved_); }
  SystemLocaleScope(const SystemLocaleScope&) = delete;
  SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

 private:
  const LCID saved_ = GetThreadLocale();
};

}  // namespace

CProwlnetModule::CProwlnetModule() : instance_(ThisModule()) { InitializeCriticalSection(&classObjectLock_); }

CProwlnetModule::~CProwlnetModule() {
  // The window class stays registered when its module goes, as on Windows; its procedure would not.
  UnregisterControlWindowClass();
  delete classObject_;
  DeleteCriticalSection(&classObjectLock_);
}

HRESULT CProwlnetModule::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_CProwlnet)) return CLASS_E_CLASSNOTAVAILABLE;
  {
    CriticalSectionLock hold(classObjectLock_);
    if (classObject_ == nullptr) classObject_ = new (std::nothrow) ClassFactory;
    if (classObject_ == nullptr) return E_OUTOFMEMORY;
  }
  return classObject_->QueryInterface(riid, object);
}

HRESULT CProwlnetModule::RegisterServer() {
  const SystemLocaleScope locale;
  const std::u16string module = ModulePath(instance_);
  if (module.empty()) return LastErrorOrFail();
  ATL::CRegObject registrar;
  registrar.AddReplacement(u"APPID", GuidText(APPID_Prowlnet).c_str());
  HRESULT hr = registrar.ResourceRegister(module.c_str(), kApplicationScriptResource, u"REGISTRY");
  if (FAILED(hr)) return hr;
  registrar.AddReplacement(u"MODULE", module.c_str());
  registrar.AddReplacement(u"OLEMISC", kMiscStatus);
  hr = registrar.ResourceRegister(module.c_str(), kClassScriptResource, u"REGISTRY");
  if (FAILED(hr)) return hr;
  ATL::CComPtr<ITypeLib> library;
  hr = LoadTypeLib(module.c_str(), &library);
  if (FAILED(hr)) return hr;
  return RegisterTypeLib(library, module.c_str(), nullptr);
}

HRESULT CProwlnetModule::UnregisterServer() {
  const SystemLocaleScope locale;
  const std::u16string module = ModulePath(instance_);
  if (module.empty()) return LastErrorOrFail();
  ATL::CRegObject registrar;
  registrar.AddReplacement(u"APPID", GuidText(APPID_Prowlnet).c_str());
  registrar.AddReplacement(u"MODULE", module.c_str());
  registrar.AddReplacement(u"OLEMISC", kMiscStatus);
  HRESULT hr = registrar.ResourceUnregister(module.c_str(), kClassScriptResource, u"REGISTRY");
  if (FAILED(hr)) return hr;
  hr = UnRegisterTypeLib(LIBID_ProwlnetLib, 1, 0, 0, SYS_WIN32);
  if (FAILED(hr)) return hr;
  return registrar.ResourceUnregister(module.c_str(), kApplicationScriptResource, u"REGISTRY");
}

namespace {
CProwlnetModule theModule;  // built when the module is loaded, gone when it is unloaded
}  // namespace

CProwlnetModule& TheModule() { return theModule; }

}  // namespace prowlnet::control

using prowlnet::control::TheModule;

PROWLNET_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return TheModule().GetClassObject(clsid, riid, object);
}

PROWLNET_EXPORT HRESULT DllCanUnloadNow() {
  // A search thread that was given up on runs this module's code until it ends by itself.
  return TheModule().GetLockCount() == 0 && !prowlnet::AbandonedSearchThreadsRun() ? S_OK : S_FALSE;
}

PROWLNET_EXPORT HRESULT DllRegisterServer() { return TheModule().RegisterServer(); }

PROWLNET_EXPORT HRESULT DllUnregisterServer() { return TheModule().UnregisterServer(); }
