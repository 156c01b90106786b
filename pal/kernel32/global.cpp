// MulDiv and movable global memory.
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "internal/loud.h"
#include "kernel32/handles.h"
#include "pal/kernel32.h"

namespace {

struct GlobalBlock : pal::internal::KernelObject {
  explicit GlobalBlock(SIZE_T size) : bytes(size == 0 ? 1 : size) {}
  std::vector<unsigned char> bytes;
  int locks = 0;
};

std::shared_ptr<GlobalBlock> BlockOf(HGLOBAL memory) {
  auto block = std::dynamic_pointer_cast<GlobalBlock>(pal::internal::LookUpHandle(memory));
  if (block == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return block;
}

}  // namespace

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t divisor = std::llabs(c);
  const std::int64_t magnitude = (std::llabs(product) + divisor / 2) / divisor;  // half rounds up
  const std::int64_t rounded = (product < 0) != (c < 0) ? -magnitude : magnitude;
  if (rounded > std::numeric_limits<int>::max() || rounded < std::numeric_limits<int>::min()) return -1;
  return static_cast<int>(rounded);
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T size) {
  if ((flags & GMEM_MOVEABLE) == 0 || (flags & ~(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE)) != 0)
    pal::internal::Unsupported("GlobalAlloc", "fixed memory or these flags");
  return pal::internal::InsertHandle(std::make_shared<GlobalBlock>(size));  // zero-filled either way
}

LPVOID GlobalLock(HGLOBAL memory) {
  std::shared_ptr<GlobalBlock> block = BlockOf(memory);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL memory) {
  std::shared_ptr<GlobalBlock> block = BlockOf(memory);
  if (block == nullptr) return FALSE;
  if (block->locks > 0) --block->locks;
  if (block->locks > 0) return TRUE;
  SetLastError(ERROR_SUCCESS);
  return FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  if (BlockOf(memory) == nullptr || !pal::internal::RemoveHandle(memory)) return memory;
  return nullptr;
}
