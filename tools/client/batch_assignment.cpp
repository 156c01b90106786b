#include "client/batch_assignment.h"

#include <algorithm>
#include <set>

#include <fmt/format.h>

#include "netenv/address_sweep.h"

namespace prowlnet_client {
namespace {

using Outcome = BatchAssignment::Outcome;

bool OnSubnet(const Subnet& subnet, std::uint32_t address) {
  return (address & subnet.mask) == (subnet.address & subnet.mask);
}

std::string SubnetText(const Subnet& subnet) {
  int prefix = 0;
  for (std::uint32_t mask = subnet.mask; mask != 0; mask <<= 1) ++prefix;
  return fmt::format("{}/{}", DottedQuad(subnet.address & subnet.mask), prefix);
}

PlanFailure Failure(PlanFailure::Kind kind, std::string message) { return {kind, std::move(message)}; }

/// Whether `address` is its subnet's network or broadcast address; a /31 or /32 has neither.
bool NetworkOrBroadcast(const Subnet& subnet, std::uint32_t address) {
  const std::uint32_t host = ~subnet.mask;
  if (host < 3) return false;
  return (address & host) == 0 || (address & host) == host;
}

/// Every address that `inputs` says must never be given.
std::set<std::uint32_t> Reserved(const PlanInputs& inputs) {
  std::set<std::uint32_t> reserved;
  for (const Subnet& subnet : inputs.subnets) reserved.insert(subnet.address);
  if (inputs.gateway) reserved.insert(*inputs.gateway);
  for (const std::string& text : inputs.cameraAddresses)
    if (const auto address = ParseDottedQuad(text)) reserved.insert(*address);
  return reserved;
}

/// The addresses of `range` that may be given, in order.
std::vector<std::uint32_t> Candidates(const AddressRange& range, const PlanInputs& inputs) {
  const std::set<std::uint32_t> reserved = Reserved(inputs);
  std::vector<std::uint32_t> candidates;
  for (std::uint64_t address = range.first; address <= range.last; ++address) {
    const auto candidate = static_cast<std::uint32_t>(address);
    if (!NetworkOrBroadcast(range.subnet, candidate) && reserved.count(candidate) == 0) candidates.push_back(candidate);
  }
  return candidates;
}

/// The free candidates, in order, probed in windows until there are `needed`; nothing when this
/// process cannot probe. `inUse` collects what the probe found taken.
std::optional<std::vector<std::uint32_t>> FreeCandidates(const std::vector<std::uint32_t>& candidates, size_t needed,
                                                         std::vector<std::uint32_t>* inUse) {
  std::vector<std::uint32_t> free;
  for (size_t from = 0; from < candidates.size() && free.size() < needed; from += prowlnet::kSweepWindow) {
    const size_t to = std::min(candidates.size(), from + prowlnet::kSweepWindow);
    const std::vector<std::uint32_t> window(candidates.begin() + static_cast<long>(from), candidates.begin() + static_cast<long>(to));
    const std::optional<std::vector<std::uint32_t>> taken = AddressesInUse(window);
    if (!taken) return std::nullopt;
    inUse->insert(inUse->end(), taken->begin(), taken->end());
    const std::set<std::uint32_t> takenSet(taken->begin(), taken->end());
    for (std::uint32_t address : window)
      if (takenSet.count(address) == 0) free.push_back(address);
  }
  return free;
}

}  // namespace

std::variant<AddressRange, PlanFailure> ReadRange(const std::string& from, const std::string& to,
                                                  const std::vector<Subnet>& subnets) {
  const std::optional<std::uint32_t> first = ParseDottedQuad(from);
  const std::optional<std::uint32_t> last = ParseDottedQuad(to);
  if (!first || !last)
    return Failure(PlanFailure::Kind::kBadRange, fmt::format("\"{}\" to \"{}\" is not a range of dotted-quad IPv4 addresses", from, to));
  if (*first > *last)
    return Failure(PlanFailure::Kind::kBadRange, fmt::format("the range {} to {} runs backwards", from, to));
  for (const Subnet& subnet : subnets) {
    if (OnSubnet(subnet, *first) && OnSubnet(subnet, *last)) return AddressRange{*first, *last, subnet};
  }
  std::string known;
  for (const Subnet& subnet : subnets) known += (known.empty() ? "" : ", ") + SubnetText(subnet);
  return Failure(PlanFailure::Kind::kBadRange,
                 fmt::format("the range {} to {} is not within one subnet of this computer ({})", from, to,
                             known.empty() ? "it has none" : known));
}

LanChange PlannedAddress::Change() const {
  LanChange change;
  change.ipAddress = to;
  change.netmask = netmask;
  change.gateway = gateway;
  return change;
}

std::variant<AssignmentPlan, PlanFailure> PlanAssignment(const AddressRange& range, const PlanInputs& inputs) {
  const std::vector<std::uint32_t> candidates = Candidates(range, inputs);
  const size_t needed = inputs.cameras.size();
  const std::string span = DottedQuad(range.first) + " to " + DottedQuad(range.last);
  if (candidates.size() < needed)
    return Failure(PlanFailure::Kind::kTooSmall,
                   fmt::format("{} has {} address{} to give, fewer than the {} camera{} (this computer's addresses, "
                               "the gateway, the cameras' own and the subnet's network and broadcast addresses are "
                               "never given)",
                               span, candidates.size(), candidates.size() == 1 ? "" : "es", needed, needed == 1 ? "" : "s"));
  AssignmentPlan plan;
  const std::optional<std::vector<std::uint32_t>> free = FreeCandidates(candidates, needed, &plan.inUse);
  if (!free) return Failure(PlanFailure::Kind::kCannotProbe, kCannotProbe);
  if (free->size() < needed)
    return Failure(PlanFailure::Kind::kNotEnoughFree,
                   fmt::format("{} has {} free address{} left for {} camera{}: the others answer pings or ARP", span,
                               free->size(), free->size() == 1 ? "" : "es", needed, needed == 1 ? "" : "s"));

  std::optional<std::string> gateway;
  if (inputs.gateway && OnSubnet(range.subnet, *inputs.gateway)) gateway = DottedQuad(*inputs.gateway);
  for (size_t i = 0; i < needed; ++i) {
    const CameraRecord& camera = inputs.cameras[i];
    plan.cameras.push_back({camera.SerialNumber(), camera.Lan().ipAddress, DottedQuad((*free)[i]),
                            DottedQuad(range.subnet.mask), gateway});
  }
  return plan;
}

BatchAssignment::BatchAssignment(const AssignmentPlan& plan, Clock::time_point deadline) : deadline_(deadline) {
  for (const PlannedAddress& planned : plan.cameras)
    entries_.push_back({planned, PendingChange(planned.serial, planned.Change(), deadline), std::nullopt});
}

std::optional<Outcome> BatchAssignment::Record(Entry& entry, PendingChange::State state) {
  if (state == PendingChange::State::kWaiting) return std::nullopt;
  entry.outcome = Outcome{entry.planned, state, entry.change.camera()};
  return entry.outcome;
}

std::vector<Outcome> BatchAssignment::Send(ControlSession& session) {
  std::vector<Outcome> settled;
  for (Entry& entry : entries_) {
    if (auto outcome = Record(entry, entry.change.Send(session))) settled.push_back(*outcome);
  }
  return settled;
}

std::vector<Outcome> BatchAssignment::Settle(ControlSession& session) {
  std::vector<Outcome> settled;
  for (Entry& entry : entries_) {
    if (entry.outcome) continue;
    if (auto outcome = Record(entry, entry.change.Settle(session))) settled.push_back(*outcome);
  }
  return settled;
}

bool BatchAssignment::Done() const {
  return std::all_of(entries_.begin(), entries_.end(), [](const Entry& entry) { return entry.outcome.has_value(); });
}

std::vector<Outcome> BatchAssignment::SendAndWait(ControlSession& session,
                                                  const std::function<void(const Outcome&)>& settled) {
  for (const Outcome& outcome : Send(session)) settled(outcome);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
  session.WaitFor(
      [&] {
        for (const Outcome& outcome : Settle(session)) settled(outcome);
        return Done();
      },
      std::max(left, std::chrono::milliseconds(0)));
  std::vector<Outcome> outcomes;
  for (Entry& entry : entries_) {
    if (!entry.outcome) settled(*Record(entry, PendingChange::State::kTimedOut));
    outcomes.push_back(*entry.outcome);
  }
  return outcomes;
}

const char* StateName(PendingChange::State state) {
  switch (state) {
    case PendingChange::State::kWaiting: return "waiting";
    case PendingChange::State::kConfirmed: return "confirmed";
    case PendingChange::State::kTimedOut: return "timeout";
    case PendingChange::State::kGone: return "gone";
    case PendingChange::State::kNotSent: return "not-sent";
  }
  return "waiting";
}

}  // namespace prowlnet_client
