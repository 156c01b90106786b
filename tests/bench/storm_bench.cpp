// The storm's long form: camsim's cameras answer in namespace lan while a peer there sends mutated
// and random datagrams at the control's port, as fast as it can or at --rate datagrams a second.
// Every interval it prints what the storm sent, what the control read and what the kernel of pc
// dropped for want of buffer, how many gateway changes made in camsim reached the control's
// records, and the resident memory and descriptors. A camera appears halfway through. After the storm it reports how long the last
// change took to arrive: the control first reads what its receive buffer still holds.
//
// usage: storm_bench [--seconds N] [--cameras K] [--interval S] [--rate R]   (as root)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "engine/storm_scene.h"
#include "pal/host_kit.h"

namespace {

using Clock = std::chrono::steady_clock;
using pal::PumpFor;
using pal::PumpUntil;

struct Options {
  int seconds = 600;
  int cameras = 3;
  int interval = 10;
  int rate = 0;
};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (flag == "--seconds") options.seconds = value;
    if (flag == "--cameras") options.cameras = value;
    if (flag == "--interval") options.interval = value;
    if (flag == "--rate") options.rate = value;
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  storm::Scene scene(options.cameras);
  if (!scene.Start() || !PumpUntil([&] { return scene.Count() >= options.cameras; }, std::chrono::seconds(30))) {
    std::fprintf(stderr, "the control did not find its %d cameras before the storm\n", options.cameras);
    return 1;
  }
  PumpFor(std::chrono::seconds(5));  // warm-up: the log file open, every record refreshed once
  const long rssBefore = test_support::ResidentKib();
  const long fdsBefore = test_support::OpenDescriptors();
  const long readBefore = test_support::UdpCounter("InDatagrams");
  const long droppedBefore = test_support::UdpCounter("RcvbufErrors");
  std::printf("before the storm: %ld cameras, RSS %ld KiB, %ld descriptors\n", scene.Count(), rssBefore, fdsBefore);

  scene.StartStorm(static_cast<std::uint32_t>(std::time(nullptr)), options.rate);
  const camsim::Camera newcomer = camsim::GenerateCameras(1, options.cameras)[0];
  const std::string newcomerSerial = *newcomer.serialNumber;
  const Clock::time_point start = Clock::now();
  int changes = 0;
  int arrived = 0;
  camsim::Camera changed = scene.NewGateway(0, "10.200.250.0");
  double newcomerFoundAt = -1;
  for (int tick = 1; tick * options.interval <= options.seconds; ++tick) {
    if (tick * options.interval >= options.seconds / 2 && !scene.simulator().CameraWithSerial(newcomerSerial))
      scene.simulator().AddCamera(newcomer);
    PumpUntil([&] { return Clock::now() - start >= std::chrono::seconds(tick * options.interval); },
              std::chrono::seconds(options.interval + 1));
    ++changes;
    if (scene.Current(changed)) ++arrived;
    changed = scene.NewGateway(tick % options.cameras, "10.200.250." + std::to_string(tick % 250));
    if (newcomerFoundAt < 0 && scene.Record(newcomerSerial))
      newcomerFoundAt = std::chrono::duration<double>(Clock::now() - start).count();
    const long read = test_support::UdpCounter("InDatagrams") - readBefore;
    std::printf("%5d s: storm sent %ld, control read %ld (%.0f/s), kernel dropped %ld; camsim answered %d "
                "searches; table %ld; gateway changes arrived %d of %d; RSS %ld KiB, %ld descriptors\n",
                tick * options.interval, scene.StormSent(), read, read / (tick * options.interval * 1.0),
                test_support::UdpCounter("RcvbufErrors") - droppedBefore, scene.simulator().SearchRequests(),
                scene.Count(), arrived, changes, test_support::ResidentKib(), test_support::OpenDescriptors());
    std::fflush(stdout);
  }
  scene.StopStorm();
  // What the receive buffer holds is read at the control's pace before any reply that follows it.
  const Clock::time_point stop = Clock::now();
  const bool refreshed = PumpUntil([&] { return scene.Current(changed); }, std::chrono::seconds(180));
  const double recovery = std::chrono::duration<double>(Clock::now() - stop).count();
  const std::string newcomerFound =
      newcomerFoundAt >= 0 ? "found at " + std::to_string(static_cast<int>(newcomerFoundAt)) + " s" : "not found";
  std::printf("after the storm: last change %s after %.1f s; newcomer %s during the storm; RSS %ld KiB (%+ld), "
              "%ld descriptors (%+ld)\n",
              refreshed ? "arrived" : "DID NOT ARRIVE", recovery, newcomerFound.c_str(), test_support::ResidentKib(),
              test_support::ResidentKib() - rssBefore, test_support::OpenDescriptors(),
              test_support::OpenDescriptors() - fdsBefore);
  return refreshed ? 0 : 1;
}
