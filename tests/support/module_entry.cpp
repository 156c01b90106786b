#include "support/module_entry.h"

#include <dlfcn.h>

namespace test_support {

HRESULT CallModuleEntry(const char* module, const char* entry) {
  void* handle = dlopen(module, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return E_FAIL;
  auto function = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entry));
  const HRESULT hr = function == nullptr ? E_FAIL : function();
  dlclose(handle);
  return hr;
}

HRESULT CanUnloadNowIfLoaded(const char* module) {
  void* handle = dlopen(module, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return E_FAIL;
  auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllCanUnloadNow"));
  const HRESULT hr = entry == nullptr ? E_FAIL : entry();
  dlclose(handle);
  return hr;
}

}  // namespace test_support
