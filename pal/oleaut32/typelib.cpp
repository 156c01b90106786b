// ITypeLib over a library loaded from a module's data.
#include "oleaut32/typelib.h"

#include "internal/loud.h"

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
  *kind = library_.types[index].kind == TypeKind::kCoClass ? TKIND_COCLASS : TKIND_DISPATCH;
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

HRESULT TypeLib::GetTypeComp(ITypeComp**) { internal::Unsupported("ITypeLib::GetTypeComp", "type compilers"); }

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

HRESULT TypeLib::IsName(LPOLESTR, ULONG, BOOL*) { internal::Unsupported("ITypeLib::IsName", "searching by name"); }

HRESULT TypeLib::FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) {
  internal::Unsupported("ITypeLib::FindName", "searching by name");
}

}  // namespace pal::oleaut32
