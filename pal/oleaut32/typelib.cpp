// ITypeLib over a library loaded from a module's data.
#include "oleaut32/typelib.h"

#include <algorithm>

#include "kernel32/utf16.h"

namespace pal::oleaut32 {

BSTR AllocatedText(const std::u16string& text, bool nullIfEmpty) {
  if (text.empty() && nullIfEmpty) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

HRESULT TypeLib::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ITypeLib)) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  *object = static_cast<ITypeLib*>(this);
  return S_OK;
}

ULONG TypeLib::AddRef() { return ++references_; }

ULONG TypeLib::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

UINT TypeLib::GetTypeInfoCount() { return static_cast<UINT>(library_.types.size()); }

HRESULT TypeLib::GetTypeInfo(UINT index, ITypeInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  if (index >= library_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *info = new TypeInfo(this, index, View::kPrimary);
  return S_OK;
}

HRESULT TypeLib::GetTypeInfoType(UINT index, TYPEKIND* kind) {
  if (kind == nullptr) return E_INVALIDARG;
  if (index >= library_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
  switch (library_.types[index].kind) {
    case Kind::kCoClass: *kind = TKIND_COCLASS; break;
    case Kind::kInterface: *kind = TKIND_INTERFACE; break;
    case Kind::kRecord: *kind = TKIND_RECORD; break;
    case Kind::kDual:
    case Kind::kDispatch: *kind = TKIND_DISPATCH; break;
  }
  return S_OK;
}

HRESULT TypeLib::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  for (size_t i = 0; i < library_.types.size(); ++i) {
    if (IsEqualGUID(library_.types[i].guid, guid)) return GetTypeInfo(static_cast<UINT>(i), info);
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLib::GetLibAttr(TLIBATTR** attr) {
  if (attr == nullptr) return E_INVALIDARG;
  auto made = std::make_unique<TLIBATTR>(
      TLIBATTR{library_.guid, library_.lcid, SYS_WIN32, library_.major, library_.minor, library_.flags});
  *attr = made.get();
  std::lock_guard lock(mutex_);
  attributes_.emplace(made.get(), std::move(made));
  return S_OK;
}

void TypeLib::ReleaseTLibAttr(TLIBATTR* attr) {
  std::lock_guard lock(mutex_);
  attributes_.erase(attr);
}

HRESULT TypeLib::GetTypeComp(ITypeComp** comp) {
  if (comp == nullptr) return E_INVALIDARG;
  *comp = new TypeComp(this);
  return S_OK;
}

HRESULT TypeLib::GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) {
  if (index < -1 || index >= static_cast<INT>(library_.types.size())) return TYPE_E_ELEMENTNOTFOUND;
  const std::u16string& itsName = index == -1 ? library_.name : library_.types[index].name;
  const std::u16string& itsHelp = index == -1 ? library_.help : library_.types[index].help;
  if (name != nullptr) *name = AllocatedText(itsName, false);
  if (docString != nullptr) *docString = AllocatedText(itsHelp, true);
  if (helpContext != nullptr) *helpContext = 0;
  if (helpFile != nullptr) *helpFile = nullptr;
  return S_OK;
}

std::vector<TypeLib::NameMatch> TypeLib::Matches(std::u16string_view name, size_t most) const {
  std::vector<NameMatch> found;
  for (size_t type = 0; type < library_.types.size() && found.size() < most; ++type) {
    const TypeEntry& entry = library_.types[type];
    if (internal::EqualIgnoringAsciiCase(entry.name, name)) found.push_back({type, MEMBERID_NIL, &entry.name});
    for (const Method& method : entry.methods) {
      if (found.size() < most && internal::EqualIgnoringAsciiCase(method.name, name))
        found.push_back({type, method.id, &method.name});
    }
    for (size_t field = 0; field < entry.fields.size() && found.size() < most; ++field) {
      if (internal::EqualIgnoringAsciiCase(entry.fields[field].name, name))
        found.push_back({type, kFirstFieldId + static_cast<MEMBERID>(field), &entry.fields[field].name});
    }
  }
  return found;
}

HRESULT TypeLib::IsName(LPOLESTR name, ULONG, BOOL* found) {
  if (name == nullptr || found == nullptr) return E_INVALIDARG;
  const std::vector<NameMatch> matches = Matches(internal::ViewOf(name), 1);
  *found = matches.empty() ? FALSE : TRUE;
  // The caller's text takes the library's spelling; the lengths are the same.
  if (!matches.empty()) std::copy(matches[0].spelling->begin(), matches[0].spelling->end(), name);
  return S_OK;
}

HRESULT TypeLib::FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids, USHORT* found) {
  if (name == nullptr || infos == nullptr || ids == nullptr || found == nullptr) return E_INVALIDARG;
  const std::vector<NameMatch> matches = Matches(internal::ViewOf(name), *found);
  for (size_t i = 0; i < matches.size(); ++i) {
    infos[i] = new TypeInfo(this, matches[i].type, View::kPrimary);
    ids[i] = matches[i].id;
  }
  if (!matches.empty()) std::copy(matches[0].spelling->begin(), matches[0].spelling->end(), name);
  *found = static_cast<USHORT>(matches.size());
  return S_OK;
}

}  // namespace pal::oleaut32
