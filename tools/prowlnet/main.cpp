// prowlnet: finds IP cameras on the local network and changes their network settings, through
// the Prowlnet control. This file reads the command line; the commands do the work.
#include <signal.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "client/apartment_scope.h"
#include "client/control_session.h"
#include "commands.h"
#include "prowlnet_version.h"

namespace {

using namespace prowlnet_cli;

/// One verb of the program: its name, its help line, and how to read its options.
struct Command {
  const char* name;
  const char* help;
  /// Adds the verb's options to its subcommand and gives back its run, bound to what they read.
  std::function<std::function<int()>(CLI::App& subcommand)> setUp;
};

template <typename Options>
Command Verb(const char* name, const char* help,
             std::type_identity_t<std::function<void(CLI::App&, Options&)>> addOptions, int (*run)(const Options&)) {
  return {name, help, [addOptions, run](CLI::App& subcommand) {
            auto options = std::make_shared<Options>();
            addOptions(subcommand, *options);
            return std::function<int()>([options, run] { return run(*options); });
          }};
}

/// A time limit in seconds: a finite number above zero (or zero itself, when `zeroAllowed`) and
/// at most a day, so that it converts to a time span without overflow.
CLI::Validator Seconds(bool zeroAllowed = false) {
  return CLI::Validator(
      [zeroAllowed](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        const bool number = !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
        if (number && (value > 0 || (zeroAllowed && value == 0)) && value <= kMaxSeconds) return {};
        return fmt::format("{} is not a number of seconds {} {:g} (a day)", text,
                           zeroAllowed ? "from 0 to" : "above 0 and at most", kMaxSeconds);
      },
      "SECONDS");
}

void AddSearchOptions(CLI::App& command, SearchOptions& search) {
  command.add_option("--seconds", search.seconds, "how long to search (default 5)")->check(Seconds());
  command.add_option("--expect", search.expect, "stop as soon as this many cameras answered")->check(CLI::PositiveNumber);
  command.add_option("--format", search.format, "table (default), json or csv")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, Format>{{"table", Format::kTable}, {"json", Format::kJson}, {"csv", Format::kCsv}}));
}

void AddShowOptions(CLI::App& command, ShowOptions& show) {
  command.add_option("serial", show.serial, "the camera's serial number")->required();
  command.add_option("--seconds", show.seconds, "how long to wait for it (default 10)")->check(Seconds());
  CLI::Option* xml = command.add_flag("--xml", show.xml, "print its IPC_INFO document");
  command.add_flag("--json", show.json, "print it as JSON")->excludes(xml);
  command.add_flag("--show-passwords", show.showPasswords, "print passwords instead of ********");
}

void AddLanChangeOptions(CLI::App& command, LanChange& change) {
  command.add_option("--ip", change.ipAddress, "new IP address");
  command.add_option("--mask", change.netmask, "new netmask");
  command.add_option("--gateway", change.gateway, "new default gateway");
  command.add_option("--dns1", change.dns1, "new first DNS server");
  command.add_option("--dns2", change.dns2, "new second DNS server");
  command.add_option("--dhcp", change.dhcp, "DHCP on or off")
      ->transform(CLI::CheckedTransformer(std::map<std::string, bool>{{"on", true}, {"off", false}}));
  command.add_flag("--free-ip", change.freeAddress, "give it a free address of this computer's subnet");
}

void AddSetOptions(CLI::App& command, SetOptions& set) {
  command.add_option("serial", set.serial, "the camera's serial number")->required();
  AddLanChangeOptions(command, set.change);
  command.add_option("--seconds", set.seconds, "time limit for the camera to answer and confirm (default 20)")
      ->check(Seconds());
}

void AddAssignOptions(CLI::App& command, AssignOptions& assign) {
  command.add_option("--from", assign.from, "first address of the range")->required();
  command.add_option("--to", assign.to, "last address of the range")->required();
  CLI::Option* serials = command.add_option("serials", assign.serials, "the cameras (default: every camera that answers)");
  command.add_option("--expect", assign.expect, "without serials: stop searching once this many cameras answered")
      ->check(CLI::PositiveNumber)
      ->excludes(serials);
  command.add_option("--seconds", assign.seconds,
                     "time limit for the cameras to answer, and again to confirm (default 20; 5 to search for all)")
      ->check(Seconds());
  command.add_flag("--dry-run", assign.dryRun, "probe the range and print the plan; change nothing");
  command.add_option("--format", assign.format, "table (default) or json")
      ->transform(CLI::CheckedTransformer(std::map<std::string, Format>{{"table", Format::kTable}, {"json", Format::kJson}}));
}

void AddNetParamsOptions(CLI::App& command, NetParamsOptions& netParams) {
  command.add_flag("--json", netParams.json, "print them as JSON");
}

void AddFreeAddressOptions(CLI::App& command, FreeAddressOptions& freeAddress) {
  command.add_option("--seconds", freeAddress.seconds, "search this long first, to pass over the cameras' addresses (default 3)")
      ->check(Seconds(true));
}

void AddServeOptions(CLI::App& command, ServeOptions& serve) {
  command.add_option("--listen", serve.listen, "address and port to listen on (default 127.0.0.1:8080)");
  command.add_option("--pages", serve.pages, "serve this directory's pages under /pages/ (for pages that include /activex.js)");
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      Verb("search", "search for cameras and list them", AddSearchOptions, RunSearch),
      Verb("show", "show one camera, its accounts included", AddShowOptions, RunShow),
      Verb("set", "change one camera's LAN settings and wait for its confirmation", AddSetOptions, RunSet),
      Verb("assign",
           "give cameras addresses of a range that nothing uses, one each with the subnet's netmask, all at once, and "
           "confirm them",
           AddAssignOptions, RunAssign),
      Verb("netparams", "this computer's address, netmask, gateway and DNS servers", AddNetParamsOptions, RunNetParams),
      Verb("free-ip", "an address of this computer's subnet that nothing uses", AddFreeAddressOptions, RunFreeAddress),
      Verb("register", "register the control in the emulated machine's registry", [](CLI::App&, RegisterOptions&) {},
           RunRegister),
      Verb("unregister", "remove the control's registration",
           [](CLI::App&, RegisterOptions& options) { options.unregister = true; }, RunRegister),
      Verb("serve", "serve a web page that finds and sets up cameras, and its API", AddServeOptions, RunServe),
  };
  return commands;
}

/// Ctrl-C ends the waits for cameras, and the command stops the search and exits with
/// kInterrupted; a second Ctrl-C ends the program at once.
void InterruptWaitsOnCtrlC() {
  struct sigaction action {};
  action.sa_handler = [](int) { InterruptWaits(); };
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"prowlnet: find IP cameras on the local network and change their network settings.\n"
               "It needs a free UDP port from 3002 up; the address probes of free-ip, set --free-ip and assign\n"
               "need CAP_NET_RAW (the package gives it to this program), or a group within net.ipv4.ping_group_range.",
               "prowlnet"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "prowlnet " PROWLNET_VERSION, "print the version and exit");
  app.fallthrough();  // --design-pacing after the subcommand too
  bool designPacing = false;
  app.add_flag("--design-pacing", designPacing,
               "search at the control's original pace (first request after 2 s, one reply read per 10 ms)");
  std::vector<std::pair<CLI::App*, std::function<int()>>> verbs;
  for (const Command& command : Commands()) {
    CLI::App* subcommand = app.add_subcommand(command.name, command.help);
    verbs.emplace_back(subcommand, command.setUp(*subcommand));
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? kOk : kBadInput;
  }
  if (!designPacing) setenv("PROWLNET_FAST_SEARCH", "1", 0);

  InterruptWaitsOnCtrlC();
  const ApartmentScope apartment;
  for (const auto& [subcommand, run] : verbs) {
    if (!*subcommand) continue;
    const int status = run();
    return WaitsInterrupted() ? kInterrupted : status;
  }
  return kBadInput;
}
