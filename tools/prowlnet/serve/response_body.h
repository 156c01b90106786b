// How the web host sends a body: compressed by this server, never by cpp-httplib.
//
// Debian's cpp-httplib is built with brotli, and the library decides inside its shared object,
// whatever this program is compiled with, to compress every text or JSON body with brotli at its
// highest quality when the browser accepts br: about a second for the list of 1000 cameras. A
// body handed over as a content provider of fixed length is sent as it is, so this server sends
// every body that way, gzip-compressed at zlib's fastest level when the browser accepts gzip and
// the body is worth it; the page's own files are compressed once, at start.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace prowlnet_cli {

/// Whether an Accept-Encoding value admits gzip: a "gzip" (or "*") coding whose q is not 0.
bool AcceptsGzip(std::string_view acceptEncoding);

/// `text` as a gzip member, compressed at zlib's `level` (1 fastest, 9 smallest).
std::string Gzip(std::string_view text, int level);

/// A body of fixed content, with its gzip form made once.
class FixedBody {
 public:
  FixedBody(std::string text, std::string type);
  /// Sends it as `req` accepts it.
  void Send(const httplib::Request& req, httplib::Response& res) const;

 private:
  std::shared_ptr<const std::string> plain_;
  std::shared_ptr<const std::string> gzip_;
  std::string type_;
};

/// Moves the body a handler set (res.body) into a content provider, gzip-compressed when `req`
/// accepts it and it is large enough to gain; nothing for a response without a body or with a
/// provider of its own (an event stream).
void SendBody(const httplib::Request& req, httplib::Response& res);

}  // namespace prowlnet_cli
