// The soak: a search against 1000 simulated cameras until the control has read a million replies,
// with the file log on. camsim runs as a process of its own in namespace lan, so that this
// process's memory is the control's. Every interval it prints the replies read (datagrams that
// sockets in pc read) and their rate, this process's resident memory and descriptors, and the log
// files. At the end it judges: memory flat after the warm-up (growth under 1 MiB), descriptors not
// grown, and the log rotated (every file but the last full). Further devices that are not cameras
// (--others) make the control log one line at every reply of theirs, so that the log fills.
//
// usage: soak [--cameras N] [--others N] [--replies N] [--minutes M] [--interval S] [--warmup S]
//        (as root; the full form is the defaults, a short one e.g. --minutes 8 --others 1000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "camsim/camera.h"
#include "engine/control_object.h"
#include "pal/host_kit.h"
#include "support/child_process.h"
#include "support/log_files.h"
#include "support/netns.h"
#include "support/process_usage.h"
#include "support/temp_prefix.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Options {
  int cameras = 1000;
  int others = 250;
  long replies = 1000000;
  int minutes = 0;  // 0: until the replies were read
  int interval = 60;
  int warmup = 120;
};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const long value = std::atol(argv[i + 1]);
    if (flag == "--cameras") options.cameras = static_cast<int>(value);
    if (flag == "--others") options.others = static_cast<int>(value);
    if (flag == "--replies") options.replies = value;
    if (flag == "--minutes") options.minutes = static_cast<int>(value);
    if (flag == "--interval") options.interval = static_cast<int>(value);
    if (flag == "--warmup") options.warmup = static_cast<int>(value);
  }
  return options;
}

/// A camera file for camsim with `count` devices of a type that is not a camera's.
std::string WriteOthers(const std::string& folder, int count) {
  std::string text = "<CAMERAS>\n";
  for (camsim::Camera device : camsim::GenerateCameras(count, 500000)) {
    device.deviceType = "DVR-4100";
    text += "<CAMERA>" + camsim::BuildReplyBody(device) + "</CAMERA>\n";
  }
  const std::string path = folder + "/others.xml";
  std::ofstream(path) << text << "</CAMERAS>\n";
  return path;
}

struct LogFiles {
  size_t files = 0;
  long lines = 0;
  bool rotatedWhole = true;  // every file but the one in use holds 20000 or 20001 lines
};

/// The lines of a file, read through a fixed buffer so that counting never grows this process.
long LinesOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  static char buffer[1 << 16];
  long lines = 0;
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) lines += std::count(buffer, buffer + file.gcount(), '\n');
  return lines;
}

LogFiles CountLogLines(const std::string& driveC) {
  LogFiles result;
  const std::vector<std::string> names = test_support::LogFileNames(driveC);
  result.files = names.size();
  size_t full = 0;
  for (const std::string& name : names) {
    const long lines = LinesOf(driveC + "/" + name);
    result.lines += lines;
    if (lines == 20000 || lines == 20001) ++full;
    if (lines > 20001) result.rotatedWhole = false;
  }
  if (result.files > full + 1) result.rotatedWhole = false;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  test_support::TempPrefix prefix;
  prefix.WriteDriveCFile("uc_dbg.cfg", "file=1;");
  test_support::TestNetwork network;
  std::vector<std::string> camsimArguments = {"/usr/sbin/ip", "netns", "exec", network.lan().name(), CAMSIM_PATH, "--count",
                                              std::to_string(options.cameras)};
  if (options.others > 0) {
    camsimArguments.push_back("--file");
    camsimArguments.push_back(WriteOthers(prefix.root(), options.others));
  }
  test_support::ChildProcess camsimProcess(camsimArguments);

  test_support::NamespaceScope pc(network.pc().name());
  prowlnet::CCProwlnet control;
  LONG status = -1;
  if (control.FinalConstruct() == S_OK) control.StartSearch(&status);
  if (status != 0) {
    std::fprintf(stderr, "the control did not start\n");
    return 1;
  }
  const long readBefore = test_support::UdpCounter("InDatagrams");
  const Clock::time_point start = Clock::now();
  long baselineRss = -1;
  long baselineFds = -1;
  long highestRss = 0;
  long highestFds = 0;
  long read = 0;
  std::printf("%8s %10s %8s %10s %5s %7s %6s %9s\n", "minutes", "replies", "per s", "RSS KiB", "fds", "cameras",
              "logs", "log lines");
  for (int tick = 1;; ++tick) {
    const auto due = std::chrono::seconds(static_cast<long>(tick) * options.interval);
    pal::PumpUntil([&] { return Clock::now() - start >= due; }, due + 1s);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    read = test_support::UdpCounter("InDatagrams") - readBefore;
    const long rss = test_support::ResidentKib();
    const long fds = test_support::OpenDescriptors();
    LONG cameras = 0;
    control.GetIPCCount(&cameras);
    const LogFiles logs = CountLogLines(prefix.DriveC());
    std::printf("%8.1f %10ld %8.1f %10ld %5ld %7d %6zu %9ld\n", seconds / 60, read, read / seconds, rss, fds,
                static_cast<int>(cameras), logs.files, logs.lines);
    std::fflush(stdout);
    if (seconds >= options.warmup && baselineRss < 0) {
      baselineRss = rss;
      baselineFds = fds;
    }
    if (baselineRss >= 0) {
      highestRss = std::max(highestRss, rss);
      highestFds = std::max(highestFds, fds);
    }
    if (read >= options.replies || (options.minutes > 0 && seconds >= options.minutes * 60.0)) break;
  }
  control.StopSearch(&status);

  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double rate = read / seconds;
  const LogFiles logs = CountLogLines(prefix.DriveC());
  const bool flat = baselineRss >= 0 && highestRss - baselineRss < 1024 && highestFds <= baselineFds;
  const bool rotated = logs.lines <= 20000 || (logs.files >= 2 && logs.rotatedWhole);
  std::printf("read %ld replies in %.0f s (%.1f a second): %ld replies take %.1f hours at this pace\n", read, seconds,
              rate, options.replies, options.replies / rate / 3600);
  std::printf("after the warm-up: RSS %ld -> highest %ld KiB (%+ld), descriptors %ld -> highest %ld: %s\n",
              baselineRss, highestRss, highestRss - baselineRss, baselineFds, highestFds, flat ? "flat" : "GREW");
  std::printf("log: %zu files, %ld lines: %s\n", logs.files, logs.lines,
              logs.lines <= 20000 ? "too few lines to rotate" : rotated ? "rotated, every closed file full" : "NOT ROTATED");
  return flat && rotated ? 0 : 1;
}
