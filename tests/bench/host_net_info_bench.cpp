// The cost of one LoadHostNetInfo, which the search thread repeats at every pass (about a hundred
// times a second) while the block is not loaded (a host without an address), and what a long
// run of them keeps: descriptors and resident memory. Each case runs inside a namespace made
// here, one with a default route and one without; the log is closed, so its lines are
// formatted but not written.
//
//   build/plain/tests/bench/host_net_info_bench --benchmark_filter=OneLoad
//   build/plain/tests/bench/host_net_info_bench --benchmark_filter='RepeatedLoads/.*/1000000/'
//   ASAN_OPTIONS=detect_leaks=1 build/asan/tests/bench/host_net_info_bench --benchmark_filter='RepeatedLoads/.*/10000/'
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/shared_state.h"
#include "netenv/host_net_info.h"
#include "support/netns.h"

namespace {

using namespace prowlnet;
using test_support::NamespaceScope;
using test_support::TestNetwork;

constexpr int kCallsPerMedian = 1000;

double OpenDescriptors() {
  double count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

double ResidentKibibytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident * sysconf(_SC_PAGESIZE) / 1024);
}

/// Times each of 1000 calls and reports their median and 90th percentile in microseconds.
void OneLoad(benchmark::State& state, const std::string& netns) {
  NamespaceScope scope(netns);
  SharedState shared;
  std::vector<double> micros;
  micros.reserve(kCallsPerMedian);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(LoadHostNetInfo(shared.netInfo, shared.lock));
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p90_us"] = micros[micros.size() * 9 / 10];
}

/// Repeats the call `state.range(0)` times and reports what descriptors and resident memory did.
void RepeatedLoads(benchmark::State& state, const std::string& netns) {
  NamespaceScope scope(netns);
  SharedState shared;
  LoadHostNetInfo(shared.netInfo, shared.lock);  // the first call sets up what the process keeps anyway
  const double descriptorsBefore = OpenDescriptors();
  const double residentBefore = ResidentKibibytes();
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) benchmark::DoNotOptimize(LoadHostNetInfo(shared.netInfo, shared.lock));
  }
  state.counters["fd_delta"] = OpenDescriptors() - descriptorsBefore;
  state.counters["rss_delta_KiB"] = ResidentKibibytes() - residentBefore;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TestNetwork withGateway({.subnet = 70});
  TestNetwork withoutGateway({.subnet = 71, .defaultRoute = false});

  for (auto [label, network] : {std::pair{"gateway", &withGateway}, std::pair{"no_gateway", &withoutGateway}}) {
    const std::string name = network->pc().name();
    benchmark::RegisterBenchmark((std::string("OneLoad/") + label).c_str(),
                                 [name](benchmark::State& state) { OneLoad(state, name); })
        ->Iterations(kCallsPerMedian)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("RepeatedLoads/") + label).c_str(),
                                 [name](benchmark::State& state) { RepeatedLoads(state, name); })
        ->Arg(10000)
        ->Arg(1000000)
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
