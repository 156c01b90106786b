// Persistence of a control's property map through a stream, and through a storage's "Contents"
// stream; and the property pages of the map.
#include <cstring>
#include <vector>

#include "internal/loud.h"
#include "pal/atlctl.h"

namespace ATL {
namespace {

constexpr OLECHAR kContents[] = u"Contents";

/// The bytes an entry keeps: four for the 32-bit integers, the only kind a map holds here.
ULONG SizeOf(const ATL_PROPMAP_ENTRY& entry) {
  if (entry.vt != VT_UI4 && entry.vt != VT_I4) pal::internal::Unsupported("IPersistStreamInit", "properties other than 32-bit integers");
  return 4;
}

/// Reads exactly `size` bytes; E_FAIL when the stream ends first.
HRESULT ReadExactly(IStream* stream, void* into, ULONG size) {
  ULONG read = 0;
  const HRESULT hr = stream->Read(into, size, &read);
  if (FAILED(hr)) return hr;
  return read == size ? S_OK : E_FAIL;
}

}  // namespace

// ---- IPersistStreamInit ------------------------------------------------------------------------

HRESULT IPersistStreamInitImpl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = *GetControlClassInfo().clsid;
  return S_OK;
}

HRESULT IPersistStreamInitImpl::IsDirty() { return m_bRequiresSave ? S_OK : S_FALSE; }

HRESULT IPersistStreamInitImpl::Load(LPSTREAM stream) {
  if (stream == nullptr) return E_INVALIDARG;
  DWORD version = 0;
  HRESULT hr = ReadExactly(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  if (version > kPersistedVersion) return E_FAIL;
  // Everything is read before anything changes, so that a short stream leaves the control as it was.
  const auto properties = GetControlClassInfo().properties;
  std::vector<std::vector<BYTE>> values;
  for (const ATL_PROPMAP_ENTRY& entry : properties) {
    values.emplace_back(SizeOf(entry));
    hr = ReadExactly(stream, values.back().data(), SizeOf(entry));
    if (FAILED(hr)) return hr;
  }
  for (size_t i = 0; i < properties.size(); ++i) std::memcpy(properties[i].data(*this), values[i].data(), values[i].size());
  m_bRequiresSave = false;
  return S_OK;
}

HRESULT IPersistStreamInitImpl::Save(LPSTREAM stream, BOOL clearDirty) {
  if (stream == nullptr) return E_INVALIDARG;
  const DWORD version = kPersistedVersion;
  HRESULT hr = stream->Write(&version, sizeof version, nullptr);
  for (const ATL_PROPMAP_ENTRY& entry : GetControlClassInfo().properties) {
    if (FAILED(hr)) return hr;
    hr = stream->Write(entry.data(*this), SizeOf(entry), nullptr);
  }
  if (SUCCEEDED(hr) && clearDirty) m_bRequiresSave = false;
  return hr;
}

HRESULT IPersistStreamInitImpl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = sizeof(DWORD);
  for (const ATL_PROPMAP_ENTRY& entry : GetControlClassInfo().properties) size->QuadPart += SizeOf(entry);
  return S_OK;
}

HRESULT IPersistStreamInitImpl::InitNew() {
  m_bRequiresSave = true;
  return S_OK;
}

// ---- IPersistStorage ---------------------------------------------------------------------------

namespace {

CComPtr<IPersistStreamInit> StreamPersistenceOf(CComControlBase& control) {
  CComPtr<IPersistStreamInit> persist;
  control.ControlQueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
  return persist;
}

}  // namespace

HRESULT IPersistStorageImpl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = *GetControlClassInfo().clsid;
  return S_OK;
}

HRESULT IPersistStorageImpl::IsDirty() {
  CComPtr<IPersistStreamInit> persist = StreamPersistenceOf(*this);
  return persist == nullptr ? E_FAIL : persist->IsDirty();
}

HRESULT IPersistStorageImpl::InitNew(IStorage*) {
  CComPtr<IPersistStreamInit> persist = StreamPersistenceOf(*this);
  return persist == nullptr ? E_FAIL : persist->InitNew();
}

HRESULT IPersistStorageImpl::Load(IStorage* storage) {
  if (storage == nullptr) return E_INVALIDARG;
  CComPtr<IPersistStreamInit> persist = StreamPersistenceOf(*this);
  if (persist == nullptr) return E_FAIL;
  CComPtr<IStream> stream;
  const HRESULT hr = storage->OpenStream(kContents, nullptr, STGM_DIRECT | STGM_SHARE_EXCLUSIVE, 0, &stream);
  return FAILED(hr) ? hr : persist->Load(stream);
}

HRESULT IPersistStorageImpl::Save(IStorage* storage, BOOL sameAsLoad) {
  if (storage == nullptr) return E_INVALIDARG;
  CComPtr<IPersistStreamInit> persist = StreamPersistenceOf(*this);
  if (persist == nullptr) return E_FAIL;
  CComPtr<IStream> stream;
  const HRESULT hr =
      storage->CreateStream(kContents, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0, &stream);
  return FAILED(hr) ? hr : persist->Save(stream, sameAsLoad);
}

// The storage is not held between calls, so there is nothing to finish or to let go of.
HRESULT IPersistStorageImpl::SaveCompleted(IStorage*) { return S_OK; }
HRESULT IPersistStorageImpl::HandsOffStorage() { return S_OK; }

// ---- ISpecifyPropertyPages ---------------------------------------------------------------------

HRESULT ISpecifyPropertyPagesImpl::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  // Data entries name no page, and a map holds nothing else: an empty list, in a block the
  // caller frees as it would a full one.
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(0));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  pages->cElems = 0;
  return S_OK;
}

}  // namespace ATL
