// The COM parts of the control framework, with the names and behaviour of ATL's: an object's
// identity and interface map, rich-error support for one interface, connection points, class
// information and safety options.
//
// An object derives from the ...Impl classes it needs and implements IUnknown once, with
// InternalQueryInterface over its interface map; the implementations reach the object through
// their own IUnknown methods, which are the object's.
#pragma once

#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "pal/atlbase.h"
#include "pal/ocidl.h"

namespace ATL {

// ---- identity and the interface map ------------------------------------------------------------

/// One interface of an object: its IID and how to reach it from the object.
struct InterfaceMapEntry {
  const IID* iid;
  IUnknown* (*cast)(void* object);
};

/// The entry's cast for interface I of an object of class T.
template <typename T, typename I>
IUnknown* InterfaceOf(void* object) {
  return static_cast<I*>(static_cast<T*>(object));
}

/// QueryInterface over `map`: the interface that `riid` names, with a reference added. IUnknown
/// is the first entry's interface, the object's identity. E_POINTER for no place for the result;
/// E_NOINTERFACE, with a null result, for an IID that the map does not hold.
HRESULT InternalQueryInterface(void* object, std::span<const InterfaceMapEntry> map, REFIID riid, void** result);

// ---- rich errors -------------------------------------------------------------------------------

class ISupportErrorInfoImpl : public ISupportErrorInfo {
 public:
  /// The interface whose methods report rich errors.
  explicit ISupportErrorInfoImpl(const IID& iid) : iid_(iid) {}

  /// S_OK for that interface, S_FALSE for any other.
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

 private:
  const IID& iid_;
};

// ---- connection points -------------------------------------------------------------------------

class CComConnectionPoint;

/// One connection point for each outgoing interface; any number of sinks join each.
class IConnectionPointContainerImpl : public IConnectionPointContainer {
 public:
  explicit IConnectionPointContainerImpl(std::initializer_list<const IID*> outgoing);
  ~IConnectionPointContainerImpl();
  IConnectionPointContainerImpl(const IConnectionPointContainerImpl&) = delete;
  IConnectionPointContainerImpl& operator=(const IConnectionPointContainerImpl&) = delete;

  /// The connection points in the order of the outgoing interfaces.
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
  /// CONNECT_E_NOCONNECTION, with a null result, for an interface without a connection point.
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

 private:
  std::vector<std::unique_ptr<CComConnectionPoint>> points_;
};

// ---- class information and safety options -----------------------------------------------------

class IProvideClassInfo2Impl : public IProvideClassInfo2 {
 public:
  /// Class `clsid` of the registered type library `libid` major.minor, whose default outgoing
  /// interface is `defaultSource` (null for none).
  IProvideClassInfo2Impl(const CLSID& clsid, const IID* defaultSource, const GUID& libid, WORD major, WORD minor)
      : clsid_(clsid), defaultSource_(defaultSource), libid_(libid), major_(major), minor_(minor) {}

  /// The class's type information, from the registered library.
  HRESULT GetClassInfo(ITypeInfo** info) override;
  /// GUIDKIND_DEFAULT_SOURCE_DISP_IID: the default outgoing interface; anything else E_FAIL with
  /// GUID_NULL.
  HRESULT GetGUID(DWORD kind, GUID* guid) override;

 private:
  const CLSID& clsid_;
  const IID* defaultSource_;
  const GUID& libid_;
  WORD major_;
  WORD minor_;
  CComPtr<ITypeInfo> classInfo_;
};

/// The same options for every interface of the object; none enabled at first.
class IObjectSafetyImpl : public IObjectSafety {
 public:
  explicit IObjectSafetyImpl(DWORD supported) : supported_(supported) {}

  /// E_POINTER for a missing output; for an interface the object lacks, its QueryInterface
  /// failure with both outputs 0; otherwise the supported and the enabled options.
  HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  /// E_NOINTERFACE for an interface the object lacks, E_FAIL for a mask with an unsupported
  /// option; otherwise the options in `mask` take their values from `enabled`.
  HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

 private:
  DWORD supported_;
  DWORD enabled_ = 0;
};

}  // namespace ATL
