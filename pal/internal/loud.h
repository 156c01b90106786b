// For arguments this layer does not implement: stop at once with a message, rather than
// behave differently from the real call.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace pal::internal {

[[noreturn]] inline void Unsupported(const char* call, const char* what) {
  std::fprintf(stderr, "pal: %s: %s is not supported\n", call, what);
  std::abort();
}

}  // namespace pal::internal
