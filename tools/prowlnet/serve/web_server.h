// The web host: a page for people, a JSON API that the page uses, and activex.js for pages
// written for the original hosts. Every call to the control runs on the apartment's thread.
#pragma once

#include <memory>
#include <string>

#include "serve/apartment.h"
#include "serve/camera_service.h"
#include "serve/event_hub.h"

namespace httplib {
class Server;
}

namespace prowlnet_cli {

struct ServeOptions {
  std::string host = "127.0.0.1";
  int port = 8080;
};

class WebServer {
 public:
  WebServer(Apartment& apartment, CameraService& service, EventHub& events);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  /// Binds the address (port 0: any free one); false with `error` set when that fails.
  bool Bind(const ServeOptions& options, std::string* error);
  int port() const { return port_; }
  /// Serves until Stop; on a thread of the caller's.
  void Listen();
  void Stop();

 private:
  void AddRoutes();
  void AddPageRoutes();
  void AddApiRoutes();
  /// POST /api/invoke: a method of the control called by name, for activex.js.
  void AddInvokeRoute();

  Apartment& apartment_;
  CameraService& service_;
  EventHub& events_;
  std::unique_ptr<httplib::Server> server_;
  std::string token_;
  std::string host_;
  int port_ = 0;
};

}  // namespace prowlnet_cli
