// Creating objects of in-process servers registered under HKEY_CLASSES_ROOT\CLSID.
#include <optional>
#include <string>

#include "advapi32/registry_strings.h"
#include "internal/loud.h"
#include "kernel32/module_path.h"
#include "kernel32/utf16.h"
#include "ole32/apartment.h"
#include "ole32/modules.h"
#include "pal/objbase.h"

namespace {

using pal::internal::EqualIgnoringAsciiCase;
using pal::internal::Unsupported;
using pal::ole32::ApartmentKind;

std::u16string ServerKeyOf(REFCLSID clsid) {
  OLECHAR text[40];
  StringFromGUID2(clsid, text, 40);
  return u"CLSID\\" + std::u16string(text) + u"\\InprocServer32";
}

/// Stops the process when the class's objects cannot live in the caller's apartment without the
/// marshalling that this layer does not have.
void CheckThreadingModel(const std::u16string& model) {
  const bool both = EqualIgnoringAsciiCase(model, u"Both");
  if (pal::ole32::CurrentApartmentKind() == ApartmentKind::kSingleThreaded) {
    if (!both && !EqualIgnoringAsciiCase(model, u"Apartment"))
      Unsupported("CoGetClassObject", "a class whose threading model needs another apartment than the caller's");
    return;
  }
  if (!both && !EqualIgnoringAsciiCase(model, u"Free"))
    Unsupported("CoGetClassObject", "a class whose threading model needs another apartment than the caller's");
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID riid, LPVOID* object) {
  if (server != nullptr) Unsupported("CoGetClassObject", "server information");
  if ((context & CLSCTX_INPROC_SERVER) == 0) Unsupported("CoGetClassObject", "contexts without CLSCTX_INPROC_SERVER");
  if (object == nullptr) return E_INVALIDARG;
  *object = nullptr;
  if (pal::ole32::CurrentApartmentKind() == ApartmentKind::kNone) return CO_E_NOTINITIALIZED;

  const std::u16string serverKey = ServerKeyOf(clsid);
  const std::optional<std::u16string> modulePath = pal::internal::ReadRegistryString(HKEY_CLASSES_ROOT, serverKey, nullptr);
  if (!modulePath || modulePath->empty()) return REGDB_E_CLASSNOTREG;
  const std::optional<std::u16string> model = pal::internal::ReadRegistryString(HKEY_CLASSES_ROOT, serverKey, u"ThreadingModel");
  CheckThreadingModel(model.value_or(u""));

  const std::optional<std::string> hostPath = pal::internal::HostPathOfModule(*modulePath);
  if (!hostPath) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  LPFNGETCLASSOBJECT entry = nullptr;
  const HRESULT hr = pal::ole32::UseModule(*hostPath, pal::ole32::CurrentApartment(), &entry);
  if (FAILED(hr)) return hr;
  return entry(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  return hr;
}

void CoFreeUnusedLibraries() {
  if (pal::ole32::CurrentApartmentKind() == ApartmentKind::kNone) return;
  pal::ole32::FreeUnusedModules(pal::ole32::CurrentApartment());
}
