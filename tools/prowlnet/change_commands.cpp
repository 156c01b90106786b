// The command that changes one camera: set. A change is sent only after every argument was
// checked, and it counts as done only when the camera's own replies carry it.
#include <chrono>
#include <cstdio>

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

}  // namespace

int RunSet(const SetOptions& options) {
  if (auto error = CheckLanChange(options.change)) {
    std::fprintf(stderr, "prowlnet: %s\n", error->c_str());
    return kBadInput;
  }
  if (options.change.freeAddress && !CanProbe()) {
    std::fprintf(stderr, "prowlnet: %s\n", kCannotProbe);
    return kFailed;
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
    const FreeAddressAnswer free = session->FreeAddress();
    if (WaitsInterrupted()) return Interrupted(*session);
    if (free.outcome != FreeAddressAnswer::Outcome::kFound) {
      std::fprintf(stderr, "prowlnet: %s\n", free.outcome == FreeAddressAnswer::Outcome::kCannotProbe
                                                 ? kCannotProbe
                                                 : "no free address found on this computer's subnet");
      return kFailed;
    }
    change.ipAddress = free.address;
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
    std::fprintf(stderr, "prowlnet: %s did not confirm the change within %g s\n", Printable(options.serial).c_str(),
                 options.seconds);
    return kTimedOut;
  }
  const LanSettings after = pending.camera()->Lan();
  session->StopSearch();
  std::printf("%s: %s -> %s, confirmed by the camera\n", Printable(options.serial).c_str(),
              Printable(before.ipAddress).c_str(), Printable(after.ipAddress).c_str());
  return kOk;
}

}  // namespace prowlnet_cli
