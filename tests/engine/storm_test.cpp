// A storm while searching: a peer on the LAN sends mutated and random datagrams at the control's
// port while camsim's cameras answer. Through a storm that it can read, the control finds a camera
// that appears and takes a camera's change; through a flood, as fast as the peer can send, it keeps
// reading at its own pace (about 100 datagrams a second: the kernel drops the rest, camera replies
// among them, and its receive buffer holds a backlog that takes it tens of seconds to read once the
// flood ends) and keeps its cameras. Its memory and descriptors stay where they were, but for the
// records of devices that the storm made up. The long form is tests/bench/storm_bench.
#include <cstdio>

#include <gtest/gtest.h>

#include "engine/storm_scene.h"
#include "pal/host_kit.h"

namespace {

using namespace test_support;
using namespace std::chrono_literals;
using pal::PumpFor;
using pal::PumpUntil;

constexpr int kCameras = 3;
constexpr auto kFlood = 6s;
constexpr int kReadableStorm = 50;  // datagrams a second: about half of what the control reads

TEST(Storm, TheControlFindsAndRefreshesCamerasThroughAStormItCanReadAndKeepsReadingThroughAFlood) {
  storm::Scene scene(kCameras);
  ASSERT_TRUE(scene.Start());
  ASSERT_TRUE(PumpUntil([&] { return scene.Count() >= kCameras; }, 30s));
  PumpFor(3s);  // warm-up: the log file open, every record refreshed once
  const long rssBefore = ResidentKib();
  const long fdsBefore = OpenDescriptors();
  const long countBefore = scene.Count();
  const auto seed = static_cast<std::uint32_t>(::testing::UnitTest::GetInstance()->random_seed());

  scene.StartStorm(seed, kReadableStorm);
  const camsim::Camera changed = scene.NewGateway(1, "10.200.250.1");
  const camsim::Camera newcomer = camsim::GenerateCameras(1, kCameras)[0];
  scene.simulator().AddCamera(newcomer);
  EXPECT_TRUE(PumpUntil([&] { return scene.Current(changed) && scene.Record(*newcomer.serialNumber); }, 20s))
      << "the change or the new camera did not come through the storm";

  scene.StartStorm(seed + 1);
  const long readBefore = UdpCounter("InDatagrams");
  PumpFor(kFlood);
  const long read = UdpCounter("InDatagrams") - readBefore;
  scene.StopStorm();
  const long flood = scene.StormSent();
  EXPECT_GT(read, 40 * std::chrono::duration_cast<std::chrono::seconds>(kFlood).count())
      << "the control stopped reading";
  for (const camsim::Camera& camera : scene.simulator().Cameras())
    EXPECT_TRUE(scene.Record(*camera.serialNumber)) << *camera.serialNumber << " is gone from the table";

  EXPECT_EQ(OpenDescriptors(), fdsBefore);
  const long madeUp = scene.Count() - countBefore - 1;
  std::printf("flood: sent %ld, read %ld; devices the storm made up %ld; RSS %ld -> %ld KiB, descriptors %ld -> %ld\n",
              flood, read, madeUp, rssBefore, ResidentKib(), fdsBefore, OpenDescriptors());
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The sanitizers keep freed memory in quarantine and grow their shadow; their builds find leaks
  // by other means.
  EXPECT_LT(ResidentKib() - rssBefore, 1024 + madeUp * static_cast<long>(sizeof(prowlnet::IpcInfo)) / 1024)
      << "resident memory grew beyond the records of the devices the storm made up";
#endif
}

}  // namespace
