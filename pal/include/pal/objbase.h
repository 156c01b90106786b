// COM: identifiers, the base interfaces, apartments and activation of in-process servers.
//
// Interfaces are C++ classes with only pure virtual functions and no virtual destructor, so an
// interface pointer points at a table of its functions in declaration order, as a COM vtable.
//
// A thread enters an apartment with CoInitializeEx. Classes are found through
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, whose default value is the module's path (an
// absolute host path, or a path on drive c:). The module is loaded once per process and must
// export DllGetClassObject, and may export DllCanUnloadNow. Objects are created directly in the
// calling apartment: there is no marshalling, so the class's ThreadingModel must suit the
// apartment of the caller ("Apartment" or "Both" for a single-threaded apartment, "Free" or
// "Both" for the multithreaded one); any other pairing stops the process.
#pragma once

#include <cstring>

#include "pal/windef.h"

// ---- identifiers -------------------------------------------------------------------------------

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPCLSID = CLSID*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace pal {

/// Ties an interface type to its IID. Only specialisations exist: asking for the IID of a type
/// that has none does not compile, so a typed QueryInterface is checked by the compiler.
template <typename Interface>
struct InterfaceId;

template <typename Interface>
constexpr REFIID IidOf() {
  return InterfaceId<Interface>::iid;
}

}  // namespace pal

/// Declares the IID of an interface type, at global scope after both are declared.
#define PAL_INTERFACE_ID(Interface, Iid) \
  template <>                              \
  struct pal::InterfaceId<Interface> {     \
    static constexpr const IID& iid = Iid; \
  }

// ---- status codes ------------------------------------------------------------------------------

constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150);
constexpr HRESULT REGDB_E_WRITEREGDB = static_cast<HRESULT>(0x80040151);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9);

// ---- base interfaces ---------------------------------------------------------------------------

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};
using LPUNKNOWN = IUnknown*;

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
PAL_INTERFACE_ID(IUnknown, IID_IUnknown);
PAL_INTERFACE_ID(IClassFactory, IID_IClassFactory);

// ---- apartments --------------------------------------------------------------------------------

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
constexpr DWORD COINIT_SPEED_OVER_MEMORY = 0x8;

/// S_OK for the thread's first call, S_FALSE for a further call with the same model (each must be
/// balanced by CoUninitialize), RPC_E_CHANGED_MODE for a call with the other model.
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
HRESULT CoInitialize(LPVOID reserved);
/// The thread's last balancing call leaves the apartment; when no apartment of the process needs
/// a server module any more, the module is unloaded.
void CoUninitialize();

// ---- identifier text ---------------------------------------------------------------------------

/// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case; the characters written with the
/// terminator (39), or 0 when `size` is smaller.
int StringFromGUID2(REFGUID guid, LPOLESTR text, int size);
/// A braced identifier, or else a ProgID; CO_E_CLASSSTRING when it is neither.
HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
/// A braced identifier only; E_INVALIDARG otherwise.
HRESULT IIDFromString(LPCOLESTR text, IID* iid);
/// The class of HKEY_CLASSES_ROOT\<progId>, after its CurVer when it has one;
/// CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);

// ---- activation --------------------------------------------------------------------------------

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

struct COSERVERINFO;

/// What an in-process server module exports, by these names.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID clsid, REFIID riid, LPVOID* object);
using LPFNCANUNLOADNOW = HRESULT (*)();

/// The class object of an in-process server, from the module's DllGetClassObject. Only contexts
/// that include CLSCTX_INPROC_SERVER, and no server information, are supported.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID riid, LPVOID* object);
/// The class object's CreateInstance; `*object` is null on failure.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object);
/// Unloads the modules loaded for the calling apartment whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// ---- task memory -------------------------------------------------------------------------------

/// The allocator that COM hands memory across interfaces with: whoever receives it frees it.
LPVOID CoTaskMemAlloc(SIZE_T size);
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size);
void CoTaskMemFree(LPVOID block);
