#include "kernel32/module_path.h"

#include "kernel32/trusted_modules.h"
#include "kernel32/utf16.h"
#include "pal/emulated_machine.h"

namespace pal::internal {

std::optional<std::string> HostPathOfModule(std::u16string_view path) {
  const std::string utf8 = Utf8Of(path);
  const std::optional<std::string> hostPath = !utf8.empty() && utf8[0] == '/' ? utf8 : HostPathOf(utf8.c_str());
  if (!hostPath) return std::nullopt;
  return pal::kernel32::LoadablePathOfModule(*hostPath);
}

}  // namespace pal::internal
