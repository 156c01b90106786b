// The control as this program uses it: created by ProgID through COM activation (the module
// registered into the prefix on first use), called early-bound through ICProwlnet, with the
// thread's messages pumped while the program waits.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera_record.h"
#include "pal/atlbase.h"
#include "prowlnet/icprowlnet.h"

namespace prowlnet_cli {

/// Where the control module is (the rule is in module_location.cpp).
std::string ControlModulePath();

/// Registers (or unregisters) the control module in the prefix's registry; the HRESULT of its
/// entry point, or of loading it.
HRESULT RegisterControlModule(bool unregister);

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
  /// The index of the camera with `serialNumber`, if it has answered.
  std::optional<int> IndexOf(const std::string& serialNumber);
  /// The camera's IPC_INFO document.
  std::string InfoXml(int index);
  /// ModifyIPC: the record replaced and its LAN settings sent to the camera.
  LONG Modify(int index, const CameraRecord& record);
  std::string NetworkParam(ULONG index);
  std::string FreeAddress();

  /// The control's IDispatch, for calls by name.
  IDispatch* Dispatch() const { return control_; }

  /// Pumps messages until `done` holds or `timeout` passes, calling `tick` about ten times a
  /// second meanwhile; whether `done` held.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& tick = {});

 private:
  explicit ControlSession(ATL::CComPtr<ICProwlnet> control) : control_(std::move(control)) {}

  ATL::CComPtr<ICProwlnet> control_;
};

}  // namespace prowlnet_cli
