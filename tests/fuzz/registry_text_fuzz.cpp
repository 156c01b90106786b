// The loader of the registry file, on any file contents: as found on disk, and sealed with a
// closing line that matches it, so that the reader goes past the check into every line. A text it
// takes must write back as a file that reads back the same.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>

#include "advapi32/registry_text.h"
#include "fuzz_input.h"

using namespace pal::registry;

namespace {

/// `body` followed by the closing line the writer gives it: its length and FNV-1a checksum.
std::string Sealed(std::string_view body) {
  std::uint32_t hash = 2166136261u;
  for (char c : body) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  char closing[80];
  std::snprintf(closing, sizeof closing, "; end of registry: %zu bytes, checksum %08" PRIx32 "\n", body.size(), hash);
  return std::string(body) + closing;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  {
    Hives hives;
    ReadText(raw, hives);
  }
  Hives hives;
  if (!ReadText(Sealed(raw), hives)) return 0;
  const std::string written = TextOf(hives);
  Hives reread;
  FUZZ_CHECK(ReadText(written, reread));
  FUZZ_CHECK(TextOf(reread) == written);
  return 0;
}
