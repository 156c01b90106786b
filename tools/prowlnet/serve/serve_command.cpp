// prowlnet serve: the web host. The main thread is the control's thread; the HTTP server answers
// on threads of its own and hands every call to the control over to it.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <thread>

#include "client/addresses.h"
#include "commands.h"
#include "console.h"
#include "serve/camera_service.h"
#include "serve/control_thread.h"
#include "serve/event_hub.h"
#include "serve/web_server.h"

namespace prowlnet_cli {
namespace {

constexpr auto kTickPeriod = std::chrono::milliseconds(250);

/// "HOST:PORT", "HOST" or ":PORT"; nothing for anything else.
std::optional<ListenAddress> ParseListen(const std::string& text) {
  ListenAddress address;
  const size_t colon = text.rfind(':');
  std::string host = colon == std::string::npos ? text : text.substr(0, colon);
  if (host == "localhost") host = "127.0.0.1";
  if (!host.empty()) address.host = host;
  if (!ParseDottedQuad(address.host)) return std::nullopt;
  if (colon == std::string::npos) return address;
  const std::string port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  address.port = std::stoi(port);
  if (address.port > 65535) return std::nullopt;
  return address;
}

bool IsLoopback(const std::string& host) { return host.rfind("127.", 0) == 0; }

}  // namespace

int RunServe(const ServeOptions& serve) {
  const std::optional<ListenAddress> address = ParseListen(serve.listen);
  if (!address) {
    std::fprintf(stderr, "prowlnet: --listen %s is not HOST:PORT with an IPv4 address and a port\n", serve.listen.c_str());
    return kBadInput;
  }
  // Only the signal thread takes them; every thread started from here inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::optional<PageDirectory> pages;
  if (!serve.pages.empty()) {
    std::string error;
    pages = PageDirectory::Open(serve.pages, &error);
    if (!pages) {
      std::fprintf(stderr, "prowlnet: --pages %s\n", error.c_str());
      return kBadInput;
    }
  }
  std::optional<ControlSession> session = OpenControl();
  if (!session) return kFailed;
  ControlThread control;
  EventHub events;
  CameraService service(*session, events);
  const std::string pagesPath = pages ? pages->path() : "";
  WebServer server(control, service, events, std::move(pages));
  std::string error;
  if (!server.Bind(*address, &error)) {
    std::fprintf(stderr, "prowlnet: %s\n", error.c_str());
    return kFailed;
  }
  if (!IsLoopback(address->host))
    std::fprintf(stderr, "prowlnet: warning: listening on %s, not on the loopback address: other computers can reach "
                         "this page, and changing a camera needs only the page's token\n",
                 address->host.c_str());
  std::printf("prowlnet: serving http://%s:%d/ (Ctrl-C stops it)\n", address->host.c_str(), server.port());
  if (!pagesPath.empty())
    std::printf("prowlnet: serving the pages of %s at http://%s:%d/pages/\n", pagesPath.c_str(), address->host.c_str(),
                server.port());
  std::fflush(stdout);

  std::thread serving([&] { server.Listen(); });
  std::thread signals([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    events.Close();
    server.Stop();
    control.Stop();
  });
  control.Run([&] { service.Tick(); }, kTickPeriod);
  service.AbandonChanges();  // their requests are answered, so that the server's workers end
  serving.join();
  signals.join();
  if (service.Searching()) service.SetSearching(false);
  std::fputs("prowlnet: stopped\n", stderr);
  return kOk;
}

}  // namespace prowlnet_cli
