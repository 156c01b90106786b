// Connection points: one per outgoing interface, each with any number of sinks.
#include <new>
#include <utility>

#include "ole32/enumerator.h"
#include "pal/atlcom.h"

namespace ATL {
namespace {

/// Copies of a connection, holding a reference on its sink.
struct ConnectDataCopy {
  static void Copy(CONNECTDATA* to, const CONNECTDATA* from) {
    *to = *from;
    if (to->pUnk != nullptr) to->pUnk->AddRef();
  }
  static void Destroy(CONNECTDATA* item) {
    if (item->pUnk != nullptr) item->pUnk->Release();
  }
};

}  // namespace

/// A connection point lives inside its container object: it counts its references on the
/// container, which keeps it as long as the object lives.
class CComConnectionPoint final : public IConnectionPoint {
 public:
  CComConnectionPoint(IConnectionPointContainer* container, const IID& iid) : container_(container), iid_(iid) {}
  ~CComConnectionPoint() {
    for (IUnknown* sink : sinks_)
      if (sink != nullptr) sink->Release();
  }
  CComConnectionPoint(const CComConnectionPoint&) = delete;
  CComConnectionPoint& operator=(const CComConnectionPoint&) = delete;

  const IID& iid() const { return iid_; }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return container_->AddRef(); }
  ULONG Release() override { return container_->Release(); }

  HRESULT GetConnectionInterface(IID* iid) override {
    if (iid == nullptr) return E_POINTER;
    *iid = iid_;
    return S_OK;
  }

  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (container == nullptr) return E_POINTER;
    return container_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container));
  }

  /// The sink is kept as the outgoing interface it answers to; its cookie is its slot + 1.
  /// CONNECT_E_CANNOTCONNECT for a sink without that interface.
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
    if (cookie != nullptr) *cookie = 0;
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    IUnknown* joined = nullptr;
    const HRESULT hr = sink->QueryInterface(iid_, reinterpret_cast<void**>(&joined));
    if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
    if (FAILED(hr)) return hr;
    *cookie = Keep(joined);
    return S_OK;
  }

  /// CONNECT_E_NOCONNECTION for a cookie that names no sink.
  HRESULT Unadvise(DWORD cookie) override {
    if (cookie == 0 || cookie > sinks_.size() || sinks_[cookie - 1] == nullptr) return CONNECT_E_NOCONNECTION;
    IUnknown* sink = std::exchange(sinks_[cookie - 1], nullptr);
    sink->Release();
    return S_OK;
  }

  HRESULT EnumConnections(IEnumConnections** connections) override {
    if (connections == nullptr) return E_POINTER;
    std::vector<CONNECTDATA> current;
    for (size_t i = 0; i < sinks_.size(); ++i)
      if (sinks_[i] != nullptr) current.push_back(CONNECTDATA{sinks_[i], static_cast<DWORD>(i + 1)});
    return pal::internal::Enumerator<IEnumConnections, CONNECTDATA, ConnectDataCopy>::Create(
        current, connections);
  }

 private:
  /// Puts the sink in the first free slot; its cookie.
  DWORD Keep(IUnknown* sink) {
    for (size_t i = 0; i < sinks_.size(); ++i) {
      if (sinks_[i] == nullptr) {
        sinks_[i] = sink;
        return static_cast<DWORD>(i + 1);
      }
    }
    sinks_.push_back(sink);
    return static_cast<DWORD>(sinks_.size());
  }

  IConnectionPointContainer* container_;
  const IID& iid_;
  std::vector<IUnknown*> sinks_;  // one reference each; null for a free slot
};

IConnectionPointContainerImpl::IConnectionPointContainerImpl(std::initializer_list<const IID*> outgoing) {
  for (const IID* iid : outgoing) points_.push_back(std::make_unique<CComConnectionPoint>(this, *iid));
}

IConnectionPointContainerImpl::~IConnectionPointContainerImpl() = default;

HRESULT IConnectionPointContainerImpl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points == nullptr) return E_POINTER;
  std::vector<IConnectionPoint*> all;
  for (const auto& point : points_) all.push_back(point.get());
  return pal::internal::Enumerator<IEnumConnectionPoints, IConnectionPoint*,
                                   pal::internal::InterfaceCopy<IConnectionPoint>>::Create(all, points);
}

HRESULT IConnectionPointContainerImpl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  for (const auto& candidate : points_) {
    if (IsEqualIID(candidate->iid(), riid)) {
      *point = candidate.get();
      candidate->AddRef();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

}  // namespace ATL
