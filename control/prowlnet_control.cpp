#include "control/prowlnet_control.h"

#include <new>

namespace prowlnet::control {
namespace {

/// Reflected notifications are the notifications a parent hands back to the control that sent
/// them, moved up by this base.
constexpr UINT OCM__BASE = WM_USER + 0x1C00;

bool IsReflectedNotification(UINT message) {
  if (message < OCM__BASE) return false;
  switch (message - OCM__BASE) {
    case 0x0111:  // WM_COMMAND
    case 0x004E:  // WM_NOTIFY
    case 0x0210:  // WM_PARENTNOTIFY
    case 0x002B:  // WM_DRAWITEM
    case 0x002C:  // WM_MEASUREITEM
    case 0x0039:  // WM_COMPAREITEM
    case 0x002D:  // WM_DELETEITEM
    case 0x002E:  // WM_VKEYTOITEM
    case 0x002F:  // WM_CHARTOITEM
    case 0x0114:  // WM_HSCROLL
    case 0x0115:  // WM_VSCROLL
    case 0x0132:  // WM_CTLCOLORMSGBOX
    case 0x0133:  // WM_CTLCOLOREDIT
    case 0x0134:  // WM_CTLCOLORLISTBOX
    case 0x0135:  // WM_CTLCOLORBTN
    case 0x0136:  // WM_CTLCOLORDLG
    case 0x0137:  // WM_CTLCOLORSCROLLBAR
    case 0x0138:  // WM_CTLCOLORSTATIC
      return true;
    default:
      return false;
  }
}

}  // namespace

HRESULT CProwlnetControl::Create(REFIID riid, void** object) {
  *object = nullptr;
  auto* made = new (std::nothrow) CProwlnetControl;
  if (made == nullptr) return E_OUTOFMEMORY;
  made->AddRef();  // construction may hand the object out and take it back
  HRESULT hr = made->FinalConstruct();
  if (SUCCEEDED(hr)) hr = made->QueryInterface(riid, object);
  made->Release();  // destroys the object unless the query holds it
  return hr;
}

HRESULT CProwlnetControl::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ICProwlnet)) {
    *object = static_cast<ICProwlnet*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    *object = static_cast<ISupportErrorInfo*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CProwlnetControl::AddRef() { return ++references_; }

ULONG CProwlnetControl::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT CProwlnetControl::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CProwlnetControl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  const HRESULT hr = LoadTypeInfo();
  return FAILED(hr) ? hr : typeInfo_.CopyTo(info);
}

HRESULT CProwlnetControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  const HRESULT hr = LoadTypeInfo();
  return FAILED(hr) ? hr : DispGetIDsOfNames(typeInfo_, names, count, ids);
}

HRESULT CProwlnetControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excepInfo, UINT* argErr) {
  const HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispInvoke(static_cast<ICProwlnet*>(this), typeInfo_, id, flags, params, result, excepInfo, argErr);
}

HRESULT CProwlnetControl::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_ICProwlnet) ? S_OK : S_FALSE;
}

LRESULT CProwlnetControl::WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsReflectedNotification(message)) return DefWindowProcW(window(), message - OCM__BASE, wParam, lParam);
  return CCProwlnet::WindowMessage(message, wParam, lParam);
}

HRESULT CProwlnetControl::LoadTypeInfo() {
  if (typeInfo_ != nullptr) return S_OK;
  ATL::CComPtr<ITypeLib> library;
  const HRESULT hr = LoadRegTypeLib(LIBID_ProwlnetLib, 1, 0, 0, &library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(IID_ICProwlnet, &typeInfo_);
}

}  // namespace prowlnet::control
