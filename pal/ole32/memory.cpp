// Task memory: the C runtime's heap, which every module of the process shares.
#include <cstdlib>

#include "pal/objbase.h"

/// A block of `size` bytes; a zero size still gives a block that can be freed, as on Windows.
LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size == 0 ? 1 : size); }

/// A zero size frees the block and gives null, as on Windows.
LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size) {
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  return std::realloc(block, size);
}

void CoTaskMemFree(LPVOID block) { std::free(block); }
