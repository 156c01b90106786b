// Registration that survives a crash. A process killed at a random moment while it registers or
// unregisters a server leaves the registry readable and exactly as it was before or after one of
// its changes, never part of one; two processes registering and unregistering at once lose
// nothing of each other's.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "advapi32/registry_store.h"
#include "advapi32/registry_text.h"
#include "pal/winreg.h"
#include "support/child_process.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::KeysBelow;
using test_support::ReadFile;

/// Where the registry states that this process commits are collected, while a recording runs.
std::vector<std::string>* recordedStates = nullptr;

}  // namespace

/// pal replaces the registry file by renaming the new one into place; while a recording runs, each
/// file so committed is kept, which gives every state a registration passes through.
extern "C" int rename(const char* from, const char* to) noexcept {
  const int result = renameat(AT_FDCWD, from, AT_FDCWD, to);
  const std::string target(to);
  const std::string fileName = "/registry.txt";
  if (result == 0 && recordedStates != nullptr && target.size() >= fileName.size() &&
      target.compare(target.size() - fileName.size(), fileName.size(), fileName) == 0)
    recordedStates->push_back(ReadFile(target));
  return result;
}

namespace {

/// The registry as pal reads it, in the file's own form; nothing when it cannot be read.
std::optional<std::string> RegistryNow() {
  std::string text;
  const LONG status = pal::registry::ReadRegistry([&](pal::registry::Hives& hives) -> LONG {
    text = pal::registry::TextOf(hives);
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return std::nullopt;
  return text;
}

pid_t Spawn(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

/// Waits for the child and returns its exit status, or -1 when it did not exit normally.
int Reap(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RegistrationCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    // The keys every Windows machine has under HKEY_CLASSES_ROOT, for registration to write into.
    for (const char16_t* root : {u"TypeLib", u"Interface"}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, root, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      RegCloseKey(key);
    }
  }

  /// Every state of the registry, first to last, while `entry` of server A runs in this process.
  std::vector<std::string> StatesThrough(const char* entry) {
    std::vector<std::string> states{RegistryNow().value_or("")};
    recordedStates = &states;
    void* module = dlopen(COM_SERVER_A_PATH, RTLD_NOW | RTLD_LOCAL);
    auto function = module != nullptr ? reinterpret_cast<HRESULT (*)()>(dlsym(module, entry)) : nullptr;
    EXPECT_NE(function, nullptr);
    if (function != nullptr) {
      EXPECT_EQ(function(), S_OK);
    }
    if (module != nullptr) dlclose(module);
    recordedStates = nullptr;
    return states;
  }

  /// Puts the registry in the state `text`, as the file it would be.
  void Restore(const std::string& text) const {
    std::ofstream(prefix_.root() + "/registry.txt", std::ios::binary | std::ios::trunc) << text;
  }

  /// Starts a child doing `mode` to server A from `start`, kills it after `delay`, and returns the
  /// position in `states` of the registry it left; -1 when the registry is unreadable or in none.
  int KillPartWay(const char* mode, const std::string& start, std::chrono::microseconds delay,
                  const std::vector<std::string>& states) {
    Restore(start);
    const pid_t child = Spawn({REGISTRATION_CHILD_PATH, mode, COM_SERVER_A_PATH});
    if (child < 0) return -1;
    std::this_thread::sleep_for(delay);  // the moment of the crash, not a wait for anything
    kill(child, SIGKILL);
    Reap(child);
    const std::optional<std::string> now = RegistryNow();
    if (!now) return -1;
    const auto found = std::find(states.begin(), states.end(), *now);
    return found == states.end() ? -1 : static_cast<int>(found - states.begin());
  }

  /// How long a child takes to do `mode` from `start` when nothing stops it.
  std::chrono::microseconds WholeRun(const char* mode, const std::string& start) {
    Restore(start);
    const Clock::time_point begin = Clock::now();
    EXPECT_EQ(Reap(Spawn({REGISTRATION_CHILD_PATH, mode, COM_SERVER_A_PATH})), 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begin);
  }

  test_support::TempPrefix prefix_;
};

TEST_F(RegistrationCrash, AProcessKilledAtAnyMomentLeavesTheRegistryBeforeOrAfterOneOfItsChanges) {
  const std::vector<std::string> registering = StatesThrough("DllRegisterServer");
  const std::vector<std::string> unregistering = StatesThrough("DllUnregisterServer");
  ASSERT_GT(registering.size(), 10u);
  ASSERT_GT(unregistering.size(), 5u);
  ASSERT_EQ(registering.back(), unregistering.front());

  constexpr int kKillsEach = 150;
  std::mt19937 random(std::random_device{}());
  for (const auto* states : {&registering, &unregistering}) {
    const char* mode = states == &registering ? "register" : "unregister";
    const std::chrono::microseconds span = WholeRun(mode, states->front());
    std::uniform_int_distribution<long> moment(0, span.count());
    std::set<int> reached;
    for (int kill = 0; kill < kKillsEach; ++kill) {
      const int position = KillPartWay(mode, states->front(), std::chrono::microseconds(moment(random)), *states);
      ASSERT_GE(position, 0) << mode << ": killed process " << kill << " left a registry that no change of it makes";
      reached.insert(position);
    }
    const int last = static_cast<int>(states->size()) - 1;
    const auto partWay = std::count_if(reached.begin(), reached.end(), [&](int p) { return p > 0 && p < last; });
    std::printf("%s: %d kills over %ld us left %zu of %d states, %ld of them part way\n", mode, kKillsEach,
                static_cast<long>(span.count()), reached.size(), last + 1, static_cast<long>(partWay));
    EXPECT_GT(partWay, 0) << "no kill landed inside the " << mode << " run";
  }
}

TEST_F(RegistrationCrash, TwoProcessesRegisteringAndUnregisteringAtOnceLoseNothing) {
  const std::set<std::string> before = KeysBelow(HKEY_CLASSES_ROOT, u"");
  test_support::ChildProcess a({REGISTRATION_CHILD_PATH, "cycle", COM_SERVER_A_PATH, "CamTestA.Server", "100"});
  test_support::ChildProcess b({REGISTRATION_CHILD_PATH, "cycle", COM_SERVER_B_PATH, "CamTestB.Server", "100"});
  EXPECT_EQ(a.Wait(600s), 0) << a.output();
  EXPECT_EQ(b.Wait(600s), 0) << b.output();
  std::set<std::string> expected = before;
  expected.insert({"AppID", "CLSID"});  // NoRemove keys of the scripts
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""), expected);
}

}  // namespace
