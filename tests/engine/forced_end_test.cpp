// A search thread that does not end in time is given up: StopSearch returns after about a
// second, and the thread, when it finally runs on, touches nothing of the object. The thread
// is held in a real platform call: its read of /etc/resolv.conf, which here is a FIFO nobody
// writes to until the test says so.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "diag/debug_log.h"
#include "engine/control_object.h"
#include "engine/search_thread.h"
#include "pal/host_kit.h"
#include "support/child_test.h"
#include "support/log_files.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using namespace prowlnet;
using namespace test_support;
using namespace std::chrono_literals;
using pal::PumpFor;
using pal::PumpUntil;

/// Whether some thread of this process is waiting in openat (the FIFO's open blocks there).
bool AThreadWaitsInOpen() {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream syscall(task.path() / "syscall");
    std::string number;
    syscall >> number;
    if (number == "257") return true;  // openat on x86-64
  }
  return false;
}

TEST(ForcedEnd, AThreadStuckInAPlatformCallIsAbandonedAndNeverTouchesTheObjectAgain) {
  if (!InTestChild()) {
    TestNetwork network;
    network.pc().WriteResolvConf("");
    const std::string fifo = network.pc().ResolvConfPath();
    ASSERT_EQ(unlink(fifo.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    RunThisTestIn(network.pc());
    return;
  }

  TempPrefix prefix;
  prefix.WriteDriveCFile("uc_dbg.cfg", "file=1;");
  auto control = std::make_unique<CCProwlnet>();
  ASSERT_EQ(control->FinalConstruct(), S_OK);
  DebugLogOpen();  // keeps the log open after the object is gone, to hear the thread's end

  LONG result = 99;
  control->StartSearch(&result);
  ASSERT_EQ(result, 0);
  ASSERT_TRUE(PumpUntil(AThreadWaitsInOpen, 5s)) << "the search thread should block on the FIFO";
  {
    // Devices found before the stop: the stop must leave the object with none.
    SharedState& shared = control->shared();
    CriticalSectionLock lock(shared.lock);
    for (int i = 0; i < 3; ++i) shared.table.slots[static_cast<size_t>(shared.table.count++)] = std::make_unique<IpcInfo>();
  }
  LONG found = -1;
  control->GetIPCCount(&found);
  ASSERT_EQ(found, 3);

  const auto before = std::chrono::steady_clock::now();
  control->StopSearch(&result);
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_EQ(result, 0);
  EXPECT_LT(took, 3s) << "StopSearch must not wait for the stuck thread";
  EXPECT_GE(took, 900ms) << "it polls for about a second first";
  const std::string log = AllLogText(prefix.DriveC());
  EXPECT_NE(log.find("CCProwlnet::StopThread: TerminateThread ProwlnetThread.\r\n"), std::string::npos);
  EXPECT_EQ(log.find("exit main loop"), std::string::npos);
  EXPECT_TRUE(AbandonedSearchThreadsRun()) << "its module must stay loaded meanwhile";
  LONG count = -1;
  control->GetIPCCount(&count);
  EXPECT_EQ(count, 0);

  // The object goes away first; then the thread is let go. The sanitizer builds report any
  // access of the thread to the freed object.
  control.reset();
  std::atomic<bool> ended{false};
  std::thread feeder([&] {
    // Every read of the file opens it anew: feed each reader that waits until the thread is gone.
    while (!ended) {
      const int writer = open("/etc/resolv.conf", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (writer >= 0) {
        const char line[] = "nameserver 10.77.1.1\n";
        (void)!write(writer, line, sizeof line - 1);
        close(writer);
      }
      std::this_thread::sleep_for(5ms);
    }
  });
  EXPECT_TRUE(PumpUntil([&] { return Occurrences(AllLogText(prefix.DriveC()), "exit main loop") == 1; }, 5s))
      << "the abandoned thread ends by itself";
  EXPECT_TRUE(PumpUntil([] { return !AbandonedSearchThreadsRun(); }, 5s));
  ended = true;
  feeder.join();
  EXPECT_NE(AllLogText(prefix.DriveC()).find("DNS1: 10.77.1.1"), std::string::npos);
  DebugLogClose();
}

}  // namespace
