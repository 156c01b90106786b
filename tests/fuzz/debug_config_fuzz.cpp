// The reader of the debug configuration file c:\uc_dbg.cfg, on any file contents.
#include "diag/debug_log.h"
#include "fuzz_input.h"

using namespace prowlnet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const auto text = fuzz::Text(data, size);
  int fileOutput = 0;
  int networkOutput = 0;
  int level = 10;
  char monitor[kLogMonitorAddressSize] = "";
  DebugLogParseConfig(text.get(), &fileOutput, &networkOutput, &level, monitor);
  FUZZ_CHECK(fuzz::Terminated(monitor));
  return 0;
}
