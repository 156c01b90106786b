#include "serve/response_body.h"

#include <httplib.h>
#include <strings.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>

namespace prowlnet_cli {
namespace {

/// Bodies smaller than this gain too little from compression to pay for it.
constexpr size_t kWorthCompressing = 1024;

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

/// The q of one coding's parameters (";q=0.5"); 1 when it names none.
double Quality(std::string_view parameters) {
  for (size_t at = 0; at < parameters.size();) {
    const size_t end = std::min(parameters.find(';', at), parameters.size());
    const std::string_view parameter = Trimmed(parameters.substr(at, end - at));
    if (parameter.size() > 2 && (parameter[0] == 'q' || parameter[0] == 'Q') && parameter[1] == '=') {
      double quality = 0;
      std::from_chars(parameter.data() + 2, parameter.data() + parameter.size(), quality);
      return quality;
    }
    at = end + 1;
  }
  return 1;
}

void Provide(httplib::Response& res, std::shared_ptr<const std::string> data, const std::string& type) {
  res.headers.erase("Content-Type");
  const size_t size = data->size();
  res.set_content_provider(size, type, [data](size_t offset, size_t length, httplib::DataSink& sink) {
    if (offset > data->size()) return false;
    return sink.write(data->data() + offset, std::min(length, data->size() - offset));
  });
}

}  // namespace

bool AcceptsGzip(std::string_view acceptEncoding) {
  std::optional<double> gzip;
  std::optional<double> any;
  for (size_t at = 0; at <= acceptEncoding.size();) {
    const size_t end = std::min(acceptEncoding.find(',', at), acceptEncoding.size());
    const std::string_view coding = acceptEncoding.substr(at, end - at);
    const size_t semicolon = std::min(coding.find(';'), coding.size());
    const std::string name(Trimmed(coding.substr(0, semicolon)));
    const double quality = Quality(coding.substr(semicolon));
    if (strcasecmp(name.c_str(), "gzip") == 0 || strcasecmp(name.c_str(), "x-gzip") == 0) gzip = quality;
    if (name == "*") any = quality;
    at = end + 1;
  }
  return gzip ? *gzip > 0 : any.value_or(0) > 0;
}

std::string Gzip(std::string_view text, int level) {
  z_stream stream{};
  // 15 bits of window, +16: a gzip header and trailer instead of zlib's.
  if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("zlib: deflateInit2 failed");
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (status != Z_STREAM_END) throw std::runtime_error("zlib: deflate did not finish");
  return out;
}

FixedBody::FixedBody(std::string text, std::string type)
    : plain_(std::make_shared<const std::string>(std::move(text))),
      gzip_(std::make_shared<const std::string>(Gzip(*plain_, Z_BEST_COMPRESSION))),
      type_(std::move(type)) {}

void FixedBody::Send(const httplib::Request& req, httplib::Response& res) const {
  res.set_header("Vary", "Accept-Encoding");
  if (!AcceptsGzip(req.get_header_value("Accept-Encoding"))) return Provide(res, plain_, type_);
  res.set_header("Content-Encoding", "gzip");
  Provide(res, gzip_, type_);
}

void SendBody(const httplib::Request& req, httplib::Response& res) {
  if (res.body.empty()) return;
  const std::string type = res.get_header_value("Content-Type");
  std::string body = std::move(res.body);
  res.body.clear();
  res.set_header("Vary", "Accept-Encoding");
  if (body.size() >= kWorthCompressing && AcceptsGzip(req.get_header_value("Accept-Encoding"))) {
    res.set_header("Content-Encoding", "gzip");
    body = Gzip(body, Z_BEST_SPEED);
  }
  Provide(res, std::make_shared<const std::string>(std::move(body)), type);
}

}  // namespace prowlnet_cli
