// The control as a host uses it: created by ProgID through COM activation (the module registered
// into the emulated machine on first use), called early-bound through ICProwlnet, with the
// thread's messages pumped while the host waits. One session lives on one apartment thread.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/camera_record.h"
#include "late_binding/late_binding.h"
#include "pal/atlbase.h"
#include "prowlnet/icprowlnet.h"

namespace prowlnet_client {

/// Where the control module is (the rule is in module_location.cpp).
std::string ControlModulePath();

/// Ends every ControlSession::WaitFor of this process at its next look (within about 100 ms), and
/// every later one at once: what a host calls from its SIGINT handler. Async-signal-safe.
void InterruptWaits();
/// Whether InterruptWaits was called.
bool WaitsInterrupted();

/// A camera's record and where it stands in the control's table now.
struct LocatedCamera {
  int index;
  CameraRecord record;
};

/// What the control's free address finder gave.
struct FreeAddressAnswer {
  enum class Outcome { kFound, kNoneFree, kCannotProbe };
  Outcome outcome;
  /// The address, when found.
  std::string address;
};

class ControlSession {
 public:
  /// Creates the control. When its class is not registered yet, registers the module first and
  /// says so on stderr. Empty, with `error` set, when the control cannot be created.
  static std::optional<ControlSession> Open(std::string* error);

  LONG StartSearch();
  LONG StopSearch();
  int Count();
  std::optional<CameraRecord> Record(int index);
  std::vector<CameraRecord> Cameras();
  /// The camera with `serialNumber`, if it has answered. The control's interface hands out whole
  /// records only, so the session learns each index's serial number once (a camera keeps its
  /// index until the table is emptied) and copies only the record it finds, checked again.
  std::optional<LocatedCamera> Find(const std::string& serialNumber);
  /// The camera's IPC_INFO document.
  std::string InfoXml(int index);
  /// ModifyIPC: the record replaced and its LAN settings sent to the camera.
  LONG Modify(int index, const CameraRecord& record);
  std::string NetworkParam(ULONG index);
  /// An address of this computer's subnet that nothing answers on. The control answers with this
  /// computer's own address when it found none, and also when it cannot probe at all, so the
  /// session asks whether this process can probe (CanProbe) before it asks the control.
  FreeAddressAnswer FreeAddress();

  /// Calls the control's method `name` by name through IDispatch, as a script does.
  late_binding::Outcome CallByName(const std::string& name, const std::vector<late_binding::Value>& arguments);

  /// Pumps messages until `done` holds, `timeout` passes or the waits are interrupted, calling
  /// `tick` about ten times a second meanwhile; whether `done` held.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& tick = {});

 private:
  explicit ControlSession(ATL::CComPtr<ICProwlnet> control) : control_(std::move(control)) {}

  /// The index learnt for `serialNumber`, if any.
  std::optional<int> KnownIndex(const std::string& serialNumber) const;

  ATL::CComPtr<ICProwlnet> control_;
  /// The serial number at each index of the table, as far as it was read; cleared whenever the
  /// table may have been emptied (StopSearch, StartSearch, a shorter table).
  std::vector<std::string> serials_;
};

}  // namespace prowlnet_client
