// OLE documents: the object and its client site, in-place activation with its sites, frames and
// windows, views, and the advise holder; ole32's registry helpers for classes of objects.
#pragma once

#include "pal/objidl.h"
#include "pal/user32.h"

class IOleContainer;
class IEnumOLEVERB;
struct LOGPALETTE;

// ---- verbs, status flags and options -----------------------------------------------------------

constexpr LONG OLEIVERB_PRIMARY = 0;
constexpr LONG OLEIVERB_SHOW = -1;
constexpr LONG OLEIVERB_OPEN = -2;
constexpr LONG OLEIVERB_HIDE = -3;
constexpr LONG OLEIVERB_UIACTIVATE = -4;
constexpr LONG OLEIVERB_INPLACEACTIVATE = -5;
constexpr LONG OLEIVERB_DISCARDUNDOSTATE = -6;
constexpr LONG OLEIVERB_PROPERTIES = -7;

constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x00000001;
constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x00000010;
constexpr DWORD OLEMISC_INSIDEOUT = 0x00000080;
constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x00000100;
constexpr DWORD OLEMISC_INVISIBLEATRUNTIME = 0x00000400;
constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x00020000;

constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
constexpr DWORD OLECLOSE_NOSAVE = 1;
constexpr DWORD OLECLOSE_PROMPTSAVE = 2;

constexpr DWORD USERCLASSTYPE_FULL = 1;
constexpr DWORD USERCLASSTYPE_SHORT = 2;
constexpr DWORD USERCLASSTYPE_APPNAME = 3;

constexpr HRESULT OLE_S_USEREG = 0x00040000;
constexpr HRESULT OLEOBJ_S_CANNOT_DOVERB_NOW = 0x00040181;
constexpr HRESULT OLEOBJ_E_NOVERBS = static_cast<HRESULT>(0x80040180);
constexpr HRESULT OLE_E_NOT_INPLACEACTIVE = static_cast<HRESULT>(0x80040010);

// ---- windows and in-place activation -----------------------------------------------------------

struct HACCEL__;
using HACCEL = HACCEL__*;
using HOLEMENU = HGLOBAL;
using BORDERWIDTHS = RECT;
using LPCBORDERWIDTHS = const RECT*;

struct OLEINPLACEFRAMEINFO {
  UINT cb;
  BOOL fMDIApp;
  HWND hwndFrame;
  HACCEL haccel;
  UINT cAccelEntries;
};

struct OLEMENUGROUPWIDTHS {
  LONG width[6];
};

class IOleWindow : public IUnknown {
 public:
  virtual HRESULT GetWindow(HWND* window) = 0;
  virtual HRESULT ContextSensitiveHelp(BOOL enterMode) = 0;
};

class IOleInPlaceObject : public IOleWindow {
 public:
  virtual HRESULT InPlaceDeactivate() = 0;
  virtual HRESULT UIDeactivate() = 0;
  virtual HRESULT SetObjectRects(LPCRECT position, LPCRECT clip) = 0;
  virtual HRESULT ReactivateAndUndo() = 0;
};

class IOleInPlaceUIWindow;

class IOleInPlaceActiveObject : public IOleWindow {
 public:
  virtual HRESULT TranslateAccelerator(LPMSG message) = 0;
  virtual HRESULT OnFrameWindowActivate(BOOL activate) = 0;
  virtual HRESULT OnDocWindowActivate(BOOL activate) = 0;
  virtual HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) = 0;
  virtual HRESULT EnableModeless(BOOL enable) = 0;
};

class IOleInPlaceUIWindow : public IOleWindow {
 public:
  virtual HRESULT GetBorder(LPRECT border) = 0;
  virtual HRESULT RequestBorderSpace(LPCBORDERWIDTHS widths) = 0;
  virtual HRESULT SetBorderSpace(LPCBORDERWIDTHS widths) = 0;
  virtual HRESULT SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) = 0;
};

class IOleInPlaceFrame : public IOleInPlaceUIWindow {
 public:
  virtual HRESULT InsertMenus(HMENU shared, OLEMENUGROUPWIDTHS* widths) = 0;
  virtual HRESULT SetMenu(HMENU shared, HOLEMENU descriptor, HWND activeObject) = 0;
  virtual HRESULT RemoveMenus(HMENU shared) = 0;
  virtual HRESULT SetStatusText(LPCOLESTR text) = 0;
  virtual HRESULT EnableModeless(BOOL enable) = 0;
  virtual HRESULT TranslateAccelerator(LPMSG message, WORD id) = 0;
};

class IOleInPlaceSite : public IOleWindow {
 public:
  virtual HRESULT CanInPlaceActivate() = 0;
  virtual HRESULT OnInPlaceActivate() = 0;
  virtual HRESULT OnUIActivate() = 0;
  virtual HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                   LPRECT clip, OLEINPLACEFRAMEINFO* frameInfo) = 0;
  virtual HRESULT Scroll(SIZE extent) = 0;
  virtual HRESULT OnUIDeactivate(BOOL undoable) = 0;
  virtual HRESULT OnInPlaceDeactivate() = 0;
  virtual HRESULT DiscardUndoState() = 0;
  virtual HRESULT DeactivateAndUndo() = 0;
  virtual HRESULT OnPosRectChange(LPCRECT position) = 0;
};

// ---- the object and its client site ------------------------------------------------------------

class IOleClientSite : public IUnknown {
 public:
  virtual HRESULT SaveObject() = 0;
  virtual HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) = 0;
  virtual HRESULT GetContainer(IOleContainer** container) = 0;
  virtual HRESULT ShowObject() = 0;
  virtual HRESULT OnShowWindow(BOOL show) = 0;
  virtual HRESULT RequestNewObjectLayout() = 0;
};

class IOleObject : public IUnknown {
 public:
  virtual HRESULT SetClientSite(IOleClientSite* site) = 0;
  virtual HRESULT GetClientSite(IOleClientSite** site) = 0;
  virtual HRESULT SetHostNames(LPCOLESTR application, LPCOLESTR object) = 0;
  virtual HRESULT Close(DWORD saveOption) = 0;
  virtual HRESULT SetMoniker(DWORD which, IMoniker* moniker) = 0;
  virtual HRESULT GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) = 0;
  virtual HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) = 0;
  virtual HRESULT GetClipboardData(DWORD reserved, IDataObject** data) = 0;
  virtual HRESULT DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index, HWND parent,
                         LPCRECT position) = 0;
  virtual HRESULT EnumVerbs(IEnumOLEVERB** verbs) = 0;
  virtual HRESULT Update() = 0;
  virtual HRESULT IsUpToDate() = 0;
  virtual HRESULT GetUserClassID(CLSID* clsid) = 0;
  virtual HRESULT GetUserType(DWORD form, LPOLESTR* userType) = 0;
  virtual HRESULT SetExtent(DWORD aspect, SIZEL* size) = 0;
  virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;
  virtual HRESULT Advise(IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT Unadvise(DWORD connection) = 0;
  virtual HRESULT EnumAdvise(IEnumSTATDATA** connections) = 0;
  virtual HRESULT GetMiscStatus(DWORD aspect, DWORD* status) = 0;
  virtual HRESULT SetColorScheme(LOGPALETTE* palette) = 0;
};

class IOleAdviseHolder : public IUnknown {
 public:
  virtual HRESULT Advise(IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT Unadvise(DWORD connection) = 0;
  virtual HRESULT EnumAdvise(IEnumSTATDATA** connections) = 0;
  virtual HRESULT SendOnRename(IMoniker* moniker) = 0;
  virtual HRESULT SendOnSave() = 0;
  virtual HRESULT SendOnClose() = 0;
};

// ---- views -------------------------------------------------------------------------------------

class IViewObject : public IUnknown {
 public:
  virtual HRESULT Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDevice,
                       HDC draw, LPCRECTL bounds, LPCRECTL windowBounds, BOOL (*keepDrawing)(ULONG_PTR),
                       ULONG_PTR keepDrawingArgument) = 0;
  virtual HRESULT GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDevice,
                              LOGPALETTE** colors) = 0;
  virtual HRESULT Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) = 0;
  virtual HRESULT Unfreeze(DWORD freeze) = 0;
  virtual HRESULT SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) = 0;
  virtual HRESULT GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) = 0;
};

class IViewObject2 : public IViewObject {
 public:
  virtual HRESULT GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) = 0;
};

// ---- identifiers -------------------------------------------------------------------------------

inline constexpr IID IID_IOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceObject = {0x00000113, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleWindow = {0x00000114, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceUIWindow = {0x00000115, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceFrame = {0x00000116, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceActiveObject = {0x00000117, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleClientSite = {0x00000118, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceSite = {0x00000119, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleAdviseHolder = {0x00000111, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IViewObject = {0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IViewObject2 = {0x00000127, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

PAL_INTERFACE_ID(IOleObject, IID_IOleObject);
PAL_INTERFACE_ID(IOleInPlaceObject, IID_IOleInPlaceObject);
PAL_INTERFACE_ID(IOleWindow, IID_IOleWindow);
PAL_INTERFACE_ID(IOleInPlaceUIWindow, IID_IOleInPlaceUIWindow);
PAL_INTERFACE_ID(IOleInPlaceFrame, IID_IOleInPlaceFrame);
PAL_INTERFACE_ID(IOleInPlaceActiveObject, IID_IOleInPlaceActiveObject);
PAL_INTERFACE_ID(IOleClientSite, IID_IOleClientSite);
PAL_INTERFACE_ID(IOleInPlaceSite, IID_IOleInPlaceSite);
PAL_INTERFACE_ID(IOleAdviseHolder, IID_IOleAdviseHolder);
PAL_INTERFACE_ID(IViewObject, IID_IViewObject);
PAL_INTERFACE_ID(IViewObject2, IID_IViewObject2);

// ---- ole32 functions ---------------------------------------------------------------------------

/// A holder of advise connections for an object's IOleObject::Advise and friends.
HRESULT CreateOleAdviseHolder(IOleAdviseHolder** holder);

/// The class's status flags for `aspect` from HKEY_CLASSES_ROOT\CLSID\{clsid}\MiscStatus: the
/// value of the subkey named by the aspect's number, else the key's own value; 0 when the class
/// has no MiscStatus key. REGDB_E_CLASSNOTREG when the class is not registered.
HRESULT OleRegGetMiscStatus(REFCLSID clsid, DWORD aspect, DWORD* status);
/// The class's user type name as a new task-memory string: USERCLASSTYPE_FULL is the value of the
/// class's key; the other forms come from its AuxUserType\<form> subkey, else the full name.
HRESULT OleRegGetUserType(REFCLSID clsid, DWORD form, LPOLESTR* userType);
/// OLEOBJ_E_NOVERBS for a class without a Verb key. Enumerating registered verbs is not supported.
HRESULT OleRegEnumVerbs(REFCLSID clsid, IEnumOLEVERB** verbs);
