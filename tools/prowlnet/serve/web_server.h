// The web host: a page for people, a JSON API that the page uses, activex.js for pages written
// for the original hosts, and those pages themselves from --pages. Every call to the control runs
// on the control's thread.
//
// Workers: cpp-httplib answers each connection on a thread of a fixed pool. Event streams and
// changes waiting for their camera hold a thread for long, so each has a fixed number of places
// (503 when they are taken) and the pool has threads for all of them and kFreeWorkers more.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "serve/camera_service.h"
#include "serve/control_thread.h"
#include "serve/event_hub.h"
#include "serve/page_directory.h"
#include "serve/places.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace prowlnet_cli {

struct ListenAddress {
  std::string host = "127.0.0.1";
  int port = 8080;
};

class WebServer {
 public:
  /// Event streams open at once.
  static constexpr int kMaxStreams = 16;
  /// POST /api/cameras/SERIAL/lan requests waiting for their camera at once.
  static constexpr int kMaxHeldChanges = 8;
  /// Workers beyond those for the streams and the waiting changes: every other request.
  static constexpr int kFreeWorkers = 16;

  /// Serves `pages` under /pages/ when given.
  WebServer(ControlThread& control, CameraService& service, EventHub& events, std::optional<PageDirectory> pages);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  /// Binds the address (port 0: any free one); false with `error` set to why when that fails.
  bool Bind(const ListenAddress& address, std::string* error);
  int port() const { return port_; }
  /// Serves until Stop; on a thread of the caller's.
  void Listen();
  void Stop();

 private:
  using Request = httplib::Request;
  using Response = httplib::Response;

  void AddRoutes();
  /// Refuses what is not this page's: another host name; for the API, another origin, and a
  /// change without the token.
  bool Refused(const Request& req, Response& res) const;
  void AddPageRoutes();
  /// A file of the --pages directory.
  void ServePage(const Request& req, Response& res);
  /// The API, one small handler a route (the table is in AddApiRoutes).
  void AddApiRoutes();

  void ListCameras(const Request& req, Response& res);
  void ShowCamera(const Request& req, Response& res);
  void ChangeLan(const Request& req, Response& res);
  void ShowHost(const Request& req, Response& res);
  void ProposeFreeAddress(const Request& req, Response& res);
  /// The token, for pages that have it in no meta element (activex.js asks for it).
  void ShowToken(const Request& req, Response& res);
  /// Addresses of a range for many cameras at once: the plan at once, each outcome as an event.
  void Assign(const Request& req, Response& res);
  void ShowSearch(const Request& req, Response& res);
  void SetSearch(const Request& req, Response& res);
  /// A method of the control called by name, for activex.js.
  void Invoke(const Request& req, Response& res);
  void StreamEvents(const Request& req, Response& res);

  ControlThread& control_;
  CameraService& service_;
  EventHub& events_;
  std::optional<PageDirectory> pages_;
  Places streams_{kMaxStreams};
  Places heldChanges_{kMaxHeldChanges};
  std::unique_ptr<httplib::Server> server_;
  std::string token_;
  std::string host_;
  int port_ = 0;
};

}  // namespace prowlnet_cli
