// The commands that change cameras: set and assign. A change is sent only after every argument
// was checked, and it counts as done only when the camera's own replies carry it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>

#include <fmt/format.h>

#include "client/addresses.h"
#include "client/pending_change.h"
#include "commands.h"
#include "console.h"
#include "shown_text.h"

namespace prowlnet_cli {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineIn(double seconds) {
  return Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
}

struct Assignment {
  std::string serial;
  std::string from;
  std::string to;
};

/// The next address of the range that no camera, no address of this computer and no host on
/// the network holds; nothing when the range runs out, or when probing is impossible (said).
std::optional<std::uint32_t> NextFreeAddress(std::uint32_t& next, std::uint32_t last, const std::set<std::uint32_t>& taken,
                                             bool* cannotProbe) {
  for (; next <= last && next != 0; ++next) {
    if (taken.count(next) != 0) continue;
    const std::optional<bool> inUse = AddressInUse(next);
    if (!inUse) {
      *cannotProbe = true;
      return std::nullopt;
    }
    if (*inUse) {
      std::fprintf(stderr, "prowlnet: %s is in use, skipped\n", DottedQuad(next).c_str());
      continue;
    }
    return next++;
  }
  return std::nullopt;
}

/// The cameras to give addresses to: the named ones, searched for until all answered, or every
/// camera that answered within the time limit.
std::optional<std::vector<CameraRecord>> CamerasToAssign(ControlSession& session, const AssignOptions& options) {
  std::set<std::string> missing(options.serials.begin(), options.serials.end());
  const bool all = options.serials.empty();
  SearchFor(session, all ? std::min(options.seconds, 5.0) : options.seconds, false, [&] {
    if (all) return false;
    for (auto it = missing.begin(); it != missing.end();) it = session.Find(*it) ? missing.erase(it) : std::next(it);
    return missing.empty();
  });
  if (!missing.empty()) {
    for (const std::string& serial : missing)
      std::fprintf(stderr, "prowlnet: camera %s did not answer within %g s\n", serial.c_str(), options.seconds);
    return std::nullopt;
  }
  std::vector<CameraRecord> chosen;
  for (const CameraRecord& camera : session.Cameras()) {
    if (all || std::count(options.serials.begin(), options.serials.end(), camera.SerialNumber()) != 0)
      chosen.push_back(camera);
  }
  return chosen;
}

}  // namespace

int RunSet(const SetOptions& options) {
  if (auto error = CheckLanChange(options.change)) {
    std::fprintf(stderr, "prowlnet: %s\n", error->c_str());
    return kBadInput;
  }
  auto session = OpenControl();
  if (!session) return kFailed;
  const auto deadline = DeadlineIn(options.seconds);
  session->StartSearch();
  const std::optional<LocatedCamera> camera = WaitForCamera(*session, options.serial, options.seconds);
  if (WaitsInterrupted()) return Interrupted(*session);
  if (!camera) return kTimedOut;
  LanChange change = options.change;
  if (change.freeAddress) {
    const std::optional<std::string> address = session->FreeAddress();
    if (WaitsInterrupted()) return Interrupted(*session);
    if (!address) {
      std::fputs("prowlnet: no free address found on this computer's subnet\n", stderr);
      return kFailed;
    }
    change.ipAddress = *address;
  }
  const LanSettings before = camera->record.Lan();
  if (Carries(before, change)) {
    std::printf("%s already has these settings\n", Printable(options.serial).c_str());
    return kOk;
  }
  PendingChange pending(options.serial, change, deadline);
  const PendingChange::State state = pending.SendAndWait(*session);
  if (WaitsInterrupted()) return Interrupted(*session);
  if (state != PendingChange::State::kConfirmed || !pending.camera()) {
    std::fprintf(stderr, "prowlnet: %s did not confirm the change within %g s\n", options.serial.c_str(), options.seconds);
    return kTimedOut;
  }
  const LanSettings after = pending.camera()->Lan();
  session->StopSearch();
  std::printf("%s: %s -> %s, confirmed by the camera\n", Printable(options.serial).c_str(),
              Printable(before.ipAddress).c_str(), Printable(after.ipAddress).c_str());
  return kOk;
}

int RunAssign(const AssignOptions& options) {
  const auto first = ParseDottedQuad(options.from);
  const auto last = ParseDottedQuad(options.to);
  if (!first || !last || *first > *last) {
    std::fprintf(stderr, "prowlnet: --from %s --to %s is not a range of dotted-quad IPv4 addresses\n",
                 options.from.c_str(), options.to.c_str());
    return kBadInput;
  }
  auto session = OpenControl();
  if (!session) return kFailed;
  session->StartSearch();
  const auto cameras = CamerasToAssign(*session, options);
  if (!cameras) return kTimedOut;

  const std::vector<Subnet> subnets = LocalSubnets();
  std::set<std::uint32_t> taken;
  for (const CameraRecord& camera : session->Cameras())
    if (auto address = ParseDottedQuad(camera.Lan().ipAddress)) taken.insert(*address);
  for (const Subnet& subnet : subnets) taken.insert(subnet.address);

  std::vector<Assignment> plan;
  std::uint32_t next = *first;
  for (const CameraRecord& camera : *cameras) {
    bool cannotProbe = false;
    const auto address = NextFreeAddress(next, *last, taken, &cannotProbe);
    if (cannotProbe) {
      std::fputs("prowlnet: cannot probe addresses: a raw ICMP socket needs root or CAP_NET_RAW\n", stderr);
      return kFailed;
    }
    if (!address) {
      std::fprintf(stderr, "prowlnet: %s to %s has no free address left for %s\n", options.from.c_str(),
                   options.to.c_str(), camera.SerialNumber().c_str());
      return kFailed;
    }
    taken.insert(*address);
    plan.push_back({camera.SerialNumber(), camera.Lan().ipAddress, DottedQuad(*address)});
  }
  for (const Assignment& a : plan) std::printf("%s: %s -> %s%s\n", a.serial.c_str(), a.from.c_str(), a.to.c_str(),
                                               options.dryRun ? " (dry run)" : "");
  if (options.dryRun) return kOk;

  int status = kOk;
  for (const Assignment& a : plan) {
    LanChange change;
    change.ipAddress = a.to;
    PendingChange pending(a.serial, change, DeadlineIn(options.seconds));
    const bool confirmed = pending.SendAndWait(*session) == PendingChange::State::kConfirmed;
    std::printf("%s: %s\n", a.serial.c_str(), confirmed ? "confirmed by the camera" : "not confirmed in time");
    if (!confirmed) status = kTimedOut;
  }
  session->StopSearch();
  return status;
}

}  // namespace prowlnet_cli
