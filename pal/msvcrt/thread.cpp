// _beginthreadex: the C runtime's way to start a thread, on the kernel's threads.
#include <cerrno>

#include "internal/loud.h"
#include "kernel32/threads.h"
#include "pal/crt.h"
#include "pal/kernel32.h"

UINT_PTR crt::_beginthreadex(void* security, unsigned stackSize, ThreadStart start, void* argument,
                             unsigned initFlag, unsigned* threadId) {
  if (security != nullptr) pal::internal::Unsupported("_beginthreadex", "a security descriptor");
  if (stackSize != 0) pal::internal::Unsupported("_beginthreadex", "a stack size");
  if (initFlag != 0) pal::internal::Unsupported("_beginthreadex", "a creation flag");
  if (start == nullptr) {
    errno = EINVAL;
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD id = 0;
  const HANDLE thread = pal::kernel32::StartThread(start, argument, &id);
  if (thread == nullptr) return 0;  // errno and the last error say why
  if (threadId != nullptr) *threadId = id;
  return reinterpret_cast<UINT_PTR>(thread);
}
