// `prowlnet assign` for a crate of cameras that all answer at one factory address: the time from
// starting the program until it exits with every camera confirmed, checked against the cameras
// themselves (distinct addresses of the range, none held by a host that answers pings). The
// control runs in namespace pc with a second, wider subnet (10.78.0.0/20) on its card, camsim in
// lan with the hosts that answer pings on addresses of the range.
//
// First it times the sweep that judges a range (netenv's AddressesInUse) of M candidates, a tenth
// of them answering: as root on a raw ICMP socket, and as the user nobody on a datagram one.
//
// usage: assign_bench [--cameras N] [--candidates M] [--runs R] [--busy K]   (as root)
//   --cameras N     cameras at one address (default 50; 0 times only the sweep)
//   --candidates M  addresses the sweep judges (default 100; 0 skips it)
//   --busy K        hosts that answer pings inside the range (default 3)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "camsim/simulator.h"
#include "netenv/address_sweep.h"
#include "support/child_process.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using Clock = std::chrono::steady_clock;
using test_support::NamespaceScope;
using test_support::TestNetwork;

constexpr const char* kFactoryAddress = "192.168.1.64";
constexpr const char* kWidePrefix = "10.78.";

struct Options {
  int cameras = 50;
  int candidates = 100;
  int runs = 3;
  int busy = 3;
};

/// The n-th address of the wide subnet, from 10.78.0.0.
std::string WideAddress(int n) { return kWidePrefix + std::to_string(n / 256) + "." + std::to_string(n % 256); }

struct RunResult {
  double seconds = -1;
  int status = -1;
  bool verified = false;
};

/// One assign of `options.cameras` cameras in a fresh network; the time and whether the cameras
/// ended where they should.
RunResult OneRun(const Options& options) {
  TestNetwork network;
  network.pc().Ip({"addr", "add", WideAddress(10) + "/20", "dev", TestNetwork::kPcInterface});
  network.lan().Ip({"addr", "add", WideAddress(1) + "/20", "dev", TestNetwork::kLanInterface});
  // The range starts at .20 and holds every camera, the busy hosts and a tenth to spare.
  const int first = 20;
  const int size = options.cameras + options.busy + options.cameras / 10 + 2;
  std::set<std::string> busy;
  for (int i = 0; i < options.busy; ++i) {
    const std::string address = WideAddress(first + 1 + i * 7 % std::max(1, size - 1));
    busy.insert(address);
    network.lan().Ip({"addr", "add", address + "/32", "dev", TestNetwork::kLanInterface});
  }

  std::unique_ptr<camsim::Simulator> simulator;
  {
    NamespaceScope lan(network.lan().name());
    simulator = std::make_unique<camsim::Simulator>();
  }
  std::vector<camsim::Camera> cameras = camsim::GenerateCameras(options.cameras);
  std::vector<std::string> serials;
  for (camsim::Camera& camera : cameras) {
    camsim::Set(*camera.lan, "IPAddress", kFactoryAddress);
    serials.push_back(*camera.serialNumber);
  }
  simulator->AddCameras(cameras);

  test_support::TempPrefix prefix;
  const std::vector<std::string> inPc = {"/usr/sbin/ip", "netns", "exec", network.pc().name(), PROWLNET_CLI_PATH};
  std::vector<std::string> registration = inPc;
  registration.push_back("register");
  test_support::ChildProcess(registration).Wait(std::chrono::seconds(30));

  std::vector<std::string> argv = inPc;
  argv.insert(argv.end(), {"assign", "--from", WideAddress(first), "--to", WideAddress(first + size - 1), "--seconds", "60"});
  argv.insert(argv.end(), serials.begin(), serials.end());
  RunResult result;
  const auto start = Clock::now();
  test_support::ChildProcess assign(argv, "/dev/null");
  result.status = assign.Wait(std::chrono::seconds(600));
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::set<std::string> given;
  for (const camsim::Camera& camera : simulator->Cameras()) {
    const std::string* address = camsim::Find(*camera.lan, "IPAddress");
    if (address != nullptr && address->rfind(kWidePrefix, 0) == 0 && busy.count(*address) == 0) given.insert(*address);
  }
  result.verified = static_cast<int>(given.size()) == options.cameras;
  return result;
}

/// The seconds of one sweep of `candidates` addresses of the wide subnet, a tenth of them answering,
/// on a raw socket or, as nobody, a datagram one; negative when its answer was wrong.
double TimeOneSweep(int candidates, bool asNobody) {
  TestNetwork network;
  network.pc().Ip({"addr", "add", WideAddress(10) + "/20", "dev", TestNetwork::kPcInterface});
  network.lan().Ip({"addr", "add", WideAddress(1) + "/20", "dev", TestNetwork::kLanInterface});
  test_support::RunProgram(
      {"ip", "netns", "exec", network.pc().name(), "sysctl", "-q", "-w", "net.ipv4.ping_group_range=0 2147483647"});
  std::vector<std::uint32_t> targets;
  std::vector<std::uint32_t> answering;
  for (int i = 0; i < candidates; ++i) {
    targets.push_back(test_support::AddressOf(WideAddress(20 + i)));
    if (i % 10 != 5) continue;
    answering.push_back(targets.back());
    network.lan().Ip({"addr", "add", WideAddress(20 + i) + "/32", "dev", TestNetwork::kLanInterface});
  }
  NamespaceScope pc(network.pc().name());
  const auto sweep = [&] {
    std::optional<std::vector<std::uint32_t>> inUse = prowlnet::AddressesInUse(targets);
    if (inUse) std::sort(inUse->begin(), inUse->end());
    std::sort(answering.begin(), answering.end());
    return inUse == answering ? 0 : 1;
  };
  const auto start = Clock::now();
  const int wrong = asNobody ? test_support::RunAsNobody(sweep, std::chrono::seconds(30)) : sweep();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return wrong == 0 ? seconds : -seconds;
}

void TimeSweeps(const Options& options) {
  for (const bool asNobody : {false, true}) {
    std::vector<double> times;
    bool right = true;
    for (int run = 0; run < options.runs; ++run) {
      const double seconds = TimeOneSweep(options.candidates, asNobody);
      right = right && seconds >= 0;
      times.push_back(std::abs(seconds));
    }
    std::sort(times.begin(), times.end());
    std::printf("sweep of %d candidates on a %s socket (%s): median %.3f s, min %.3f s, max %.3f s over %d runs, %s\n",
                options.candidates, asNobody ? "datagram" : "raw", asNobody ? "nobody" : "root", times[times.size() / 2],
                times.front(), times.back(), options.runs, right ? "every answer right" : "A WRONG ANSWER");
    std::fflush(stdout);
  }
}

Options ReadOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const int value = std::max(0, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--cameras") == 0) options.cameras = value;
    else if (std::strcmp(argv[i], "--candidates") == 0) options.candidates = value;
    else if (std::strcmp(argv[i], "--runs") == 0) options.runs = std::max(1, value);
    else if (std::strcmp(argv[i], "--busy") == 0) options.busy = value;
    else {
      std::fprintf(stderr, "usage: assign_bench [--cameras N] [--candidates M] [--runs R] [--busy K]\n");
      std::exit(2);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ReadOptions(argc, argv);
  if (options.candidates > 0) TimeSweeps(options);
  if (options.cameras == 0) return 0;
  std::vector<double> times;
  for (int run = 0; run < options.runs; ++run) {
    const RunResult result = OneRun(options);
    std::printf("run %d: %d cameras at %s assigned in %.2f s, exit status %d, %s\n", run + 1, options.cameras,
                kFactoryAddress, result.seconds, result.status,
                result.verified ? "every camera at its own free address of the range" : "NOT every camera assigned");
    std::fflush(stdout);
    times.push_back(result.seconds);
  }
  std::sort(times.begin(), times.end());
  std::printf("assign of %d cameras: median %.2f s, min %.2f s, max %.2f s over %d runs\n", options.cameras,
              times[times.size() / 2], times.front(), times.back(), options.runs);
  return 0;
}
