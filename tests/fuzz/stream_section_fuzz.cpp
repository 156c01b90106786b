// The stream section reader, on any text.
#include "engine/config_sections.h"
#include "fuzz_input.h"

using namespace prowlnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const auto text = fuzz::Text(data, size);
  MediaStreamCfg stream{};
  stream.auth = 7;  // a value the reader must reset when it reads the section
  const int result = GetMediaStreamCfgByXml(stream, text.get());
  FUZZ_CHECK(result == 0 || result == -1);
  if (result != 0) FUZZ_CHECK(stream.auth == 7);
  return 0;
}
