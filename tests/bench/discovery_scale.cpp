// Discovery at scale: camsim answers with 1000 cameras in namespace lan, the control searches in
// namespace pc. Reports the time from StartSearch until GetIPCCount gives 1000 and how many
// datagrams the kernel of pc dropped for want of receive buffer (Udp RcvbufErrors): in all, and
// by the time the first round of replies had been sent. Each round after the first adds 1000
// replies every 2 s while the search thread reads about 100 a second, so later rounds overflow
// the buffer; only drops in the first round can lose a camera.
//
// The topology can also be a host without a default route, or a host with two network cards
// (a second LAN on eth2, without a route of its own beyond its subnet), the cameras split
// between the two LANs: --topology no-route or --topology two-cards.
//
// usage: discovery_scale [--cameras N] [--runs R] [--timeout SECONDS] [--topology T]   (as root)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "camsim/simulator.h"
#include "engine/control_object.h"
#include "pal/host_kit.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using Clock = std::chrono::steady_clock;
using test_support::NamespaceScope;

/// A field of the Udp line of /proc/net/snmp, as the calling thread's namespace sees it.
long UdpCounter(const std::string& name) {
  std::ifstream snmp("/proc/thread-self/net/snmp");
  std::string header;
  std::string values;
  while (std::getline(snmp, header) && std::getline(snmp, values)) {
    if (header.rfind("Udp:", 0) != 0) continue;
    std::istringstream names(header);
    std::istringstream numbers(values);
    std::string field;
    std::string number;
    while (names >> field && numbers >> number) {
      if (field == name) return std::atol(number.c_str());
    }
  }
  return -1;
}

struct Result {
  bool complete = false;
  double secondsToAll = 0;
  double secondsToFirstRequest = 0;
  long found = 0;
  long dropped = 0;
  long droppedInFirstRound = -1;  // sampled once the first round of replies has been sent
  long repliesSent = 0;
};

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

Result RunOnce(int cameras, std::chrono::seconds timeout, Topology topology) {
  test_support::TestNetwork network({.subnet = 1, .defaultRoute = topology != Topology::kNoRoute});
  std::unique_ptr<test_support::ExtraLan> second;
  if (topology == Topology::kTwoCards) second = std::make_unique<test_support::ExtraLan>(network.pc(), 2, "eth2");
  test_support::TempPrefix prefix;
  const int onSecond = second != nullptr ? cameras / 2 : 0;
  CameraSets sets;
  Result result;
  if (!sets.Add(network.lan(), cameras - onSecond, 0)) return result;
  if (second != nullptr && !sets.Add(second->lan(), onSecond, cameras - onSecond)) return result;

  NamespaceScope pc(network.pc().name());
  const long droppedBefore = UdpCounter("RcvbufErrors");
  prowlnet::CCProwlnet control;
  if (control.FinalConstruct() != S_OK) return result;
  LONG status = -1;
  Clock::time_point firstRequest{};
  const Clock::time_point start = Clock::now();
  control.StartSearch(&status);
  result.complete = pal::PumpUntil(
      [&] {
        if (firstRequest == Clock::time_point{} && sets.SearchRequests() > 0) firstRequest = Clock::now();
        if (result.droppedInFirstRound < 0 && sets.RepliesSent() >= cameras)
          result.droppedInFirstRound = UdpCounter("RcvbufErrors") - droppedBefore;
        LONG count = 0;
        control.GetIPCCount(&count);
        result.found = count;
        return count >= cameras;
      },
      timeout);
  const Clock::time_point end = Clock::now();
  result.secondsToAll = std::chrono::duration<double>(end - start).count();
  result.secondsToFirstRequest = std::chrono::duration<double>(firstRequest - start).count();
  result.dropped = UdpCounter("RcvbufErrors") - droppedBefore;
  result.repliesSent = sets.RepliesSent();
  control.StopSearch(&status);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  int cameras = 1000;
  int runs = 1;
  int timeoutSeconds = 60;
  Topology topology = Topology::kUsual;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (flag == "--cameras") cameras = value;
    if (flag == "--runs") runs = value;
    if (flag == "--timeout") timeoutSeconds = value;
    if (flag == "--topology") topology = TopologyNamed(argv[i + 1]);
  }
  int failures = 0;
  for (int run = 1; run <= runs; ++run) {
    const Result r = RunOnce(cameras, std::chrono::seconds(timeoutSeconds), topology);
    std::printf(
        "run %d: %s %ld of %d cameras in %.2f s (first search request after %.2f s); "
        "replies sent %ld; kernel receive-buffer drops in pc: %ld in all, %ld of the first round\n",
        run, r.complete ? "found all" : "INCOMPLETE:", r.found, cameras, r.secondsToAll, r.secondsToFirstRequest,
        r.repliesSent, r.dropped, r.droppedInFirstRound);
    if (!r.complete) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
