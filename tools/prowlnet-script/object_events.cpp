#include "prowlnet-script/object_events.h"

#include <utility>

#include "pal/host_kit.h"
#include "pal/ocidl.h"
#include "prowlnet-script/jscript_errors.h"
#include "prowlnet-script/script_run.h"
#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

/// The sink that the object calls: each event becomes a call of the script's function.
class EventSink final : public IDispatch {
 public:
  EventSink(duk_context* ctx, std::string prefix, ATL::CComPtr<ITypeInfo> events, const IID& iid)
      : ctx_(ctx), prefix_(std::move(prefix)), events_(std::move(events)), iid_(iid) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, iid_))
      return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (ctx_ == nullptr) return S_OK;
    BSTR name = nullptr;
    UINT count = 0;
    if (FAILED(events_->GetNames(id, &name, 1, &count)) || count == 0) return DISP_E_MEMBERNOTFOUND;
    const std::string handler = prefix_ + pal::Utf8FromBstr(name);
    SysFreeString(name);
    CallHandler(handler, params);
    return S_OK;
  }

  /// After this the sink calls nothing, whatever the object still does with it.
  void Disconnect() { ctx_ = nullptr; }

 private:
  ~EventSink() = default;

  void PushArguments(const DISPPARAMS* params) {
    const UINT count = params == nullptr ? 0 : params->cArgs;
    for (UINT i = 0; i < count; ++i) {
      late_binding::Value value;
      if (FAILED(late_binding::FromVariant(params->rgvarg[count - 1 - i], &value))) value = late_binding::Undefined{};
      PushValue(ctx_, value);
    }
  }

  void CallHandler(const std::string& handler, const DISPPARAMS* params) {
    const UINT count = params == nullptr ? 0 : params->cArgs;
    if (!duk_check_stack(ctx_, static_cast<duk_idx_t>(count) + 2)) return;
    duk_get_global_lstring(ctx_, handler.data(), handler.size());
    if (!duk_is_callable(ctx_, -1)) {
      duk_pop(ctx_);
      return;
    }
    PushArguments(params);
    if (duk_pcall(ctx_, static_cast<duk_idx_t>(count)) != DUK_EXEC_SUCCESS) {
      ScriptRun& run = ScriptRunOf(ctx_);
      ReportUncaught(ctx_, run.script.path);
      EndProcess(run, kScriptErrorExit);
    }
    duk_pop(ctx_);
  }

  duk_context* ctx_;
  std::string prefix_;
  ATL::CComPtr<ITypeInfo> events_;
  IID iid_;
  ULONG references_ = 1;  // the sink lives on the script's thread: a plain count
};

class PointConnection final : public EventConnection {
 public:
  PointConnection(ATL::CComPtr<IConnectionPoint> point, DWORD cookie, EventSink* sink)
      : point_(std::move(point)), cookie_(cookie), sink_(sink) {}
  ~PointConnection() override {
    sink_->Disconnect();
    point_->Unadvise(cookie_);
    sink_->Release();
  }
  PointConnection(const PointConnection&) = delete;
  PointConnection& operator=(const PointConnection&) = delete;

 private:
  ATL::CComPtr<IConnectionPoint> point_;
  DWORD cookie_;
  EventSink* sink_;  // one reference of ours
};

/// The type information of the default outgoing interface of the coclass `coclass`, or null.
ATL::CComPtr<ITypeInfo> DefaultSourceOf(ITypeInfo* coclass) {
  ATL::CComPtr<ITypeInfo> events;
  TYPEATTR* attributes = nullptr;
  if (FAILED(coclass->GetTypeAttr(&attributes))) return events;
  const UINT count = attributes->cImplTypes;
  coclass->ReleaseTypeAttr(attributes);
  constexpr INT kDefaultSource = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
  for (UINT i = 0; i < count; ++i) {
    INT flags = 0;
    HREFTYPE reference = 0;
    if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || (flags & kDefaultSource) != kDefaultSource) continue;
    if (SUCCEEDED(coclass->GetRefTypeOfImplType(i, &reference))) coclass->GetRefTypeInfo(reference, &events);
    break;
  }
  return events;
}

/// The object's default outgoing interface, from its class information; false when it has none.
bool FindDefaultSource(IDispatch* object, ATL::CComPtr<ITypeInfo>& events, IID* iid) {
  ATL::CComPtr<IProvideClassInfo> classInfo;
  ATL::CComPtr<ITypeInfo> coclass;
  if (FAILED(object->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&classInfo))) ||
      FAILED(classInfo->GetClassInfo(&coclass))) {
    return false;
  }
  events = DefaultSourceOf(coclass);
  TYPEATTR* attributes = nullptr;
  if (events == nullptr || FAILED(events->GetTypeAttr(&attributes))) return false;
  *iid = attributes->guid;
  events->ReleaseTypeAttr(attributes);
  return true;
}

}  // namespace

HRESULT ConnectEvents(duk_context* ctx, IDispatch* object, const std::string& prefix,
                      std::unique_ptr<EventConnection>* connection) {
  ATL::CComPtr<ITypeInfo> events;
  IID iid{};
  ATL::CComPtr<IConnectionPointContainer> container;
  ATL::CComPtr<IConnectionPoint> point;
  if (!FindDefaultSource(object, events, &iid) ||
      FAILED(object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))) ||
      FAILED(container->FindConnectionPoint(iid, &point))) {
    return S_FALSE;
  }
  auto* sink = new EventSink(ctx, prefix, events, iid);
  DWORD cookie = 0;
  const HRESULT hr = point->Advise(sink, &cookie);
  if (FAILED(hr)) {
    sink->Release();
    return hr;
  }
  *connection = std::make_unique<PointConnection>(std::move(point), cookie, sink);
  return S_OK;
}

}  // namespace script_host
