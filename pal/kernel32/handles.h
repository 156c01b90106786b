// The process's handle table. Handles are small numbers that name a kernel object; a closed or
// unknown handle is refused instead of being followed as a pointer.
#pragma once

#include <memory>

#include "pal/windef.h"

namespace pal::internal {

struct KernelObject {
  virtual ~KernelObject() = default;
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle);
/// Removes the handle; false if it was not in the table.
bool RemoveHandle(HANDLE handle);

}  // namespace pal::internal
