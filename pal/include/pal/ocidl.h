// OLE controls: windowless in-place objects and sites, extended views, the control and its site,
// stream persistence, connection points, class information, property pages, quick activation
// and safety options.
#pragma once

#include "pal/oaidl.h"
#include "pal/oleidl.h"

class IDropTarget;
class IFont;
class IOleUndoManager;
class IBindHost;
class IServiceProvider;
struct HPALETTE__;
using HPALETTE = HPALETTE__*;
using OLE_COLOR = DWORD;

constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = static_cast<HRESULT>(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202);

constexpr DISPID DISPID_AMBIENT_USERMODE = -709;

// ---- windowless in-place activation ------------------------------------------------------------

constexpr DWORD ACTIVATE_WINDOWLESS = 1;

class IOleInPlaceObjectWindowless : public IOleInPlaceObject {
 public:
  virtual HRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;
  virtual HRESULT GetDropTarget(IDropTarget** target) = 0;
};

class IOleInPlaceSiteEx : public IOleInPlaceSite {
 public:
  virtual HRESULT OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) = 0;
  virtual HRESULT OnInPlaceDeactivateEx(BOOL noRedraw) = 0;
  virtual HRESULT RequestUIActivate() = 0;
};

class IOleInPlaceSiteWindowless : public IOleInPlaceSiteEx {
 public:
  virtual HRESULT CanWindowlessActivate() = 0;
  virtual HRESULT GetCapture() = 0;
  virtual HRESULT SetCapture(BOOL capture) = 0;
  virtual HRESULT GetFocus() = 0;
  virtual HRESULT SetFocus(BOOL focus) = 0;
  virtual HRESULT GetDC(LPCRECT rect, DWORD flags, HDC* dc) = 0;
  virtual HRESULT ReleaseDC(HDC dc) = 0;
  virtual HRESULT InvalidateRect(LPCRECT rect, BOOL erase) = 0;
  virtual HRESULT InvalidateRgn(HRGN region, BOOL erase) = 0;
  virtual HRESULT ScrollRect(INT dx, INT dy, LPCRECT scroll, LPCRECT clip) = 0;
  virtual HRESULT AdjustRect(LPRECT rect) = 0;
  virtual HRESULT OnDefWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;
};

// ---- extended views ----------------------------------------------------------------------------

constexpr DWORD DVASPECT_OPAQUE = 16;
constexpr DWORD DVASPECT_TRANSPARENT = 32;
constexpr DWORD VIEWSTATUS_OPAQUE = 1;
constexpr DWORD VIEWSTATUS_SOLIDBKGND = 2;
constexpr DWORD HITRESULT_OUTSIDE = 0;
constexpr DWORD HITRESULT_HIT = 3;
constexpr DWORD DVEXTENT_CONTENT = 0;

struct DVEXTENTINFO {
  ULONG cb;
  DWORD dwExtentMode;
  SIZEL sizelProposed;
};

class IViewObjectEx : public IViewObject2 {
 public:
  virtual HRESULT GetRect(DWORD aspect, LPRECTL rect) = 0;
  virtual HRESULT GetViewStatus(DWORD* status) = 0;
  virtual HRESULT QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint, DWORD* hit) = 0;
  virtual HRESULT QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint, DWORD* hit) = 0;
  virtual HRESULT GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, HDC targetDevice,
                                   DVEXTENTINFO* extentInfo, LPSIZEL size) = 0;
};

// ---- the control and its site ------------------------------------------------------------------

struct CONTROLINFO {
  ULONG cb;
  HACCEL hAccel;
  USHORT cAccel;
  DWORD dwFlags;
};

struct POINTF {
  FLOAT x;
  FLOAT y;
};

class IOleControl : public IUnknown {
 public:
  virtual HRESULT GetControlInfo(CONTROLINFO* info) = 0;
  virtual HRESULT OnMnemonic(MSG* message) = 0;
  virtual HRESULT OnAmbientPropertyChange(DISPID id) = 0;
  virtual HRESULT FreezeEvents(BOOL freeze) = 0;
};

class IOleControlSite : public IUnknown {
 public:
  virtual HRESULT OnControlInfoChanged() = 0;
  virtual HRESULT LockInPlaceActive(BOOL lock) = 0;
  virtual HRESULT GetExtendedControl(IDispatch** control) = 0;
  virtual HRESULT TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) = 0;
  virtual HRESULT TranslateAccelerator(MSG* message, DWORD modifiers) = 0;
  virtual HRESULT OnFocus(BOOL gotFocus) = 0;
  virtual HRESULT ShowPropertyFrame() = 0;
};

// ---- stream persistence ------------------------------------------------------------------------

class IPersistStreamInit : public IPersist {
 public:
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(LPSTREAM stream) = 0;
  virtual HRESULT Save(LPSTREAM stream, BOOL clearDirty) = 0;
  virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
  virtual HRESULT InitNew() = 0;
};

// ---- connection points -------------------------------------------------------------------------

struct CONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
};

class IConnectionPointContainer;

class IEnumConnections : public IUnknown {
 public:
  virtual HRESULT Next(ULONG count, CONNECTDATA* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnections** copy) = 0;
};

class IConnectionPoint : public IUnknown {
 public:
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;
};

class IEnumConnectionPoints : public IUnknown {
 public:
  virtual HRESULT Next(ULONG count, IConnectionPoint** items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnectionPoints** copy) = 0;
};

class IConnectionPointContainer : public IUnknown {
 public:
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;
};

// ---- class information and property pages ------------------------------------------------------

constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

class IProvideClassInfo : public IUnknown {
 public:
  virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;
};

class IProvideClassInfo2 : public IProvideClassInfo {
 public:
  virtual HRESULT GetGUID(DWORD kind, GUID* guid) = 0;
};

/// A counted array of identifiers in task memory, which the receiver frees.
struct CAUUID {
  ULONG cElems;
  GUID* pElems;
};

class ISpecifyPropertyPages : public IUnknown {
 public:
  virtual HRESULT GetPages(CAUUID* pages) = 0;
};

// ---- quick activation --------------------------------------------------------------------------

class IPropertyNotifySink : public IUnknown {
 public:
  virtual HRESULT OnChanged(DISPID id) = 0;
  virtual HRESULT OnRequestEdit(DISPID id) = 0;
};

class IAdviseSinkEx : public IAdviseSink {
 public:
  virtual void OnViewStatusChange(DWORD viewStatus) = 0;
};

struct QACONTAINER {
  ULONG cbSize;
  IOleClientSite* pClientSite;
  IAdviseSinkEx* pAdviseSink;
  IPropertyNotifySink* pPropertyNotifySink;
  IUnknown* pUnkEventSink;
  DWORD dwAmbientFlags;
  OLE_COLOR colorFore;
  OLE_COLOR colorBack;
  IFont* pFont;
  IOleUndoManager* pUndoMgr;
  DWORD dwAppearance;
  LONG lcid;
  HPALETTE hpal;
  IBindHost* pBindHost;
  IOleControlSite* pOleControlSite;
  IServiceProvider* pServiceProvider;
};

struct QACONTROL {
  ULONG cbSize;
  DWORD dwMiscStatus;
  DWORD dwViewStatus;
  DWORD dwEventCookie;
  DWORD dwPropNotifyCookie;
  DWORD dwPointerActivationPolicy;
};

class IQuickActivate : public IUnknown {
 public:
  virtual HRESULT QuickActivate(QACONTAINER* container, QACONTROL* control) = 0;
  virtual HRESULT SetContentExtent(LPSIZEL size) = 0;
  virtual HRESULT GetContentExtent(LPSIZEL size) = 0;
};

// ---- safety options ----------------------------------------------------------------------------

constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_CALLER = 0x00000001;
constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_DATA = 0x00000002;

class IObjectSafety : public IUnknown {
 public:
  virtual HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) = 0;
  virtual HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) = 0;
};

// ---- identifiers -------------------------------------------------------------------------------

inline constexpr IID IID_IPersistStreamInit = {0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
inline constexpr IID IID_IViewObjectEx = {0x3AF24292, 0x0C96, 0x11CE, {0xA0, 0xCF, 0x00, 0xAA, 0x00, 0x60, 0x0A, 0xB8}};
inline constexpr IID IID_IOleInPlaceObjectWindowless = {0x1C2056CC, 0x5EF4, 0x101B, {0x8B, 0xC8, 0x00, 0xAA, 0x00, 0x3E, 0x3B, 0x29}};
inline constexpr IID IID_IOleInPlaceSiteEx = {0x9C2CAD80, 0x3424, 0x11CF, {0xB6, 0x70, 0x00, 0xAA, 0x00, 0x4C, 0xD6, 0xD8}};
inline constexpr IID IID_IOleInPlaceSiteWindowless = {0x922EADA0, 0x3424, 0x11CF, {0xB6, 0x70, 0x00, 0xAA, 0x00, 0x4C, 0xD6, 0xD8}};
inline constexpr IID IID_IOleControl = {0xB196B288, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IOleControlSite = {0xB196B289, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IProvideClassInfo = {0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IProvideClassInfo2 = {0xA6BC3AC0, 0xDBAA, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnectionPoints = {0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnections = {0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_ISpecifyPropertyPages = {0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IQuickActivate = {0xCF51ED10, 0x62FE, 0x11CF, {0xBF, 0x86, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0x36}};
inline constexpr IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
inline constexpr IID IID_IPropertyNotifySink = {0x9BFBBC02, 0xEFF1, 0x101A, {0x84, 0xED, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IPointerInactive = {0x55980BA0, 0x35AA, 0x11CF, {0xB6, 0x71, 0x00, 0xAA, 0x00, 0x4C, 0xD6, 0xD8}};

PAL_INTERFACE_ID(IPersistStreamInit, IID_IPersistStreamInit);
PAL_INTERFACE_ID(IViewObjectEx, IID_IViewObjectEx);
PAL_INTERFACE_ID(IOleInPlaceObjectWindowless, IID_IOleInPlaceObjectWindowless);
PAL_INTERFACE_ID(IOleInPlaceSiteEx, IID_IOleInPlaceSiteEx);
PAL_INTERFACE_ID(IOleInPlaceSiteWindowless, IID_IOleInPlaceSiteWindowless);
PAL_INTERFACE_ID(IOleControl, IID_IOleControl);
PAL_INTERFACE_ID(IOleControlSite, IID_IOleControlSite);
PAL_INTERFACE_ID(IProvideClassInfo, IID_IProvideClassInfo);
PAL_INTERFACE_ID(IProvideClassInfo2, IID_IProvideClassInfo2);
PAL_INTERFACE_ID(IConnectionPointContainer, IID_IConnectionPointContainer);
PAL_INTERFACE_ID(IEnumConnectionPoints, IID_IEnumConnectionPoints);
PAL_INTERFACE_ID(IConnectionPoint, IID_IConnectionPoint);
PAL_INTERFACE_ID(IEnumConnections, IID_IEnumConnections);
PAL_INTERFACE_ID(ISpecifyPropertyPages, IID_ISpecifyPropertyPages);
PAL_INTERFACE_ID(IQuickActivate, IID_IQuickActivate);
PAL_INTERFACE_ID(IObjectSafety, IID_IObjectSafety);
