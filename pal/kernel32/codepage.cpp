// Code-page conversion through iconv, with the ANSI code page taken from the environment at
// every call. Each call opens its own conversion, so calls on different threads never share one.
#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "internal/loud.h"
#include "pal/kernel32.h"
#include "pal/winnls.h"

namespace {

static_assert(std::endian::native == std::endian::little, "UTF-16LE is the layout of WCHAR text here");

constexpr const char* kUtf16 = "UTF-16LE";
constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char kDefaultCharacter = '?';
constexpr const char kUtf8Replacement[] = "\xEF\xBF\xBD";

constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_MACCP = 2;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_SYMBOL = 42;
constexpr UINT CP_UTF7 = 65000;

struct PageCharset {
  std::string charset;  // as iconv names it
  bool utf8 = false;
};

bool IsUtf8Name(const std::string& charset) {
  std::string folded;
  for (char c : charset) {
    if (c != '-' && c != '_') folded += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return folded == "UTF8";
}

constexpr UINT CP_GB18030 = 54936;

/// iconv knows most code pages as "CP<n>"; GB18030 only by its name.
std::string CharsetOfCodePage(unsigned long number) {
  if (number == CP_UTF8) return "UTF-8";
  if (number == CP_GB18030) return "GB18030";
  return "CP" + std::to_string(number);
}

bool IsNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

/// The charset of the locale the environment names, or UTF-8.
std::string LocaleCharset() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* locale = std::getenv(variable);
    if (locale == nullptr || *locale == '\0') continue;
    const char* dot = std::strchr(locale, '.');
    if (dot == nullptr) return "UTF-8";
    std::string charset(dot + 1, std::strcspn(dot + 1, "@"));
    return charset.empty() ? "UTF-8" : charset;
  }
  return "UTF-8";
}

std::string AnsiCharset() {
  const char* override = std::getenv("PROWLNET_ACP");
  if (override == nullptr || *override == '\0') return LocaleCharset();
  return IsNumber(override) ? CharsetOfCodePage(std::strtoul(override, nullptr, 10)) : std::string(override);
}

PageCharset CharsetOfPage(UINT number, const char* call) {
  if (number == CP_OEMCP || number == CP_MACCP || number == CP_THREAD_ACP || number == CP_SYMBOL ||
      number == CP_UTF7)
    pal::internal::Unsupported(call, "a code page other than CP_ACP, CP_UTF8 or a numbered one");
  PageCharset page;
  page.charset = number == CP_ACP ? AnsiCharset() : CharsetOfCodePage(number);
  page.utf8 = IsUtf8Name(page.charset);
  return page;
}

/// One iconv conversion, open for the span of a call.
class Conversion {
 public:
  Conversion(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {}
  ~Conversion() {
    if (ok()) iconv_close(descriptor_);
  }
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  bool ok() const { return descriptor_ != reinterpret_cast<iconv_t>(-1); }

  /// Converts from `*input` onward, appending to `output`, until the input is used up (0) or a
  /// sequence cannot be converted (EILSEQ; EINVAL for one cut off by the end); `*input` and
  /// `*left` then describe that sequence and what follows it.
  int Convert(const char** input, size_t* left, std::string* output) {
    char chunk[512];
    while (*left > 0) {
      char* in = const_cast<char*>(*input);
      char* out = chunk;
      size_t room = sizeof chunk;
      const size_t result = iconv(descriptor_, &in, left, &out, &room);
      const int error = errno;
      *input = in;
      output->append(chunk, static_cast<size_t>(out - chunk));
      if (result == static_cast<size_t>(-1) && error != E2BIG) {
        iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
        return error;
      }
    }
    return 0;
  }

  /// Appends whatever the output charset needs to return to its initial state.
  void Finish(std::string* output) {
    char chunk[64];
    char* out = chunk;
    size_t room = sizeof chunk;
    iconv(descriptor_, nullptr, nullptr, &out, &room);
    output->append(chunk, static_cast<size_t>(out - chunk));
  }

 private:
  iconv_t descriptor_;
};

/// The length of the maximal ill-formed part of UTF-8 at `bytes`: the longest start of a
/// well-formed sequence, or one byte. Never 0 and never more than `size`.
size_t Utf8IllFormedLength(const unsigned char* bytes, size_t size) {
  const unsigned char lead = bytes[0];
  if (lead < 0xC2 || lead > 0xF4) return 1;
  const size_t trailing = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  size_t length = 1;
  while (length <= trailing && length < size && bytes[length] >= low && bytes[length] <= high) {
    ++length;
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

void AppendUnit(std::string* utf16, char16_t unit) {
  const char bytes[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  utf16->append(bytes, 2);
}

/// UTF-16LE bytes of `size` bytes of text, or nothing when `strict` and a sequence does not map.
std::optional<std::string> Decode(Conversion& conversion, bool utf8, const char* bytes, size_t size, bool strict) {
  std::string utf16;
  while (conversion.Convert(&bytes, &size, &utf16) != 0) {
    if (strict) return std::nullopt;
    const size_t skip = utf8 ? Utf8IllFormedLength(reinterpret_cast<const unsigned char*>(bytes), size) : 1;
    AppendUnit(&utf16, utf8 ? kReplacementCharacter : static_cast<char16_t>(kDefaultCharacter));
    bytes += skip;
    size -= skip;
  }
  conversion.Finish(&utf16);
  return utf16;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

/// The number of UTF-16 units of the character at `text`: 2 for a surrogate pair, else 1.
size_t UnitsOfCharacter(const char* text, size_t bytesLeft) {
  if (bytesLeft < 4) return 1;
  char16_t units[2];
  std::memcpy(units, text, sizeof units);
  return IsHighSurrogate(units[0]) && IsLowSurrogate(units[1]) ? 2 : 1;
}

/// The code page's bytes for `count` UTF-16 units, or nothing when `strict` and an unpaired
/// surrogate is met (UTF-8 only). `*usedDefault` tells whether the default character was used.
std::optional<std::string> Encode(Conversion& conversion, bool utf8, const WCHAR* text, size_t count,
                                  char defaultCharacter, bool strict, bool* usedDefault) {
  std::string bytes;
  const char* input = reinterpret_cast<const char*>(text);
  size_t left = count * sizeof(WCHAR);
  while (conversion.Convert(&input, &left, &bytes) != 0) {
    if (utf8 && strict) return std::nullopt;
    if (utf8) {
      bytes += kUtf8Replacement;
    } else {
      bytes += defaultCharacter;
      *usedDefault = true;
    }
    const size_t skip = UnitsOfCharacter(input, left) * sizeof(WCHAR);
    input += skip;
    left -= skip;
  }
  conversion.Finish(&bytes);
  return bytes;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

/// Copies `count` items of `size` bytes to the caller's buffer by the Windows size rules.
int Deliver(const void* items, size_t count, size_t size, void* destination, int capacity) {
  if (count > static_cast<size_t>(std::numeric_limits<int>::max())) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (capacity == 0) return static_cast<int>(count);
  if (count > static_cast<size_t>(capacity)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (count > 0) std::memcpy(destination, items, count * size);
  return static_cast<int>(count);
}

size_t WideLength(const WCHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

/// An open conversion for `page`, or a loud stop when the ANSI code page itself cannot be had.
bool OpenOrStop(const Conversion& conversion, const PageCharset& page, UINT number, const char* call) {
  if (conversion.ok()) return true;
  if (number == CP_ACP) {
    const std::string what = "the ANSI code page \"" + page.charset + "\"";
    pal::internal::Unsupported(call, what.c_str());
  }
  return false;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
  constexpr const char* kCall = "MultiByteToWideChar";
  if ((dwFlags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0)
    pal::internal::Unsupported(kCall, "flags other than MB_PRECOMPOSED and MB_ERR_INVALID_CHARS");
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr) ||
      (cchWideChar > 0 && static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
    return Fail(ERROR_INVALID_PARAMETER);
  const PageCharset page = CharsetOfPage(CodePage, kCall);
  if (page.utf8 && (dwFlags & MB_PRECOMPOSED) != 0) return Fail(ERROR_INVALID_FLAGS);
  Conversion conversion(kUtf16, page.charset.c_str());
  if (!OpenOrStop(conversion, page, CodePage, kCall)) return Fail(ERROR_INVALID_PARAMETER);

  const size_t size = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  const std::optional<std::string> utf16 =
      Decode(conversion, page.utf8, lpMultiByteStr, size, (dwFlags & MB_ERR_INVALID_CHARS) != 0);
  if (!utf16) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  return Deliver(utf16->data(), utf16->size() / sizeof(WCHAR), sizeof(WCHAR), lpWideCharStr, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar) {
  constexpr const char* kCall = "WideCharToMultiByte";
  if ((dwFlags & ~(WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS)) != 0)
    pal::internal::Unsupported(kCall, "flags other than WC_NO_BEST_FIT_CHARS and WC_ERR_INVALID_CHARS");
  if (lpDefaultChar != nullptr && std::strlen(lpDefaultChar) != 1)
    pal::internal::Unsupported(kCall, "a default character of other than one byte");
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
      (cbMultiByte > 0 && static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
    return Fail(ERROR_INVALID_PARAMETER);
  const PageCharset page = CharsetOfPage(CodePage, kCall);
  if (page.utf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) return Fail(ERROR_INVALID_PARAMETER);
  if (page.utf8 && (dwFlags & WC_NO_BEST_FIT_CHARS) != 0) return Fail(ERROR_INVALID_FLAGS);
  if (!page.utf8 && (dwFlags & WC_ERR_INVALID_CHARS) != 0) return Fail(ERROR_INVALID_FLAGS);
  Conversion conversion(page.charset.c_str(), kUtf16);
  if (!OpenOrStop(conversion, page, CodePage, kCall)) return Fail(ERROR_INVALID_PARAMETER);

  const size_t count = cchWideChar == -1 ? WideLength(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  const char defaultCharacter = lpDefaultChar != nullptr ? lpDefaultChar[0] : kDefaultCharacter;
  bool usedDefault = false;
  const std::optional<std::string> bytes = Encode(conversion, page.utf8, lpWideCharStr, count, defaultCharacter,
                                                  (dwFlags & WC_ERR_INVALID_CHARS) != 0, &usedDefault);
  if (!bytes) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  const int result = Deliver(bytes->data(), bytes->size(), 1, lpMultiByteStr, cbMultiByte);
  if (result != 0 && lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
  return result;
}
