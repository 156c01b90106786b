// How long GetOneIPAddress takes against real hosts: when .254 is free (five silent probes of
// 100 ms), and when the first ten candidates (.254 down to .245) answer pings.
//
// usage: free_address_bench [--runs R]   (as root)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/control_object.h"
#include "pal/oleauto.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Seconds for one GetOneIPAddress with `answering` candidates from .254 down answering.
double TimeOneSearch(int answering, std::string* answer) {
  test_support::TestNetwork network;
  for (int i = 0; i < answering; ++i)
    network.lan().Ip({"addr", "add", network.prefix() + std::to_string(254 - i) + "/32", "dev",
                      test_support::TestNetwork::kLanInterface});
  test_support::TempPrefix prefix;
  test_support::NamespaceScope pc(network.pc().name());
  auto control = std::make_unique<prowlnet::CCProwlnet>();
  if (control->FinalConstruct() != S_OK) return -1;
  BSTR warm = nullptr;
  control->GetNetworkParam(0, &warm);  // the host block is loaded before the clock starts
  SysFreeString(warm);

  BSTR text = nullptr;
  const auto start = Clock::now();
  control->GetOneIPAddress(&text);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  answer->assign(text, text + SysStringLen(text));
  SysFreeString(text);
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));

  for (int answering : {0, 10}) {
    std::vector<double> times;
    std::string answer;
    for (int run = 0; run < runs; ++run) times.push_back(TimeOneSearch(answering, &answer));
    std::printf("%2d candidates answering: answer %s, median %.3f s, min %.3f s, max %.3f s over %d runs\n", answering,
                answer.c_str(), Median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), runs);
  }
  return 0;
}
