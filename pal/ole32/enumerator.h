// The standard enumerator object (Next, Skip, Reset, Clone) over its own copy of a list, and the
// copy policies of interface pointers and advise connections.
#pragma once

#include <cstring>
#include <new>
#include <vector>

#include "ole32/single_identity.h"
#include "pal/objidl.h"

namespace pal::internal {

/// Copies that hold a reference on an interface pointer.
template <typename I>
struct InterfaceCopy {
  static void Copy(I** to, I* const* from) {
    *to = *from;
    if (*to != nullptr) (*to)->AddRef();
  }
  static void Destroy(I** item) {
    if (*item != nullptr) (*item)->Release();
  }
};

/// Copies of an advise connection: a reference on the sink and a copy of the target device.
struct StatDataCopy {
  static void Copy(STATDATA* to, const STATDATA* from) {
    *to = *from;
    to->formatetc.ptd = CopyDevice(from->formatetc.ptd);
    if (to->pAdvSink != nullptr) to->pAdvSink->AddRef();
  }
  static void Destroy(STATDATA* item) {
    CoTaskMemFree(item->formatetc.ptd);
    if (item->pAdvSink != nullptr) item->pAdvSink->Release();
  }
  /// A task-memory copy of a device description, or null.
  static DVTARGETDEVICE* CopyDevice(const DVTARGETDEVICE* device) {
    if (device == nullptr) return nullptr;
    auto* copy = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(device->tdSize));
    if (copy != nullptr) std::memcpy(copy, device, device->tdSize);
    return copy;
  }
};

/// Enumerates copies of `items` taken when it was made; what Next hands out the caller owns.
template <typename Interface, typename Item, typename Policy>
class Enumerator final : public SingleIdentity<Interface> {
 public:
  /// E_POINTER for no place for the result, E_OUTOFMEMORY when no enumerator can be made.
  static HRESULT Create(const std::vector<Item>& items, Interface** result) {
    if (result == nullptr) return E_POINTER;
    *result = new (std::nothrow) Enumerator(items, 0);
    return *result == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  /// S_OK when all `count` items were fetched, S_FALSE when the list ended first.
  HRESULT Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (fetched == nullptr && count != 1)) return E_POINTER;
    ULONG taken = 0;
    for (; taken < count && position_ < items_.size(); ++taken, ++position_) Policy::Copy(&out[taken], &items_[position_]);
    if (fetched != nullptr) *fetched = taken;
    return taken == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const size_t left = items_.size() - position_;
    position_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT Clone(Interface** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = new (std::nothrow) Enumerator(items_, position_);
    return *copy == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  Enumerator(const std::vector<Item>& items, size_t position) : items_(items.size()), position_(position) {
    for (size_t i = 0; i < items.size(); ++i) Policy::Copy(&items_[i], &items[i]);
  }
  ~Enumerator() {
    for (Item& item : items_) Policy::Destroy(&item);
  }

  std::vector<Item> items_;
  size_t position_;
};

}  // namespace pal::internal
