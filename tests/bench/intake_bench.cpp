// The cost of one accepted search reply of about 1.5 KB through the intake of a received
// datagram (envelope and header checks, serial number and type, the three sections, the table),
// and that cost against one bare parse of the same reply in the same run.
//
// usage: build/plain/tests/bench/intake_bench [--benchmark_filter=REGEX]
#include <chrono>
#include <string>

#include <benchmark/benchmark.h>

#include "camsim/camera.h"
#include "engine/reply_intake.h"
#include "engine/xml_nodes.h"

namespace prowlnet {
namespace {

using Clock = std::chrono::steady_clock;

/// Replies of generated cameras `first` .. `first + count - 1`.
std::vector<std::string> Replies(int count, int first = 0) {
  std::vector<std::string> replies;
  for (const camsim::Camera& camera : camsim::GenerateCameras(count, first))
    replies.push_back(camsim::BuildReply(camera));
  return replies;
}

void Take(SharedState& shared, const std::string& reply) {
  HandleDatagram(shared, reply.c_str(), static_cast<int>(reply.size()));
}

/// A known camera answering again: its record is refreshed in place (the common case in a run).
void BM_RefreshKnownCamera(benchmark::State& state) {
  SharedState shared;
  const std::string reply = Replies(1).front();
  Take(shared, reply);
  for (auto _ : state) Take(shared, reply);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
  state.counters["reply_bytes"] = static_cast<double>(reply.size());
}
BENCHMARK(BM_RefreshKnownCamera)->Repetitions(15)->ReportAggregatesOnly(true);

/// The intake of a known camera's reply and one bare parse of it, timed in turn in the same
/// loop so that both see the same machine; the time reported is the intake's, the counter
/// `intake_over_parse` the ratio of the two.
void BM_IntakeOverOneParse(benchmark::State& state) {
  SharedState shared;
  const std::string reply = Replies(1).front();
  Take(shared, reply);
  Clock::duration intake{};
  Clock::duration parse{};
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    Take(shared, reply);
    const Clock::time_point taken = Clock::now();
    benchmark::DoNotOptimize(ParseDocument(reply.c_str()));
    const Clock::time_point parsed = Clock::now();
    intake += taken - start;
    parse += parsed - taken;
    state.SetIterationTime(std::chrono::duration<double>(taken - start).count());
  }
  const double parseNanoseconds = static_cast<double>(std::chrono::nanoseconds(parse).count());
  state.counters["parse_ns"] = benchmark::Counter(parseNanoseconds, benchmark::Counter::kAvgIterations);
  state.counters["intake_over_parse"] = static_cast<double>(intake.count()) / static_cast<double>(parse.count());
}
BENCHMARK(BM_IntakeOverOneParse)->UseManualTime()->Repetitions(15)->ReportAggregatesOnly(true);

/// The last of 1000 known cameras answering: the duplicate search walks the whole table.
void BM_RefreshLastOfAThousand(benchmark::State& state) {
  SharedState shared;
  const std::vector<std::string> replies = Replies(1000);
  for (const std::string& reply : replies) Take(shared, reply);
  for (auto _ : state) Take(shared, replies.back());
}
BENCHMARK(BM_RefreshLastOfAThousand)->Repetitions(15)->ReportAggregatesOnly(true);

/// A camera seen for the first time: a new record is appended (the table is emptied, untimed,
/// whenever it is full).
void BM_AddNewCamera(benchmark::State& state) {
  SharedState shared;
  const std::vector<std::string> replies = Replies(DeviceTable::kCapacity);
  size_t next = 0;
  for (auto _ : state) {
    if (next == replies.size()) {
      state.PauseTiming();
      shared.table.Clear();
      next = 0;
      state.ResumeTiming();
    }
    Take(shared, replies[next++]);
  }
}
BENCHMARK(BM_AddNewCamera)->Repetitions(15)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace prowlnet

BENCHMARK_MAIN();
