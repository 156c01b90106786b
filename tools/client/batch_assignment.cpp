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

/// The addresses of a range that may be given, counted without listing them (a range may span a
/// wide subnet) and handed out a window at a time, in order.
class Candidates {
 public:
  Candidates(const AddressRange& range, const PlanInputs& inputs) : range_(range), next_(range.first) {
    const auto inRange = [&](std::uint32_t address) { return address >= range.first && address <= range.last; };
    for (const Subnet& subnet : inputs.subnets)
      if (inRange(subnet.address)) excluded_.insert(subnet.address);
    if (inputs.gateway && inRange(*inputs.gateway)) excluded_.insert(*inputs.gateway);
    for (const std::string& text : inputs.cameraAddresses) {
      const std::optional<std::uint32_t> address = ParseDottedQuad(text);
      if (address && inRange(*address)) excluded_.insert(*address);
    }
    const std::uint32_t host = ~range.subnet.mask;
    if (host >= 3) {  // a /31 or /32 has neither a network nor a broadcast address
      const std::uint32_t network = range.subnet.address & range.subnet.mask;
      for (std::uint32_t address : {network, network | host})
        if (inRange(address)) excluded_.insert(address);
    }
  }

  std::uint64_t Count() const { return std::uint64_t{range_.last} - range_.first + 1 - excluded_.size(); }

  /// The next `size` candidates at most; empty once the range is used up.
  std::vector<std::uint32_t> NextWindow(size_t size) {
    std::vector<std::uint32_t> window;
    for (; next_ <= range_.last && window.size() < size; ++next_) {
      const auto address = static_cast<std::uint32_t>(next_);
      if (excluded_.count(address) == 0) window.push_back(address);
    }
    return window;
  }

 private:
  AddressRange range_;
  std::set<std::uint32_t> excluded_;
  std::uint64_t next_;
};

/// The first `needed` free candidates, in order, probed a window at a time until there are
/// enough or the range is used up; nothing when this process cannot probe. `inUse` collects what
/// the probe found taken.
std::optional<std::vector<std::uint32_t>> FreeCandidates(Candidates& candidates, size_t needed,
                                                         std::vector<std::uint32_t>* inUse) {
  std::vector<std::uint32_t> free;
  while (free.size() < needed) {
    const std::vector<std::uint32_t> window = candidates.NextWindow(prowlnet::kSweepWindow);
    if (window.empty()) break;
    const std::optional<std::vector<std::uint32_t>> taken = AddressesInUse(window);
    if (!taken) return std::nullopt;
    inUse->insert(inUse->end(), taken->begin(), taken->end());
    const std::set<std::uint32_t> takenSet(taken->begin(), taken->end());
    for (std::uint32_t address : window)
      if (takenSet.count(address) == 0 && free.size() < needed) free.push_back(address);
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
  Candidates candidates(range, inputs);
  const size_t needed = inputs.cameras.size();
  const std::string span = DottedQuad(range.first) + " to " + DottedQuad(range.last);
  if (candidates.Count() < needed)
    return Failure(PlanFailure::Kind::kTooSmall,
                   fmt::format("{} has {} address{} to give, fewer than the {} camera{} (this computer's addresses, "
                               "the gateway, the cameras' own and the subnet's network and broadcast addresses are "
                               "never given)",
                               span, candidates.Count(), candidates.Count() == 1 ? "" : "es", needed, needed == 1 ? "" : "s"));
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
