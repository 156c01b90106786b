#include "engine/control_object.h"

#include <cstdlib>
#include <cstring>

#include "diag/debug_log.h"
#include "engine/control_window.h"
#include "engine/envelope.h"
#include "engine/search_thread.h"
#include "pal/crt.h"
#include "pal/winsock2.h"

namespace prowlnet {
namespace {

/// PROWLNET_FAST_SEARCH=1 asks for the fast search; anything else keeps the design's pacing.
bool FastSearchAsked() {
  const char* value = std::getenv("PROWLNET_FAST_SEARCH");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

CCProwlnet::CCProwlnet()
    : interfaces_(InterfaceLimitFromEnvironment()), shared_(std::make_shared<SharedState>()), fastSearch_(FastSearchAsked()) {}

CCProwlnet::~CCProwlnet() { Teardown(); }

HRESULT CCProwlnet::FinalConstruct(HINSTANCE instance) {
  ws2::WSADATA data;
  ws2::WSAStartup(MAKEWORD(2, 2), &data);
  socketLibraryStarted_ = true;
  DebugLogOpen();
  logOpen_ = true;
  window_ = CreateControlWindow(this, instance);
  if (window_ != nullptr) return S_OK;
  // A failure without an error code must still fail the creation.
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

void CCProwlnet::Teardown() {
  if (tornDown_) return;
  tornDown_ = true;
  if (searching()) {
    StopThread();
    if (window_ != nullptr) KillTimer(window_, kSearchTimerId);
  }
  ClearDeviceTable();
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }
  if (logOpen_) DebugLogClose();
  if (socketLibraryStarted_) ws2::WSACleanup();
}

HRESULT CCProwlnet::StartSearch(LONG* pRetVal) {
  {
    CriticalSectionLock lock(shared_->lock);
    shared_->netInfo.Clear();  // the thread fetches fresh values at its first pass
  }
  if (StartThread() == 0) {
    StoreResult(pRetVal, -1);
    return S_OK;
  }
  StoreResult(pRetVal, 0);
  SetTimer(window_, kSearchTimerId, kSearchTimerPeriod, nullptr);
  return S_OK;
}

HRESULT CCProwlnet::StopSearch(LONG* pRetVal) {
  if (StopThread() == 0) {
    StoreResult(pRetVal, -1);
    return S_OK;
  }
  ClearDeviceTable();
  StoreResult(pRetVal, 0);
  KillTimer(window_, kSearchTimerId);
  return S_OK;
}

HRESULT CCProwlnet::GetIPCCount(LONG* pRetVal) {
  CriticalSectionLock lock(shared_->lock);
  StoreResult(pRetVal, shared_->table.count);
  return S_OK;
}

int CCProwlnet::StartThread() {
  if (searching()) {
    DebugLog("CCProwlnet::StartThread: ProwlnetThread has run.\n");
    return 0;
  }
  shared_->running = 1;  // before the thread exists: its loops run only while the flag is set
  auto start = std::make_unique<SearchThreadStart>(SearchThreadStart{shared_, fastSearch_, interfaces_});
  unsigned id = 0;
  const UINT_PTR handle = crt::_beginthreadex(nullptr, 0, ProwlnetThread, start.get(), 0, &id);
  if (handle == 0) {
    DebugLog("CCProwlnet::StartThread: Strat ProwlnetThread fail, error= %d.\n", static_cast<int>(GetLastError()));
    shared_->running = 0;
    return 0;
  }
  start.release();  // the thread owns it now
  threadHandle_ = reinterpret_cast<HANDLE>(handle);
  threadId_ = id;
  return 1;
}

int CCProwlnet::StopThread() {
  if (!searching()) {
    DebugLog("CCProwlnet::StopThread: ProwlnetThread hasn't run.\n");
    return 0;
  }
  shared_->running = 0;
  if (threadHandle_ != nullptr) {
    if (WaitForThreadEnd()) {
      CloseHandle(threadHandle_);
    } else {
      AbandonSearchThread();
      DebugLog("CCProwlnet::StopThread: TerminateThread ProwlnetThread.\n");
    }
    threadHandle_ = nullptr;
  }
  return 1;
}

bool CCProwlnet::WaitForThreadEnd() {
  constexpr int kPolls = 100;
  // The exit code is read once more after the last sleep: a thread that ended during it has ended.
  for (int sleeps = 0;; ++sleeps) {
    DWORD code = 0;
    GetExitCodeThread(threadHandle_, &code);
    if (code != STILL_ACTIVE) return true;
    if (sleeps == kPolls) return false;
    Sleep(10);
  }
}

void CCProwlnet::ClearDeviceTable() {
  CriticalSectionLock lock(shared_->lock);
  shared_->table.Clear();
}

void CCProwlnet::AbandonSearchThread() {
  shared_ = std::make_shared<SharedState>();
  KeepAbandonedSearchThread(threadHandle_);
}

LRESULT CCProwlnet::OnTimer() {
  if (searching()) PostDiscoveryMessage(kSearchRequest, nullptr);
  return 0;
}

int CCProwlnet::PostDiscoveryMessage(int code, const char* body) {
  if (!searching()) return -1;
  auto buffer = std::make_unique<char[]>(kEnvelopeBufferSize);
  const int length = BuildEnvelope(buffer.get(), kEnvelopeBufferSize, code, body);
  if (length < 0) return -1;
  // From a successful post on, the buffer belongs to the search thread; a failed post keeps it here.
  if (PostThreadMessageW(threadId_, WM_DISCOVERY_SEND, reinterpret_cast<WPARAM>(buffer.get()), length))
    buffer.release();
  return 0;
}

LRESULT CCProwlnet::WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kConsumedWindowMessage) return 0;
  if (message == WM_TIMER) return OnTimer();
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace prowlnet
