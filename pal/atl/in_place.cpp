// In-place activation in a container's site, and the in-place object interfaces.
#include "pal/atlctl.h"

namespace ATL {
namespace {

bool DoesVerbUIActivate(LONG verb) { return verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY; }

}  // namespace

HRESULT CComControlBase::InPlaceActivate(LONG verb, const RECT*) {
  if (m_spClientSite == nullptr) return S_OK;
  if (!m_bNegotiatedWnd) NegotiateSite();
  if (m_spInPlaceSite == nullptr) return E_FAIL;
  m_bNegotiatedWnd = true;
  if (!m_bInPlaceActive) {
    const HRESULT hr = TellSiteOfActivation();
    if (FAILED(hr)) return hr;
  }
  m_bInPlaceActive = true;
  CComPtr<IOleInPlaceFrame> frame;
  CComPtr<IOleInPlaceUIWindow> document;
  HRESULT hr = PlaceInSite(&frame, &document);
  if (FAILED(hr)) return hr;
  if (DoesVerbUIActivate(verb) && !m_bUIActive) {
    hr = UIActivate(frame, document);
    if (FAILED(hr)) return hr;
  }
  m_spClientSite->ShowObject();
  return S_OK;
}

void CComControlBase::NegotiateSite() {
  m_spInPlaceSite.Release();
  m_spInPlaceSiteEx.Release();
  m_spInPlaceSiteWindowless.Release();
  if (SUCCEEDED(m_spClientSite.QueryInterface(&m_spInPlaceSiteWindowless))) {
    m_spInPlaceSiteEx = m_spInPlaceSiteWindowless.p;
    m_spInPlaceSite = m_spInPlaceSiteWindowless.p;
    m_bWndLess = m_spInPlaceSiteWindowless->CanWindowlessActivate() == S_OK;
    if (m_bWndLess) m_bWasOnceWindowless = true;
    return;
  }
  m_bWndLess = false;
  if (SUCCEEDED(m_spClientSite.QueryInterface(&m_spInPlaceSiteEx))) {
    m_spInPlaceSite = m_spInPlaceSiteEx.p;
    return;
  }
  m_spClientSite.QueryInterface(&m_spInPlaceSite);
}

HRESULT CComControlBase::TellSiteOfActivation() {
  BOOL noRedraw = FALSE;
  if (m_spInPlaceSiteEx != nullptr) {
    // The extended site is told, and cannot refuse.
    m_spInPlaceSiteEx->OnInPlaceActivateEx(&noRedraw, m_bWndLess ? ACTIVATE_WINDOWLESS : 0);
    return S_OK;
  }
  const HRESULT hr = m_spInPlaceSite->CanInPlaceActivate();
  if (FAILED(hr)) return hr;
  if (hr != S_OK) return E_FAIL;  // S_FALSE: the site does not want it now
  m_spInPlaceSite->OnInPlaceActivate();
  return S_OK;
}

HRESULT CComControlBase::PlaceInSite(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document) {
  HWND parent = nullptr;
  if (m_spInPlaceSite->GetWindow(&parent) != S_OK) return S_OK;  // a site without a window places nothing
  OLEINPLACEFRAMEINFO frameInfo{};
  frameInfo.cb = sizeof frameInfo;
  RECT position{};
  RECT clip{};
  const HRESULT hr = m_spInPlaceSite->GetWindowContext(frame, document, &position, &clip, &frameInfo);
  if (FAILED(hr)) return hr;
  if (!m_bWndLess) {
    // The control's own window is shown where ATL would make a child window of the container.
    const HWND window = ControlWindow();
    if (window == nullptr) return E_FAIL;
    ::ShowWindow(window, SW_SHOW);
  }
  return IOleInPlaceObject_SetObjectRects(&position, &clip);
}

HRESULT CComControlBase::UIActivate(IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) {
  m_bUIActive = true;
  const HRESULT hr = m_spInPlaceSite->OnUIActivate();
  if (FAILED(hr)) {
    m_bUIActive = false;
    return hr;
  }
  GrabControlFocus();
  CComPtr<IOleInPlaceActiveObject> active;
  ControlQueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active));
  if (active != nullptr) {
    if (frame != nullptr) frame->SetActiveObject(active, nullptr);
    if (document != nullptr) document->SetActiveObject(active, nullptr);
  }
  if (frame != nullptr) frame->SetBorderSpace(nullptr);
  if (document != nullptr) document->SetBorderSpace(nullptr);
  return S_OK;
}

BOOL CComControlBase::GrabControlFocus() {
  if (m_bWndLess) {
    if (!m_bUIActive && FAILED(InPlaceActivate(OLEIVERB_UIACTIVATE))) return FALSE;
    return m_spInPlaceSiteWindowless->SetFocus(TRUE) == S_OK ? TRUE : FALSE;
  }
  if (!m_bInPlaceActive) return FALSE;
  if (!m_bUIActive) return SUCCEEDED(InPlaceActivate(OLEIVERB_UIACTIVATE)) ? TRUE : FALSE;
  const HWND window = ControlWindow();
  if (!::IsChild(window, ::GetFocus())) ::SetFocus(window);
  return TRUE;
}

HRESULT CComControlBase::IOleInPlaceObject_InPlaceDeactivate() {
  if (!m_bInPlaceActive) return S_OK;
  IOleInPlaceObject_UIDeactivate();
  m_bInPlaceActive = false;
  // Hidden, where ATL destroys a window it made for the container: this one lives on with the
  // object, which keeps using it.
  if (!m_bWndLess && ControlWindow() != nullptr) ::ShowWindow(ControlWindow(), SW_HIDE);
  if (m_spInPlaceSite != nullptr) m_spInPlaceSite->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT CComControlBase::IOleInPlaceObject_UIDeactivate() {
  if (!m_bUIActive) return S_OK;
  m_bUIActive = false;
  if (m_spInPlaceSite == nullptr) return S_OK;
  HWND parent = nullptr;
  if (m_spInPlaceSite->GetWindow(&parent) == S_OK) {
    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> document;
    RECT position{};
    RECT clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    m_spInPlaceSite->GetWindowContext(&frame, &document, &position, &clip, &frameInfo);
    if (document != nullptr) document->SetActiveObject(nullptr, nullptr);
    if (frame != nullptr) frame->SetActiveObject(nullptr, nullptr);
  }
  // The focus is not given up here: whatever takes it next is what deactivated the control.
  m_spInPlaceSite->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT CComControlBase::IOleInPlaceObject_SetObjectRects(LPCRECT position, LPCRECT clip) {
  if (position == nullptr || clip == nullptr) return E_POINTER;
  m_rcPos = *position;
  const HWND window = ControlWindow();
  if (m_bWndLess || window == nullptr) return S_OK;
  // Clip with a region only where the container's clip cuts into the control.
  RECT visible{};
  HRGN region = nullptr;
  if (::IntersectRect(&visible, position, clip) && !::EqualRect(&visible, position)) {
    ::OffsetRect(&visible, -position->left, -position->top);
    region = ::CreateRectRgnIndirect(&visible);
  }
  ::SetWindowRgn(window, region, TRUE);
  // The container places the control; its size is the container's to give, not the extent's.
  ::SetWindowPos(window, nullptr, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
}

// ---- IOleInPlaceObjectWindowless ---------------------------------------------------------------

HRESULT IOleInPlaceObjectWindowlessImpl::GetWindow(HWND* window) {
  if (m_bWasOnceWindowless) return E_FAIL;
  if (window == nullptr) return E_POINTER;
  *window = ControlWindow();
  return *window == nullptr ? E_UNEXPECTED : S_OK;
}

// ATL answers E_NOTIMPL: the control has no context-sensitive help.
HRESULT IOleInPlaceObjectWindowlessImpl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT IOleInPlaceObjectWindowlessImpl::InPlaceDeactivate() { return IOleInPlaceObject_InPlaceDeactivate(); }

HRESULT IOleInPlaceObjectWindowlessImpl::UIDeactivate() { return IOleInPlaceObject_UIDeactivate(); }

HRESULT IOleInPlaceObjectWindowlessImpl::SetObjectRects(LPCRECT position, LPCRECT clip) {
  return IOleInPlaceObject_SetObjectRects(position, clip);
}

// ATL answers E_NOTIMPL: there is no undo.
HRESULT IOleInPlaceObjectWindowlessImpl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT IOleInPlaceObjectWindowlessImpl::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return ProcessControlMessage(ControlWindow(), message, wParam, lParam, *result) ? S_OK : S_FALSE;
}

// ATL answers E_NOTIMPL: the control takes no drops.
HRESULT IOleInPlaceObjectWindowlessImpl::GetDropTarget(IDropTarget**) { return E_NOTIMPL; }

// ---- IOleInPlaceActiveObject -------------------------------------------------------------------

HRESULT IOleInPlaceActiveObjectImpl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = ControlWindow();
  return *window == nullptr ? E_UNEXPECTED : S_OK;
}

// ATL answers E_NOTIMPL: the control has no context-sensitive help.
HRESULT IOleInPlaceActiveObjectImpl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT IOleInPlaceActiveObjectImpl::TranslateAccelerator(LPMSG message) {
  if (message == nullptr) return E_POINTER;
  CComPtr<IOleControlSite> site;
  if (m_spClientSite == nullptr || FAILED(m_spClientSite.QueryInterface(&site))) return S_FALSE;
  constexpr int kShift = 0x10;
  constexpr int kControl = 0x11;
  constexpr int kAlt = 0x12;
  DWORD modifiers = 0;
  if (::GetKeyState(kShift) < 0) modifiers |= 1;
  if (::GetKeyState(kControl) < 0) modifiers |= 2;
  if (::GetKeyState(kAlt) < 0) modifiers |= 4;
  MSG copy = *message;
  return site->TranslateAccelerator(&copy, modifiers) == S_OK ? S_OK : S_FALSE;
}

// Nothing to do when the frame comes and goes: the control has no frame tools.
HRESULT IOleInPlaceActiveObjectImpl::OnFrameWindowActivate(BOOL) { return S_OK; }

HRESULT IOleInPlaceActiveObjectImpl::OnDocWindowActivate(BOOL activate) {
  if (!activate) IOleInPlaceObject_UIDeactivate();
  return S_OK;
}

// Nothing to do: the control asks for no border space.
HRESULT IOleInPlaceActiveObjectImpl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

// Nothing to do: the control shows no modeless windows.
HRESULT IOleInPlaceActiveObjectImpl::EnableModeless(BOOL) { return S_OK; }

}  // namespace ATL
