#include "support/netns.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace test_support {
namespace {

constexpr const char* kNamePrefix = "pnt";
constexpr const char* kNetnsEtc = "/etc/netns/";

/// The folder whose files `ip netns exec NAME` lays over those of /etc.
std::string EtcFolderOf(const std::string& name) { return kNetnsEtc + name; }

void RemoveEtcFolder(const std::string& name) {
  std::error_code ignored;
  std::filesystem::remove_all(EtcFolderOf(name), ignored);
}

/// Whether a namespace name of ours belongs to a process that is gone.
bool IsStale(const std::string& name) {
  if (name.rfind(kNamePrefix, 0) != 0) return false;
  const long pid = std::strtol(name.c_str() + 3, nullptr, 10);
  return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

/// /etc/netns folders of ours whose process is gone, namespace or not.
void RemoveStaleEtcFolders() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kNetnsEtc, error)) {
    const std::string name = entry.path().filename().string();
    if (IsStale(name)) RemoveEtcFolder(name);
  }
}

std::string Joined(const std::vector<std::string>& argv) {
  std::string text;
  for (const std::string& a : argv) text += (text.empty() ? "" : " ") + a;
  return text;
}

/// Namespaces named "pnt<pid>-..." whose process is gone.
void RemoveStaleNamespaces() {
  FILE* list = popen("ip netns list 2>/dev/null", "r");
  if (list == nullptr) return;
  char line[512];
  std::vector<std::string> stale;
  while (fgets(line, sizeof line, list) != nullptr) {
    std::string name(line);
    name = name.substr(0, name.find_first_of(" \n"));
    if (IsStale(name)) stale.push_back(name);
  }
  pclose(list);
  for (const std::string& name : stale) RunProgram({"ip", "netns", "delete", name}, true);
  RemoveStaleEtcFolders();
}

std::string UniqueName(const std::string& role) {
  static std::atomic<int> counter{0};
  static std::once_flag swept;
  std::call_once(swept, RemoveStaleNamespaces);
  return std::string(kNamePrefix) + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" + role;
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, bool quiet) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t child;
  const int error = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Ip(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{"ip"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const int status = RunProgram(argv);
  ASSERT_EQ(status, 0) << "failed: " << Joined(argv);
}

Namespace::Namespace(const std::string& role) : name_(UniqueName(role)) {
  test_support::Ip({"netns", "add", name_});
  Ip({"link", "set", "lo", "up"});
}

Namespace::~Namespace() {
  RunProgram({"ip", "netns", "delete", name_}, true);
  RemoveEtcFolder(name_);
}

void Namespace::Ip(const std::vector<std::string>& arguments) const {
  std::vector<std::string> all{"-n", name_};
  all.insert(all.end(), arguments.begin(), arguments.end());
  test_support::Ip(all);
}

void Namespace::WriteResolvConf(const std::string& contents) {
  std::filesystem::create_directories(EtcFolderOf(name_));
  std::ofstream file(ResolvConfPath(), std::ios::binary | std::ios::trunc);
  file << contents;
  file.close();
  ASSERT_TRUE(file) << "cannot write " << ResolvConfPath();
}

std::string Namespace::ResolvConfPath() const { return EtcFolderOf(name_) + "/resolv.conf"; }

NamespaceScope::NamespaceScope(const std::string& name) {
  original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const int target = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (original_ < 0 || target < 0 || setns(target, CLONE_NEWNET) != 0) {
    // Going on outside the namespace could send on the machine's own network: stop here.
    std::fprintf(stderr, "cannot enter network namespace %s\n", name.c_str());
    std::abort();
  }
  close(target);
}

NamespaceScope::~NamespaceScope() {
  if (setns(original_, CLONE_NEWNET) != 0) std::abort();
  close(original_);
}

namespace {

std::string PrefixOf(int subnet) { return "10.77." + std::to_string(subnet) + "."; }

/// A veth pair from `pcInterface` in pc (at `prefix`.10/24) to eth1 in lan (at `prefix`.1/24), both up.
void Link(const Namespace& pc, const std::string& pcInterface, const Namespace& lan, const std::string& prefix) {
  pc.Ip({"link", "add", pcInterface, "type", "veth", "peer", "name", TestNetwork::kLanInterface, "netns", lan.name()});
  pc.Ip({"addr", "add", prefix + "10/24", "dev", pcInterface});
  lan.Ip({"addr", "add", prefix + "1/24", "dev", TestNetwork::kLanInterface});
  pc.Ip({"link", "set", pcInterface, "up"});
  lan.Ip({"link", "set", TestNetwork::kLanInterface, "up"});
}

}  // namespace

TestNetwork::TestNetwork(Options options) : pc_("pc"), lan_("lan"), prefix_(PrefixOf(options.subnet)) {
  Link(pc_, kPcInterface, lan_, prefix_);
  if (options.defaultRoute) pc_.Ip({"route", "add", "default", "via", LanAddress()});
}

ExtraLan::ExtraLan(Namespace& pc, int subnet, std::string pcInterface)
    : lan_("lan"), prefix_(PrefixOf(subnet)), pcInterface_(std::move(pcInterface)) {
  Link(pc, pcInterface_, lan_, prefix_);
}

void RunInNamespace(const std::string& name, const std::function<void()>& body) {
  std::thread worker([&] {
    NamespaceScope scope(name);
    body();
  });
  worker.join();
}

unsigned InterfaceIndex(const std::string& name) { return if_nametoindex(name.c_str()); }

std::uint32_t AddressOf(const std::string& dottedQuad) {
  in_addr address{};
  inet_pton(AF_INET, dottedQuad.c_str(), &address);
  return address.s_addr;
}

}  // namespace test_support
