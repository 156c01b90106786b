// What a control's interface implementations share: drawing, ambient properties, the view's
// notifications and the window messages of the control's own window.
#include "pal/atlctl.h"
#include "pal/kernel32.h"
#include "pal/oleauto.h"

namespace ATL {
namespace {

constexpr int kHiMetricPerInch = 2540;

}  // namespace

void AtlHiMetricToPixel(const SIZEL* himetric, SIZEL* pixels) {
  const HDC screen = ::GetDC(nullptr);
  const int dotsX = ::GetDeviceCaps(screen, LOGPIXELSX);
  const int dotsY = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  pixels->cx = ::MulDiv(dotsX, himetric->cx, kHiMetricPerInch);
  pixels->cy = ::MulDiv(dotsY, himetric->cy, kHiMetricPerInch);
}

HRESULT CComControlBase::IViewObject_Draw(DWORD aspect, LONG index, DVTARGETDEVICE* device, HDC targetDevice,
                                          HDC draw, LPCRECTL bounds, LPCRECTL windowBounds) {
  if (bounds == nullptr) {
    if (!m_bWndLess) return E_INVALIDARG;
    bounds = reinterpret_cast<LPCRECTL>(&m_rcPos);  // a windowless control draws where it was put
  }
  // The aspects of drawing in several passes are drawn as the content.
  if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE && aspect != DVASPECT_TRANSPARENT) return DV_E_DVASPECT;
  ATL_DRAWINFO di{};
  di.cbSize = sizeof di;
  di.dwDrawAspect = aspect;
  di.lindex = index;
  di.ptd = device;
  di.hicTargetDev = device == nullptr ? nullptr : targetDevice;  // without a device there is no target
  di.hdcDraw = draw;
  di.prcBounds = bounds;
  di.prcWBounds = windowBounds;
  return OnDrawAdvanced(di);
}

HRESULT CComControlBase::OnDrawAdvanced(ATL_DRAWINFO& di) {
  // The bounds are in the device context's logical units; this machine's device contexts map
  // them one to one onto device units, so they need no conversion. A metafile records the
  // drawing as it comes, so its state is left alone.
  const bool metafile = ::GetDeviceCaps(di.hdcDraw, TECHNOLOGY) == DT_METAFILE;
  if (!metafile) ::SaveDC(di.hdcDraw);
  const HRESULT hr = OnDraw(di);
  if (!metafile) ::RestoreDC(di.hdcDraw, -1);
  return hr;
}

void CComControlBase::FireViewChange() {
  if (!m_bInPlaceActive) {
    if (m_spAdviseSink != nullptr) m_spAdviseSink->OnViewChange(DVASPECT_CONTENT, -1);
    return;
  }
  if (!m_bWndLess) {
    ::InvalidateRect(ControlWindow(), nullptr, TRUE);
  } else if (m_spInPlaceSiteWindowless != nullptr) {
    m_spInPlaceSiteWindowless->InvalidateRect(nullptr, TRUE);
  }
}

HRESULT CComControlBase::GetAmbientProperty(DISPID id, VARIANT& value) {
  if (m_spAmbientDispatch == nullptr) return E_FAIL;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return m_spAmbientDispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                                     nullptr);
}

HRESULT CComControlBase::GetAmbientUserMode(BOOL& userMode) {
  CComVariant value;
  const HRESULT hr = GetAmbientProperty(DISPID_AMBIENT_USERMODE, value);
  userMode = SUCCEEDED(hr) && value.vt == VT_BOOL && value.boolVal == VARIANT_FALSE ? FALSE : TRUE;
  return hr;
}

BOOL CComControlBase::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  switch (message) {
    case WM_PAINT:
      result = OnPaint(window, wParam);
      return TRUE;
    // The focus and activation handlers tell the container and leave the message unhandled, so
    // that the default procedure sees it too.
    case WM_SETFOCUS:
      OnSetFocus();
      return FALSE;
    case WM_KILLFOCUS:
      OnKillFocus(window);
      return FALSE;
    case WM_MOUSEACTIVATE:
      OnMouseActivate(window);
      return FALSE;
    default:
      return FALSE;
  }
}

LRESULT CComControlBase::OnPaint(HWND window, WPARAM wParam) {
  // A device context in wParam is one to paint on instead of the window's own.
  PAINTSTRUCT paint{};
  HDC dc = wParam != 0 ? reinterpret_cast<HDC>(wParam) : ::BeginPaint(window, &paint);
  if (dc == nullptr) return 0;
  RECT client{};
  ::GetClientRect(window, &client);
  ATL_DRAWINFO di{};
  di.cbSize = sizeof di;
  di.dwDrawAspect = DVASPECT_CONTENT;
  di.lindex = -1;
  di.hdcDraw = dc;
  di.prcBounds = reinterpret_cast<LPCRECTL>(&client);
  OnDrawAdvanced(di);
  if (wParam == 0) ::EndPaint(window, &paint);
  return 0;
}

void CComControlBase::OnSetFocus() {
  CComPtr<IOleControlSite> site;
  if (!m_bInPlaceActive || m_spClientSite == nullptr || FAILED(m_spClientSite.QueryInterface(&site))) return;
  site->OnFocus(TRUE);
}

void CComControlBase::OnKillFocus(HWND window) {
  CComPtr<IOleControlSite> site;
  if (!m_bInPlaceActive || m_spClientSite == nullptr || FAILED(m_spClientSite.QueryInterface(&site))) return;
  if (!::IsChild(window, ::GetFocus())) site->OnFocus(FALSE);
}

void CComControlBase::OnMouseActivate(HWND window) {
  // UI-activates in user mode only, and when the container cannot tell the mode.
  BOOL userMode = TRUE;
  if (SUCCEEDED(GetAmbientUserMode(userMode)) && !userMode) return;
  CComPtr<IOleObject> object;
  if (FAILED(ControlQueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) return;
  object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, m_spClientSite, 0, window, &m_rcPos);
}

}  // namespace ATL
