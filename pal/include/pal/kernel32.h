// Kernel services: last-error values, handles, threads, time, critical sections and
// interlocked operations.
#pragma once

#include <pthread.h>

#include "pal/windef.h"

// ---- last error --------------------------------------------------------------------------------

/// The calling thread's last-error value. Winsock's WSAGetLastError reads the same value.
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- handles and threads -----------------------------------------------------------------------

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

/// Releases one handle. The object lives on while other handles or the thread itself use it.
BOOL CloseHandle(HANDLE handle);

/// STILL_ACTIVE while the thread runs, then the value its start routine returned.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

/// Waits for a thread handle to be signalled, that is for the thread to end.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

/// The kernel's identifier of the calling thread (the same number `ps -L` shows).
DWORD GetCurrentThreadId();

// ---- time --------------------------------------------------------------------------------------

void Sleep(DWORD milliseconds);

/// Milliseconds since an arbitrary start, wrapping at 2^32, from a monotonic clock.
DWORD GetTickCount();

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

/// The local date and time, in the time zone of the environment (TZ) at the moment of the call.
void GetLocalTime(SYSTEMTIME* time);

// ---- arithmetic and global memory -------------------------------------------------------------

/// a * b / c, computed in 64 bits and rounded half away from zero; -1 for a zero divisor or a
/// result beyond 32 bits.
int MulDiv(int a, int b, int c);

constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_SHARE = 0x2000;

/// Movable memory (GMEM_MOVEABLE, with GMEM_ZEROINIT or GMEM_SHARE): a handle that GlobalLock
/// turns into the block's address. The block never moves.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T size);
LPVOID GlobalLock(HGLOBAL memory);
/// Nonzero while the block is still locked; 0 once the last lock is gone.
BOOL GlobalUnlock(HGLOBAL memory);
/// Null on success, the handle itself on failure.
HGLOBAL GlobalFree(HGLOBAL memory);

// ---- critical sections -------------------------------------------------------------------------

/// A recursive lock: the thread that holds it may enter it again.
struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

/// Holds a critical section for a scope, as ATL's CComCritSecLock does.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~CriticalSectionLock() { LeaveCriticalSection(&section_); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

// ---- interlocked operations (full barriers) ----------------------------------------------------

inline LONG InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
