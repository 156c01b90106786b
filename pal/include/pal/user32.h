// Windows, timers and message queues.
//
// A thread gets its message queue at its first call of this kind (PeekMessageW, GetMessageW,
// MsgWaitForMultipleObjectsEx, CreateWindowExW, SetTimer), as on Windows, and loses it when it
// ends. A window belongs to the thread that created it: its messages and timers come through that
// thread's queue. Retrieval order: posted messages first, oldest first; then WM_QUIT; then WM_TIMER
// for a timer that is due. A due timer yields one WM_TIMER however late it is collected.
//
// Windows are never shown: there is no display. Only top-level windows exist (no parent).
#pragma once

#include "pal/windef.h"

struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// ---- messages ----------------------------------------------------------------------------------

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

/// Per-queue limit on posted messages, as USERPostMessageLimit has it; a post beyond it fails
/// with ERROR_NOT_ENOUGH_QUOTA.
constexpr unsigned kPostedMessageLimit = 10000;

// ---- window classes and windows ----------------------------------------------------------------

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr int COLOR_WINDOW = 5;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr int GWLP_USERDATA = -21;

/// Per-process limit on windows, as USERProcessHandleQuota has it; creating one more fails with
/// ERROR_NO_MORE_USER_HANDLES.
constexpr unsigned kWindowQuota = 10000;

struct WNDCLASSEXW {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
  HICON hIconSm;
};

struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IDC_ARROW MAKEINTRESOURCEW(32512)

/// Only the system's own cursors (null instance) exist here.
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);

/// Class names compare without regard to ASCII letter case. Returns the class atom, or 0.
ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
/// Fills `windowClass` from a registered class; `cbSize` must be set by the caller.
BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR className, WNDCLASSEXW* windowClass);

/// Sends WM_NCCREATE and WM_CREATE to the new window's procedure on the calling thread; a
/// procedure that refuses either destroys the window again and the call returns null.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
/// Only the owning thread may destroy a window. Sends WM_DESTROY and WM_NCDESTROY, kills the
/// window's timers and drops the messages posted to it.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// Calls the procedure of a window that the calling thread owns.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- timers ------------------------------------------------------------------------------------

constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;

/// A window timer; setting an identifier that the window already uses restarts that timer.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
BOOL KillTimer(HWND window, UINT_PTR id);

// ---- queues and the message loop ---------------------------------------------------------------

/// Never blocks for longer than it takes to append: fails with ERROR_INVALID_THREAD_ID when the
/// thread has no queue (never had one, or has ended).
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

/// Only the unfiltered forms (no window, range 0..0) are supported.
BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage);
LRESULT DispatchMessageW(const MSG* msg);

constexpr DWORD QS_ALLINPUT = 0x04FF;
constexpr DWORD MWMO_INPUTAVAILABLE = 0x0004;

/// Only the form that waits for the calling thread's own queue (no handles, QS_ALLINPUT,
/// MWMO_INPUTAVAILABLE): returns WAIT_OBJECT_0 as soon as a message can be retrieved, or
/// WAIT_TIMEOUT.
DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wakeMask,
                                  DWORD flags);
