// The control framework, with the names and behaviour of ATL's: the state that a control shares
// with its interface implementations (CComControlBase), and the OLE control interfaces over it.
//
// A control class derives from the ...Impl classes it offers (each derives virtually from
// CComControlBase, so they share one state), implements IUnknown once over its interface map
// (pal/atlcom.h), CComControlBase's four hooks, and its whole window message map for
// IOleInPlaceObjectWindowlessImpl. Where ATL itself answers E_NOTIMPL
// or an OLE_E_* code, so do these, and say so. Differences from ATL that a control sees:
// - The control's window is its own, made with the object and kept for the object's life.
//   In-place activation shows that window (it is never made anew as the container's child),
//   and in-place deactivation and Close hide it again; only the object's teardown destroys it.
// - A property map holds raw data entries only, persisted in map order as ATL writes them:
//   a DWORD version (0x0800) and then each entry's bytes. So ISpecifyPropertyPages lists no pages.
// - The property frame of OLEIVERB_PROPERTIES needs a display, which this machine lacks: when the
//   container's IOleControlSite does not show one itself, the verb answers
//   OLEOBJ_S_CANNOT_DOVERB_NOW.
#pragma once

#include <span>

#include "pal/atlcom.h"

namespace ATL {

class CComControlBase;

/// The version written at the head of a persisted control: ATL 8.0's.
constexpr DWORD kPersistedVersion = 0x0800;
/// Two inches, in HIMETRIC units (0.01 mm): a control's extent until it is told another.
constexpr LONG kDefaultExtent = 2 * 2540;

/// What a control is asked to draw: the aspect, the target device (null for the screen), the
/// device context and the bounds, in the device context's units.
struct ATL_DRAWINFO {
  UINT cbSize;
  DWORD dwDrawAspect;
  LONG lindex;
  DVTARGETDEVICE* ptd;
  HDC hicTargetDev;
  HDC hdcDraw;
  LPCRECTL prcBounds;
  LPCRECTL prcWBounds;
};

/// A persisted property: raw data of the control, VT_UI4 or VT_I4 (four bytes), by name.
struct ATL_PROPMAP_ENTRY {
  LPCOLESTR szDesc;
  VARTYPE vt;
  void* (*data)(CComControlBase& control);
};

/// What a control class tells the framework about itself.
struct ControlClassInfo {
  const CLSID* clsid;
  /// VIEWSTATUS_* flags for IViewObjectEx::GetViewStatus.
  DWORD viewStatus;
  std::span<const ATL_PROPMAP_ENTRY> properties;
};

/// HIMETRIC to pixels at the screen's resolution, rounded to nearest.
void AtlHiMetricToPixel(const SIZEL* himetric, SIZEL* pixels);

class CComControlBase {
 public:
  CComControlBase() = default;
  virtual ~CComControlBase() = default;
  CComControlBase(const CComControlBase&) = delete;
  CComControlBase& operator=(const CComControlBase&) = delete;

  // ---- what the control class provides ---------------------------------------------------------

  /// The object's own QueryInterface.
  virtual HRESULT ControlQueryInterface(REFIID riid, void** object) = 0;
  /// The control's window, which lives as long as the object; null if it has none.
  virtual HWND ControlWindow() const = 0;
  /// Draws the control within di.prcBounds on di.hdcDraw.
  virtual HRESULT OnDraw(ATL_DRAWINFO& di) = 0;
  virtual const ControlClassInfo& GetControlClassInfo() const = 0;

  // ---- what the interface implementations share ------------------------------------------------

  /// Activates the control in place in its client site's in-place site, negotiating windowless
  /// activation first; windowed, it shows the control's window and places it. UI-activates for
  /// OLEIVERB_UIACTIVATE and OLEIVERB_PRIMARY. S_OK without a client site.
  HRESULT InPlaceActivate(LONG verb, const RECT* position = nullptr);
  HRESULT IOleInPlaceObject_InPlaceDeactivate();
  HRESULT IOleInPlaceObject_UIDeactivate();
  /// Keeps the position, and places the window there with the clip as its region.
  HRESULT IOleInPlaceObject_SetObjectRects(LPCRECT position, LPCRECT clip);
  /// DV_E_DVASPECT for an aspect other than content, opaque or transparent; E_INVALIDARG for no
  /// bounds, unless windowless (the position then).
  HRESULT IViewObject_Draw(DWORD aspect, LONG index, DVTARGETDEVICE* device, HDC targetDevice, HDC draw,
                           LPCRECTL bounds, LPCRECTL windowBounds);
  /// OnDraw, with a display device context's state saved around it.
  HRESULT OnDrawAdvanced(ATL_DRAWINFO& di);
  /// Active, the control's window (or a windowless site) is invalidated; inactive, the view's
  /// advise sink hears of the change.
  void FireViewChange();
  HRESULT GetAmbientProperty(DISPID id, VARIANT& value);
  HRESULT GetAmbientUserMode(BOOL& userMode);
  /// CComControl's message map: WM_PAINT is handled; WM_SETFOCUS, WM_KILLFOCUS and
  /// WM_MOUSEACTIVATE tell the container and then go on to the default procedure. Whether the
  /// message was handled, with its result.
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // ---- the state -------------------------------------------------------------------------------

  SIZEL m_sizeExtent{kDefaultExtent, kDefaultExtent};
  SIZEL m_sizeNatural{kDefaultExtent, kDefaultExtent};
  RECT m_rcPos{0, 0, 0, 0};
  CComPtr<IOleClientSite> m_spClientSite;
  CComPtr<IDispatch> m_spAmbientDispatch;
  CComPtr<IOleInPlaceSite> m_spInPlaceSite;
  CComPtr<IOleInPlaceSiteEx> m_spInPlaceSiteEx;                  // when the site is one
  CComPtr<IOleInPlaceSiteWindowless> m_spInPlaceSiteWindowless;  // when the site is one
  CComPtr<IAdviseSink> m_spAdviseSink;                           // the view's
  CComPtr<IOleAdviseHolder> m_spOleAdviseHolder;
  CComPtr<IDataAdviseHolder> m_spDataAdviseHolder;
  int m_nFreezeEvents = 0;
  bool m_bNegotiatedWnd = false;
  bool m_bWndLess = false;
  bool m_bInPlaceActive = false;
  bool m_bUIActive = false;
  bool m_bWasOnceWindowless = false;
  bool m_bRequiresSave = false;

 private:
  void NegotiateSite();
  HRESULT TellSiteOfActivation();
  HRESULT PlaceInSite(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document);
  HRESULT UIActivate(IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document);
  BOOL GrabControlFocus();
  LRESULT OnPaint(HWND window, WPARAM wParam);
  void OnSetFocus();
  void OnKillFocus(HWND window);
  void OnMouseActivate(HWND window);
};

// ---- the object --------------------------------------------------------------------------------

class IOleObjectImpl : public IOleObject, public virtual CComControlBase {
 public:
  /// Keeps the site, and the site's IDispatch for ambient properties.
  HRESULT SetClientSite(IOleClientSite* site) override;
  HRESULT GetClientSite(IOleClientSite** site) override;
  HRESULT SetHostNames(LPCOLESTR application, LPCOLESTR object) override;
  /// Tells the site the window goes, deactivates, saves through the site when asked and dirty,
  /// and lets go of the in-place site and the view's sink.
  HRESULT Close(DWORD saveOption) override;
  HRESULT SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index, HWND parent,
                 LPCRECT position) override;
  HRESULT EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT Update() override;
  HRESULT IsUpToDate() override;
  HRESULT GetUserClassID(CLSID* clsid) override;
  HRESULT GetUserType(DWORD form, LPOLESTR* userType) override;
  /// DVASPECT_CONTENT only (E_FAIL otherwise), in HIMETRIC.
  HRESULT SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT Unadvise(DWORD connection) override;
  HRESULT EnumAdvise(IEnumSTATDATA** connections) override;
  /// The class's registered status flags.
  HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT SetColorScheme(LOGPALETTE* palette) override;

 private:
  HRESULT DoVerbPrimary(LPCRECT position, HWND parent);
  HRESULT DoVerbInPlaceActivate(LPCRECT position);
  HRESULT DoVerbHide();
  HRESULT DoVerbProperties();
};

class IOleControlImpl : public IOleControl, public virtual CComControlBase {
 public:
  HRESULT GetControlInfo(CONTROLINFO* info) override;
  HRESULT OnMnemonic(MSG* message) override;
  HRESULT OnAmbientPropertyChange(DISPID id) override;
  /// Counts freezes and thaws.
  HRESULT FreezeEvents(BOOL freeze) override;
};

// ---- in place ----------------------------------------------------------------------------------

class IOleInPlaceObjectWindowlessImpl : public IOleInPlaceObjectWindowless, public virtual CComControlBase {
 public:
  /// The control's window; E_FAIL once the control has been windowless.
  HRESULT GetWindow(HWND* window) override;
  HRESULT ContextSensitiveHelp(BOOL enterMode) override;
  HRESULT InPlaceDeactivate() override;
  HRESULT UIDeactivate() override;
  HRESULT SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT ReactivateAndUndo() override;
  /// The control's message map for a windowless control: S_OK if it handled the message.
  HRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  HRESULT GetDropTarget(IDropTarget** target) override;

 protected:
  /// The whole message map of the control class, CComControlBase::ProcessWindowMessage in it.
  virtual BOOL ProcessControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
};

class IOleInPlaceActiveObjectImpl : public IOleInPlaceActiveObject, public virtual CComControlBase {
 public:
  HRESULT GetWindow(HWND* window) override;
  HRESULT ContextSensitiveHelp(BOOL enterMode) override;
  /// Offers the message to the container's IOleControlSite, with the state of the modifier keys.
  HRESULT TranslateAccelerator(LPMSG message) override;
  HRESULT OnFrameWindowActivate(BOOL activate) override;
  /// Deactivation of the document window UI-deactivates the control.
  HRESULT OnDocWindowActivate(BOOL activate) override;
  HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
  HRESULT EnableModeless(BOOL enable) override;
};

// ---- views and data ----------------------------------------------------------------------------

class IViewObjectExImpl : public IViewObjectEx, public virtual CComControlBase {
 public:
  HRESULT Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDevice, HDC draw,
               LPCRECTL bounds, LPCRECTL windowBounds, BOOL (*keepDrawing)(ULONG_PTR),
               ULONG_PTR keepDrawingArgument) override;
  HRESULT GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDevice,
                      LOGPALETTE** colors) override;
  HRESULT Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  HRESULT Unfreeze(DWORD freeze) override;
  /// One sink for the view, whatever the aspects and flags.
  HRESULT SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) override;
  HRESULT GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) override;
  /// The extent in HIMETRIC, whatever the aspect.
  HRESULT GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;
  HRESULT GetRect(DWORD aspect, LPRECTL rect) override;
  HRESULT GetViewStatus(DWORD* status) override;
  /// DVASPECT_CONTENT only: a hit anywhere inside the bounds.
  HRESULT QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint, DWORD* hit) override;
  HRESULT QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint, DWORD* hit) override;
  HRESULT GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, HDC targetDevice,
                           DVEXTENTINFO* extentInfo, LPSIZEL size) override;
};

class IDataObjectImpl : public IDataObject, public virtual CComControlBase {
 public:
  /// The control drawn into a metafile picture (TYMED_MFPICT) of its extent.
  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT QueryGetData(FORMATETC* format) override;
  HRESULT GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) override;
  HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  HRESULT DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
  HRESULT DUnadvise(DWORD connection) override;
  HRESULT EnumDAdvise(IEnumSTATDATA** connections) override;
};

class IQuickActivateImpl : public IQuickActivate, public virtual CComControlBase {
 public:
  /// Sites the control, joins the container's sinks (view, events) and reports the control's
  /// status flags and view status in one call.
  HRESULT QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  HRESULT SetContentExtent(LPSIZEL size) override;
  HRESULT GetContentExtent(LPSIZEL size) override;
};

// ---- persistence -------------------------------------------------------------------------------

class IPersistStreamInitImpl : public IPersistStreamInit, public virtual CComControlBase {
 public:
  HRESULT GetClassID(CLSID* clsid) override;
  /// S_OK when there are changes to save, S_FALSE otherwise.
  HRESULT IsDirty() override;
  /// E_FAIL for a stream written by a later version, or one that ends early; nothing changes then.
  HRESULT Load(LPSTREAM stream) override;
  HRESULT Save(LPSTREAM stream, BOOL clearDirty) override;
  HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
  /// A new control counts as changed, so that it is saved.
  HRESULT InitNew() override;
};

/// The properties in a stream named "Contents" of the storage.
class IPersistStorageImpl : public IPersistStorage, public virtual CComControlBase {
 public:
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT IsDirty() override;
  HRESULT InitNew(IStorage* storage) override;
  HRESULT Load(IStorage* storage) override;
  HRESULT Save(IStorage* storage, BOOL sameAsLoad) override;
  HRESULT SaveCompleted(IStorage* storage) override;
  HRESULT HandsOffStorage() override;
};

class ISpecifyPropertyPagesImpl : public ISpecifyPropertyPages, public virtual CComControlBase {
 public:
  /// The pages of the property map's entries: none, since they are all data entries.
  HRESULT GetPages(CAUUID* pages) override;
};

}  // namespace ATL
