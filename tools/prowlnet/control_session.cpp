#include "control_session.h"

#include <cstdio>
#include <cstdlib>

#include "pal/host_kit.h"
#include "pal/kernel32.h"
#include "pal/libloader.h"

namespace prowlnet_cli {
namespace {

std::string HexCode(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string PrefixPath() {
  const char* prefix = std::getenv("PROWLNET_PREFIX");
  if (prefix != nullptr && *prefix != '\0') return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.prowlnet";
}

bool ClassRegistered() {
  CLSID clsid{};
  return SUCCEEDED(CLSIDFromProgID(kProwlnetProgId, &clsid));
}

}  // namespace

HRESULT RegisterControlModule(bool unregister) {
  const ATL::CComBSTR path = pal::BstrFromUtf8(ControlModulePath());
  HMODULE module = LoadLibraryW(path);
  if (module == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  const auto entry =
      reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
  const HRESULT hr = entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeLibrary(module);
  return hr;
}

std::optional<ControlSession> ControlSession::Open(std::string* error) {
  if (!ClassRegistered()) {
    const HRESULT hr = RegisterControlModule(false);
    if (FAILED(hr)) {
      *error = "cannot register the control module " + ControlModulePath() + " (" + HexCode(hr) + ")";
      return std::nullopt;
    }
    std::fprintf(stderr, "prowlnet: registered the control %s in %s\n", ControlModulePath().c_str(), PrefixPath().c_str());
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
  LONG status = -1;
  control_->StartSearch(&status);
  return status;
}

LONG ControlSession::StopSearch() {
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
  CameraRecord::Bytes bytes{};
  LONG status = -1;
  control_->GetIPCInfo(index, bytes.data(), kProwlnetRecordSize, &status);
  if (status != 0) return std::nullopt;
  return CameraRecord(bytes);
}

std::vector<CameraRecord> ControlSession::Cameras() {
  std::vector<CameraRecord> cameras;
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    if (auto record = Record(i)) cameras.push_back(*record);
  }
  return cameras;
}

std::optional<int> ControlSession::IndexOf(const std::string& serialNumber) {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    const auto record = Record(i);
    if (record && record->SerialNumber() == serialNumber) return i;
  }
  return std::nullopt;
}

std::string ControlSession::InfoXml(int index) {
  ATL::CComBSTR document;
  control_->GetIPCInfoXML(index, &document);
  return pal::Utf8FromBstr(document);
}

LONG ControlSession::Modify(int index, const CameraRecord& record) {
  CameraRecord::Bytes bytes = record.bytes();
  LONG status = -1;
  control_->ModifyIPC(index, bytes.data(), kProwlnetRecordSize, &status);
  return status;
}

std::string ControlSession::NetworkParam(ULONG index) {
  ATL::CComBSTR value;
  control_->GetNetworkParam(index, &value);
  return pal::Utf8FromBstr(value);
}

std::string ControlSession::FreeAddress() {
  ATL::CComBSTR value;
  control_->GetOneIPAddress(&value);
  return pal::Utf8FromBstr(value);
}

bool ControlSession::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                             const std::function<void()>& tick) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (tick) tick();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (pal::PumpUntil(done, std::min(left, std::chrono::milliseconds(100)))) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
}

}  // namespace prowlnet_cli
