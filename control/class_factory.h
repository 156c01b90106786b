// The class object of CProwlnet.
#pragma once

#include "pal/objbase.h"

namespace prowlnet::control {

/// Cached by the module for its life: the module's own reference is its first. A host that
/// holds another reference holds the module loaded, as with any cached class object.
class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  /// CLASS_E_NOAGGREGATION (the result set to null) for an outer unknown; E_POINTER for no place
  /// for the result; otherwise the new object's creation result.
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  /// Adds 1 to or subtracts 1 from the module's lock count.
  HRESULT LockServer(BOOL lock) override;

 private:
  LONG volatile references_ = 1;
};

}  // namespace prowlnet::control
