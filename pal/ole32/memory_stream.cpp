// IStream on memory, and CreateStreamOnHGlobal.
#include "memory_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "internal/loud.h"
#include "ole32/single_identity.h"

namespace pal::ole32 {
namespace {

/// Streams stay below 2 GiB, so that every size and position fits the 32-bit counts of Read and
/// Write and the signed moves of Seek.
constexpr ULONGLONG kLargestStream = 0x7FFFFFFF;

class MemoryStream final : public pal::internal::SingleIdentity<IStream, ISequentialStream> {
 public:
  MemoryStream(std::shared_ptr<StreamContents> contents, bool writable, std::u16string name, ULONGLONG position)
      : contents_(std::move(contents)), writable_(writable), name_(std::move(name)), position_(position) {
    ++contents_->openStreams;
  }

  HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
    if (buffer == nullptr) return STG_E_INVALIDPOINTER;
    const std::vector<BYTE>& bytes = contents_->bytes;
    const ULONGLONG available = position_ < bytes.size() ? bytes.size() - position_ : 0;
    const auto count = static_cast<ULONG>(std::min<ULONGLONG>(size, available));
    if (count > 0) std::memcpy(buffer, bytes.data() + position_, count);
    position_ += count;
    if (read != nullptr) *read = count;
    return S_OK;
  }

  HRESULT Write(const void* buffer, ULONG size, ULONG* written) override {
    if (written != nullptr) *written = 0;
    if (buffer == nullptr) return STG_E_INVALIDPOINTER;
    if (!writable_) return STG_E_ACCESSDENIED;
    if (position_ + size > kLargestStream) return STG_E_MEDIUMFULL;
    std::vector<BYTE>& bytes = contents_->bytes;
    if (position_ + size > bytes.size()) bytes.resize(position_ + size);
    if (size > 0) std::memcpy(bytes.data() + position_, buffer, size);
    position_ += size;
    if (written != nullptr) *written = size;
    return S_OK;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    LONGLONG base;
    switch (origin) {
      case STREAM_SEEK_SET:
        base = 0;
        break;
      case STREAM_SEEK_CUR:
        base = static_cast<LONGLONG>(position_);
        break;
      case STREAM_SEEK_END:
        base = static_cast<LONGLONG>(contents_->bytes.size());
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    if (move.QuadPart < -base || move.QuadPart > static_cast<LONGLONG>(kLargestStream) - base)
      return STG_E_INVALIDFUNCTION;
    position_ = static_cast<ULONGLONG>(base + move.QuadPart);
    if (position != nullptr) position->QuadPart = position_;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    if (!writable_) return STG_E_ACCESSDENIED;
    if (size.QuadPart > kLargestStream) return STG_E_MEDIUMFULL;
    contents_->bytes.resize(size.QuadPart);
    return S_OK;
  }

  HRESULT CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
    if (target == nullptr) return STG_E_INVALIDPOINTER;
    const std::vector<BYTE>& bytes = contents_->bytes;
    const ULONGLONG start = std::min<ULONGLONG>(position_, bytes.size());
    const auto count = static_cast<ULONG>(std::min<ULONGLONG>(size.QuadPart, bytes.size() - start));
    // A copy: the target may be a clone on the same bytes, which its writing may move.
    const std::vector<BYTE> chunk(bytes.data() + start, bytes.data() + start + count);
    position_ += count;
    ULONG put = 0;
    const HRESULT hr = target->Write(chunk.data(), count, &put);
    if (read != nullptr) read->QuadPart = count;
    if (written != nullptr) written->QuadPart = put;
    return hr;
  }

  // Memory is written directly: there is nothing to commit or to revert.
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  // A stream on memory has no regions to lock, as with Windows' own.
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

  HRESULT Stat(STATSTG* stat, DWORD flags) override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = contents_->bytes.size();
    stat->grfMode = (writable_ ? STGM_READWRITE : STGM_READ) | STGM_SHARE_EXCLUSIVE;
    if (flags == STATFLAG_NONAME || name_.empty()) return S_OK;
    const size_t bytes = (name_.size() + 1) * sizeof(OLECHAR);
    stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (stat->pwcsName == nullptr) return E_OUTOFMEMORY;
    std::memcpy(stat->pwcsName, name_.c_str(), bytes);
    return S_OK;
  }

  HRESULT Clone(IStream** copy) override {
    if (copy == nullptr) return STG_E_INVALIDPOINTER;
    *copy = new (std::nothrow) MemoryStream(contents_, writable_, name_, position_);
    return *copy == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  ~MemoryStream() { --contents_->openStreams; }

  std::shared_ptr<StreamContents> contents_;
  bool writable_;
  std::u16string name_;
  ULONGLONG position_;
};

}  // namespace

HRESULT OpenMemoryStream(std::shared_ptr<StreamContents> contents, bool writable, std::u16string name,
                         IStream** stream) {
  *stream = new (std::nothrow) MemoryStream(std::move(contents), writable, std::move(name), 0);
  return *stream == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace pal::ole32

HRESULT CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream) {
  if (memory != nullptr || !deleteOnRelease) pal::internal::Unsupported("CreateStreamOnHGlobal", "a caller's memory block");
  if (stream == nullptr) return E_INVALIDARG;
  return pal::ole32::OpenMemoryStream(std::make_shared<pal::ole32::StreamContents>(), true, u"", stream);
}
