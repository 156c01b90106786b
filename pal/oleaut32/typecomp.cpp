// ITypeComp: names bound to the members of a type and its bases, or to the types of a library.
#include <memory>

#include "kernel32/utf16.h"
#include "oleaut32/typelib.h"

namespace pal::oleaut32 {
namespace {

struct ReleaseTypeInfo {
  void operator()(ITypeInfo* info) const { info->Release(); }
};
/// A reference on a type description, released when it goes.
using TypeInfoRef = std::unique_ptr<ITypeInfo, ReleaseTypeInfo>;

std::u16string NameOf(ITypeInfo* info, MEMBERID id) {
  BSTR name = nullptr;
  UINT count = 0;
  if (FAILED(info->GetNames(id, &name, 1, &count)) || count == 0) return u"";
  std::u16string text(name, SysStringLen(name));
  SysFreeString(name);
  return text;
}

/// The interface that `info`'s interface derives from, or null.
TypeInfoRef BaseOf(ITypeInfo* info, const TYPEATTR& attr) {
  ITypeInfo* base = nullptr;
  HREFTYPE ref = 0;
  const bool isInterface = attr.typekind == TKIND_INTERFACE || attr.typekind == TKIND_DISPATCH;
  if (isInterface && attr.cImplTypes > 0 && SUCCEEDED(info->GetRefTypeOfImplType(0, &ref))) info->GetRefTypeInfo(ref, &base);
  return TypeInfoRef(base);
}

struct Binding {
  DESCKIND kind = DESCKIND_NONE;
  BINDPTR bound{};
  bool otherKind = false;  // a member has the name but is not of a kind asked for
};

/// `name` among the methods and fields of `info` itself.
Binding BindMember(ITypeInfo* info, const TYPEATTR& attr, std::u16string_view name, WORD flags) {
  Binding result;
  for (UINT i = 0; i < attr.cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc))) continue;
    if (internal::EqualIgnoringAsciiCase(NameOf(info, desc->memid), name)) {
      if (flags == 0 || (desc->invkind & flags) != 0) {
        result.kind = DESCKIND_FUNCDESC;
        result.bound.lpfuncdesc = desc;
        return result;
      }
      result.otherKind = true;
    }
    info->ReleaseFuncDesc(desc);
  }
  for (UINT i = 0; i < attr.cVars; ++i) {
    VARDESC* desc = nullptr;
    if (FAILED(info->GetVarDesc(i, &desc))) continue;
    if (internal::EqualIgnoringAsciiCase(NameOf(info, desc->memid), name)) {
      result.kind = DESCKIND_VARDESC;
      result.bound.lpvardesc = desc;
      return result;
    }
    info->ReleaseVarDesc(desc);
  }
  return result;
}

}  // namespace

TypeComp::TypeComp(ITypeInfo* info) : info_(info), lib_(nullptr) { info_->AddRef(); }

TypeComp::TypeComp(TypeLib* lib) : info_(nullptr), lib_(lib) { lib_->AddRef(); }

TypeComp::~TypeComp() {
  if (info_ != nullptr) info_->Release();
  if (lib_ != nullptr) lib_->Release();
}

HRESULT TypeComp::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ITypeComp)) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  *object = static_cast<ITypeComp*>(this);
  return S_OK;
}

ULONG TypeComp::AddRef() { return ++references_; }

ULONG TypeComp::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT TypeComp::Bind(LPOLESTR name, ULONG, WORD flags, ITypeInfo** info, DESCKIND* kind, BINDPTR* bound) {
  if (name == nullptr || info == nullptr || kind == nullptr || bound == nullptr) return E_INVALIDARG;
  *info = nullptr;
  *kind = DESCKIND_NONE;
  bound->lpfuncdesc = nullptr;
  bool otherKind = false;
  if (info_ != nullptr) info_->AddRef();
  TypeInfoRef current(info_);
  while (current != nullptr) {
    TYPEATTR* attr = nullptr;
    if (FAILED(current->GetTypeAttr(&attr))) break;
    const Binding found = BindMember(current.get(), *attr, internal::ViewOf(name), flags);
    TypeInfoRef base = BaseOf(current.get(), *attr);
    current->ReleaseTypeAttr(attr);
    if (found.kind != DESCKIND_NONE) {
      *kind = found.kind;
      *bound = found.bound;
      *info = current.release();
      return S_OK;
    }
    otherKind = otherKind || found.otherKind;
    current = std::move(base);
  }
  return otherKind ? TYPE_E_TYPEMISMATCH : S_OK;
}

HRESULT TypeComp::BindType(LPOLESTR name, ULONG, ITypeInfo** info, ITypeComp** comp) {
  if (name == nullptr || info == nullptr || comp == nullptr) return E_INVALIDARG;
  *info = nullptr;
  *comp = nullptr;
  if (lib_ == nullptr) return S_OK;
  const std::vector<TypeEntry>& types = lib_->library().types;
  for (size_t i = 0; i < types.size(); ++i) {
    if (!internal::EqualIgnoringAsciiCase(types[i].name, internal::ViewOf(name))) continue;
    *info = new TypeInfo(lib_, i, View::kPrimary);
    break;
  }
  return S_OK;
}

}  // namespace pal::oleaut32
