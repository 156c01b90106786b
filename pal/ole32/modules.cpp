#include "ole32/modules.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <set>

namespace pal::ole32 {
namespace {

struct LoadedModule {
  void* handle = nullptr;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;  // null: the module never asks to be unloaded
  std::set<ApartmentId> holders;
};

struct ModuleTable {
  std::mutex mutex;
  std::map<std::string, LoadedModule> modules;  // by host path
};

ModuleTable& Table() {
  static auto* table = new ModuleTable;  // outlives threads that end after main
  return *table;
}

HRESULT Load(const std::string& hostPath, LoadedModule& module) {
  module.handle = ::dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module.handle == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  module.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(module.handle, "DllGetClassObject"));
  module.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(::dlsym(module.handle, "DllCanUnloadNow"));
  if (module.getClassObject != nullptr) return S_OK;
  ::dlclose(module.handle);
  return CO_E_ERRORINDLL;
}

/// Drops `apartment`'s hold on each module that `shouldRelease` picks, unloading modules that no
/// apartment holds any more. Called with the table locked.
template <typename Predicate>
void Release(ModuleTable& table, ApartmentId apartment, Predicate shouldRelease) {
  for (auto it = table.modules.begin(); it != table.modules.end();) {
    LoadedModule& module = it->second;
    if (module.holders.count(apartment) == 0 || !shouldRelease(module)) {
      ++it;
      continue;
    }
    module.holders.erase(apartment);
    if (!module.holders.empty()) {
      ++it;
      continue;
    }
    ::dlclose(module.handle);
    it = table.modules.erase(it);
  }
}

}  // namespace

HRESULT UseModule(const std::string& hostPath, ApartmentId apartment, LPFNGETCLASSOBJECT* entry) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.modules.find(hostPath);
  if (found == table.modules.end()) {
    LoadedModule module;
    const HRESULT hr = Load(hostPath, module);
    if (FAILED(hr)) return hr;
    found = table.modules.emplace(hostPath, module).first;
  }
  found->second.holders.insert(apartment);
  *entry = found->second.getClassObject;
  return S_OK;
}

void FreeUnusedModules(ApartmentId apartment) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  Release(table, apartment,
          [](const LoadedModule& module) { return module.canUnloadNow != nullptr && module.canUnloadNow() == S_OK; });
}

void ReleaseApartment(ApartmentId apartment) {
  ModuleTable& table = Table();
  std::lock_guard lock(table.mutex);
  Release(table, apartment, [](const LoadedModule&) { return true; });
}

}  // namespace pal::ole32
