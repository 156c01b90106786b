// The smart types that hosts and modules hold COM objects and automation values with, with the
// names and semantics of ATL's: CComPtr (one reference, released with it), CComBSTR (an owned
// automation string) and CComVariant (an owned VARIANT).
//
// Where ATL asserts (taking the address of a pointer or string that still holds something),
// these stop the process with a message: that would leak what they hold.
#pragma once

#include <memory>
#include <utility>

#include "pal/oleauto.h"
#include "pal/winnls.h"

namespace ATL {

namespace detail {
[[noreturn]] void AddressOfNonEmpty(const char* type);
}  // namespace detail

template <typename T>
class CComPtr {
 public:
  CComPtr() = default;
  CComPtr(T* pointer) : p(pointer) {  // NOLINT: implicit, as in ATL
    if (p != nullptr) p->AddRef();
  }
  CComPtr(const CComPtr& other) : CComPtr(other.p) {}
  CComPtr(CComPtr&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
  ~CComPtr() { Release(); }

  CComPtr& operator=(T* pointer) {
    if (pointer != nullptr) pointer->AddRef();
    Release();
    p = pointer;
    return *this;
  }
  CComPtr& operator=(const CComPtr& other) { return *this = other.p; }
  CComPtr& operator=(CComPtr&& other) noexcept {
    if (this != std::addressof(other)) {
      Release();
      p = std::exchange(other.p, nullptr);
    }
    return *this;
  }

  operator T*() const { return p; }
  T* operator->() const { return p; }
  /// For an out parameter: the pointer must be empty, since what it held would leak.
  T** operator&() {
    if (p != nullptr) detail::AddressOfNonEmpty("CComPtr");
    return &p;
  }

  void Release() {
    if (T* held = std::exchange(p, nullptr)) held->Release();
  }
  /// Takes over a reference without adding one.
  void Attach(T* pointer) {
    Release();
    p = pointer;
  }
  /// Gives up the reference to the caller.
  T* Detach() { return std::exchange(p, nullptr); }
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = p;
    if (p != nullptr) p->AddRef();
    return S_OK;
  }

  /// Asks the object for interface Q, whose IID the compiler knows.
  template <typename Q>
  HRESULT QueryInterface(Q** out) const {
    return p->QueryInterface(pal::IidOf<Q>(), reinterpret_cast<void**>(out));
  }

  HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
    Release();
    return ::CoCreateInstance(clsid, outer, context, pal::IidOf<T>(), reinterpret_cast<void**>(&p));
  }
  /// Creates the class that `progId` names (following its CurVer).
  HRESULT CoCreateInstance(LPCOLESTR progId, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
    CLSID clsid;
    const HRESULT hr = CLSIDFromProgID(progId, &clsid);
    return FAILED(hr) ? hr : CoCreateInstance(clsid, outer, context);
  }

  T* p = nullptr;
};

class CComBSTR {
 public:
  CComBSTR() = default;
  CComBSTR(LPCOLESTR text) : m_str(SysAllocString(text)) {}  // NOLINT: implicit, as in ATL
  CComBSTR(int length, LPCOLESTR text) : m_str(SysAllocStringLen(text, static_cast<UINT>(length))) {}
  /// Text in the ANSI code page.
  explicit CComBSTR(LPCSTR text);
  CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}
  CComBSTR(CComBSTR&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
  ~CComBSTR() { SysFreeString(m_str); }

  CComBSTR& operator=(const CComBSTR& other) {
    if (this != std::addressof(other)) Attach(other.Copy());
    return *this;
  }
  CComBSTR& operator=(CComBSTR&& other) noexcept {
    if (this != std::addressof(other)) Attach(std::exchange(other.m_str, nullptr));
    return *this;
  }
  CComBSTR& operator=(LPCOLESTR text) {
    Attach(SysAllocString(text));
    return *this;
  }

  operator BSTR() const { return m_str; }
  /// For an out parameter: the string must be empty, since what it held would leak.
  BSTR* operator&() {
    if (m_str != nullptr) detail::AddressOfNonEmpty("CComBSTR");
    return &m_str;
  }
  unsigned int Length() const { return SysStringLen(m_str); }

  /// A new copy for the caller, who frees it.
  BSTR Copy() const { return m_str == nullptr ? nullptr : SysAllocStringLen(m_str, SysStringLen(m_str)); }
  HRESULT CopyTo(BSTR* out) const {
    if (out == nullptr) return E_POINTER;
    *out = Copy();
    return *out == nullptr && m_str != nullptr ? E_OUTOFMEMORY : S_OK;
  }
  void Attach(BSTR text) {
    if (text == m_str) return;
    SysFreeString(m_str);
    m_str = text;
  }
  BSTR Detach() { return std::exchange(m_str, nullptr); }
  void Empty() { Attach(nullptr); }

  BSTR m_str = nullptr;
};

class CComVariant : public VARIANT {
 public:
  CComVariant() { VariantInit(this); }
  CComVariant(LONG value) : CComVariant() {  // NOLINT: implicit, as in ATL
    vt = VT_I4;
    lVal = value;
  }
  CComVariant(ULONG value) : CComVariant() {  // NOLINT
    vt = VT_UI4;
    ulVal = value;
  }
  CComVariant(double value) : CComVariant() {  // NOLINT
    vt = VT_R8;
    dblVal = value;
  }
  CComVariant(bool value) : CComVariant() {  // NOLINT
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  }
  /// A copy of the text as a VT_BSTR (VT_ERROR with E_OUTOFMEMORY when it cannot be had).
  CComVariant(LPCOLESTR text) : CComVariant() {  // NOLINT
    vt = VT_BSTR;
    bstrVal = SysAllocString(text);
    if (bstrVal == nullptr && text != nullptr) SetOutOfMemory();
  }
  CComVariant(const CComVariant& other) : CComVariant() { Copy(&other); }
  CComVariant(const VARIANT& other) : CComVariant() { Copy(&other); }  // NOLINT
  ~CComVariant() { VariantClear(this); }

  CComVariant& operator=(const CComVariant& other) {
    if (this != &other) Copy(&other);
    return *this;
  }

  HRESULT Clear() { return VariantClear(this); }
  /// Makes this an independent copy of `source`.
  HRESULT Copy(const VARIANT* source) {
    const HRESULT hr = VariantCopy(this, source);
    if (FAILED(hr)) {
      vt = VT_ERROR;
      scode = hr;
    }
    return hr;
  }
  /// Converts in place, or from `source` when one is given.
  HRESULT ChangeType(VARTYPE type, const VARIANT* source = nullptr) {
    return VariantChangeType(this, source != nullptr ? source : this, 0, type);
  }
  /// Moves the value into `out` (cleared first) and leaves this VT_EMPTY.
  HRESULT Detach(VARIANT* out) {
    if (out == nullptr) return E_POINTER;
    const HRESULT hr = VariantClear(out);
    if (FAILED(hr)) return hr;
    *out = *static_cast<VARIANT*>(this);
    vt = VT_EMPTY;
    return S_OK;
  }

 private:
  void SetOutOfMemory() {
    vt = VT_ERROR;
    scode = E_OUTOFMEMORY;
  }
};

}  // namespace ATL
