#include "prowlnet-script/console_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <strings.h>

namespace script_host {
namespace {

std::string CharsetOfLocale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    const std::string_view locale(value);
    const size_t dot = locale.find('.');
    if (dot == std::string_view::npos) return "UTF-8";
    return std::string(locale.substr(dot + 1, locale.find('@', dot) - dot - 1));
  }
  return "UTF-8";
}

/// Converts between the locale's charset and UTF-8 in one direction. Text that goes out is the
/// host's own, well-formed UTF-8, and passes through to a UTF-8 console; text that comes in is
/// always checked.
class Converter {
 public:
  explicit Converter(bool toConsole) : toConsole_(toConsole) {
    const std::string charset = CharsetOfLocale();
    const bool utf8 = strcasecmp(charset.c_str(), "UTF-8") == 0 || strcasecmp(charset.c_str(), "UTF8") == 0;
    if (toConsole && utf8) return;
    handle_ = toConsole ? iconv_open(charset.c_str(), "UTF-8") : iconv_open("UTF-8", charset.c_str());
    // A charset this machine cannot convert: take the text as UTF-8.
    if (!converts() && !toConsole) handle_ = iconv_open("UTF-8", "UTF-8");
  }
  ~Converter() {
    if (converts()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::string Convert(std::string_view text) {
    if (!converts()) return std::string(text);
    std::string result;
    char buffer[256];
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
      char* out = buffer;
      size_t outLeft = sizeof buffer;
      const size_t done = iconv(handle_, &in, &inLeft, &out, &outLeft);
      result.append(buffer, static_cast<size_t>(out - buffer));
      if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
      // A character the other side lacks, or a broken sequence: replace it and go on.
      const size_t skip = toConsole_ ? Utf8Length(static_cast<unsigned char>(*in)) : 1;
      result += toConsole_ ? "?" : "\xEF\xBF\xBD";
      in += skip < inLeft ? skip : inLeft;
      inLeft -= skip < inLeft ? skip : inLeft;
    }
    return result;
  }

 private:
  bool converts() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  static size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
  }

  bool toConsole_;
  iconv_t handle_ = reinterpret_cast<iconv_t>(-1);
};

}  // namespace

std::string ToConsole(std::string_view utf8) {
  static Converter converter(true);
  return converter.Convert(utf8);
}

std::string FromConsole(std::string_view bytes) {
  static Converter converter(false);
  return converter.Convert(bytes);
}

void WriteToConsole(std::FILE* stream, std::string_view utf8) {
  const std::string bytes = ToConsole(utf8);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

}  // namespace script_host
