// The command that gives many cameras addresses at once: assign. The range is checked and the
// right to probe asked for before anything is sent; the plan probes the whole range together;
// every change leaves in one go and counts as done only when its camera's own replies carry it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <variant>

#include "client/batch_assignment.h"
#include "commands.h"
#include "console.h"
#include "output.h"
#include "shown_text.h"

namespace prowlnet_cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSearchAllSeconds = 5;
constexpr size_t kPassedOverShown = 20;

/// The cameras to give addresses to: the named ones, searched for until all answered; else every
/// camera that answered until `--expect` of them did or the time ran out. Nothing (said on
/// stderr) when a named one, or any at all, did not answer.
std::optional<std::vector<CameraRecord>> CamerasToAssign(ControlSession& session, const AssignOptions& options) {
  std::set<std::string> missing(options.serials.begin(), options.serials.end());
  const bool all = options.serials.empty();
  const double seconds = all && !options.expect ? std::min(options.seconds, kSearchAllSeconds) : options.seconds;
  SearchFor(session, seconds, isatty(STDERR_FILENO), [&] {
    if (all) return options.expect && session.Count() >= *options.expect;
    for (auto it = missing.begin(); it != missing.end();) it = session.Find(*it) ? missing.erase(it) : std::next(it);
    return missing.empty();
  });
  for (const std::string& serial : missing)
    std::fprintf(stderr, "prowlnet: camera %s did not answer within %g s\n", Printable(serial).c_str(), options.seconds);
  if (!missing.empty()) return std::nullopt;
  std::vector<CameraRecord> chosen;
  for (const CameraRecord& camera : session.Cameras()) {
    if (all || std::count(options.serials.begin(), options.serials.end(), camera.SerialNumber()) != 0)
      chosen.push_back(camera);
  }
  if (chosen.empty()) std::fprintf(stderr, "prowlnet: no camera answered within %g s\n", seconds);
  if (options.expect && static_cast<int>(chosen.size()) < *options.expect)
    std::fprintf(stderr, "prowlnet: %zu of %d cameras answered within %g s; giving addresses to those\n", chosen.size(),
                 *options.expect, seconds);
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

PlanInputs InputsFor(ControlSession& session, std::vector<CameraRecord> cameras) {
  PlanInputs inputs;
  inputs.cameras = std::move(cameras);
  for (const CameraRecord& camera : session.Cameras()) inputs.cameraAddresses.push_back(camera.Lan().ipAddress);
  inputs.subnets = LocalSubnets();
  const std::optional<std::uint32_t> gateway = ParseDottedQuad(session.NetworkParam(2));
  if (gateway && *gateway != 0) inputs.gateway = gateway;
  return inputs;
}

void SayPassedOver(const std::vector<std::uint32_t>& inUse) {
  if (inUse.empty()) return;
  std::string list;
  for (size_t i = 0; i < inUse.size() && i < kPassedOverShown; ++i) list += (i == 0 ? "" : ", ") + DottedQuad(inUse[i]);
  if (inUse.size() > kPassedOverShown) list += ", ...";
  std::fprintf(stderr, "prowlnet: passed over %zu address%s in use: %s\n", inUse.size(), inUse.size() == 1 ? "" : "es",
               list.c_str());
}

void Print(const std::vector<std::pair<PlannedAddress, std::string>>& rows, Format format) {
  if (format != Format::kJson) {
    std::fputs(AssignmentTable(rows).c_str(), stdout);
    return;
  }
  nlohmann::json list = nlohmann::json::array();
  for (const auto& [planned, state] : rows) list.push_back(AssignmentJson(planned, state));
  std::fputs((list.dump(2) + "\n").c_str(), stdout);
}

int ExitStatusOf(PlanFailure::Kind kind) {
  return kind == PlanFailure::Kind::kBadRange || kind == PlanFailure::Kind::kTooSmall ? kBadInput : kFailed;
}

}  // namespace

int RunAssign(const AssignOptions& options) {
  const std::variant<AddressRange, PlanFailure> read = ReadRange(options.from, options.to, LocalSubnets());
  if (const auto* failure = std::get_if<PlanFailure>(&read)) {
    std::fprintf(stderr, "prowlnet: %s\n", failure->message.c_str());
    return kBadInput;
  }
  if (!CanProbe()) {
    std::fprintf(stderr, "prowlnet: %s\n", kCannotProbe);
    return kFailed;
  }
  auto session = OpenControl();
  if (!session) return kFailed;
  session->StartSearch();
  std::optional<std::vector<CameraRecord>> cameras = CamerasToAssign(*session, options);
  if (!cameras) return kTimedOut;

  if (isatty(STDERR_FILENO)) std::fputs("probing the range...\n", stderr);
  const auto planned = PlanAssignment(std::get<AddressRange>(read), InputsFor(*session, std::move(*cameras)));
  if (const auto* failure = std::get_if<PlanFailure>(&planned)) {
    std::fprintf(stderr, "prowlnet: %s\n", failure->message.c_str());
    return ExitStatusOf(failure->kind);
  }
  const AssignmentPlan& plan = std::get<AssignmentPlan>(planned);
  SayPassedOver(plan.inUse);
  std::vector<std::pair<PlannedAddress, std::string>> rows;
  if (options.dryRun) {
    for (const PlannedAddress& camera : plan.cameras) rows.emplace_back(camera, "planned");
    Print(rows, options.format);
    return kOk;
  }

  BatchAssignment batch(plan, Clock::now() + std::chrono::milliseconds(static_cast<long>(options.seconds * 1000)));
  size_t confirmed = 0;
  const bool progress = isatty(STDERR_FILENO);
  const auto outcomes = batch.SendAndWait(*session, [&](const BatchAssignment::Outcome& outcome) {
    confirmed += outcome.state == PendingChange::State::kConfirmed;
    if (progress) std::fprintf(stderr, "\rconfirmed %zu of %zu ", confirmed, plan.cameras.size());
  });
  if (progress) std::fputs("\r\033[K", stderr);
  session->StopSearch();
  for (const BatchAssignment::Outcome& outcome : outcomes) rows.emplace_back(outcome.planned, StateName(outcome.state));
  Print(rows, options.format);
  if (confirmed == plan.cameras.size()) return kOk;
  std::fprintf(stderr, "prowlnet: %zu of %zu cameras did not confirm within %g s\n", plan.cameras.size() - confirmed,
               plan.cameras.size(), options.seconds);
  return kTimedOut;
}

}  // namespace prowlnet_cli
