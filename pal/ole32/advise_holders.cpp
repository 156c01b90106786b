// The OLE and data advise holders: lists of advise sinks with their connection numbers.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "internal/loud.h"
#include "ole32/enumerator.h"
#include "ole32/single_identity.h"
#include "pal/kernel32.h"
#include "pal/oleidl.h"

namespace pal::ole32 {
namespace {

using StatDataEnumerator = internal::Enumerator<IEnumSTATDATA, STATDATA, internal::StatDataCopy>;

struct ReleaseSink {
  void operator()(IAdviseSink* sink) const { sink->Release(); }
};
/// A reference on a sink, released when it goes.
using SinkReference = std::unique_ptr<IAdviseSink, ReleaseSink>;

/// The connections of a holder: each owns a reference on its sink and a copy of its device.
class Connections {
 public:
  Connections() = default;
  Connections(const Connections&) = delete;
  Connections& operator=(const Connections&) = delete;
  ~Connections() {
    for (STATDATA& entry : entries_) internal::StatDataCopy::Destroy(&entry);
  }

  /// Adds a connection with a new number (from 1).
  DWORD Add(const FORMATETC& format, DWORD advf, IAdviseSink* sink) {
    const STATDATA entry{format, advf, sink, next_++};
    entries_.emplace_back();
    internal::StatDataCopy::Copy(&entries_.back(), &entry);
    return entry.dwConnection;
  }
  /// OLE_E_NOCONNECTION for a number that names no connection.
  HRESULT Remove(DWORD connection) {
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const STATDATA& e) { return e.dwConnection == connection; });
    if (found == entries_.end()) return OLE_E_NOCONNECTION;
    internal::StatDataCopy::Destroy(&*found);
    entries_.erase(found);
    return S_OK;
  }
  HRESULT Enumerate(IEnumSTATDATA** result) const { return StatDataEnumerator::Create(entries_, result); }
  /// The sinks as they are now, each with a reference: a sink may unadvise while it is called.
  std::vector<SinkReference> Sinks() const {
    std::vector<SinkReference> sinks;
    for (const STATDATA& entry : entries_) {
      if (entry.pAdvSink != nullptr) entry.pAdvSink->AddRef();
      sinks.emplace_back(entry.pAdvSink);
    }
    return sinks;
  }
  const std::vector<STATDATA>& entries() const { return entries_; }

 private:
  std::vector<STATDATA> entries_;
  DWORD next_ = 1;
};

constexpr FORMATETC kNoFormat{0, nullptr, 0, -1, TYMED_NULL};

class OleAdviseHolder final : public pal::internal::SingleIdentity<IOleAdviseHolder> {
 public:
  HRESULT Advise(IAdviseSink* sink, DWORD* connection) override {
    if (connection == nullptr) return E_POINTER;
    *connection = 0;
    if (sink == nullptr) return E_INVALIDARG;
    *connection = connections_.Add(kNoFormat, 0, sink);
    return S_OK;
  }
  HRESULT Unadvise(DWORD connection) override { return connections_.Remove(connection); }
  HRESULT EnumAdvise(IEnumSTATDATA** result) override { return connections_.Enumerate(result); }
  HRESULT SendOnRename(IMoniker* moniker) override {
    for (const auto& sink : connections_.Sinks()) sink->OnRename(moniker);
    return S_OK;
  }
  HRESULT SendOnSave() override {
    for (const auto& sink : connections_.Sinks()) sink->OnSave();
    return S_OK;
  }
  HRESULT SendOnClose() override {
    for (const auto& sink : connections_.Sinks()) sink->OnClose();
    return S_OK;
  }

 private:
  ~OleAdviseHolder() = default;

  Connections connections_;
};

class DataAdviseHolder final : public pal::internal::SingleIdentity<IDataAdviseHolder> {
 public:
  /// ADVF_PRIMEFIRST sends the sink the data at once.
  HRESULT Advise(IDataObject* data, FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override {
    if (connection == nullptr) return E_POINTER;
    *connection = 0;
    if (format == nullptr || sink == nullptr) return E_INVALIDARG;
    *connection = connections_.Add(*format, advf, sink);
    if ((advf & ADVF_PRIMEFIRST) != 0) SendEach(data, {connections_.entries().back()}, 0);
    return S_OK;
  }
  HRESULT Unadvise(DWORD connection) override { return connections_.Remove(connection); }
  HRESULT EnumAdvise(IEnumSTATDATA** result) override { return connections_.Enumerate(result); }
  HRESULT SendOnDataChange(IDataObject* data, DWORD, DWORD advf) override {
    SendEach(data, connections_.entries(), advf);
    return S_OK;
  }

 private:
  ~DataAdviseHolder() = default;

  /// Sends to copies of the connections: a sink may unadvise while it is told.
  void SendEach(IDataObject* data, const std::vector<STATDATA>& connections, DWORD advf) {
    std::vector<STATDATA> copies(connections.size());
    for (size_t i = 0; i < connections.size(); ++i) internal::StatDataCopy::Copy(&copies[i], &connections[i]);
    for (STATDATA& entry : copies) {
      Send(data, entry, advf);
      internal::StatDataCopy::Destroy(&entry);
    }
  }

  /// Tells one sink of a change, with the data unless it asked for none (a final notice with
  /// ADVF_DATAONSTOP carries it all the same to a sink that asked for that). A connection made
  /// with ADVF_ONLYONCE ends with its first notice.
  void Send(IDataObject* data, const STATDATA& entry, DWORD advf) {
    FORMATETC format = entry.formatetc;
    STGMEDIUM medium{};
    const bool finalData = (advf & ADVF_DATAONSTOP) != 0 && (entry.advf & ADVF_DATAONSTOP) != 0;
    const bool withData = (entry.advf & ADVF_NODATA) == 0 || finalData;
    if (!withData || (data != nullptr && SUCCEEDED(data->GetData(&format, &medium)))) {
      entry.pAdvSink->OnDataChange(&format, &medium);
      if (withData) ReleaseStgMedium(&medium);
    }
    if ((entry.advf & ADVF_ONLYONCE) != 0) connections_.Remove(entry.dwConnection);
  }

  Connections connections_;
};

}  // namespace
}  // namespace pal::ole32

HRESULT CreateOleAdviseHolder(IOleAdviseHolder** holder) {
  if (holder == nullptr) return E_INVALIDARG;
  *holder = new (std::nothrow) pal::ole32::OleAdviseHolder;
  return *holder == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT CreateDataAdviseHolder(IDataAdviseHolder** holder) {
  if (holder == nullptr) return E_INVALIDARG;
  *holder = new (std::nothrow) pal::ole32::DataAdviseHolder;
  return *holder == nullptr ? E_OUTOFMEMORY : S_OK;
}

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (medium == nullptr) return;
  if (medium->pUnkForRelease != nullptr) {
    medium->pUnkForRelease->Release();  // the provider frees what the medium holds
  } else {
    switch (medium->tymed) {
      case TYMED_NULL:
        break;
      case TYMED_HGLOBAL:
        GlobalFree(medium->hGlobal);
        break;
      case TYMED_MFPICT:
        if (auto* picture = static_cast<METAFILEPICT*>(GlobalLock(medium->hMetaFilePict))) {
          DeleteMetaFile(picture->hMF);
          GlobalUnlock(medium->hMetaFilePict);
        }
        GlobalFree(medium->hMetaFilePict);
        break;
      case TYMED_ISTREAM:
        if (medium->pstm != nullptr) medium->pstm->Release();
        break;
      case TYMED_ISTORAGE:
        if (medium->pstg != nullptr) medium->pstg->Release();
        break;
      default:
        pal::internal::Unsupported("ReleaseStgMedium", "files and GDI media");
    }
  }
  medium->tymed = TYMED_NULL;
  medium->pUnkForRelease = nullptr;
}
