// prowlnet serve: the web host. The main thread is the control's apartment; the HTTP server
// answers on threads of its own and hands every call to the control over to the apartment.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <thread>

#include "addresses.h"
#include "commands.h"
#include "serve/apartment.h"
#include "serve/camera_service.h"
#include "serve/event_hub.h"
#include "serve/web_server.h"
#include "session_support.h"

namespace prowlnet_cli {
namespace {

constexpr auto kTickPeriod = std::chrono::milliseconds(250);

/// "HOST:PORT", "HOST" or ":PORT"; nothing for anything else.
std::optional<ServeOptions> ParseListen(const std::string& text) {
  ServeOptions options;
  const size_t colon = text.rfind(':');
  std::string host = colon == std::string::npos ? text : text.substr(0, colon);
  if (host == "localhost") host = "127.0.0.1";
  if (!host.empty()) options.host = host;
  if (!ParseDottedQuad(options.host)) return std::nullopt;
  if (colon == std::string::npos) return options;
  const std::string port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  options.port = std::stoi(port);
  if (options.port > 65535) return std::nullopt;
  return options;
}

bool IsLoopback(const std::string& host) { return host.rfind("127.", 0) == 0; }

}  // namespace

int RunServe(const std::string& listen) {
  const std::optional<ServeOptions> options = ParseListen(listen);
  if (!options) {
    std::fprintf(stderr, "prowlnet: --listen %s is not HOST:PORT with an IPv4 address and a port\n", listen.c_str());
    return kBadInput;
  }
  // Only the signal thread takes them; every thread started from here inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::optional<ControlSession> session = OpenSession();
  if (!session) return kFailed;
  Apartment apartment;
  EventHub events;
  CameraService service(*session, events);
  WebServer server(apartment, service, events);
  std::string error;
  if (!server.Bind(*options, &error)) {
    std::fprintf(stderr, "prowlnet: %s\n", error.c_str());
    return kFailed;
  }
  if (!IsLoopback(options->host))
    std::fprintf(stderr, "prowlnet: warning: listening on %s, not on the loopback address: other computers can reach "
                         "this page, and changing a camera needs only the page's token\n",
                 options->host.c_str());
  std::printf("prowlnet: serving http://%s:%d/ (Ctrl-C stops it)\n", options->host.c_str(), server.port());
  std::fflush(stdout);

  std::thread serving([&] { server.Listen(); });
  std::thread signals([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    events.Close();
    server.Stop();
    apartment.Stop();
  });
  apartment.Run([&] { service.Tick(); }, kTickPeriod);
  serving.join();
  signals.join();
  if (service.Searching()) service.SetSearching(false);
  std::fputs("prowlnet: stopped\n", stderr);
  return kOk;
}

}  // namespace prowlnet_cli
