// Windows, timers and message queues.
//
// A thread gets its message queue at its first call of this kind (PeekMessageW, GetMessageW,
// MsgWaitForMultipleObjectsEx, CreateWindowExW, SetTimer), as on Windows, and loses it when it
// ends. A window belongs to the thread that created it: its messages and timers come through that
// thread's queue. Retrieval order: posted messages first, oldest first; then WM_QUIT; then WM_PAINT
// for a visible window with something to update, until it is painted; then WM_TIMER for a timer
// that is due. A due timer yields one WM_TIMER however late it is collected.
//
// There is no display. Windows are top-level only (no parent) and have a position, a size, a
// visibility, an update region and the keyboard focus as on Windows, but changing them sends none
// of the activation, non-client or WM_WINDOWPOS* messages; ShowWindow sends WM_SHOWWINDOW and
// SetFocus WM_KILLFOCUS and WM_SETFOCUS. The update region is the bounding rectangle of what was
// invalidated. What a window paints lands on its surface (pal/wingdi.h).
#pragma once

#include "pal/libloader.h"
#include "pal/windef.h"
#include "pal/wingdi.h"

struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// ---- messages ----------------------------------------------------------------------------------

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

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
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
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

#define IDC_ARROW MAKEINTRESOURCEW(32512)

/// Only the system's own cursors (null instance) exist here.
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);

/// Class names compare without regard to ASCII letter case and name one class in the process:
/// the instance is kept with the class (GetClassInfoExW gives it back) but is no part of its
/// name, where Windows keeps apart the classes that different modules register under one name.
/// A class stays registered until UnregisterClassW or the end of the process, also when the
/// module that registered it is unloaded, as on Windows: a module unregisters its classes before
/// it goes, since their procedures go with it. Returns the class atom, or 0.
ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
/// ERROR_CLASS_HAS_WINDOWS while a window of the class exists.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
/// Fills `windowClass` from a registered class; `cbSize` must be set by the caller.
BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR className, WNDCLASSEXW* windowClass);

/// Sends WM_NCCREATE and WM_CREATE to the new window's procedure on the calling thread; a
/// procedure that refuses either destroys the window again and the call returns null. WS_VISIBLE
/// shows the new window.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
/// Only the owning thread may destroy a window. Sends WM_KILLFOCUS if it has the focus, then
/// WM_DESTROY and WM_NCDESTROY, kills the window's timers and drops the messages posted to it.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
/// GWLP_USERDATA, GWL_STYLE (with WS_VISIBLE while the window is visible) or GWL_EXSTYLE.
LONG_PTR GetWindowLongPtrW(HWND window, int index);
/// The name of the window's class as it was registered, cut to `size` - 1 characters and
/// terminated; the characters copied, 0 on failure.
int GetClassNameW(HWND window, LPWSTR name, int size);
/// The window's title, as GetClassNameW gives the class name.
int GetWindowTextW(HWND window, LPWSTR text, int size);
/// The window's rectangle; a top-level window's, so in screen coordinates.
BOOL GetWindowRect(HWND window, LPRECT rect);
/// Accepts WM_NCCREATE, paints nothing but validates for WM_PAINT, and fills the client area with
/// the class's brush for WM_ERASEBKGND (1 when it has one); 0 for anything else.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// Calls the procedure of a window that the calling thread owns.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- showing, placing and painting -------------------------------------------------------------

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;

/// SW_SHOW or SW_HIDE; whether the window was visible before. Showing a hidden window invalidates
/// all of it, background included.
BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);
/// Moves and sizes a window (SWP_NOMOVE, SWP_NOSIZE, SWP_NOZORDER, SWP_NOACTIVATE; there is no
/// z-order, so `insertAfter` must be null). A change of size invalidates the whole window.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
/// The window's region, in window coordinates; the window owns `region` from now on and deletes
/// it; null removes the region.
int SetWindowRgn(HWND window, HRGN region, BOOL redraw);
/// (0, 0) to the window's width and height.
BOOL GetClientRect(HWND window, LPRECT rect);
/// Adds `rect` (all of the window for null) to the update region; `erase` asks BeginPaint to
/// erase the background first. Only for a window, not for all of them (null).
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

/// A device context on the window's surface, with the update region in `paint->rcPaint`; the
/// window is valid again. When the background was to be erased it first sends WM_ERASEBKGND, and
/// `paint->fErase` tells whether that left the background still to erase.
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
/// A device context on the window's surface, or on the screen's for null; ReleaseDC ends it.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
/// Fills with a brush: a stock brush or a system colour (its index + 1).
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// ---- the keyboard focus ------------------------------------------------------------------------

/// Gives a window of the calling thread the focus (null: none); the window that had it.
HWND SetFocus(HWND window);
/// The calling thread's focus window, or null.
HWND GetFocus();
/// Always FALSE: there are no child windows.
BOOL IsChild(HWND parent, HWND window);
/// There is no keyboard: every key is up and untoggled (0).
SHORT GetKeyState(int virtualKey);

// ---- rectangles --------------------------------------------------------------------------------

/// The overlap of two rectangles; FALSE, with an empty result, when they do not overlap.
BOOL IntersectRect(LPRECT result, const RECT* a, const RECT* b);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL OffsetRect(LPRECT rect, int dx, int dy);
/// Whether `point` lies inside, the right and bottom edges excluded.
BOOL PtInRect(const RECT* rect, POINT point);

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
