// Window, timer and queue behaviour that the control window and the search thread's queue
// rely on.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pal/crt.h"
#include "pal/host_kit.h"
#include "pal/kernel32.h"
#include "pal/user32.h"

namespace {

using namespace std::chrono_literals;
using pal::PumpFor;
using pal::PumpUntil;

std::vector<UINT>* seenMessages = nullptr;
LRESULT createResult = 0;

LRESULT CALLBACK_Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (seenMessages != nullptr) seenMessages->push_back(message);
  if (message == WM_CREATE) return createResult;
  return DefWindowProcW(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seenMessages = &seen_;
    createResult = 0;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = CALLBACK_Record;
    windowClass.lpszClassName = u"TestClass";
    ASSERT_NE(RegisterClassExW(&windowClass), 0);
  }
  void TearDown() override { seenMessages = nullptr; }

  static HWND Create() {
    return CreateWindowExW(0, u"TestClass", u"t", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  }

  std::vector<UINT> seen_;
};

TEST_F(WindowTest, CreationAndDestructionSendTheirMessagesInOrder) {
  HWND window = Create();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindow(window));
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_EQ(seen_, (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowTest, AProcedureThatRefusesCreationLeavesNoWindow) {
  createResult = -1;
  SetLastError(0);
  EXPECT_EQ(Create(), nullptr);
}

TEST_F(WindowTest, ClassesAreFoundByNameWithoutRegardToCase) {
  WNDCLASSEXW again{};
  again.cbSize = sizeof again;
  again.lpfnWndProc = CALLBACK_Record;
  again.lpszClassName = u"testclass";
  EXPECT_EQ(RegisterClassExW(&again), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowTest, TheWindowQuotaFailsCreationWithNoMoreUserHandles) {
  seenMessages = nullptr;
  std::vector<HWND> windows;
  for (unsigned i = 0; i < kWindowQuota; ++i) {
    HWND window = Create();
    ASSERT_NE(window, nullptr) << i;
    windows.push_back(window);
  }
  EXPECT_EQ(Create(), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_USER_HANDLES);
  DestroyWindow(windows.back());
  EXPECT_NE(Create(), nullptr) << "a handle freed is a handle to use";
}

TEST_F(WindowTest, TimersDeliverWmTimerThroughTheOwnersQueueUntilKilled) {
  HWND window = Create();
  seen_.clear();
  ASSERT_EQ(SetTimer(window, 100, 30, nullptr), 100u);
  EXPECT_TRUE(PumpUntil([&] { return std::count(seen_.begin(), seen_.end(), WM_TIMER) >= 3; }, 2s));
  ASSERT_TRUE(KillTimer(window, 100));
  seen_.clear();
  PumpFor(100ms);
  EXPECT_TRUE(seen_.empty());
  EXPECT_FALSE(KillTimer(window, 100));
  DestroyWindow(window);
}

TEST_F(WindowTest, ALateTimerYieldsOneMessage) {
  HWND window = Create();
  ASSERT_EQ(SetTimer(window, 7, 10, nullptr), 7u);
  Sleep(100);  // ten periods pass without the queue being read
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  DestroyWindow(window);
}

TEST_F(WindowTest, DestroyingAWindowEndsItsTimers) {
  HWND window = Create();
  SetTimer(window, 1, 10, nullptr);
  DestroyWindow(window);
  Sleep(30);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, OnlyTheOwnerSetsTimersOnItsWindow) {
  HWND window = Create();
  std::thread other([&] {
    EXPECT_EQ(SetTimer(window, 1, 10, nullptr), 0u);
    EXPECT_FALSE(DestroyWindow(window));
  });
  other.join();
  DestroyWindow(window);
}

TEST_F(WindowTest, AnyThreadSetsTheUserDataOfAWindow) {
  HWND window = Create();
  std::thread other([&] { EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, 42), 0); });
  other.join();
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 42);
  DestroyWindow(window);
}

TEST_F(WindowTest, PostedWindowMessagesReachTheProcedureOnDispatch) {
  HWND window = Create();
  seen_.clear();
  ASSERT_TRUE(PostMessageW(window, WM_TIMER, 999, 0));
  EXPECT_TRUE(PumpUntil([&] { return !seen_.empty(); }, 1s));
  EXPECT_EQ(seen_, std::vector<UINT>{WM_TIMER});
  DestroyWindow(window);
}

struct Inbox {
  std::atomic<bool> ready{false};
  std::atomic<bool> finish{false};
  std::vector<MSG> taken;
};

unsigned ReadQueue(void* argument) {
  auto* inbox = static_cast<Inbox*>(argument);
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
  inbox->ready = true;
  while (!inbox->finish) Sleep(1);
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) inbox->taken.push_back(msg);
  return 0;
}

TEST(ThreadQueues, PostsWaitInOrderAndNeverBlockThePoster) {
  Inbox inbox;
  unsigned id = 0;
  HANDLE thread = reinterpret_cast<HANDLE>(crt::_beginthreadex(nullptr, 0, ReadQueue, &inbox, 0, &id));
  while (!inbox.ready) Sleep(1);

  for (unsigned i = 0; i < kPostedMessageLimit; ++i) ASSERT_TRUE(PostThreadMessageW(id, WM_USER + 1, i, 0));
  EXPECT_FALSE(PostThreadMessageW(id, WM_USER + 1, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);

  inbox.finish = true;
  WaitForSingleObject(thread, INFINITE);
  ASSERT_EQ(inbox.taken.size(), kPostedMessageLimit);
  for (unsigned i = 0; i < kPostedMessageLimit; ++i) ASSERT_EQ(inbox.taken[i].wParam, i);
  EXPECT_EQ(inbox.taken[0].hwnd, nullptr);

  EXPECT_FALSE(PostThreadMessageW(id, WM_USER + 1, 0, 0)) << "an ended thread has no queue";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
  CloseHandle(thread);
}

unsigned NeverTouchesUser32(void* argument) {
  while (!static_cast<std::atomic<bool>*>(argument)->load()) Sleep(1);
  return 0;
}

TEST(ThreadQueues, AThreadHasNoQueueUntilItUsesOne) {
  std::atomic<bool> finish{false};
  unsigned id = 0;
  HANDLE thread = reinterpret_cast<HANDLE>(crt::_beginthreadex(nullptr, 0, NeverTouchesUser32, &finish, 0, &id));
  EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
  finish = true;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

TEST(MessageLoop, QuitComesAfterThePostedMessagesAndEndsGetMessage) {
  PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);  // no queue yet: refused
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 1, 0));
  PostQuitMessage(3);
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 2, 0));
  EXPECT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 2u);
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
}

TEST(MessageLoop, WaitingForInputEndsWithAPostFromAnotherThread) {
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE), WAIT_TIMEOUT);
  const DWORD self = GetCurrentThreadId();
  std::thread poster([&] {
    Sleep(20);
    PostThreadMessageW(self, WM_USER, 0, 0);
  });
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 5000, QS_ALLINPUT, MWMO_INPUTAVAILABLE), WAIT_OBJECT_0);
  poster.join();
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

}  // namespace
