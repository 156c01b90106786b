#include "control/class_factory.h"

#include "control/module.h"
#include "control/prowlnet_control.h"

namespace prowlnet::control {

HRESULT ClassFactory::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
  AddRef();
  *object = static_cast<IClassFactory*>(this);
  return S_OK;
}

ULONG ClassFactory::AddRef() {
  const LONG count = InterlockedIncrement(&references_);
  if (count == 2) TheModule().Lock();  // the first reference beyond the module's own
  return static_cast<ULONG>(count);
}

ULONG ClassFactory::Release() {
  const LONG count = InterlockedDecrement(&references_);
  if (count == 1) TheModule().Unlock();
  return static_cast<ULONG>(count);
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (outer != nullptr) {
    if (object != nullptr) *object = nullptr;
    return CLASS_E_NOAGGREGATION;
  }
  if (object == nullptr) return E_POINTER;
  return CProwlnetControl::Create(riid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    TheModule().Lock();
  } else {
    TheModule().Unlock();
  }
  return S_OK;
}

}  // namespace prowlnet::control
