// ITypeLib, ITypeInfo and ITypeComp over a loaded library. Each type information object holds a
// reference on its library; each description it hands out (TYPEATTR, FUNCDESC, VARDESC,
// TLIBATTR) stays owned by the object that made it until its Release... call or the object's end.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "oleaut32/typelib_model.h"
#include "pal/oleauto.h"

namespace pal::oleaut32 {

/// Which form of a type an ITypeInfo shows: its library form (the dispatch form of a dual
/// interface), or the vtable form of a dual interface.
enum class View { kPrimary, kVtable };

class TypeLib final : public ITypeLib {
 public:
  explicit TypeLib(Library library) : library_(std::move(library)) {}

  const Library& library() const { return library_; }

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  UINT GetTypeInfoCount() override;
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override;
  HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override;
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override;
  HRESULT GetLibAttr(TLIBATTR** attr) override;
  HRESULT GetTypeComp(ITypeComp** comp) override;
  HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) override;
  /// Whether a type or a member (method or field) of the library has `name`, without regard to
  /// ASCII letter case; `name` then takes the library's spelling.
  HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
  /// Up to `*found` types and members named `name`, as IsName matches it, in library order: the
  /// type information of each (of the type that holds a member) and MEMBERID_NIL for a type or
  /// the member's identifier; `*found` becomes their number.
  HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* found) override;
  void ReleaseTLibAttr(TLIBATTR* attr) override;

 private:
  ~TypeLib() = default;

  struct NameMatch {
    size_t type;
    MEMBERID id;
    const std::u16string* spelling;
  };
  /// Up to `most` types and members named `name`, in library order.
  std::vector<NameMatch> Matches(std::u16string_view name, size_t most) const;

  std::atomic<ULONG> references_{1};
  const Library library_;
  std::mutex mutex_;
  std::map<TLIBATTR*, std::unique_ptr<TLIBATTR>> attributes_;
};

struct FuncDescBlock;
struct VarDescBlock;

class TypeInfo final : public ITypeInfo {
 public:
  TypeInfo(TypeLib* lib, size_t index, View view);

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetTypeAttr(TYPEATTR** attr) override;
  HRESULT GetTypeComp(ITypeComp** comp) override;
  HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override;
  HRESULT GetVarDesc(UINT index, VARDESC** desc) override;
  HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override;
  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override;
  HRESULT GetImplTypeFlags(UINT index, INT* flags) override;
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
  HRESULT Invoke(PVOID instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 UINT* argErr) override;
  HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) override;
  HRESULT GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dllName, BSTR* name, WORD* ordinal) override;
  HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override;
  HRESULT AddressOfMember(MEMBERID id, INVOKEKIND kind, PVOID* address) override;
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, PVOID* object) override;
  HRESULT GetMops(MEMBERID id, BSTR* mops) override;
  HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
  void ReleaseTypeAttr(TYPEATTR* attr) override;
  void ReleaseFuncDesc(FUNCDESC* desc) override;
  void ReleaseVarDesc(VARDESC* desc) override;

  const TypeEntry& entry() const { return entry_; }

 private:
  ~TypeInfo();

  /// The index of the method with `id`, or nothing.
  std::optional<size_t> MethodIndexOf(MEMBERID id) const;
  /// The index of the record field with `id`, or nothing.
  std::optional<size_t> FieldIndexOf(MEMBERID id) const;
  /// The name and the help string of member `id`, or null.
  const std::u16string* MemberName(MEMBERID id) const;
  /// The reference to type `index` of this type's own library.
  HREFTYPE OwnRef(size_t index, View view) const;
  /// True when this form shows a dispatch view: the [out, retval] parameter becomes the result.
  bool IsDispatchView() const;
  /// Parameters as this form shows them.
  size_t VisibleParamCount(const Method& method) const;

  std::atomic<ULONG> references_{1};
  TypeLib* const lib_;
  const size_t index_;
  const TypeEntry& entry_;
  const View view_;
  std::mutex mutex_;
  std::map<TYPEATTR*, std::unique_ptr<TYPEATTR>> attributes_;
  std::map<FUNCDESC*, std::unique_ptr<FuncDescBlock>> functions_;
  std::map<VARDESC*, std::unique_ptr<VarDescBlock>> variables_;
};

/// Binds names against one type and its bases (the members of each), or against a library (the
/// names of its types). Holds a reference on what it binds against.
class TypeComp final : public ITypeComp {
 public:
  explicit TypeComp(ITypeInfo* info);
  explicit TypeComp(TypeLib* lib);

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  /// For a type: the first method or field named `name` (without regard to ASCII letter case)
  /// of the type or of its bases, nearest first, with its description and the type information
  /// that holds it; TYPE_E_TYPEMISMATCH when only another kind of member than `flags` asks for
  /// has the name; DESCKIND_NONE when none has it. For a library: DESCKIND_NONE, since the
  /// libraries here have no modules, enumerations or application objects to bind into.
  HRESULT Bind(LPOLESTR name, ULONG hash, WORD flags, ITypeInfo** info, DESCKIND* kind, BINDPTR* bound) override;
  /// For a library: the type named `name`, without regard to ASCII letter case, and no further
  /// binder; null ones when there is none. For a type: null ones, as it holds no types.
  HRESULT BindType(LPOLESTR name, ULONG hash, ITypeInfo** info, ITypeComp** comp) override;

 private:
  ~TypeComp();

  std::atomic<ULONG> references_{1};
  ITypeInfo* const info_;
  TypeLib* const lib_;
};

/// stdole2, the standard automation library, as far as the types here refer to it (see
/// standard_library.cpp); it lives as long as the process.
TypeLib& StandardLibrary();
/// IDispatch, the base of every dual and dispatch interface, in the standard library.
constexpr size_t kStandardIDispatch = 4;
/// The references of a type information object to types of the standard library have this bit.
constexpr HREFTYPE kStandardLibraryRef = 0x80000000u;

/// Calls method `method` of a dual interface through vtable slot `slot` of `instance`, with the
/// arguments of `params` coerced to the declared parameter types.
HRESULT InvokeThroughVtable(const Method& method, unsigned slot, void* instance, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

/// A BSTR copy of `text`; null for empty text when `nullIfEmpty`.
BSTR AllocatedText(const std::u16string& text, bool nullIfEmpty);

}  // namespace pal::oleaut32
