// The envelope and header checks that every datagram the search thread receives goes through.
#include "engine/envelope.h"
#include "fuzz_input.h"

using namespace prowlnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(kEnvelopeBufferSize)) return -1;  // longer datagrams are never read
  const auto text = fuzz::Text(data, size);
  char type[kHeaderFieldSize];
  char code[kHeaderFieldSize];
  char flag[kHeaderFieldSize];
  const int result = ParseMessageHeader(text.get(), type, code, flag);
  FUZZ_CHECK(result <= 0 && result >= -5);
  FUZZ_CHECK(fuzz::Terminated(type) && fuzz::Terminated(code) && fuzz::Terminated(flag));
  if (result == 0) FUZZ_CHECK(type[0] != '\0' && code[0] != '\0' && flag[0] != '\0');
  return 0;
}
