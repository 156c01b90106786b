// A storage in memory that holds named streams.
#include <cstring>
#include <map>
#include <new>

#include "kernel32/utf16.h"
#include "memory_stream.h"
#include "ole32/single_identity.h"

namespace pal::ole32 {
namespace {

/// Element names of a compound file are at most 31 characters.
constexpr size_t kLongestName = 31;

bool IsSharedExclusive(DWORD mode) { return (mode & STGM_SHARE_EXCLUSIVE) == STGM_SHARE_EXCLUSIVE; }
bool IsWritable(DWORD mode) { return (mode & (STGM_WRITE | STGM_READWRITE)) != 0; }

class MemoryStorage final : public pal::internal::SingleIdentity<IStorage> {
 public:
  HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override {
    if (name == nullptr || stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (!IsSharedExclusive(mode) || !IsWritable(mode)) return STG_E_INVALIDFLAG;
    const std::u16string_view text = internal::ViewOf(name);
    if (text.empty() || text.size() > kLongestName) return STG_E_INVALIDNAME;
    const std::u16string key = internal::FoldedAscii(text);
    auto found = streams_.find(key);
    if (found != streams_.end()) {
      if ((mode & STGM_CREATE) == 0) return STG_E_FILEALREADYEXISTS;
      if (found->second.contents->openStreams > 0) return STG_E_ACCESSDENIED;
    }
    Element element{std::u16string(text), std::make_shared<StreamContents>()};
    const HRESULT hr = OpenMemoryStream(element.contents, true, element.name, stream);
    if (SUCCEEDED(hr)) streams_.insert_or_assign(key, std::move(element));
    return hr;
  }

  HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** stream) override {
    if (name == nullptr || stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (reserved1 != nullptr || reserved2 != 0) return STG_E_INVALIDPARAMETER;
    if (!IsSharedExclusive(mode)) return STG_E_INVALIDFLAG;
    auto found = streams_.find(internal::FoldedAscii(internal::ViewOf(name)));
    if (found == streams_.end()) return STG_E_FILENOTFOUND;
    if (found->second.contents->openStreams > 0) return STG_E_ACCESSDENIED;
    return OpenMemoryStream(found->second.contents, IsWritable(mode), found->second.name, stream);
  }

  HRESULT DestroyElement(const OLECHAR* name) override {
    if (name == nullptr) return STG_E_INVALIDPOINTER;
    auto found = streams_.find(internal::FoldedAscii(internal::ViewOf(name)));
    if (found == streams_.end()) return STG_E_FILENOTFOUND;
    if (found->second.contents->openStreams > 0) return STG_E_ACCESSDENIED;
    streams_.erase(found);
    return S_OK;
  }

  HRESULT SetClass(REFCLSID clsid) override {
    clsid_ = clsid;
    return S_OK;
  }

  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STORAGE;
    stat->grfMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    stat->clsid = clsid_;
    return S_OK;  // the storage has no name: it is not an element of another
  }

  // Streams are written directly: there is nothing to commit or to revert.
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }

  // This storage holds streams only; see pal::CreateMemoryStorage.
  HRESULT CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) override { return E_NOTIMPL; }
  HRESULT OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) override { return E_NOTIMPL; }
  HRESULT CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
  HRESULT MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return E_NOTIMPL; }
  HRESULT EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override { return E_NOTIMPL; }
  HRESULT RenameElement(const OLECHAR*, const OLECHAR*) override { return E_NOTIMPL; }
  HRESULT SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override {
    return E_NOTIMPL;
  }
  HRESULT SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }

 private:
  struct Element {
    std::u16string name;  // as it was created
    std::shared_ptr<StreamContents> contents;
  };

  ~MemoryStorage() = default;

  std::map<std::u16string, Element> streams_;  // by folded name: names compare without case
  CLSID clsid_ = GUID_NULL;
};

}  // namespace
}  // namespace pal::ole32

HRESULT pal::CreateMemoryStorage(IStorage** storage) {
  if (storage == nullptr) return E_POINTER;
  *storage = new (std::nothrow) pal::ole32::MemoryStorage;
  return *storage == nullptr ? E_OUTOFMEMORY : S_OK;
}
