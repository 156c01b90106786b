// Discovery at scale: camsim answers with 1000 cameras in namespace lan, the control searches in
// namespace pc. Reports the time from StartSearch until GetIPCCount gives 1000 and how many
// datagrams the kernel of pc dropped for want of receive buffer (Udp RcvbufErrors): in all, and
// by the time the first round of replies had been sent. Each round after the first adds 1000
// replies every 2 s while the search thread reads about 100 a second, so later rounds overflow
// the buffer; only drops in the first round can lose a camera.
//
// usage: discovery_scale [--cameras N] [--runs R] [--timeout SECONDS]   (as root)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

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

Result RunOnce(int cameras, std::chrono::seconds timeout) {
  test_support::TestNetwork network;
  test_support::TempPrefix prefix;
  std::unique_ptr<camsim::Simulator> simulator;
  {
    NamespaceScope lan(network.lan().name());
    simulator = std::make_unique<camsim::Simulator>();
  }
  Result result;
  if (!simulator->ok()) {
    std::fprintf(stderr, "camsim: %s\n", simulator->error().c_str());
    return result;
  }
  simulator->AddCameras(camsim::GenerateCameras(cameras));

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
        if (firstRequest == Clock::time_point{} && simulator->SearchRequests() > 0) firstRequest = Clock::now();
        if (result.droppedInFirstRound < 0 && simulator->RepliesSent() >= cameras)
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
  result.repliesSent = simulator->RepliesSent();
  control.StopSearch(&status);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  int cameras = 1000;
  int runs = 1;
  int timeoutSeconds = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (flag == "--cameras") cameras = value;
    if (flag == "--runs") runs = value;
    if (flag == "--timeout") timeoutSeconds = value;
  }
  int failures = 0;
  for (int run = 1; run <= runs; ++run) {
    const Result r = RunOnce(cameras, std::chrono::seconds(timeoutSeconds));
    std::printf(
        "run %d: %s %ld of %d cameras in %.2f s (first search request after %.2f s); "
        "replies sent %ld; kernel receive-buffer drops in pc: %ld in all, %ld of the first round\n",
        run, r.complete ? "found all" : "INCOMPLETE:", r.found, cameras, r.secondsToAll, r.secondsToFirstRequest,
        r.repliesSent, r.dropped, r.droppedInFirstRound);
    if (!r.complete) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
