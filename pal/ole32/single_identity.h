// IUnknown for pal's own objects that implement one interface (and the interfaces it derives
// from): one identity, a reference count that starts at 1 for its creator, and deletion at the
// last Release. Like the platform's own objects of this kind, they are used from one thread.
#pragma once

#include "pal/objbase.h"

namespace pal::internal {

template <typename Interface, typename... Ancestors>
class SingleIdentity : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IidOf<Interface>()) &&
        !(IsEqualIID(riid, IidOf<Ancestors>()) || ...))
      return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  SingleIdentity() = default;
  virtual ~SingleIdentity() = default;

 private:
  ULONG references_ = 1;
};

}  // namespace pal::internal
