// IP Helper's buffer protocol for its list queries (GetNetworkParams, GetAdaptersInfo): the caller
// offers a buffer, and a call that finds it too small answers ERROR_BUFFER_OVERFLOW with the size
// it needs. The records are laid out in the buffer with their chains pointing into it.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

#include "pal/windef.h"

namespace prowlnet {

/// A zeroed heap buffer for one query, aligned for any record laid out in it. It moves, never
/// copies: the chains in it point into it.
class QueryBuffer {
 public:
  void Allocate(ULONG size) {
    const size_t words = (size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    storage_.reset(new (std::nothrow) std::max_align_t[words]());
    size_ = storage_ != nullptr ? size : 0;
  }
  template <typename Record>
  Record* As() const {
    return reinterpret_cast<Record*>(storage_.get());
  }
  ULONG size() const { return size_; }

 private:
  std::unique_ptr<std::max_align_t[]> storage_;
  ULONG size_ = 0;
};

/// Runs `query` by the protocol: a first call into room for one record, a buffer of the reported
/// size if that overflowed, and a second call whose result is the one that counts. A list that grew
/// between the two calls overflows the second one as well; it is asked once more then, into a
/// buffer of the size reported last. Returns the result of the last call.
template <typename Record>
DWORD QueryByBufferProtocol(DWORD (*query)(Record*, ULONG*), QueryBuffer* buffer) {
  constexpr int kCalls = 3;
  buffer->Allocate(sizeof(Record));
  ULONG size = buffer->size();
  DWORD result = query(buffer->As<Record>(), &size);
  for (int call = 1; call < kCalls; ++call) {
    if (result == ERROR_BUFFER_OVERFLOW) buffer->Allocate(size);
    size = buffer->size();
    result = query(buffer->As<Record>(), &size);
    if (result != ERROR_BUFFER_OVERFLOW) break;
  }
  return result;
}

}  // namespace prowlnet
