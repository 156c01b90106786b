// The web host: a page for people, a JSON API that the page uses, and activex.js for pages
// written for the original hosts. Every call to the control runs on the control's thread.
#pragma once

#include <memory>
#include <string>

#include "serve/camera_service.h"
#include "serve/control_thread.h"
#include "serve/event_hub.h"

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
  WebServer(ControlThread& control, CameraService& service, EventHub& events);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  /// Binds the address (port 0: any free one); false with `error` set when that fails.
  bool Bind(const ListenAddress& address, std::string* error);
  int port() const { return port_; }
  /// Serves until Stop; on a thread of the caller's.
  void Listen();
  void Stop();

 private:
  using Request = httplib::Request;
  using Response = httplib::Response;

  void AddRoutes();
  /// Refuses what is not this page's: another host name, another site, a change without the token.
  bool Refused(const Request& req, Response& res) const;
  void AddPageRoutes();
  /// The API, one small handler a route (the table is in AddApiRoutes).
  void AddApiRoutes();

  void ListCameras(const Request& req, Response& res);
  void ShowCamera(const Request& req, Response& res);
  void ChangeLan(const Request& req, Response& res);
  void ShowHost(const Request& req, Response& res);
  void ProposeFreeAddress(const Request& req, Response& res);
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
  std::unique_ptr<httplib::Server> server_;
  std::string token_;
  std::string host_;
  int port_ = 0;
};

}  // namespace prowlnet_cli
