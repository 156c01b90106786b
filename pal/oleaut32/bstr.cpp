// Automation strings. The block is [byte length][characters][two zero bytes], and the BSTR
// points at the characters.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "pal/oleauto.h"

namespace {

constexpr size_t kPrefix = sizeof(DWORD);

/// Allocates the block for `byteLength` bytes of content and writes its prefix and terminator.
BSTR AllocateBlock(UINT byteLength) {
  // The prefix is a 32-bit count and the terminator needs two more bytes.
  if (byteLength > std::numeric_limits<DWORD>::max() - kPrefix - sizeof(OLECHAR) - 1) return nullptr;
  auto* block = static_cast<BYTE*>(std::malloc(kPrefix + byteLength + sizeof(OLECHAR) + 1));
  if (block == nullptr) return nullptr;
  const DWORD prefix = byteLength;
  std::memcpy(block, &prefix, kPrefix);
  // Three zero bytes: an odd byte length still ends in a whole 16-bit terminator.
  std::memset(block + kPrefix + byteLength, 0, sizeof(OLECHAR) + 1);
  return reinterpret_cast<BSTR>(block + kPrefix);
}

BYTE* BlockOf(BSTR text) { return reinterpret_cast<BYTE*>(text) - kPrefix; }

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  UINT length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
  BSTR result = AllocateBlock(length * sizeof(OLECHAR));
  if (result != nullptr && text != nullptr) std::memcpy(result, text, length * sizeof(OLECHAR));
  return result;
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) {
  BSTR result = AllocateBlock(length);
  if (result != nullptr && bytes != nullptr) std::memcpy(result, bytes, length);
  return result;
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(BlockOf(text));
}

UINT SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  DWORD length;
  std::memcpy(&length, BlockOf(text), kPrefix);
  return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
