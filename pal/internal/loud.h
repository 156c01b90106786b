// For arguments this layer does not implement: stop at once with a message, rather than
// behave differently from the real call.
#pragma once

namespace pal::internal {

[[noreturn]] void Unsupported(const char* call, const char* what);

}  // namespace pal::internal
