#include "kernel32/handles.h"

#include <mutex>
#include <unordered_map>

#include "pal/kernel32.h"

namespace pal::internal {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<UINT_PTR, std::shared_ptr<KernelObject>> objects;
  UINT_PTR next = 0x100;  // multiples of 4, as Windows hands them out
};

HandleTable& Table() {
  static auto* table = new HandleTable;  // lives as long as the process: threads may outlast main
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  const UINT_PTR value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<UINT_PTR>(handle));
  return found == table.objects.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  return table.objects.erase(reinterpret_cast<UINT_PTR>(handle)) == 1;
}

}  // namespace pal::internal

BOOL CloseHandle(HANDLE handle) {
  if (!pal::internal::RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
