// The C runtime calls whose Windows behaviour differs from the C library of this machine.
// They live in namespace crt so that they never stand in for the host's own fopen.
#pragma once

#include <cstdio>

#include "pal/windef.h"

namespace crt {

using ThreadStart = unsigned (*)(void* argument);

/// Starts a thread running `start(argument)`. Returns its handle (0 on failure, with the last
/// error set) and stores its identifier in `*threadId` when that is not null. Only the default
/// security, the default stack size (0) and running at once (initflag 0) are supported.
UINT_PTR _beginthreadex(void* security, unsigned stackSize, ThreadStart start, void* argument,
                        unsigned initFlag, unsigned* threadId);

/// fopen for a Windows path on drive c: ("c:\dir\file" is $PROWLNET_PREFIX/drive_c/dir/file).
/// Binary modes ("rb", "ab", "wb") pass bytes through; the text append mode "a" writes each
/// line feed as CR LF, as the Windows runtime does. Other drives, relative paths and other
/// modes give null with errno set to ENOENT or EINVAL.
FILE* fopen(const char* windowsPath, const char* mode);

}  // namespace crt
