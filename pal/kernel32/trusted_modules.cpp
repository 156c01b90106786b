#include "kernel32/trusted_modules.h"

#include <dlfcn.h>
#include <sys/auxv.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace pal::kernel32 {
namespace {

std::optional<std::filesystem::path> CanonicalPath(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path canonical = std::filesystem::canonical(path, error);
  if (error) return std::nullopt;
  return canonical;
}

/// The folder that holds this library, as the dynamic loader found it.
std::optional<std::filesystem::path> OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LoadablePathOfModule), &info) == 0 || info.dli_fname == nullptr) return std::nullopt;
  const std::optional<std::filesystem::path> library = CanonicalPath(info.dli_fname);
  if (!library) return std::nullopt;
  return library->parent_path();
}

}  // namespace

std::optional<std::string> LoadablePathOfModule(const std::string& hostPath) {
  if (getauxval(AT_SECURE) == 0) return hostPath;
  const std::optional<std::filesystem::path> module = CanonicalPath(hostPath);
  if (!module) return std::nullopt;  // no such module: not found, as the load would find
  const std::optional<std::filesystem::path> folder = OwnFolder();
  if (folder && module->parent_path() == *folder) return module->string();
  std::fprintf(stderr, "pal: not loading %s: a program running with raised privileges loads modules only from %s\n",
               hostPath.c_str(), folder ? folder->c_str() : "the folder of libpal");
  return std::nullopt;
}

}  // namespace pal::kernel32
