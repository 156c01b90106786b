#include "serve/web_server.h"

#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <future>
#include <optional>
#include <random>
#include <type_traits>
#include <utility>
#include <variant>

#include <fmt/format.h>

#include "serve/request_guard.h"
#include "serve/response_body.h"
#include "serve/web_assets.h"

namespace prowlnet_cli {
namespace {

using httplib::Request;
using httplib::Response;
using Json = nlohmann::json;

constexpr size_t kMaxBody = 64 * 1024;
constexpr auto kKeepAlive = std::chrono::seconds(15);
// A connection that sends nothing, or stops reading, holds its worker no longer than this.
constexpr time_t kReadTimeoutSeconds = 3;
constexpr time_t kWriteTimeoutSeconds = 3;
constexpr time_t kIdleConnectionSeconds = 2;
constexpr double kDefaultChangeSeconds = 20;
constexpr double kMaxChangeSeconds = 120;
constexpr const char* kStopping = "the server is stopping";

/// 128 random bits as hexadecimal: the token that every state-changing request must carry.
std::string NewToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 4; ++i) token += fmt::format("{:08x}", random());
  return token;
}

void Reply(Response& res, int status, const Json& body) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  // A camera's text that is not UTF-8 is shown with replacement characters, not refused.
  res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
}

void Refuse(Response& res, int status, const std::string& message) { Reply(res, status, {{"error", message}}); }

std::optional<std::string> OptionalText(const Json& body, const char* key) {
  if (!body.contains(key) || body[key].is_null()) return std::nullopt;
  return body[key].get<std::string>();
}

/// The change a request body asks for; throws nlohmann's type_error for a value of a wrong type.
LanChange ChangeOf(const Json& body) {
  LanChange change;
  change.ipAddress = OptionalText(body, "ipAddress");
  change.netmask = OptionalText(body, "netmask");
  change.gateway = OptionalText(body, "gateway");
  change.dns1 = OptionalText(body, "dns1");
  change.dns2 = OptionalText(body, "dns2");
  if (body.contains("dhcp") && !body["dhcp"].is_null()) change.dhcp = body["dhcp"].get<bool>();
  change.freeAddress = body.value("freeAddress", false);
  return change;
}

/// The script value a page passed; nothing for an object or an array, which no method takes.
std::optional<late_binding::Value> ValueOf(const Json& json) {
  if (json.is_null()) return late_binding::Value(nullptr);
  if (json.is_boolean()) return late_binding::Value(json.get<bool>());
  if (json.is_number()) return late_binding::Value(json.get<double>());
  if (json.is_string()) return late_binding::Value(json.get<std::string>());
  return std::nullopt;
}

/// A call's result for the page: absent for undefined, so that the page's script sees undefined.
Json ResultReply(const late_binding::Value& result) {
  Json reply = Json::object();
  std::visit(
      [&reply](const auto& value) {
        if constexpr (!std::is_same_v<std::decay_t<decltype(value)>, late_binding::Undefined>) reply["result"] = value;
      },
      result);
  return reply;
}

/// A failed call as the page's script raises it: the text and the HRESULT as a signed number.
Json FailureReply(HRESULT hr, const std::string& error) {
  return {{"error", error}, {"number", static_cast<int32_t>(hr)}};
}

struct Call {
  std::string method;
  std::vector<late_binding::Value> arguments;
};

/// The call a request body names, {"method": "GetIPCInfoXML", "args": [0]}; throws nlohmann's
/// exceptions for one that is not of that shape. An argument no method can take is left out of
/// `call` and its position (from 1) returned.
size_t ReadCall(const Json& body, Call* call) {
  call->method = body.at("method").get<std::string>();
  if (call->method.empty()) throw Json::other_error::create(501, "the method name is empty", &body);
  const Json arguments = body.value("args", Json::array());
  if (!arguments.is_array()) throw Json::type_error::create(302, "args must be an array", &body);
  for (const Json& argument : arguments) {
    const std::optional<late_binding::Value> value = ValueOf(argument);
    if (!value) return call->arguments.size() + 1;
    call->arguments.push_back(*value);
  }
  return 0;
}

std::string WithToken(std::string_view text, const std::string& token) {
  std::string page(text);
  const std::string marker = "{{TOKEN}}";
  for (size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at)) page.replace(at, marker.size(), token);
  return page;
}

/// A change of a camera's LAN settings as the page asks for it, and how long the camera has.
struct LanRequest {
  LanChange change;
  std::chrono::milliseconds timeout;
};

/// The change a request body asks for, checked; or what is wrong with it.
std::variant<LanRequest, std::string> ReadLanRequest(const std::string& text) {
  LanRequest request;
  try {
    const Json body = Json::parse(text);
    request.change = ChangeOf(body);
    const double asked = body.value("seconds", kDefaultChangeSeconds);
    const double seconds = std::isfinite(asked) ? std::clamp(asked, 1.0, kMaxChangeSeconds) : kMaxChangeSeconds;
    request.timeout = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  } catch (const Json::exception& error) {
    return std::string("the request is not the JSON of a change: ") + error.what();
  }
  if (std::optional<std::string> problem = CheckLanChange(request.change)) return *problem;
  return request;
}

/// {"from", "to", "serials"?, "seconds"?}, or what is wrong with it.
std::variant<CameraService::AssignRequest, std::string> ReadAssignRequest(const std::string& text) {
  CameraService::AssignRequest request;
  try {
    const Json body = Json::parse(text);
    request.from = body.at("from").get<std::string>();
    request.to = body.at("to").get<std::string>();
    request.serials = body.value("serials", std::vector<std::string>());
    const double seconds = std::clamp(body.value("seconds", kDefaultChangeSeconds), 1.0, kMaxChangeSeconds);
    request.timeout = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  } catch (const Json::exception& error) {
    return std::string("expected {\"from\": ADDRESS, \"to\": ADDRESS, \"serials\": [...]}: ") + error.what();
  }
  return request;
}

/// {"searching": true} or {"searching": false}; nothing for anything else.
std::optional<bool> ReadSearching(const std::string& text) {
  try {
    return Json::parse(text).at("searching").get<bool>();
  } catch (const Json::exception&) {
    return std::nullopt;
  }
}

struct ChangeResult {
  CameraService::Outcome outcome;
  Json camera;
};

/// Hands the change to the control's thread and waits until the camera settled it; nothing when
/// the server stopped first (the task was dropped, or the change abandoned).
std::optional<ChangeResult> AwaitChange(ControlThread& control, CameraService& service, const std::string& serial,
                                        const LanRequest& request) {
  auto outcome = std::make_shared<std::promise<ChangeResult>>();
  std::future<ChangeResult> settled = outcome->get_future();
  const bool posted = control.Post([&service, serial, request, outcome] {
    service.Change(serial, request.change, request.timeout,
                   [outcome](CameraService::Outcome result, const Json& camera) { outcome->set_value({result, camera}); });
  });
  if (!posted || settled.wait_for(request.timeout + std::chrono::seconds(5)) != std::future_status::ready)
    return std::nullopt;
  try {
    ChangeResult result = settled.get();
    if (result.outcome == CameraService::Outcome::kStopped) return std::nullopt;
    return result;
  } catch (const std::future_error&) {
    return std::nullopt;  // dropped with the control thread's queue
  }
}

/// The answer to a settled change; a confirmation or a time-out is also published as an event.
void ReplyToChange(Response& res, EventHub& events, const std::string& serial, const ChangeResult& result) {
  switch (result.outcome) {
    case CameraService::Outcome::kConfirmed:
      events.Publish("change", {{"serial", serial}, {"state", "confirmed"}, {"camera", result.camera}});
      return Reply(res, 200, {{"state", "confirmed"}, {"camera", result.camera}});
    case CameraService::Outcome::kTimedOut:
      events.Publish("change", {{"serial", serial}, {"state", "timeout"}});
      return Reply(res, 504, {{"state", "timeout"}, {"error", serial + " did not confirm the change in time"}});
    case CameraService::Outcome::kUnknownCamera:
      return Refuse(res, 404, "no camera " + serial + " has answered");
    case CameraService::Outcome::kNotSent:
      return Refuse(res, 409, "the change could not be sent: is the search running?");
    case CameraService::Outcome::kStopped:
      return Refuse(res, 503, kStopping);
  }
}

/// Runs `task` on the control's thread and answers with `answer` of its result; 503 when the
/// server stopped first.
template <typename Task, typename Answer>
void OnControlThread(ControlThread& control, Response& res, Task task, Answer answer) {
  auto result = control.Call(std::move(task));
  if (!result) return Refuse(res, 503, kStopping);
  answer(*result);
}

}  // namespace

WebServer::WebServer(ControlThread& control, CameraService& service, EventHub& events, std::optional<PageDirectory> pages)
    : control_(control), service_(service), events_(events), pages_(std::move(pages)),
      server_(std::make_unique<httplib::Server>()), token_(NewToken()) {
  server_->new_task_queue = [] { return new httplib::ThreadPool(kMaxStreams + kMaxHeldChanges + kFreeWorkers); };
  // cpp-httplib's default, SO_REUSEPORT, would let a second server bind the same port and take
  // a share of the connections; SO_REUSEADDR only lets a restart bind while old ones linger.
  server_->set_socket_options([](socket_t sock) {
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server_->set_payload_max_length(kMaxBody);
  server_->set_read_timeout(kReadTimeoutSeconds);
  server_->set_write_timeout(kWriteTimeoutSeconds);
  server_->set_keep_alive_timeout(kIdleConnectionSeconds);
  AddRoutes();
}

WebServer::~WebServer() = default;

bool WebServer::Bind(const ListenAddress& address, std::string* error) {
  host_ = address.host;
  errno = 0;
  port_ = address.port == 0 ? server_->bind_to_any_port(address.host) : address.port;
  if (port_ > 0 && (address.port == 0 || server_->bind_to_port(address.host, address.port))) return true;
  // cpp-httplib closes the socket after a failed bind or listen, which leaves errno as they set it.
  const int reason = errno;
  *error = fmt::format("cannot listen on {}:{}: {}", address.host, address.port,
                       reason != 0 ? std::strerror(reason) : "the address could not be bound");
  return false;
}

void WebServer::Listen() { server_->listen_after_bind(); }

void WebServer::Stop() { server_->stop(); }

bool WebServer::Refused(const Request& req, Response& res) const {
  const std::string host = req.get_header_value("Host");
  if (!HostAllowed(host, port_)) {
    Refuse(res, 403, "this server answers only to its own address");
    return true;
  }
  // Pages and scripts may be opened from anywhere (a bookmark, a link); what they show is the
  // API's, and a page of another origin may not read that, nor frame them.
  if (req.path.rfind("/api/", 0) != 0) return false;
  if (FromAnotherOrigin(req.get_header_value("Origin"), req.get_header_value("Sec-Fetch-Site"), host)) {
    Refuse(res, 403, "requests from another site are refused");
    return true;
  }
  if (req.method == "GET" || req.method == "HEAD") return false;
  if (req.get_header_value("X-Prowlnet-Token") != token_) {
    Refuse(res, 403, "a change needs the token of the page this server serves");
    return true;
  }
  return false;
}

void WebServer::AddRoutes() {
  server_->set_pre_routing_handler([this](const Request& req, Response& res) {
    if (!Refused(req, res)) return httplib::Server::HandlerResponse::Unhandled;
    SendBody(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  // Every answer that has no body of its own by now (an unknown path, a body too large) gets one.
  server_->set_error_handler([](const Request& req, Response& res) {
    if (res.has_header("Content-Type")) return;
    Refuse(res, res.status, res.status == 413 ? "the request body is too large" : "not found");
    SendBody(req, res);
  });
  server_->set_post_routing_handler([](const Request& req, Response& res) {
    for (const SecurityHeader& header : SecurityHeaders(IsServedPage(req.path))) res.set_header(header.name, header.value);
  });
  AddPageRoutes();
  AddApiRoutes();
}

void WebServer::AddPageRoutes() {
  const auto asset = [](std::string text, const char* type) {
    return [body = std::make_shared<const FixedBody>(std::move(text), type)](const Request& req, Response& res) {
      res.set_header("Cache-Control", "no-store");
      body->Send(req, res);
    };
  };
  // Only the page itself carries the token: no other origin can read it.
  server_->Get("/", asset(WithToken(kIndexHtml, token_), "text/html; charset=utf-8"));
  server_->Get("/app.js", asset(std::string(kAppJs), "text/javascript; charset=utf-8"));
  server_->Get("/style.css", asset(std::string(kStyleCss), "text/css; charset=utf-8"));
  server_->Get("/activex.js", asset(std::string(kActiveXJs), "text/javascript; charset=utf-8"));
  // The page has no icon: the browser's request for one is answered, with nothing.
  server_->Get("/favicon.ico", [](const Request&, Response& res) { res.status = 204; });
  server_->Get(R"(/pages(/.*)?)", [this](const Request& req, Response& res) {
    ServePage(req, res);
    SendBody(req, res);
  });
}

void WebServer::ServePage(const Request& req, Response& res) {
  if (!pages_) return Refuse(res, 404, "no pages are served: start the server with --pages DIR");
  if (req.path == "/pages") {
    res.status = 301;
    res.set_header("Location", "/pages/");
    return;
  }
  std::optional<PageDirectory::File> file;
  if (!HasEncodedSeparator(req.target)) file = pages_->Read(std::string_view(req.path).substr(std::strlen("/pages/")));
  if (!file) return Refuse(res, 404, "not found");
  res.set_header("Cache-Control", "no-cache");
  res.set_content(std::move(file->content), file->type);
}

void WebServer::AddApiRoutes() {
  using Handler = void (WebServer::*)(const Request&, Response&);
  struct Route {
    bool post;
    const char* pattern;
    Handler handle;
  };
  const Route routes[] = {
      {false, "/api/cameras", &WebServer::ListCameras},
      {false, R"(/api/cameras/([^/]+))", &WebServer::ShowCamera},
      {true, R"(/api/cameras/([^/]+)/lan)", &WebServer::ChangeLan},
      {false, "/api/host", &WebServer::ShowHost},
      {true, "/api/free-address", &WebServer::ProposeFreeAddress},
      {true, "/api/assign", &WebServer::Assign},
      {false, "/api/search", &WebServer::ShowSearch},
      {true, "/api/search", &WebServer::SetSearch},
      {true, "/api/invoke", &WebServer::Invoke},
      {false, "/api/token", &WebServer::ShowToken},
      {false, "/api/events", &WebServer::StreamEvents},
  };
  for (const Route& route : routes) {
    auto handler = [this, handle = route.handle](const Request& req, Response& res) {
      (this->*handle)(req, res);
      SendBody(req, res);
    };
    route.post ? server_->Post(route.pattern, handler) : server_->Get(route.pattern, handler);
  }
}

void WebServer::ListCameras(const Request&, Response& res) {
  OnControlThread(control_, res, [this] { return service_.Cameras(); }, [&](const Json& cameras) { Reply(res, 200, cameras); });
}

void WebServer::ShowCamera(const Request& req, Response& res) {
  const std::string serial = req.matches[1];
  OnControlThread(control_, res, [this, serial] { return service_.Camera(serial); }, [&](const std::optional<Json>& camera) {
    camera ? Reply(res, 200, *camera) : Refuse(res, 404, "no camera " + serial + " has answered");
  });
}

void WebServer::ChangeLan(const Request& req, Response& res) {
  const std::string serial = req.matches[1];
  std::variant<LanRequest, std::string> read = ReadLanRequest(req.body);
  if (const std::string* problem = std::get_if<std::string>(&read)) return Refuse(res, 400, *problem);
  LanRequest& request = std::get<LanRequest>(read);
  const std::shared_ptr<Places::Place> place = heldChanges_.Take();
  if (!place) {
    res.set_header("Retry-After", "5");
    return Refuse(res, 503, fmt::format("{} changes are waiting for their cameras already: try again when one is settled",
                                        kMaxHeldChanges));
  }
  if (request.change.freeAddress) {
    const auto free = control_.Call([this] { return service_.FreeAddress(); });
    if (!free) return Refuse(res, 503, kStopping);
    if (free->outcome == FreeAddressAnswer::Outcome::kCannotProbe) return Refuse(res, 503, kCannotProbe);
    if (free->outcome == FreeAddressAnswer::Outcome::kNoneFree)
      return Refuse(res, 409, "no free address was found on this computer's subnet");
    request.change.ipAddress = free->address;
  }
  const std::optional<ChangeResult> result = AwaitChange(control_, service_, serial, request);
  if (!result) return Refuse(res, 503, kStopping);
  ReplyToChange(res, events_, serial, *result);
}

void WebServer::ShowHost(const Request&, Response& res) {
  OnControlThread(control_, res, [this] { return service_.Host(); }, [&](const Json& host) { Reply(res, 200, host); });
}

void WebServer::ProposeFreeAddress(const Request&, Response& res) {
  OnControlThread(control_, res, [this] { return service_.FreeAddress(); }, [&](const FreeAddressAnswer& free) {
    switch (free.outcome) {
      case FreeAddressAnswer::Outcome::kFound: return Reply(res, 200, {{"address", free.address}});
      case FreeAddressAnswer::Outcome::kNoneFree: return Refuse(res, 404, "no free address was found");
      case FreeAddressAnswer::Outcome::kCannotProbe: return Refuse(res, 503, kCannotProbe);
    }
  });
}

void WebServer::ShowToken(const Request&, Response& res) { Reply(res, 200, {{"token", token_}}); }

void WebServer::Assign(const Request& req, Response& res) {
  using Refusal = CameraService::AssignRefusal;
  const std::variant<CameraService::AssignRequest, std::string> read = ReadAssignRequest(req.body);
  if (const std::string* problem = std::get_if<std::string>(&read)) return Refuse(res, 400, *problem);
  const CameraService::AssignRequest& request = std::get<CameraService::AssignRequest>(read);
  OnControlThread(control_, res, [this, &request] { return service_.Assign(request); },
                  [&](const std::variant<Json, Refusal>& answer) {
                    if (const Json* plan = std::get_if<Json>(&answer)) return Reply(res, 200, *plan);
                    const Refusal& refusal = std::get<Refusal>(answer);
                    const int status = refusal.kind == Refusal::Kind::kBadInput        ? 400
                                       : refusal.kind == Refusal::Kind::kUnknownCamera ? 404
                                       : refusal.kind == Refusal::Kind::kCannotProbe   ? 503
                                                                                       : 409;
                    Refuse(res, status, refusal.message);
                  });
}

void WebServer::ShowSearch(const Request&, Response& res) {
  OnControlThread(control_, res, [this] { return service_.Searching(); },
                  [&](bool searching) { Reply(res, 200, {{"searching", searching}}); });
}

void WebServer::SetSearch(const Request& req, Response& res) {
  const std::optional<bool> on = ReadSearching(req.body);
  if (!on) return Refuse(res, 400, "expected {\"searching\": true} or {\"searching\": false}");
  const auto apply = [this, on = *on] {
    service_.SetSearching(on);
    return service_.Searching();
  };
  OnControlThread(control_, res, apply, [&](bool searching) { Reply(res, 200, {{"searching", searching}}); });
}

void WebServer::Invoke(const Request& req, Response& res) {
  Call call;
  size_t badArgument = 0;
  try {
    badArgument = ReadCall(Json::parse(req.body), &call);
  } catch (const Json::exception& error) {
    return Refuse(res, 400, std::string("expected {\"method\": NAME, \"args\": [...]}: ") + error.what());
  }
  if (badArgument != 0) {
    const std::string text = late_binding::DescribeHResult(DISP_E_TYPEMISMATCH);
    return Reply(res, 422, FailureReply(DISP_E_TYPEMISMATCH, call.method + ": " + text + " in argument " + std::to_string(badArgument)));
  }
  OnControlThread(control_, res, [this, &call] { return service_.Invoke(call.method, call.arguments); },
                  [&](const late_binding::Outcome& outcome) {
                    outcome.ok() ? Reply(res, 200, ResultReply(outcome.result)) : Reply(res, 422, FailureReply(outcome.hr, outcome.error));
                  });
}

void WebServer::StreamEvents(const Request&, Response& res) {
  std::shared_ptr<Places::Place> place = streams_.Take();
  if (!place) {
    res.set_header("Retry-After", "5");
    return Refuse(res, 503, fmt::format("{} event streams are open already", kMaxStreams));
  }
  auto subscription = events_.Subscribe();
  res.set_header("Cache-Control", "no-store");
  // The place is held as long as the stream's provider lives, that is until the stream ends.
  res.set_chunked_content_provider("text/event-stream", [subscription, place](size_t offset, httplib::DataSink& sink) {
    if (subscription->closed()) return false;
    if (offset == 0) {
      // Sent at once, so that the browser sees the stream open before the first event.
      const std::string opening = ": open\n\n";
      return sink.write(opening.data(), opening.size());
    }
    const std::optional<std::string> event = subscription->Next(kKeepAlive);
    const std::string text = event ? *event : std::string(": keep-alive\n\n");
    return sink.is_writable() && sink.write(text.data(), text.size());
  });
}

}  // namespace prowlnet_cli
