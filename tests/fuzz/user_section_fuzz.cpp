// The user section reader, on any text.
#include "engine/config_sections.h"
#include "record_checks.h"

using namespace prowlnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const auto text = fuzz::Text(data, size);
  UserCfg user{};
  const int result = System_getUserCfgByXml(user, text.get());
  FUZZ_CHECK(result == 0 || result == -1);
  FUZZ_CHECK(fuzz::UserIsWhole(user));
  if (result != 0) FUZZ_CHECK(fuzz::SameBytes(user, UserCfg{}));
  return 0;
}
