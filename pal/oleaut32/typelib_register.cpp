// Type library registration: HKCR\TypeLib\{libid}\major.minor and HKCR\Interface\{iid}.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "advapi32/registry_strings.h"
#include "internal/loud.h"
#include "kernel32/utf16.h"
#include "pal/oleauto.h"

namespace {

using pal::internal::WriteRegistryString;

// The proxies of automation interfaces: dual and [oleautomation] ones, and dispatch-only ones.
constexpr CLSID CLSID_PSOAInterface = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr CLSID CLSID_PSDispatch = {0x00020420, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

std::u16string Format(const char* format, unsigned a, unsigned b = 0) {
  char text[32];
  std::snprintf(text, sizeof text, format, a, b);
  return pal::internal::Utf16Of(text);
}

/// Takes a BSTR out into a string and frees it.
std::u16string Taken(BSTR text) {
  std::u16string out(text == nullptr ? u"" : std::u16string_view(text, SysStringLen(text)));
  SysFreeString(text);
  return out;
}

struct AutomationInterface {
  GUID iid;
  std::u16string name;
  bool dispatchOnly;
};

/// The interfaces of `lib` that automation reaches: dual, [oleautomation] and dispatch-only.
std::vector<AutomationInterface> AutomationInterfacesOf(ITypeLib* lib) {
  std::vector<AutomationInterface> found;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attr = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
      const bool dual = (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
      const bool automation = (attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) != 0;
      if (attr->typekind == TKIND_DISPATCH || (attr->typekind == TKIND_INTERFACE && automation)) {
        BSTR name = nullptr;
        info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
        found.push_back({attr->guid, Taken(name), attr->typekind == TKIND_DISPATCH && !dual});
      }
      info->ReleaseTypeAttr(attr);
    }
    info->Release();
  }
  return found;
}

LSTATUS RegisterInterface(const AutomationInterface& entry, const std::u16string& libId, const std::u16string& version) {
  const std::u16string key = u"Interface\\" + GuidText(entry.iid);
  const std::u16string proxy = GuidText(entry.dispatchOnly ? CLSID_PSDispatch : CLSID_PSOAInterface);
  for (LSTATUS status : {WriteRegistryString(HKEY_CLASSES_ROOT, key, nullptr, entry.name),
                         WriteRegistryString(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid", nullptr, proxy),
                         WriteRegistryString(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid32", nullptr, proxy),
                         WriteRegistryString(HKEY_CLASSES_ROOT, key + u"\\TypeLib", nullptr, libId),
                         WriteRegistryString(HKEY_CLASSES_ROOT, key + u"\\TypeLib", u"Version", version)}) {
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

bool HasSubkeys(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  WCHAR name[64];
  bool any = false;
  for (DWORD index = 0;; ++index) {
    DWORD length = 64;
    const LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    const std::u16string_view subkey(name);
    // FLAGS and HELPDIR describe a version; only locale keys are registrations.
    if (status != ERROR_SUCCESS || (subkey != u"FLAGS" && subkey != u"HELPDIR")) {
      any = true;
      break;
    }
  }
  RegCloseKey(key);
  return any;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
  if (lib == nullptr || fullPath == nullptr) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const TLIBATTR libAttr = *attr;
  lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  BSTR doc = nullptr;
  lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  const std::u16string libName = Taken(name);
  const std::u16string libDoc = Taken(doc);

  const std::u16string libId = GuidText(libAttr.guid);
  const std::u16string version = Format("%x.%x", libAttr.wMajorVerNum, libAttr.wMinorVerNum);
  const std::u16string versionKey = u"TypeLib\\" + libId + u"\\" + version;
  for (LSTATUS status :
       {WriteRegistryString(HKEY_CLASSES_ROOT, versionKey, nullptr, libDoc.empty() ? libName : libDoc),
        WriteRegistryString(HKEY_CLASSES_ROOT, versionKey + u"\\FLAGS", nullptr, Format("%u", libAttr.wLibFlags)),
        WriteRegistryString(HKEY_CLASSES_ROOT, versionKey + u"\\HELPDIR", nullptr, std::u16string(pal::internal::ViewOf(helpDir))),
        WriteRegistryString(HKEY_CLASSES_ROOT, versionKey + u"\\" + Format("%x", libAttr.lcid) + u"\\win32", nullptr, fullPath)}) {
    if (status != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  }
  for (const AutomationInterface& entry : AutomationInterfacesOf(lib)) {
    if (RegisterInterface(entry, libId, version) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  }
  return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID guid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  if (syskind != SYS_WIN32) pal::internal::Unsupported("UnRegisterTypeLib", "a system kind other than SYS_WIN32");
  const std::u16string libId = GuidText(guid);
  const std::u16string libKey = u"TypeLib\\" + libId;
  const std::u16string versionKey = libKey + u"\\" + Format("%x.%x", major, minor);
  const std::u16string localeKey = versionKey + u"\\" + Format("%x", lcid);
  const std::optional<std::u16string> path = pal::internal::ReadRegistryString(HKEY_CLASSES_ROOT, localeKey + u"\\win32", nullptr);
  if (!path) return TYPE_E_REGISTRYACCESS;

  // The library names its interfaces; those still registered as this library's go with it.
  ITypeLib* lib = nullptr;
  if (SUCCEEDED(LoadTypeLib(path->c_str(), &lib))) {
    for (const AutomationInterface& entry : AutomationInterfacesOf(lib)) {
      const std::u16string key = u"Interface\\" + GuidText(entry.iid);
      const std::optional<std::u16string> owner = pal::internal::ReadRegistryString(HKEY_CLASSES_ROOT, key + u"\\TypeLib", nullptr);
      if (owner && pal::internal::EqualIgnoringAsciiCase(*owner, libId)) RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    }
    lib->Release();
  }
  if (RegDeleteTreeW(HKEY_CLASSES_ROOT, localeKey.c_str()) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  if (!HasSubkeys(versionKey)) RegDeleteTreeW(HKEY_CLASSES_ROOT, versionKey.c_str());
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, libKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    WCHAR name[64];
    DWORD length = 64;
    const bool empty = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS;
    RegCloseKey(key);
    if (empty) RegDeleteKeyW(HKEY_CLASSES_ROOT, libKey.c_str());
  }
  return S_OK;
}
