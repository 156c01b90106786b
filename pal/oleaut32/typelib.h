// ITypeLib and ITypeInfo over a loaded library. Each type information object holds a reference
// on its library; each description it hands out (TYPEATTR, FUNCDESC, TLIBATTR) stays owned by
// the object that made it until its Release... call or the object's end.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

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
  HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
  HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* found) override;
  void ReleaseTLibAttr(TLIBATTR* attr) override;

 private:
  ~TypeLib() = default;

  std::atomic<ULONG> references_{1};
  const Library library_;
  std::mutex mutex_;
  std::map<TLIBATTR*, std::unique_ptr<TLIBATTR>> attributes_;
};

struct FuncDescBlock;

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

 private:
  ~TypeInfo();

  /// The index of the method with `id`, or nothing.
  std::optional<size_t> MethodIndexOf(MEMBERID id) const;
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
};

/// Calls method `method` of a dual interface through vtable slot `slot` of `instance`, with the
/// arguments of `params` coerced to the declared parameter types.
HRESULT InvokeThroughVtable(const Method& method, unsigned slot, void* instance, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

/// A BSTR copy of `text`; null for empty text when `nullIfEmpty`.
BSTR AllocatedText(const std::u16string& text, bool nullIfEmpty);

}  // namespace pal::oleaut32
