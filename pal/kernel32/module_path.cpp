#include "kernel32/module_path.h"

#include "kernel32/utf16.h"
#include "pal/emulated_machine.h"

namespace pal::internal {

std::optional<std::string> HostPathOfModule(std::u16string_view path) {
  const std::string utf8 = Utf8Of(path);
  if (!utf8.empty() && utf8[0] == '/') return utf8;
  return HostPathOf(utf8.c_str());
}

}  // namespace pal::internal
