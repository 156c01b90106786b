// The engine half of the control object: its state, construction and teardown, and the life of
// a search run (start, the 2-second tick that asks the search thread to broadcast, stop).
#pragma once

#include <cstdint>
#include <memory>

#include "engine/shared_state.h"
#include "pal/oleauto.h"
#include "pal/user32.h"

namespace prowlnet {

constexpr UINT_PTR kSearchTimerId = 100;
constexpr UINT kSearchTimerPeriod = 2000;
/// The thread message that carries a send request: the buffer in wParam, its length in lParam.
constexpr UINT WM_DISCOVERY_SEND = WM_USER + 1002;
/// A message that the control window consumes without effect.
constexpr UINT kConsumedWindowMessage = WM_USER + 101;

class CCProwlnet {
 public:
  CCProwlnet();
  virtual ~CCProwlnet();
  CCProwlnet(const CCProwlnet&) = delete;
  CCProwlnet& operator=(const CCProwlnet&) = delete;

  /// Starts the socket library, opens the log and creates the hidden control window. A window
  /// that cannot be created gives the HRESULT of the system's last error; the caller then
  /// destroys the object.
  HRESULT FinalConstruct();

  // Automation methods: each returns S_OK and its outcome through `pRetVal`.
  HRESULT StartSearch(LONG* pRetVal);
  HRESULT StopSearch(LONG* pRetVal);
  HRESULT GetIPCCount(LONG* pRetVal);
  /// Host network parameter `nParamIndex` (HostNetInfo::Index) as a new string for the caller,
  /// the block loaded first when it does not count as loaded; an index of 5 or more gives an
  /// empty string. Nothing is stored for a null `strResult`. E_OUTOFMEMORY only when the string
  /// cannot be allocated.
  HRESULT GetNetworkParam(ULONG nParamIndex, BSTR* strResult);

  /// 1 if the search thread was started, 0 if one runs already or it could not be started.
  int StartThread();
  /// 1 if a running search was stopped (the thread ended, or was abandoned after about a
  /// second), 0 if none was running.
  int StopThread();
  /// WM_TIMER: posts a search request while a run is in progress. Returns the message result.
  LRESULT OnTimer();
  /// Builds an envelope with `code` and `body` (or none) and posts it to the search thread.
  /// 0 when posted; -1 when no search is running or the envelope would not fit its buffer.
  int PostDiscoveryMessage(int code, const char* body);

  /// The control window's messages, in the order they are tried.
  virtual LRESULT WindowMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window() const { return window_; }
  /// The state shared with the search thread of the current run.
  SharedState& shared() { return *shared_; }
  bool searching() const { return shared_->running.load() != 0; }

 protected:
  /// Stops a run still in progress, frees the table, destroys the window, closes the log and
  /// stops the socket library. Runs once; the destructor calls it if nobody did before.
  void Teardown();

  AssignedAddressTable assignedAddresses_;

 private:
  /// Gives up on a search thread that did not end in time: it keeps its own shared state, and the
  /// object goes on with a fresh one, so the thread can never reach the object again.
  void AbandonSearchThread();

  std::shared_ptr<SharedState> shared_;
  HANDLE threadHandle_ = nullptr;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
  bool socketLibraryStarted_ = false;
  bool logOpen_ = false;
  bool tornDown_ = false;
};

}  // namespace prowlnet
