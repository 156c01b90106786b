// prowlnet: finds IP cameras on the local network and changes their network settings, through
// the Prowlnet control.
#include <cstdio>
#include <cstdlib>
#include <map>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "pal/objbase.h"
#include "prowlnet_version.h"

namespace {

using namespace prowlnet_cli;

/// The thread's apartment for the life of the program's work.
class Apartment {
 public:
  Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~Apartment() { CoUninitialize(); }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
};

void AddLanChangeOptions(CLI::App* command, LanChange& change) {
  command->add_option("--ip", change.ipAddress, "new IP address");
  command->add_option("--mask", change.netmask, "new netmask");
  command->add_option("--gateway", change.gateway, "new default gateway");
  command->add_option("--dns1", change.dns1, "new first DNS server");
  command->add_option("--dns2", change.dns2, "new second DNS server");
  command->add_option("--dhcp", change.dhcp, "DHCP on or off")
      ->transform(CLI::CheckedTransformer(std::map<std::string, bool>{{"on", true}, {"off", false}}));
  command->add_flag("--free-ip", change.freeAddress, "give it a free address of this computer's subnet");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"prowlnet: find IP cameras on the local network and change their network settings.\n"
               "Searching and changing cameras need no privilege, only a free UDP port from 3002 up; the ICMP probes of\n"
               "free-ip, assign and set --free-ip need CAP_NET_RAW (the package gives it to this program) or root.",
               "prowlnet"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "prowlnet " PROWLNET_VERSION, "print the version and exit");
  bool designPacing = false;
  app.add_flag("--design-pacing", designPacing,
               "search at the control's original pace (first request after 2 s, one reply read per 10 ms)");

  SearchOptions search;
  CLI::App* searchCommand = app.add_subcommand("search", "search for cameras and list them");
  searchCommand->add_option("--seconds", search.seconds, "how long to search (default 5)")->check(CLI::PositiveNumber);
  searchCommand->add_option("--expect", search.expect, "stop as soon as this many cameras answered")
      ->check(CLI::PositiveNumber);
  searchCommand->add_option("--format", search.format, "table (default), json or csv")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, Format>{{"table", Format::kTable}, {"json", Format::kJson}, {"csv", Format::kCsv}}));

  ShowOptions show;
  CLI::App* showCommand = app.add_subcommand("show", "show one camera, its accounts included");
  showCommand->add_option("serial", show.serial, "the camera's serial number")->required();
  showCommand->add_option("--seconds", show.seconds, "how long to wait for it (default 10)")->check(CLI::PositiveNumber);
  CLI::Option* xml = showCommand->add_flag("--xml", show.xml, "print its IPC_INFO document");
  showCommand->add_flag("--json", show.json, "print it as JSON")->excludes(xml);
  showCommand->add_flag("--show-passwords", show.showPasswords, "print passwords instead of ********");

  SetOptions set;
  CLI::App* setCommand = app.add_subcommand("set", "change one camera's LAN settings and wait for its confirmation");
  setCommand->add_option("serial", set.serial, "the camera's serial number")->required();
  AddLanChangeOptions(setCommand, set.change);
  setCommand->add_option("--seconds", set.seconds, "time limit for the camera to answer and confirm (default 20)")
      ->check(CLI::PositiveNumber);

  AssignOptions assign;
  CLI::App* assignCommand =
      app.add_subcommand("assign", "give cameras addresses of a range that nothing uses, one each, and confirm them");
  assignCommand->add_option("--from", assign.from, "first address of the range")->required();
  assignCommand->add_option("--to", assign.to, "last address of the range")->required();
  assignCommand->add_option("serials", assign.serials, "the cameras (default: every camera that answers)");
  assignCommand->add_option("--seconds", assign.seconds, "time limit for each camera (default 20)")
      ->check(CLI::PositiveNumber);
  assignCommand->add_flag("--dry-run", assign.dryRun, "print the plan and change nothing");

  bool netparamsJson = false;
  CLI::App* netparamsCommand = app.add_subcommand("netparams", "this computer's address, netmask, gateway and DNS servers");
  netparamsCommand->add_flag("--json", netparamsJson, "print them as JSON");
  double freeSeconds = 3;
  CLI::App* freeCommand = app.add_subcommand("free-ip", "an address of this computer's subnet that nothing uses");
  freeCommand->add_option("--seconds", freeSeconds, "search this long first, to pass over the cameras' addresses (default 3)")
      ->check(CLI::NonNegativeNumber);
  CLI::App* registerCommand = app.add_subcommand("register", "register the control in the emulated machine's registry");
  CLI::App* unregisterCommand = app.add_subcommand("unregister", "remove the control's registration");
  std::string listen = "127.0.0.1:8080";
  CLI::App* serveCommand = app.add_subcommand("serve", "serve a web page that finds and sets up cameras, and its API");
  serveCommand->add_option("--listen", listen, "address and port to listen on (default 127.0.0.1:8080)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? kOk : kBadInput;
  }
  if (!designPacing) setenv("PROWLNET_FAST_SEARCH", "1", 0);

  const Apartment apartment;
  if (*searchCommand) return RunSearch(search);
  if (*showCommand) return RunShow(show);
  if (*setCommand) return RunSet(set);
  if (*assignCommand) return RunAssign(assign);
  if (*netparamsCommand) return RunNetParams(netparamsJson);
  if (*freeCommand) return RunFreeAddress(freeSeconds);
  if (*registerCommand) return RunRegister(false);
  if (*unregisterCommand) return RunRegister(true);
  if (*serveCommand) return RunServe(listen);
  return kBadInput;
}
