// The commands that only look: search, show, netparams, free-ip, register and unregister.
#include <unistd.h>

#include <cstdio>

#include <fmt/format.h>

#include "client/module_registration.h"
#include "commands.h"
#include "console.h"
#include "output.h"

namespace prowlnet_cli {

int RunSearch(const SearchOptions& options) {
  auto session = OpenControl();
  if (!session) return kFailed;
  const bool progress = options.format == Format::kTable && isatty(STDERR_FILENO);
  session->StartSearch();
  const bool enough = SearchFor(*session, options.seconds, progress,
                                [&] { return options.expect && session->Count() >= *options.expect; });
  if (WaitsInterrupted()) return Interrupted(*session);
  const std::vector<FoundCamera> cameras = WithReachability(session->Cameras(), LocalSubnets());
  session->StopSearch();
  switch (options.format) {
    case Format::kJson:
      std::fputs((CamerasJson(cameras).dump(2) + "\n").c_str(), stdout);
      break;
    case Format::kCsv:
      std::fputs(CameraCsv(cameras).c_str(), stdout);
      break;
    case Format::kTable:
      std::fputs(CameraTable(cameras).c_str(), stdout);
      break;
  }
  if (options.expect && !enough) {
    std::fprintf(stderr, "prowlnet: %zu of %d cameras answered within %g s\n", cameras.size(), *options.expect,
                 options.seconds);
    return kTimedOut;
  }
  return kOk;
}

int RunShow(const ShowOptions& options) {
  auto session = OpenControl();
  if (!session) return kFailed;
  session->StartSearch();
  const std::optional<LocatedCamera> found = WaitForCamera(*session, options.serial, options.seconds);
  if (WaitsInterrupted()) return Interrupted(*session);
  if (!found) return kTimedOut;
  const std::string document = session->InfoXml(found->index);
  session->StopSearch();
  const FoundCamera camera = WithReachability({found->record}, LocalSubnets()).front();
  if (options.xml) {
    std::fputs((MaskedDocument(document, options.showPasswords) + "\n").c_str(), stdout);
  } else if (options.json) {
    std::fputs((CameraJson(camera, true, options.showPasswords).dump(2) + "\n").c_str(), stdout);
  } else {
    std::fputs(CameraDetails(camera, options.showPasswords).c_str(), stdout);
  }
  return kOk;
}

int RunNetParams(const NetParamsOptions& options) {
  auto session = OpenControl();
  if (!session) return kFailed;
  const char* names[] = {"ipAddress", "netmask", "gateway", "dns1", "dns2"};
  const char* labels[] = {"IP address", "Netmask", "Gateway", "DNS 1", "DNS 2"};
  nlohmann::json values;
  std::string text;
  for (ULONG i = 0; i < 5; ++i) {
    const std::string value = session->NetworkParam(i);
    values[names[i]] = value;
    text += fmt::format("{:<11} {}\n", labels[i], value);
  }
  std::fputs(options.json ? (values.dump(2) + "\n").c_str() : text.c_str(), stdout);
  return kOk;
}

int RunFreeAddress(const FreeAddressOptions& options) {
  if (!CanProbe()) {
    std::fprintf(stderr, "prowlnet: %s\n", kCannotProbe);
    return kFailed;
  }
  auto session = OpenControl();
  if (!session) return kFailed;
  const std::string own = session->NetworkParam(0);
  if (own.empty()) {
    std::fputs("prowlnet: this computer has no IPv4 address to search a subnet of\n", stderr);
    return kFailed;
  }
  // The cameras that answer meanwhile are known to hold their addresses, pings or not.
  session->StartSearch();
  SearchFor(*session, options.seconds, isatty(STDERR_FILENO), [] { return false; });
  if (WaitsInterrupted()) return Interrupted(*session);
  if (isatty(STDERR_FILENO)) std::fputs("probing the subnet for a free address...\n", stderr);
  const FreeAddressAnswer free = session->FreeAddress();
  if (WaitsInterrupted()) return Interrupted(*session);
  session->StopSearch();
  switch (free.outcome) {
    case FreeAddressAnswer::Outcome::kFound:
      std::printf("%s\n", free.address.c_str());
      return kOk;
    case FreeAddressAnswer::Outcome::kNoneFree:
      std::fprintf(stderr, "prowlnet: no free address found next to %s\n", own.c_str());
      return kFailed;
    case FreeAddressAnswer::Outcome::kCannotProbe:
      break;
  }
  std::fprintf(stderr, "prowlnet: %s\n", kCannotProbe);
  return kFailed;
}

int RunRegister(const RegisterOptions& options) {
  const bool unregister = options.unregister;
  const EntryPointCall call = CallRegistrationEntry(ControlModulePath(), unregister);
  if (!call.succeeded()) {
    std::fprintf(stderr, "prowlnet: %s %s failed: 0x%08X\n", unregister ? "unregistering" : "registering",
                 ControlModulePath().c_str(), static_cast<unsigned>(call.hr));
    return kFailed;
  }
  std::printf("%s %s\n", unregister ? "unregistered" : "registered", ControlModulePath().c_str());
  return kOk;
}

}  // namespace prowlnet_cli
