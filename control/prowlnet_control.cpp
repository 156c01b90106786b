#include "control/prowlnet_control.h"

#include <new>

#include "control/drawing.h"

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

void* ExtentWidth(ATL::CComControlBase& control) { return &control.m_sizeExtent.cx; }
void* ExtentHeight(ATL::CComControlBase& control) { return &control.m_sizeExtent.cy; }

/// The persisted properties, in this order: the extent in HIMETRIC.
constexpr ATL::ATL_PROPMAP_ENTRY kProperties[] = {
    {u"_cx", VT_UI4, &ExtentWidth},
    {u"_cy", VT_UI4, &ExtentHeight},
};

const ATL::ControlClassInfo kClassInfo{&CLSID_CProwlnet, VIEWSTATUS_SOLIDBKGND | VIEWSTATUS_OPAQUE, kProperties};

template <typename Interface>
constexpr ATL::InterfaceMapEntry Entry(const IID& iid) {
  return {&iid, &ATL::InterfaceOf<CProwlnetControl, Interface>};
}

/// The interfaces QueryInterface answers, in this order; IUnknown is the first.
const ATL::InterfaceMapEntry kInterfaces[] = {
    Entry<ICProwlnet>(IID_ICProwlnet),
    Entry<ICProwlnet>(IID_IDispatch),
    Entry<IViewObjectEx>(IID_IViewObjectEx),
    Entry<IViewObjectEx>(IID_IViewObject2),
    Entry<IViewObjectEx>(IID_IViewObject),
    Entry<IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless),
    Entry<IOleInPlaceObjectWindowless>(IID_IOleInPlaceObject),
    Entry<IOleInPlaceObjectWindowless>(IID_IOleWindow),
    Entry<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject),
    Entry<IOleControl>(IID_IOleControl),
    Entry<IOleObject>(IID_IOleObject),
    Entry<IPersistStreamInit>(IID_IPersistStreamInit),
    Entry<IPersistStreamInit>(IID_IPersist),
    Entry<ISupportErrorInfo>(IID_ISupportErrorInfo),
    Entry<IConnectionPointContainer>(IID_IConnectionPointContainer),
    Entry<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages),
    Entry<IQuickActivate>(IID_IQuickActivate),
    Entry<IPersistStorage>(IID_IPersistStorage),
    Entry<IDataObject>(IID_IDataObject),
    Entry<IProvideClassInfo2>(IID_IProvideClassInfo),
    Entry<IProvideClassInfo2>(IID_IProvideClassInfo2),
    Entry<IObjectSafety>(IID_IObjectSafety),
};

}  // namespace

CProwlnetControl::CProwlnetControl()
    : ISupportErrorInfoImpl(IID_ICProwlnet),
      IConnectionPointContainerImpl({&DIID__ICProwlnetEvents}),
      IProvideClassInfo2Impl(CLSID_CProwlnet, &DIID__ICProwlnetEvents, LIBID_ProwlnetLib, 1, 0),
      IObjectSafetyImpl(INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA) {}

HRESULT CProwlnetControl::Create(REFIID riid, void** object) {
  *object = nullptr;
  auto* made = new (std::nothrow) CProwlnetControl;
  if (made == nullptr) return E_OUTOFMEMORY;
  made->AddRef();  // construction may hand the object out and take it back
  HRESULT hr = made->FinalConstruct(TheModule().Instance());
  if (SUCCEEDED(hr)) hr = made->QueryInterface(riid, object);
  made->Release();  // destroys the object unless the query holds it
  return hr;
}

HRESULT CProwlnetControl::QueryInterface(REFIID riid, void** object) {
  return ATL::InternalQueryInterface(this, kInterfaces, riid, object);
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

LRESULT CProwlnetControl::WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ProcessControlMessage(window(), message, wParam, lParam, result)) return result;
  return DefWindowProcW(window(), message, wParam, lParam);
}

BOOL CProwlnetControl::ProcessControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             LRESULT& result) {
  if (ProcessWindowMessage(window, message, wParam, lParam, result)) return TRUE;
  if (IsReflectedNotification(message)) {
    result = DefWindowProcW(window, message - OCM__BASE, wParam, lParam);
    return TRUE;
  }
  if (message == kConsumedWindowMessage || message == WM_TIMER) {
    result = CCProwlnet::WindowMessage(message, wParam, lParam);
    return TRUE;
  }
  return FALSE;
}

HRESULT CProwlnetControl::OnDraw(ATL::ATL_DRAWINFO& di) {
  return DrawControl(di.hdcDraw, *reinterpret_cast<const RECT*>(di.prcBounds));
}

const ATL::ControlClassInfo& CProwlnetControl::GetControlClassInfo() const { return kClassInfo; }

HRESULT CProwlnetControl::LoadTypeInfo() {
  if (typeInfo_ != nullptr) return S_OK;
  ATL::CComPtr<ITypeLib> library;
  const HRESULT hr = LoadRegTypeLib(LIBID_ProwlnetLib, 1, 0, 0, &library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(IID_ICProwlnet, &typeInfo_);
}

}  // namespace prowlnet::control
