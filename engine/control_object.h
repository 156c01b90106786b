// The engine half of the control object: its state, construction and teardown, and the life of
// a search run (start, the 2-second tick that asks the search thread to broadcast, stop).
#pragma once

#include <cstdint>
#include <memory>

#include "engine/broadcast.h"
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

/// Stores a method's outcome where the caller asked for it; a caller may pass no place.
inline void StoreResult(LONG* out, LONG value) {
  if (out != nullptr) *out = value;
}

class CCProwlnet {
 public:
  CCProwlnet();
  virtual ~CCProwlnet();
  CCProwlnet(const CCProwlnet&) = delete;
  CCProwlnet& operator=(const CCProwlnet&) = delete;

  /// Starts the socket library, opens the log and creates the hidden control window, of the
  /// window class of `instance` (the module that holds the control). A window that cannot be
  /// created gives the HRESULT of the system's last error; the caller then destroys the object.
  HRESULT FinalConstruct(HINSTANCE instance = nullptr);

  // Automation methods: each returns S_OK and its outcome through `pRetVal`.
  HRESULT StartSearch(LONG* pRetVal);
  HRESULT StopSearch(LONG* pRetVal);
  HRESULT GetIPCCount(LONG* pRetVal);
  /// Host network parameter `nParamIndex` (HostNetInfo::Index) as a new string for the caller,
  /// the block loaded first when it does not count as loaded; an index of 5 or more gives an
  /// empty string. Nothing is stored for a null `strResult`. E_OUTOFMEMORY only when the string
  /// cannot be allocated.
  HRESULT GetNetworkParam(ULONG nParamIndex, BSTR* strResult);

  /// Copies the 4028-byte record of device `index` into `pIPCInfo`: 0; -1 for an index out of
  /// range; -2 for a length (taken as unsigned) below 4028 or a null buffer.
  HRESULT GetIPCInfo(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal);
  /// Replaces the whole record of device `index` with the caller's 4028 bytes, books its new
  /// address and sends the device a modification: 0; -1 and -2 as for GetIPCInfo; -3 when the
  /// modification text could not be built (the record is changed all the same).
  HRESULT ModifyIPC(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal);
  /// The IPC_INFO document of device `index`; an empty string for an index out of range.
  HRESULT GetIPCInfoXML(LONG index, BSTR* pXMLInfo);
  /// Reads new LAN settings from the first LANConfig element of `strXML` over the record's
  /// current ones (attributes left out keep their values), books the new address and sends the
  /// device a modification: 0; -1 index out of range; -2 no readable LANConfig; -3 as for
  /// ModifyIPC. A null `strXML` does nothing and stores nothing.
  HRESULT ModifyIPCXML(LONG index, BSTR strXML, LONG* pRetVal);
  /// An address on the host's subnet (its first three octets) that is neither known to be taken
  /// nor answers ICMP echo probes; the host's own address when there is none.
  HRESULT GetOneIPAddress(BSTR* strResult);

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

  /// The control window's messages that the engine handles: 0x465 (consumed), WM_TIMER, and
  /// the default procedure for the rest. A class that extends the control tries its own
  /// messages first and passes the others here.
  virtual LRESULT WindowMessage(UINT message, WPARAM wParam, LPARAM lParam);

  /// The hidden control window made by FinalConstruct; null before, or when that failed.
  HWND window() const { return window_; }
  const AssignedAddressTable& assignedAddresses() const { return assignedAddresses_; }
  /// The state shared with the search thread of the current run.
  SharedState& shared() { return *shared_; }
  bool searching() const { return shared_->running.load() != 0; }

 private:
  /// Sends the device of a changed record (serial number and LAN section) its modification:
  /// 0, or -3 when the text could not be built.
  LONG SendModification(const IpcInfo& record);

  /// Stops a run still in progress, frees the table, destroys the window, closes the log and
  /// stops the socket library. Runs once, from the destructor.
  void Teardown();

  /// Polls the thread's exit code every 10 ms, 100 sleeps at most; whether it ended.
  bool WaitForThreadEnd();
  /// Gives up on a search thread that did not end in time: it keeps its own shared state, and the
  /// object goes on with a fresh one, so the thread can never reach the object again.
  void AbandonSearchThread();
  void ClearDeviceTable();

  AssignedAddressTable assignedAddresses_;
  /// PROWLNET_INTERFACES as it was when the object was made.
  const InterfaceLimit interfaces_;
  std::shared_ptr<SharedState> shared_;
  /// Read from the environment when the object is made: see SearchThreadStart::fastSearch.
  const bool fastSearch_;
  HANDLE threadHandle_ = nullptr;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
  bool socketLibraryStarted_ = false;
  bool logOpen_ = false;
  bool tornDown_ = false;
};

}  // namespace prowlnet
