// Private network namespaces for tests. Nothing a test sends may leave them: every namespace is
// made here, named uniquely for this process, and removed by its owner's destructor. Namespaces
// left behind by a process that died are removed by the next one that makes any.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

/// Runs a program with arguments and waits for it; returns its exit status (-1 if it could not
/// run). Its output goes to this process's stderr unless `quiet`.
int RunProgram(const std::vector<std::string>& argv, bool quiet = false);

/// Runs `ip` with the arguments and fails the current test if it does not succeed.
void Ip(const std::vector<std::string>& arguments);

/// One network namespace, with its loopback interface up.
class Namespace {
 public:
  explicit Namespace(const std::string& role);
  ~Namespace();
  Namespace(const Namespace&) = delete;
  Namespace& operator=(const Namespace&) = delete;

  const std::string& name() const { return name_; }
  /// Runs `ip -n NAME ...`.
  void Ip(const std::vector<std::string>& arguments) const;
  /// Writes /etc/netns/NAME/resolv.conf, which a process run under `ip netns exec NAME` sees as
  /// its /etc/resolv.conf. The folder goes with the namespace.
  void WriteResolvConf(const std::string& contents);
  /// The host path of that file.
  std::string ResolvConfPath() const;

 private:
  std::string name_;
};

/// Moves the calling thread into a namespace for the life of the scope. Threads started inside
/// the scope stay in that namespace.
class NamespaceScope {
 public:
  explicit NamespaceScope(const std::string& name);
  ~NamespaceScope();
  NamespaceScope(const NamespaceScope&) = delete;
  NamespaceScope& operator=(const NamespaceScope&) = delete;

 private:
  int original_ = -1;
};

/// The usual topology: namespace `pc` holds the control at 10.77.<subnet>.10/24 with a default
/// route through the gateway 10.77.<subnet>.1 in namespace `lan` (or, as on a laptop wired
/// straight to the cameras' switch, none); a veth pair joins the two, so that 255.255.255.255
/// sent in `pc` reaches `lan` and nothing else.
class TestNetwork {
 public:
  struct Options {
    int subnet = 1;
    bool defaultRoute = true;
  };
  TestNetwork() : TestNetwork(Options{}) {}
  explicit TestNetwork(Options options);

  Namespace& pc() { return pc_; }
  Namespace& lan() { return lan_; }
  std::string PcAddress() const { return prefix_ + "10"; }
  std::string LanAddress() const { return prefix_ + "1"; }
  /// "10.77.<subnet>." for building further addresses.
  const std::string& prefix() const { return prefix_; }
  /// Interface names: the pc side is "eth0", the lan side "eth1".
  static constexpr const char* kPcInterface = "eth0";
  static constexpr const char* kLanInterface = "eth1";

 private:
  Namespace pc_;
  Namespace lan_;
  std::string prefix_;
};

/// A further LAN for the pc namespace of a TestNetwork, as on a host with a second network card:
/// namespace `lan` joined to pc by a veth pair on 10.77.<subnet>.0/24, the pc side
/// `pcInterface` at .10, the lan side "eth1" at .1. No route is added beyond the subnet's own.
class ExtraLan {
 public:
  ExtraLan(Namespace& pc, int subnet, std::string pcInterface);

  Namespace& lan() { return lan_; }
  std::string PcAddress() const { return prefix_ + "10"; }
  std::string LanAddress() const { return prefix_ + "1"; }
  const std::string& prefix() const { return prefix_; }
  const std::string& pcInterface() const { return pcInterface_; }

 private:
  Namespace lan_;
  std::string prefix_;
  std::string pcInterface_;
};

/// Runs `body` on a thread of its own inside the namespace and waits for it.
void RunInNamespace(const std::string& name, const std::function<void()>& body);

/// The index of interface `name` in the calling thread's namespace; 0 when there is none.
unsigned InterfaceIndex(const std::string& name);

/// Parses a dotted quad into network byte order.
std::uint32_t AddressOf(const std::string& dottedQuad);

}  // namespace test_support
