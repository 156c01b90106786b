// ITypeInfo over one type of a loaded library, in its library form or its vtable form.
#include <vector>

#include "internal/loud.h"
#include "kernel32/utf16.h"
#include "oleaut32/typelib.h"

namespace pal::oleaut32 {

/// A FUNCDESC with the storage its pointers lead into.
struct FuncDescBlock {
  FUNCDESC desc{};
  std::vector<ELEMDESC> params;
  std::vector<TYPEDESC> pointees;  // one per parameter and one for the result, never reallocated
};

namespace {

/// IDispatch of the standard library, the base of every dispatch and dual interface.
constexpr HREFTYPE kIDispatchRef = 0x80000000u;

HREFTYPE RefOf(size_t index, View view) { return static_cast<HREFTYPE>(index << 1) | (view == View::kVtable ? 1u : 0u); }

/// Fills `desc` for a declared parameter type, with the pointed-at type kept in `pointee`.
void DescribeType(VARTYPE type, TYPEDESC& desc, TYPEDESC& pointee) {
  if ((type & VT_BYREF) == 0) {
    desc.vt = type;
    desc.lptdesc = nullptr;
    return;
  }
  pointee.vt = type & ~VT_BYREF;
  pointee.lptdesc = nullptr;
  desc.vt = VT_PTR;
  desc.lptdesc = &pointee;
}

}  // namespace

TypeInfo::TypeInfo(TypeLib* lib, size_t index, View view)
    : lib_(lib), index_(index), entry_(lib->library().types[index]), view_(view) {
  lib_->AddRef();
}

TypeInfo::~TypeInfo() { lib_->Release(); }

HRESULT TypeInfo::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ITypeInfo)) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  *object = static_cast<ITypeInfo*>(this);
  return S_OK;
}

ULONG TypeInfo::AddRef() { return ++references_; }

ULONG TypeInfo::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

bool TypeInfo::IsDispatchView() const { return view_ == View::kPrimary && entry_.kind != TypeKind::kCoClass; }

size_t TypeInfo::VisibleParamCount(const Method& method) const {
  return IsDispatchView() ? method.ArgumentCount() : method.params.size();
}

std::optional<size_t> TypeInfo::MethodIndexOf(MEMBERID id) const {
  for (size_t i = 0; i < entry_.methods.size(); ++i) {
    if (entry_.methods[i].id == id) return i;
  }
  return std::nullopt;
}

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** attr) {
  if (attr == nullptr) return E_INVALIDARG;
  auto made = std::make_unique<TYPEATTR>();
  TYPEATTR& a = *made;
  a.guid = entry_.guid;
  a.lcid = lib_->library().lcid;
  a.memidConstructor = MEMBERID_NIL;
  a.memidDestructor = MEMBERID_NIL;
  a.cbSizeInstance = sizeof(void*);
  a.cbAlignment = alignof(void*);
  a.wTypeFlags = entry_.flags;
  a.tdescAlias.vt = VT_EMPTY;
  if (entry_.kind == TypeKind::kCoClass) {
    a.typekind = TKIND_COCLASS;
    a.cImplTypes = static_cast<WORD>(entry_.implemented.size());
  } else {
    a.typekind = view_ == View::kVtable ? TKIND_INTERFACE : TKIND_DISPATCH;
    a.cFuncs = static_cast<WORD>(entry_.methods.size());
    a.cImplTypes = 1;
    const size_t ownSlots = view_ == View::kVtable ? entry_.methods.size() : 0;
    a.cbSizeVft = static_cast<WORD>((kDispatchSlots + ownSlots) * sizeof(void*));
    if (view_ == View::kPrimary) a.wTypeFlags |= TYPEFLAG_FDISPATCHABLE;
    if (entry_.kind == TypeKind::kDualInterface) a.wTypeFlags |= TYPEFLAG_FDUAL;
  }
  *attr = made.get();
  std::lock_guard lock(mutex_);
  attributes_.emplace(made.get(), std::move(made));
  return S_OK;
}

void TypeInfo::ReleaseTypeAttr(TYPEATTR* attr) {
  std::lock_guard lock(mutex_);
  attributes_.erase(attr);
}

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** desc) {
  if (desc == nullptr) return E_INVALIDARG;
  if (index >= entry_.methods.size()) return TYPE_E_ELEMENTNOTFOUND;
  const Method& method = entry_.methods[index];
  const size_t visible = VisibleParamCount(method);
  auto block = std::make_unique<FuncDescBlock>();
  block->params.resize(visible);
  block->pointees.resize(method.params.size() + 1);
  for (size_t i = 0; i < visible; ++i) {
    ELEMDESC& param = block->params[i];
    DescribeType(method.params[i].type, param.tdesc, block->pointees[i]);
    param.paramdesc.pparamdescex = nullptr;
    param.paramdesc.wParamFlags = method.params[i].flags;
  }
  FUNCDESC& d = block->desc;
  d.memid = method.id;
  d.lprgelemdescParam = visible == 0 ? nullptr : block->params.data();
  d.invkind = INVOKE_FUNC;
  d.callconv = CC_STDCALL;
  d.cParams = static_cast<SHORT>(visible);
  d.oVft = static_cast<SHORT>((kDispatchSlots + index) * sizeof(void*));
  if (!IsDispatchView()) {
    d.funckind = FUNC_PUREVIRTUAL;
    d.elemdescFunc.tdesc.vt = VT_HRESULT;
  } else {
    d.funckind = FUNC_DISPATCH;
    if (method.HasRetval()) {
      d.elemdescFunc.tdesc.vt = method.params.back().type & ~VT_BYREF;
    } else {
      d.elemdescFunc.tdesc.vt = VT_VOID;
    }
  }
  *desc = &block->desc;
  std::lock_guard lock(mutex_);
  functions_.emplace(&block->desc, std::move(block));
  return S_OK;
}

void TypeInfo::ReleaseFuncDesc(FUNCDESC* desc) {
  std::lock_guard lock(mutex_);
  functions_.erase(desc);
}

HRESULT TypeInfo::GetVarDesc(UINT, VARDESC**) { return TYPE_E_ELEMENTNOTFOUND; }

void TypeInfo::ReleaseVarDesc(VARDESC*) {}

HRESULT TypeInfo::GetTypeComp(ITypeComp**) { internal::Unsupported("ITypeInfo::GetTypeComp", "type compilers"); }

HRESULT TypeInfo::GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) {
  if (names == nullptr || count == nullptr) return E_INVALIDARG;
  const std::optional<size_t> index = MethodIndexOf(id);
  if (!index) return TYPE_E_ELEMENTNOTFOUND;
  const Method& method = entry_.methods[*index];
  UINT written = 0;
  if (maxNames > 0) names[written++] = AllocatedText(method.name, false);
  for (size_t i = 0; i < VisibleParamCount(method) && written < maxNames; ++i)
    names[written++] = AllocatedText(method.params[i].name, false);
  *count = written;
  return S_OK;
}

HRESULT TypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* ref) {
  if (ref == nullptr) return E_INVALIDARG;
  if (entry_.kind == TypeKind::kCoClass) {
    if (index >= entry_.implemented.size()) return TYPE_E_ELEMENTNOTFOUND;
    *ref = RefOf(entry_.implemented[index].type, View::kPrimary);
    return S_OK;
  }
  // -1 asks a dual interface's dispatch form for its vtable form.
  if (index == static_cast<UINT>(-1)) {
    if (entry_.kind != TypeKind::kDualInterface || view_ != View::kPrimary) return TYPE_E_ELEMENTNOTFOUND;
    *ref = RefOf(index_, View::kVtable);
    return S_OK;
  }
  if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
  *ref = kIDispatchRef;
  return S_OK;
}

HRESULT TypeInfo::GetImplTypeFlags(UINT index, INT* flags) {
  if (flags == nullptr) return E_INVALIDARG;
  if (entry_.kind == TypeKind::kCoClass) {
    if (index >= entry_.implemented.size()) return TYPE_E_ELEMENTNOTFOUND;
    *flags = entry_.implemented[index].flags;
    return S_OK;
  }
  if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
  *flags = 0;
  return S_OK;
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  if (ref == kIDispatchRef) internal::Unsupported("ITypeInfo::GetRefTypeInfo", "the type information of IDispatch");
  const size_t index = ref >> 1;
  if (index >= lib_->library().types.size()) return TYPE_E_ELEMENTNOTFOUND;
  const View view = (ref & 1) != 0 ? View::kVtable : View::kPrimary;
  if (view == View::kVtable && lib_->library().types[index].kind != TypeKind::kDualInterface) return TYPE_E_ELEMENTNOTFOUND;
  *info = new TypeInfo(lib_, index, view);
  return S_OK;
}

HRESULT TypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const Method* method = nullptr;
  for (const Method& candidate : entry_.methods) {
    if (internal::EqualIgnoringAsciiCase(candidate.name, internal::ViewOf(names[0]))) method = &candidate;
  }
  if (method == nullptr) return DISP_E_UNKNOWNNAME;
  ids[0] = method->id;
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    for (size_t p = 0; p < VisibleParamCount(*method); ++p) {
      if (internal::EqualIgnoringAsciiCase(method->params[p].name, internal::ViewOf(names[i]))) ids[i] = static_cast<MEMBERID>(p);
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT TypeInfo::Invoke(PVOID instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, UINT* argErr) {
  if (instance == nullptr || params == nullptr) return E_INVALIDARG;
  const std::optional<size_t> index = MethodIndexOf(id);
  if (!index || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  if (entry_.kind != TypeKind::kDualInterface)
    internal::Unsupported("ITypeInfo::Invoke", "calling a dispatch-only interface");
  return InvokeThroughVtable(entry_.methods[*index], static_cast<unsigned>(kDispatchSlots + *index), instance, flags,
                             params, result, excepInfo, argErr);
}

HRESULT TypeInfo::GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) {
  const std::u16string* itsName = &entry_.name;
  const std::u16string* itsHelp = &entry_.help;
  if (id != MEMBERID_NIL) {
    const std::optional<size_t> index = MethodIndexOf(id);
    if (!index) return TYPE_E_ELEMENTNOTFOUND;
    itsName = &entry_.methods[*index].name;
    itsHelp = &entry_.methods[*index].help;
  }
  if (name != nullptr) *name = AllocatedText(*itsName, false);
  if (docString != nullptr) *docString = AllocatedText(*itsHelp, true);
  if (helpContext != nullptr) *helpContext = 0;
  if (helpFile != nullptr) *helpFile = nullptr;
  return S_OK;
}

HRESULT TypeInfo::GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) { return TYPE_E_BADMODULEKIND; }

HRESULT TypeInfo::AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) { return TYPE_E_BADMODULEKIND; }

HRESULT TypeInfo::CreateInstance(IUnknown* outer, REFIID riid, PVOID* object) {
  if (object == nullptr) return E_INVALIDARG;
  *object = nullptr;
  if (entry_.kind != TypeKind::kCoClass) return TYPE_E_WRONGTYPEKIND;
  return CoCreateInstance(entry_.guid, outer, CLSCTX_INPROC_SERVER, riid, object);
}

HRESULT TypeInfo::GetMops(MEMBERID, BSTR* mops) {
  if (mops == nullptr) return E_INVALIDARG;
  *mops = nullptr;
  return S_OK;
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
  if (lib != nullptr) {
    lib_->AddRef();
    *lib = lib_;
  }
  if (index != nullptr) *index = static_cast<UINT>(index_);
  return S_OK;
}

}  // namespace pal::oleaut32
