// Modules: loading by path through the dynamic loader, the module that holds an address, and a
// module's file name.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>

#include "internal/loud.h"
#include "kernel32/module_path.h"
#include "kernel32/utf16.h"
#include "pal/kernel32.h"
#include "pal/libloader.h"

namespace {

HMODULE AsModule(void* handle) { return static_cast<HMODULE>(handle); }

/// The host path of the running program.
std::string ProgramPath() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

}  // namespace

HMODULE LoadLibraryW(LPCWSTR path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::u16string_view text(path);
  if (text.find_first_of(u"/\\:") == std::u16string_view::npos)
    pal::internal::Unsupported("LoadLibraryW", "a file name without a path (no search path is kept)");
  const std::optional<std::string> hostPath = pal::internal::HostPathOfModule(text);
  void* handle = hostPath ? dlopen(hostPath->c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return AsModule(handle);
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr || dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == nullptr) pal::internal::Unsupported("GetProcAddress", "the program's own exports");
  void* found = dlsym(module, name);
  if (found == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<FARPROC>(found);
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
  if (flags != (GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))
    pal::internal::Unsupported("GetModuleHandleExW", "flags other than FROM_ADDRESS | UNCHANGED_REFCOUNT");
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  Dl_info info{};
  if (dladdr(name, &info) == 0 || info.dli_fname == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) pal::internal::Unsupported("GetModuleHandleExW", "an address outside a loaded library");
  dlclose(handle);  // the reference count stays as it was
  *module = AsModule(handle);
  return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  std::string path;
  if (module == nullptr) {
    path = ProgramPath();
  } else {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) path = map->l_name;
  }
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const std::u16string wide = pal::internal::Utf16Of(path);
  const size_t copied = std::min<size_t>(wide.size(), size - 1);
  std::copy_n(wide.data(), copied, fileName);
  fileName[copied] = u'\0';
  if (copied < wide.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return static_cast<DWORD>(copied);
}
