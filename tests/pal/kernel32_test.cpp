// What the engine relies on from threads, time, critical sections and last-error values.
#include <atomic>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "pal/crt.h"
#include "pal/kernel32.h"

namespace {

struct Gate {
  std::atomic<bool> open{false};
  std::atomic<DWORD> seenId{0};
  std::atomic<bool> passed{false};  // the thread's last touch of the gate
};

unsigned WaitAtGate(void* argument) {
  auto* gate = static_cast<Gate*>(argument);
  gate->seenId = GetCurrentThreadId();
  while (!gate->open) Sleep(1);
  gate->passed = true;
  return 42;
}

TEST(Threads, ExitCodeReadsStillActiveUntilTheRoutineReturns) {
  Gate gate;
  unsigned id = 0;
  const HANDLE thread = reinterpret_cast<HANDLE>(crt::_beginthreadex(nullptr, 0, WaitAtGate, &gate, 0, &id));
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);

  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);

  gate.open = true;
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(gate.seenId.load(), id) << "the identifier returned is the one the thread sees";
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(Threads, AClosedHandleIsRefusedWhileTheThreadRunsOn) {
  Gate gate;
  const HANDLE thread = reinterpret_cast<HANDLE>(crt::_beginthreadex(nullptr, 0, WaitAtGate, &gate, 0, nullptr));
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(CloseHandle(thread));

  DWORD code = 0;
  SetLastError(0);
  EXPECT_FALSE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(thread));

  gate.open = true;  // the thread ends by itself and frees what it holds
  while (!gate.passed) Sleep(1);  // the gate lives on the stack: outlive the thread's use of it
}

TEST(CriticalSections, AreRecursiveAndExclusive) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);  // a second entry by the holder does not deadlock
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);

  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 100000; ++i) {
      CriticalSectionLock lock(section);
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 200000);
  DeleteCriticalSection(&section);
}

TEST(Interlocked, ReturnTheNewValue) {
  volatile LONG value = 5;
  EXPECT_EQ(InterlockedIncrement(&value), 6);
  EXPECT_EQ(InterlockedDecrement(&value), 5);
  EXPECT_EQ(InterlockedExchange(&value, 9), 5);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 8), 9) << "no exchange when the comparand differs";
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 9), 9);
  EXPECT_EQ(value, 1);
}

TEST(LastError, BelongsToTheThread) {
  SetLastError(1234);
  std::thread other([] {
    EXPECT_EQ(GetLastError(), 0u);
    SetLastError(99);
  });
  other.join();
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Time, SleepLastsAtLeastItsDurationOnTheTickCount) {
  const DWORD start = GetTickCount();
  Sleep(50);
  EXPECT_GE(GetTickCount() - start, 50u);
}

TEST(Time, LocalTimeFollowsTheTimeZoneOfTheMoment) {
  // 14 hours east and 12 hours west of UTC are always on different calendar days.
  setenv("TZ", "UTC-14", 1);
  SYSTEMTIME east;
  GetLocalTime(&east);
  setenv("TZ", "UTC+12", 1);
  SYSTEMTIME west;
  GetLocalTime(&west);
  unsetenv("TZ");
  EXPECT_NE(east.wDay, west.wDay);
  EXPECT_GE(east.wYear, 2024);
  EXPECT_LE(west.wHour, 23);
}

TEST(HResult, FromWin32KeepsTheLowWord) {
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NO_MORE_USER_HANDLES), static_cast<HRESULT>(0x80070486));
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
  EXPECT_EQ(HRESULT_FROM_WIN32(static_cast<unsigned long>(E_FAIL)), E_FAIL);
}

}  // namespace
