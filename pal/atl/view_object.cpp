// The control's view (drawing, extent, hit testing) and its data as a metafile picture.
#include "pal/atlctl.h"
#include "pal/kernel32.h"

namespace ATL {

// ---- IViewObject, IViewObject2, IViewObjectEx --------------------------------------------------

HRESULT IViewObjectExImpl::Draw(DWORD aspect, LONG index, void*, DVTARGETDEVICE* device, HDC targetDevice, HDC draw,
                                LPCRECTL bounds, LPCRECTL windowBounds, BOOL (*)(ULONG_PTR), ULONG_PTR) {
  // The drawing is short and never offers to stop, as ATL's does not.
  return IViewObject_Draw(aspect, index, device, targetDevice, draw, bounds, windowBounds);
}

// ATL answers E_NOTIMPL to the colour set and to freezing: the control uses no palette of its own
// and draws afresh every time.
HRESULT IViewObjectExImpl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) { return E_NOTIMPL; }
HRESULT IViewObjectExImpl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT IViewObjectExImpl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT IViewObjectExImpl::SetAdvise(DWORD, DWORD, IAdviseSink* sink) {
  m_spAdviseSink = sink;
  return S_OK;
}

HRESULT IViewObjectExImpl::GetAdvise(DWORD*, DWORD*, IAdviseSink** sink) {
  if (sink == nullptr) return E_POINTER;
  return m_spAdviseSink.CopyTo(sink);
}

HRESULT IViewObjectExImpl::GetExtent(DWORD, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  *size = m_sizeExtent;
  return S_OK;
}

// ATL answers E_NOTIMPL: the control's view is its whole rectangle.
HRESULT IViewObjectExImpl::GetRect(DWORD, LPRECTL) { return E_NOTIMPL; }

HRESULT IViewObjectExImpl::GetViewStatus(DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = GetControlClassInfo().viewStatus;
  return S_OK;
}

HRESULT IViewObjectExImpl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG, DWORD* hit) {
  if (hit == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) {
    *hit = HITRESULT_OUTSIDE;
    return E_FAIL;
  }
  *hit = ::PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT IViewObjectExImpl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG, DWORD* hit) {
  if (hit == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) {
    *hit = HITRESULT_OUTSIDE;
    return E_FAIL;
  }
  RECT overlap{};
  *hit = ::IntersectRect(&overlap, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
  return S_OK;
}

HRESULT IViewObjectExImpl::GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO* extentInfo,
                                            LPSIZEL size) {
  if (extentInfo == nullptr || size == nullptr) return E_POINTER;
  if (extentInfo->dwExtentMode != DVEXTENT_CONTENT) return E_FAIL;
  if (aspect == DVASPECT_CONTENT) {
    *size = m_sizeNatural;
    return S_OK;
  }
  if (aspect == DVASPECT_DOCPRINT) {
    *size = m_sizeExtent;
    return S_OK;
  }
  return E_FAIL;
}

// ---- IDataObject -------------------------------------------------------------------------------

HRESULT IDataObjectImpl::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (medium == nullptr) return E_POINTER;
  *medium = STGMEDIUM{};
  if (format == nullptr || (format->tymed & TYMED_MFPICT) == 0) return DATA_E_FORMATETC;
  // The picture is drawn in pixels of the extent, and its header gives the extent in HIMETRIC.
  SIZEL pixels{};
  AtlHiMetricToPixel(&m_sizeExtent, &pixels);
  const RECTL bounds{0, 0, pixels.cx, pixels.cy};
  ATL_DRAWINFO di{};
  di.cbSize = sizeof di;
  di.dwDrawAspect = DVASPECT_CONTENT;
  di.lindex = -1;
  di.prcBounds = &bounds;
  di.prcWBounds = &bounds;
  di.hdcDraw = ::CreateMetaFileW(nullptr);
  ::SaveDC(di.hdcDraw);
  ::SetWindowOrgEx(di.hdcDraw, 0, 0, nullptr);
  ::SetWindowExtEx(di.hdcDraw, bounds.right, bounds.bottom, nullptr);
  OnDrawAdvanced(di);
  ::RestoreDC(di.hdcDraw, -1);
  const HMETAFILE metafile = ::CloseMetaFile(di.hdcDraw);
  if (metafile == nullptr) return E_UNEXPECTED;
  const HGLOBAL memory = ::GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE, sizeof(METAFILEPICT));
  if (memory == nullptr) {
    ::DeleteMetaFile(metafile);
    return STG_E_MEDIUMFULL;
  }
  auto* picture = static_cast<METAFILEPICT*>(::GlobalLock(memory));
  *picture = METAFILEPICT{MM_ANISOTROPIC, m_sizeExtent.cx, m_sizeExtent.cy, metafile};
  ::GlobalUnlock(memory);
  medium->tymed = TYMED_MFPICT;
  medium->hMetaFilePict = memory;
  return S_OK;
}

// ATL answers E_NOTIMPL to these: the control offers its one picture through GetData only.
HRESULT IDataObjectImpl::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT IDataObjectImpl::QueryGetData(FORMATETC*) { return E_NOTIMPL; }
HRESULT IDataObjectImpl::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return E_NOTIMPL; }
HRESULT IDataObjectImpl::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
HRESULT IDataObjectImpl::EnumFormatEtc(DWORD, IEnumFORMATETC**) { return E_NOTIMPL; }

HRESULT IDataObjectImpl::DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) {
  if (m_spDataAdviseHolder == nullptr) {
    const HRESULT hr = CreateDataAdviseHolder(&m_spDataAdviseHolder);
    if (FAILED(hr)) return hr;
  }
  return m_spDataAdviseHolder->Advise(this, format, advf, sink, connection);
}

HRESULT IDataObjectImpl::DUnadvise(DWORD connection) {
  return m_spDataAdviseHolder == nullptr ? OLE_E_NOCONNECTION : m_spDataAdviseHolder->Unadvise(connection);
}

HRESULT IDataObjectImpl::EnumDAdvise(IEnumSTATDATA** connections) {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  return m_spDataAdviseHolder == nullptr ? E_FAIL : m_spDataAdviseHolder->EnumAdvise(connections);
}

}  // namespace ATL
