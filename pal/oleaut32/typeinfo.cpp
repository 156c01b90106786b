// ITypeInfo over one type of a loaded library, in its library form or its vtable form.
#include <deque>
#include <vector>

#include "internal/loud.h"
#include "kernel32/utf16.h"
#include "oleaut32/typelib.h"

namespace pal::oleaut32 {

/// A FUNCDESC with the storage its pointers lead into.
struct FuncDescBlock {
  FUNCDESC desc{};
  std::vector<ELEMDESC> params;
  std::deque<TYPEDESC> pointees;  // a deque keeps them where they are as it grows
};

/// A VARDESC with the storage its pointers lead into.
struct VarDescBlock {
  VARDESC desc{};
  std::deque<TYPEDESC> pointees;
  ARRAYDESC array{};
};

namespace {

/// A type of a library is referred to by its index; its vtable form, for a dual interface, by
/// the next number.
HREFTYPE RefOf(size_t index, View view) { return static_cast<HREFTYPE>(index << 1) | (view == View::kVtable ? 1u : 0u); }

/// IDispatch, as every dispatch and dual interface refers to its base.
constexpr HREFTYPE kIDispatchRef = kStandardLibraryRef | (kStandardIDispatch << 1);

/// Fills `desc` for type `type` (VT_BYREF for one pointer) under `morePointers` further ones,
/// `userRef` naming the type that VT_USERDEFINED stands for; what it points at goes to `pointees`.
void DescribeType(VARTYPE type, unsigned morePointers, HREFTYPE userRef, TYPEDESC& desc, std::deque<TYPEDESC>& pointees) {
  TYPEDESC* at = &desc;
  for (unsigned pointers = morePointers + ((type & VT_BYREF) != 0 ? 1 : 0); pointers > 0; --pointers) {
    at->vt = VT_PTR;
    at->lptdesc = &pointees.emplace_back();
    at = at->lptdesc;
  }
  at->vt = type & ~VT_BYREF;
  if (at->vt == VT_USERDEFINED) {
    at->hreftype = userRef;
  } else {
    at->lptdesc = nullptr;
  }
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

bool TypeInfo::IsDispatchView() const {
  return view_ == View::kPrimary && (entry_.kind == Kind::kDual || entry_.kind == Kind::kDispatch);
}

HREFTYPE TypeInfo::OwnRef(size_t index, View view) const {
  return RefOf(index, view) | (lib_ == &StandardLibrary() ? kStandardLibraryRef : 0);
}

size_t TypeInfo::VisibleParamCount(const Method& method) const {
  return IsDispatchView() ? method.ArgumentCount() : method.params.size();
}

std::optional<size_t> TypeInfo::MethodIndexOf(MEMBERID id) const {
  for (size_t i = 0; i < entry_.methods.size(); ++i) {
    if (entry_.methods[i].id == id) return i;
  }
  return std::nullopt;
}

std::optional<size_t> TypeInfo::FieldIndexOf(MEMBERID id) const {
  if (id < kFirstFieldId || static_cast<size_t>(id - kFirstFieldId) >= entry_.fields.size()) return std::nullopt;
  return static_cast<size_t>(id - kFirstFieldId);
}

const std::u16string* TypeInfo::MemberName(MEMBERID id) const {
  if (const std::optional<size_t> method = MethodIndexOf(id)) return &entry_.methods[*method].name;
  if (const std::optional<size_t> field = FieldIndexOf(id)) return &entry_.fields[*field].name;
  return nullptr;
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
  switch (entry_.kind) {
    case Kind::kCoClass:
      a.typekind = TKIND_COCLASS;
      a.cImplTypes = static_cast<WORD>(entry_.implemented.size());
      break;
    case Kind::kRecord:
      a.typekind = TKIND_RECORD;
      a.cVars = static_cast<WORD>(entry_.fields.size());
      a.cbSizeInstance = entry_.size;
      a.cbAlignment = entry_.alignment;
      break;
    case Kind::kInterface:
      a.typekind = TKIND_INTERFACE;
      a.cFuncs = static_cast<WORD>(entry_.methods.size());
      a.cImplTypes = entry_.base ? 1 : 0;
      a.cbSizeVft = static_cast<WORD>((InheritedSlots(lib_->library(), entry_) + entry_.methods.size()) * sizeof(void*));
      break;
    case Kind::kDual:
    case Kind::kDispatch: {
      a.typekind = view_ == View::kVtable ? TKIND_INTERFACE : TKIND_DISPATCH;
      a.cFuncs = static_cast<WORD>(entry_.methods.size());
      a.cImplTypes = 1;
      const size_t ownSlots = view_ == View::kVtable ? entry_.methods.size() : 0;
      a.cbSizeVft = static_cast<WORD>((kDispatchSlots + ownSlots) * sizeof(void*));
      if (view_ == View::kPrimary) a.wTypeFlags |= TYPEFLAG_FDISPATCHABLE;
      if (entry_.kind == Kind::kDual) a.wTypeFlags |= TYPEFLAG_FDUAL;
      break;
    }
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
  for (size_t i = 0; i < visible; ++i) {
    const Param& declared = method.params[i];
    ELEMDESC& param = block->params[i];
    DescribeType(declared.type, declared.morePointers, OwnRef(declared.userType, View::kPrimary), param.tdesc,
                 block->pointees);
    param.paramdesc.pparamdescex = nullptr;
    param.paramdesc.wParamFlags = declared.flags;
  }
  FUNCDESC& d = block->desc;
  d.memid = method.id;
  d.lprgelemdescParam = visible == 0 ? nullptr : block->params.data();
  d.invkind = INVOKE_FUNC;
  d.callconv = CC_STDCALL;
  d.cParams = static_cast<SHORT>(visible);
  d.oVft = static_cast<SHORT>((InheritedSlots(lib_->library(), entry_) + index) * sizeof(void*));
  d.wFuncFlags = method.funcFlags;
  if (!IsDispatchView()) {
    d.funckind = FUNC_PUREVIRTUAL;
    d.elemdescFunc.tdesc.vt = method.result;
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

HRESULT TypeInfo::GetVarDesc(UINT index, VARDESC** desc) {
  if (desc == nullptr) return E_INVALIDARG;
  if (index >= entry_.fields.size()) return TYPE_E_ELEMENTNOTFOUND;
  const Field& field = entry_.fields[index];
  auto block = std::make_unique<VarDescBlock>();
  VARDESC& d = block->desc;
  d.memid = kFirstFieldId + static_cast<MEMBERID>(index);
  d.oInst = field.offset;
  d.varkind = VAR_PERINSTANCE;
  TYPEDESC* element = &d.elemdescVar.tdesc;
  if (field.elements > 0) {
    d.elemdescVar.tdesc.vt = VT_CARRAY;
    d.elemdescVar.tdesc.lpadesc = &block->array;
    block->array.cDims = 1;
    block->array.rgbounds[0] = SAFEARRAYBOUND{field.elements, 0};
    element = &block->array.tdescElem;
  }
  DescribeType(field.type, field.morePointers, OwnRef(field.userType, View::kPrimary), *element, block->pointees);
  *desc = &block->desc;
  std::lock_guard lock(mutex_);
  variables_.emplace(&block->desc, std::move(block));
  return S_OK;
}

void TypeInfo::ReleaseVarDesc(VARDESC* desc) {
  std::lock_guard lock(mutex_);
  variables_.erase(desc);
}

HRESULT TypeInfo::GetTypeComp(ITypeComp** comp) {
  if (comp == nullptr) return E_INVALIDARG;
  *comp = new TypeComp(this);
  return S_OK;
}

HRESULT TypeInfo::GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) {
  if (names == nullptr || count == nullptr) return E_INVALIDARG;
  if (const std::optional<size_t> field = FieldIndexOf(id)) {
    *count = maxNames > 0 ? 1 : 0;
    if (maxNames > 0) names[0] = AllocatedText(entry_.fields[*field].name, false);
    return S_OK;
  }
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
  switch (entry_.kind) {
    case Kind::kCoClass:
      if (index >= entry_.implemented.size()) return TYPE_E_ELEMENTNOTFOUND;
      *ref = OwnRef(entry_.implemented[index].type, View::kPrimary);
      return S_OK;
    case Kind::kDual:
    case Kind::kDispatch:
      // -1 asks a dual interface's dispatch form for its vtable form.
      if (index == static_cast<UINT>(-1) && entry_.kind == Kind::kDual && view_ == View::kPrimary) {
        *ref = OwnRef(index_, View::kVtable);
        return S_OK;
      }
      if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
      *ref = kIDispatchRef;
      return S_OK;
    case Kind::kInterface:
      if (index != 0 || !entry_.base) return TYPE_E_ELEMENTNOTFOUND;
      *ref = OwnRef(*entry_.base, View::kPrimary);
      return S_OK;
    case Kind::kRecord:
      break;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfo::GetImplTypeFlags(UINT index, INT* flags) {
  if (flags == nullptr) return E_INVALIDARG;
  if (entry_.kind == Kind::kCoClass) {
    if (index >= entry_.implemented.size()) return TYPE_E_ELEMENTNOTFOUND;
    *flags = entry_.implemented[index].flags;
    return S_OK;
  }
  HREFTYPE base = 0;
  if (index != 0 || FAILED(GetRefTypeOfImplType(0, &base))) return TYPE_E_ELEMENTNOTFOUND;
  *flags = 0;
  return S_OK;
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  TypeLib* const lib = (ref & kStandardLibraryRef) != 0 ? &StandardLibrary() : lib_;
  const size_t index = (ref & ~kStandardLibraryRef) >> 1;
  if (index >= lib->library().types.size()) return TYPE_E_ELEMENTNOTFOUND;
  const View view = (ref & 1) != 0 ? View::kVtable : View::kPrimary;
  if (view == View::kVtable && lib->library().types[index].kind != Kind::kDual) return TYPE_E_ELEMENTNOTFOUND;
  *info = new TypeInfo(lib, index, view);
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
  // Windows calls a dispatch-only interface's members through the object's own IDispatch, and a
  // plain interface's through its vtable: only a dual interface's here.
  if (entry_.kind != Kind::kDual) return E_NOTIMPL;
  return InvokeThroughVtable(entry_.methods[*index], static_cast<unsigned>(kDispatchSlots + *index), instance, flags,
                             params, result, excepInfo, argErr);
}

HRESULT TypeInfo::GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) {
  static const std::u16string kNoHelp;
  const std::u16string* itsName = &entry_.name;
  const std::u16string* itsHelp = &entry_.help;
  if (id != MEMBERID_NIL) {
    itsName = MemberName(id);
    if (itsName == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    const std::optional<size_t> method = MethodIndexOf(id);
    itsHelp = method ? &entry_.methods[*method].help : &kNoHelp;
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
  if (entry_.kind != Kind::kCoClass) return TYPE_E_WRONGTYPEKIND;
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
