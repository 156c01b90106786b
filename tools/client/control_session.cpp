#include "client/control_session.h"

#include <errno.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "pal/emulated_machine.h"
#include "pal/host_kit.h"
#include "client/addresses.h"
#include "client/module_registration.h"

namespace prowlnet_client {
namespace {

std::string HexCode(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

/// Set from a signal handler: a lock-free atomic is safe there.
std::atomic<bool> waitsInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

bool ClassRegistered() {
  CLSID clsid{};
  return SUCCEEDED(CLSIDFromProgID(kProwlnetProgId, &clsid));
}

/// Whether a call by this name can empty the control's table (names compare as IDispatch does).
bool MayEmptyTable(const std::string& name) {
  return strcasecmp(name.c_str(), "StartSearch") == 0 || strcasecmp(name.c_str(), "StopSearch") == 0;
}

}  // namespace

void InterruptWaits() { waitsInterrupted.store(true); }

bool WaitsInterrupted() { return waitsInterrupted.load(); }

std::optional<ControlSession> ControlSession::Open(std::string* error) {
  if (!ClassRegistered()) {
    const EntryPointCall call = CallRegistrationEntry(ControlModulePath(), false);
    if (!call.succeeded()) {
      *error = "cannot register the control module " + ControlModulePath() + " (" + HexCode(call.hr) + ")";
      return std::nullopt;
    }
    std::fprintf(stderr, "%s: registered the control %s in %s\n", program_invocation_short_name,
                 ControlModulePath().c_str(), pal::EmulatedMachineRoot().c_str());
  }
  ATL::CComPtr<ICProwlnet> control;
  const HRESULT hr = control.CoCreateInstance(kProwlnetProgId, nullptr, CLSCTX_INPROC_SERVER);
  if (FAILED(hr)) {
    *error = "cannot create the control (" + HexCode(hr) + ")";
    return std::nullopt;
  }
  return ControlSession(std::move(control));
}

LONG ControlSession::StartSearch() {
  serials_.clear();
  LONG status = -1;
  control_->StartSearch(&status);
  return status;
}

LONG ControlSession::StopSearch() {
  serials_.clear();
  LONG status = -1;
  control_->StopSearch(&status);
  return status;
}

int ControlSession::Count() {
  LONG count = 0;
  control_->GetIPCCount(&count);
  return count;
}

std::optional<CameraRecord> ControlSession::Record(int index) {
  prowlnet::IpcInfo record{};
  LONG status = -1;
  control_->GetIPCInfo(index, reinterpret_cast<BYTE*>(&record), kProwlnetRecordSize, &status);
  if (status != 0) return std::nullopt;
  return CameraRecord(record);
}

std::vector<CameraRecord> ControlSession::Cameras() {
  std::vector<CameraRecord> cameras;
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    if (auto record = Record(i)) cameras.push_back(*record);
  }
  return cameras;
}

std::optional<int> ControlSession::KnownIndex(const std::string& serialNumber) const {
  const auto known = std::find(serials_.begin(), serials_.end(), serialNumber);
  if (known == serials_.end()) return std::nullopt;
  return static_cast<int>(known - serials_.begin());
}

std::optional<LocatedCamera> ControlSession::Find(const std::string& serialNumber) {
  const int count = Count();
  if (count < static_cast<int>(serials_.size())) serials_.clear();
  if (const std::optional<int> index = KnownIndex(serialNumber)) {
    std::optional<CameraRecord> record = Record(*index);
    if (record && record->SerialNumber() == serialNumber) return LocatedCamera{*index, *record};
    serials_.clear();  // the table was emptied and filled again behind this session's back
  }
  for (int index = static_cast<int>(serials_.size()); index < count; ++index) {
    std::optional<CameraRecord> record = Record(index);
    if (!record) break;
    serials_.push_back(record->SerialNumber());
    if (serials_.back() == serialNumber) return LocatedCamera{index, *record};
  }
  return std::nullopt;
}

std::string ControlSession::InfoXml(int index) {
  ATL::CComBSTR document;
  control_->GetIPCInfoXML(index, &document);
  return pal::Utf8FromBstr(document);
}

LONG ControlSession::Modify(int index, const CameraRecord& record) {
  prowlnet::IpcInfo bytes = record.record();
  LONG status = -1;
  control_->ModifyIPC(index, reinterpret_cast<BYTE*>(&bytes), kProwlnetRecordSize, &status);
  return status;
}

std::string ControlSession::NetworkParam(ULONG index) {
  ATL::CComBSTR value;
  control_->GetNetworkParam(index, &value);
  return pal::Utf8FromBstr(value);
}

FreeAddressAnswer ControlSession::FreeAddress() {
  if (!CanProbe()) return {FreeAddressAnswer::Outcome::kCannotProbe, ""};
  const std::string own = NetworkParam(0);
  ATL::CComBSTR value;
  control_->GetOneIPAddress(&value);
  const std::string address = pal::Utf8FromBstr(value);
  if (address.empty() || address == own) return {FreeAddressAnswer::Outcome::kNoneFree, ""};
  return {FreeAddressAnswer::Outcome::kFound, address};
}

late_binding::Outcome ControlSession::CallByName(const std::string& name,
                                                 const std::vector<late_binding::Value>& arguments) {
  if (MayEmptyTable(name)) serials_.clear();
  return late_binding::CallByName(control_, name, arguments);
}

bool ControlSession::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                             const std::function<void()>& tick) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool held = false;
  const auto settled = [&] {
    held = done();
    return held || WaitsInterrupted();
  };
  for (;;) {
    if (tick) tick();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (pal::PumpUntil(settled, std::min(left, std::chrono::milliseconds(100)))) return held;
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
}

}  // namespace prowlnet_client
