// Discovery at scale: camsim answers with N cameras (1000 by default) in namespace lan, the
// control searches in namespace pc. Reports the time from StartSearch until GetIPCCount gives N
// and how many datagrams the kernel of pc dropped for want of receive buffer (Udp RcvbufErrors):
// in all, and by the time the first round of replies had been sent. With the design's pacing the
// search thread reads about 100 datagrams a second, so later rounds of 1000 replies every 2 s
// overflow the buffer; only drops in the first round can lose a camera.
//
// --fast sets PROWLNET_FAST_SEARCH=1 for the control. --hold S goes on searching for S seconds
// once all are found, and reports the drops and replies of that span (no drop: every reply
// refreshed its record) and the CPU time of the search thread in it; with --cameras 0 that is
// the cost of an idle search.
//
// The topology can also be a host without a default route, or a host with two network cards
// (a second LAN on eth2, without a route of its own beyond its subnet), the cameras split
// between the two LANs: --topology no-route or --topology two-cards.
//
// usage: discovery_scale [--cameras N] [--runs R] [--timeout SECONDS] [--fast] [--hold SECONDS]
//                        [--topology usual|no-route|two-cards]   (as root)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "camsim/simulator.h"
#include "engine/control_object.h"
#include "pal/host_kit.h"
#include "support/netns.h"
#include "support/process_usage.h"
#include "support/temp_prefix.h"

namespace {

using Clock = std::chrono::steady_clock;
using test_support::CpuNanoseconds;
using test_support::NamespaceScope;
using test_support::ThreadIds;
using test_support::UdpCounter;

enum class Topology { kUsual, kNoRoute, kTwoCards };

Topology TopologyNamed(const std::string& name) {
  if (name == "usual") return Topology::kUsual;
  if (name == "no-route") return Topology::kNoRoute;
  if (name == "two-cards") return Topology::kTwoCards;
  std::fprintf(stderr, "unknown topology %s: usual, no-route or two-cards\n", name.c_str());
  std::exit(2);
}

/// The simulated cameras behind the LANs of one run.
class CameraSets {
 public:
  /// Starts a simulator with `count` cameras (numbered from `first`) in `lan`; false if it failed.
  bool Add(test_support::Namespace& lan, int count, int first) {
    NamespaceScope scope(lan.name());
    auto simulator = std::make_unique<camsim::Simulator>();
    if (!simulator->ok()) {
      std::fprintf(stderr, "camsim: %s\n", simulator->error().c_str());
      return false;
    }
    simulator->AddCameras(camsim::GenerateCameras(count, first));
    simulators_.push_back(std::move(simulator));
    return true;
  }
  int SearchRequests() const {
    int requests = 0;
    for (const auto& simulator : simulators_) requests += simulator->SearchRequests();
    return requests;
  }
  long RepliesSent() const {
    long replies = 0;
    for (const auto& simulator : simulators_) replies += simulator->RepliesSent();
    return replies;
  }

 private:
  std::vector<std::unique_ptr<camsim::Simulator>> simulators_;
};

struct Options {
  int cameras = 1000;
  int runs = 1;
  int timeoutSeconds = 60;
  bool fast = false;
  int holdSeconds = 0;
  Topology topology = Topology::kUsual;
};

struct Result {
  bool complete = false;
  double secondsToAll = 0;
  double secondsToFirstRequest = -1;  // none seen before all were found
  long found = 0;
  long dropped = 0;
  long droppedInFirstRound = -1;  // sampled once the first round of replies has been sent
  long repliesSent = 0;
  long droppedInHold = 0;
  long repliesInHold = 0;
  int requestsInHold = 0;
  double searchThreadCpuPercent = 0;
};

/// Goes on searching for `seconds` and fills the hold part of `result`.
void Hold(int seconds, const CameraSets& simulators, const std::set<std::string>& searchThreads, Result* result) {
  const long dropped = UdpCounter("RcvbufErrors");
  const long replies = simulators.RepliesSent();
  const int requests = simulators.SearchRequests();
  const double cpu = CpuNanoseconds(searchThreads);
  const auto start = std::chrono::steady_clock::now();
  // A measurement window of a set length, not a wait for something to happen.
  pal::PumpFor(std::chrono::seconds(seconds));
  const std::chrono::duration<double> window = std::chrono::steady_clock::now() - start;
  result->droppedInHold = UdpCounter("RcvbufErrors") - dropped;
  result->repliesInHold = simulators.RepliesSent() - replies;
  result->requestsInHold = simulators.SearchRequests() - requests;
  result->searchThreadCpuPercent = (CpuNanoseconds(searchThreads) - cpu) / (window.count() * 1e9) * 100;
}

Result RunOnce(const Options& options) {
  test_support::TestNetwork network({.subnet = 1, .defaultRoute = options.topology != Topology::kNoRoute});
  std::unique_ptr<test_support::ExtraLan> second;
  if (options.topology == Topology::kTwoCards)
    second = std::make_unique<test_support::ExtraLan>(network.pc(), 2, "eth2");
  test_support::TempPrefix prefix;
  const int onSecond = second != nullptr ? options.cameras / 2 : 0;
  CameraSets simulators;
  Result result;
  if (!simulators.Add(network.lan(), options.cameras - onSecond, 0)) return result;
  if (second != nullptr && !simulators.Add(second->lan(), onSecond, options.cameras - onSecond)) return result;

  NamespaceScope pc(network.pc().name());
  const long droppedBefore = UdpCounter("RcvbufErrors");
  prowlnet::CCProwlnet control;
  if (control.FinalConstruct() != S_OK) return result;
  LONG status = -1;
  Clock::time_point firstRequest{};
  const std::set<std::string> before = ThreadIds();
  const Clock::time_point start = Clock::now();
  control.StartSearch(&status);
  result.complete = pal::PumpUntil(
      [&] {
        if (firstRequest == Clock::time_point{} && simulators.SearchRequests() > 0) firstRequest = Clock::now();
        if (result.droppedInFirstRound < 0 && simulators.RepliesSent() >= options.cameras)
          result.droppedInFirstRound = UdpCounter("RcvbufErrors") - droppedBefore;
        LONG count = 0;
        control.GetIPCCount(&count);
        result.found = count;
        return count >= options.cameras;
      },
      std::chrono::seconds(options.timeoutSeconds));
  const Clock::time_point end = Clock::now();
  result.secondsToAll = std::chrono::duration<double>(end - start).count();
  if (firstRequest != Clock::time_point{})
    result.secondsToFirstRequest = std::chrono::duration<double>(firstRequest - start).count();
  if (options.holdSeconds > 0) {
    std::set<std::string> searchThreads;
    for (const std::string& id : ThreadIds())
      if (before.count(id) == 0) searchThreads.insert(id);
    Hold(options.holdSeconds, simulators, searchThreads, &result);
  }
  result.dropped = UdpCounter("RcvbufErrors") - droppedBefore;
  result.repliesSent = simulators.RepliesSent();
  control.StopSearch(&status);
  return result;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--fast") {
      options.fast = true;
      continue;
    }
    if (i + 1 == argc) break;
    const int value = std::atoi(argv[++i]);
    if (flag == "--cameras") options.cameras = value;
    if (flag == "--runs") options.runs = value;
    if (flag == "--timeout") options.timeoutSeconds = value;
    if (flag == "--hold") options.holdSeconds = value;
    if (flag == "--topology") options.topology = TopologyNamed(argv[i]);
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (options.fast) setenv("PROWLNET_FAST_SEARCH", "1", 1);
  int failures = 0;
  for (int run = 1; run <= options.runs; ++run) {
    const Result r = RunOnce(options);
    std::printf(
        "run %d (%s): %s %ld of %d cameras in %.2f s (first search request after %.2f s); "
        "replies sent %ld; kernel receive-buffer drops in pc: %ld in all, %ld of the first round\n",
        run, options.fast ? "fast search" : "design pacing", r.complete ? "found all" : "INCOMPLETE:", r.found,
        options.cameras, r.secondsToAll, r.secondsToFirstRequest, r.repliesSent, r.dropped, r.droppedInFirstRound);
    if (options.holdSeconds > 0) {
      std::printf("  then %d s of searching: %d search requests, %ld replies sent, %ld dropped; "
                  "search thread %.3f %% of a core\n",
                  options.holdSeconds, r.requestsInHold, r.repliesInHold, r.droppedInHold, r.searchThreadCpuPercent);
    }
    if (!r.complete) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
