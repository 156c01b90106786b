// The control as an OLE object in its client site: verbs, extent, advise sinks, the control's
// own interface, and quick activation.
#include "pal/atlctl.h"

namespace ATL {

// ---- IOleObject --------------------------------------------------------------------------------

HRESULT IOleObjectImpl::SetClientSite(IOleClientSite* site) {
  m_spClientSite = site;
  m_spAmbientDispatch.Release();
  if (m_spClientSite != nullptr) m_spClientSite.QueryInterface(&m_spAmbientDispatch);
  return S_OK;
}

HRESULT IOleObjectImpl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  return m_spClientSite.CopyTo(site);
}

// The names are for the windows of an open object, which a control never opens: nothing to keep.
HRESULT IOleObjectImpl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT IOleObjectImpl::Close(DWORD saveOption) {
  const HWND window = ControlWindow();
  if (window != nullptr && ::IsWindowVisible(window) && m_spClientSite != nullptr) m_spClientSite->OnShowWindow(FALSE);
  if (m_bInPlaceActive) {
    const HRESULT hr = IOleInPlaceObject_InPlaceDeactivate();
    if (FAILED(hr)) return hr;
  }
  if (window != nullptr) ::ShowWindow(window, SW_HIDE);  // kept: the object goes on using it
  const bool askedToSave = saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE;
  if (askedToSave && m_bRequiresSave) {
    if (m_spClientSite != nullptr) m_spClientSite->SaveObject();
    if (m_spOleAdviseHolder != nullptr) m_spOleAdviseHolder->SendOnSave();
  }
  m_spInPlaceSite.Release();
  m_spInPlaceSiteEx.Release();
  m_spInPlaceSiteWindowless.Release();
  m_bNegotiatedWnd = false;
  m_bWndLess = false;
  m_spAdviseSink.Release();
  return S_OK;
}

// ATL answers E_NOTIMPL to monikers, data and the clipboard: a control is neither linked nor
// made from data.
HRESULT IOleObjectImpl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
HRESULT IOleObjectImpl::GetMoniker(DWORD, DWORD, IMoniker**) { return E_NOTIMPL; }
HRESULT IOleObjectImpl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
HRESULT IOleObjectImpl::GetClipboardData(DWORD, IDataObject**) { return E_NOTIMPL; }

HRESULT IOleObjectImpl::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT position) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
      return DoVerbPrimary(position, parent);
    case OLEIVERB_SHOW:
      return InPlaceActivate(OLEIVERB_SHOW, position);
    case OLEIVERB_INPLACEACTIVATE:
      return DoVerbInPlaceActivate(position);
    case OLEIVERB_UIACTIVATE:
      return m_bUIActive ? S_OK : InPlaceActivate(OLEIVERB_UIACTIVATE, position);
    case OLEIVERB_HIDE:
      return DoVerbHide();
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;  // a control opens no window of its own and keeps no undo state
    case OLEIVERB_PROPERTIES:
      return DoVerbProperties();
    default:
      return E_NOTIMPL;  // as ATL answers for verbs it does not know
  }
}

HRESULT IOleObjectImpl::DoVerbPrimary(LPCRECT position, HWND) {
  // A container in design mode gets the properties; one that cannot tell gets the control.
  BOOL userMode = TRUE;
  if (SUCCEEDED(GetAmbientUserMode(userMode)) && !userMode) return DoVerbProperties();
  return DoVerbInPlaceActivate(position);
}

HRESULT IOleObjectImpl::DoVerbInPlaceActivate(LPCRECT position) {
  const HRESULT hr = InPlaceActivate(OLEIVERB_INPLACEACTIVATE, position);
  if (SUCCEEDED(hr)) FireViewChange();
  return hr;
}

HRESULT IOleObjectImpl::DoVerbHide() {
  IOleInPlaceObject_UIDeactivate();
  if (ControlWindow() != nullptr) ::ShowWindow(ControlWindow(), SW_HIDE);
  return S_OK;
}

HRESULT IOleObjectImpl::DoVerbProperties() {
  CComPtr<IOleControlSite> site;
  if (m_spClientSite != nullptr && SUCCEEDED(m_spClientSite.QueryInterface(&site))) {
    const HRESULT hr = site->ShowPropertyFrame();
    if (SUCCEEDED(hr)) return hr;
  }
  // ATL would show a property frame of its own here, which needs a display.
  return OLEOBJ_S_CANNOT_DOVERB_NOW;
}

HRESULT IOleObjectImpl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs == nullptr) return E_POINTER;
  return OleRegEnumVerbs(*GetControlClassInfo().clsid, verbs);
}

// A control is always up to date: there is no link or cache to update.
HRESULT IOleObjectImpl::Update() { return S_OK; }
HRESULT IOleObjectImpl::IsUpToDate() { return S_OK; }

HRESULT IOleObjectImpl::GetUserClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = *GetControlClassInfo().clsid;
  return S_OK;
}

HRESULT IOleObjectImpl::GetUserType(DWORD form, LPOLESTR* userType) {
  return OleRegGetUserType(*GetControlClassInfo().clsid, form, userType);
}

HRESULT IOleObjectImpl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  if (size == nullptr) return E_POINTER;
  m_sizeExtent = *size;
  return S_OK;
}

HRESULT IOleObjectImpl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  if (size == nullptr) return E_POINTER;
  *size = m_sizeExtent;
  return S_OK;
}

HRESULT IOleObjectImpl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (m_spOleAdviseHolder == nullptr) {
    const HRESULT hr = CreateOleAdviseHolder(&m_spOleAdviseHolder);
    if (FAILED(hr)) return hr;
  }
  return m_spOleAdviseHolder->Advise(sink, connection);
}

HRESULT IOleObjectImpl::Unadvise(DWORD connection) {
  return m_spOleAdviseHolder == nullptr ? E_FAIL : m_spOleAdviseHolder->Unadvise(connection);
}

HRESULT IOleObjectImpl::EnumAdvise(IEnumSTATDATA** connections) {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  return m_spOleAdviseHolder == nullptr ? E_FAIL : m_spOleAdviseHolder->EnumAdvise(connections);
}

HRESULT IOleObjectImpl::GetMiscStatus(DWORD aspect, DWORD* status) {
  return OleRegGetMiscStatus(*GetControlClassInfo().clsid, aspect, status);
}

// ATL answers E_NOTIMPL: the control draws with the device context's colours.
HRESULT IOleObjectImpl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleControl -------------------------------------------------------------------------------

// ATL answers E_NOTIMPL to both: the control has no keyboard mnemonics.
HRESULT IOleControlImpl::GetControlInfo(CONTROLINFO*) { return E_NOTIMPL; }
HRESULT IOleControlImpl::OnMnemonic(MSG*) { return E_NOTIMPL; }

// The control reads its ambient properties when it needs them, so a change needs no action.
HRESULT IOleControlImpl::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT IOleControlImpl::FreezeEvents(BOOL freeze) {
  m_nFreezeEvents += freeze ? 1 : -1;
  return S_OK;
}

// ---- IQuickActivate ----------------------------------------------------------------------------

HRESULT IQuickActivateImpl::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (container == nullptr || control == nullptr) return E_POINTER;
  // Both structures have kept their size since quick activation came; a smaller one is no caller's.
  if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
  *control = QACONTROL{};
  control->cbSize = sizeof(QACONTROL);
  CComPtr<IOleObject> object;
  CComPtr<IViewObjectEx> view;
  ControlQueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object));
  ControlQueryInterface(IID_IViewObjectEx, reinterpret_cast<void**>(&view));
  if (object == nullptr || view == nullptr) return E_FAIL;
  object->SetClientSite(container->pClientSite);
  if (container->pAdviseSink != nullptr) view->SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);

  CComPtr<IConnectionPointContainer> points;
  ControlQueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
  auto join = [&](REFIID outgoing, IUnknown* sink, DWORD* cookie) {
    CComPtr<IConnectionPoint> point;
    if (sink != nullptr && points != nullptr && SUCCEEDED(points->FindConnectionPoint(outgoing, &point)))
      point->Advise(sink, cookie);
  };
  join(IID_IPropertyNotifySink, container->pPropertyNotifySink, &control->dwPropNotifyCookie);
  CComPtr<IProvideClassInfo2> classInfo;
  GUID events = GUID_NULL;
  if (SUCCEEDED(ControlQueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo))) &&
      SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events)))
    join(events, container->pUnkEventSink, &control->dwEventCookie);

  object->GetMiscStatus(DVASPECT_CONTENT, &control->dwMiscStatus);
  view->GetViewStatus(&control->dwViewStatus);
  return S_OK;
}

HRESULT IQuickActivateImpl::SetContentExtent(LPSIZEL size) {
  CComPtr<IOleObject> object;
  const HRESULT hr = ControlQueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object));
  return FAILED(hr) ? hr : object->SetExtent(DVASPECT_CONTENT, size);
}

HRESULT IQuickActivateImpl::GetContentExtent(LPSIZEL size) {
  CComPtr<IOleObject> object;
  const HRESULT hr = ControlQueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object));
  return FAILED(hr) ? hr : object->GetExtent(DVASPECT_CONTENT, size);
}

}  // namespace ATL
