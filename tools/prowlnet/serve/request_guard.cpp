#include "serve/request_guard.h"

#include <algorithm>
#include <cctype>

#include "client/addresses.h"

namespace prowlnet_cli {
namespace {

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

/// The port of a Host header's ":PORT" part; 80 when there is none, -1 when it is not a port.
int PortOf(std::string_view suffix) {
  if (suffix.empty()) return 80;
  if (suffix.front() != ':' || suffix.size() < 2 || suffix.size() > 6) return -1;
  int port = 0;
  for (char c : suffix.substr(1)) {
    if (c < '0' || c > '9') return -1;
    port = port * 10 + (c - '0');
  }
  return port;
}

}  // namespace

bool HostAllowed(std::string_view host, int port) {
  const size_t colon = host.rfind(':');
  const std::string name = Lowercase(host.substr(0, colon));
  if (PortOf(colon == std::string_view::npos ? std::string_view() : host.substr(colon)) != port) return false;
  return name == "localhost" || prowlnet_client::ParseDottedQuad(name).has_value();
}

bool FromAnotherOrigin(std::string_view origin, std::string_view fetchSite, std::string_view host) {
  if (!fetchSite.empty() && fetchSite != "same-origin" && fetchSite != "none") return true;
  return !origin.empty() && Lowercase(origin) != "http://" + Lowercase(host);
}

bool IsServedPage(std::string_view path) { return path == "/pages" || path.rfind("/pages/", 0) == 0; }

std::vector<SecurityHeader> SecurityHeaders(bool servedPage) {
  // Pages written for the original hosts run inline scripts and pass strings to setTimeout; they
  // are the user's own, and may still load and connect to nothing but this origin.
  const std::string scripts = servedPage ? "script-src 'self' 'unsafe-inline' 'unsafe-eval'; style-src 'self' "
                                           "'unsafe-inline'; img-src 'self' data:; "
                                         : "";
  return {
      {"Content-Security-Policy", "default-src 'self'; " + scripts +
                                      "object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"X-Frame-Options", "DENY"},
      {"Cross-Origin-Resource-Policy", "same-origin"},
  };
}

}  // namespace prowlnet_cli
