// What the web host refuses before it looks at a request, and the headers every answer carries.
// A page of another site may make the browser send requests here (a form, an image, a script, a
// fetch without CORS) and a name of another site may resolve here (DNS rebinding): such requests
// are told apart by their Host, Origin and Sec-Fetch-Site headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace prowlnet_cli {

/// Whether `host` (the Host header) names this server listening on `port`: "localhost" in any
/// case, or a dotted-quad address, with the port, or without it when the port is 80 (browsers
/// leave the default port out). A name that some DNS answer points here is refused.
bool HostAllowed(std::string_view host, int port);

/// Whether a request comes from a page of another origin: its Origin names another (or "null"),
/// or its Sec-Fetch-Site is anything but "same-origin" and "none" (a person's own navigation).
/// "same-site" counts as foreign: another port of this computer is the same site to a browser.
/// Requests without either header (curl, older browsers) are not told apart here.
bool FromAnotherOrigin(std::string_view origin, std::string_view fetchSite, std::string_view host);

/// Whether `path` is one of the pages served from --pages (they may run inline scripts).
bool IsServedPage(std::string_view path);

struct SecurityHeader {
  const char* name;
  std::string value;
};

/// The headers of every answer: a Content-Security-Policy that allows only this origin's
/// scripts, styles, images and connections (inline scripts too for the served pages) and no
/// framing; no sniffing of types, no referrer, no framing for browsers without frame-ancestors,
/// and no use of a response by another origin's page.
std::vector<SecurityHeader> SecurityHeaders(bool servedPage);

}  // namespace prowlnet_cli
