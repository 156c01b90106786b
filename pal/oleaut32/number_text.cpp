#include "oleaut32/number_text.h"

#include <charconv>
#include <limits>
#include <string>

#include "internal/loud.h"

namespace pal::oleaut32 {
namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

/// Stops on the number forms that Windows reads and this layer does not.
void RefuseUnsupportedForms(std::u16string_view text) {
  if (text.empty()) return;
  const bool hasDigit = text.find_first_of(u"0123456789") != std::u16string_view::npos;
  if (!hasDigit) return;
  if (text.front() == u'&' || text.front() == u'(' || text.find(u'$') != std::u16string_view::npos ||
      text.back() == u'-' || text.back() == u'+')
    internal::Unsupported("VariantChangeType", "currency, parenthesised, trailing-sign or &H/&O numbers");
}

/// Appends digits (and thousands separators after the first digit) to `out`; the count of digits.
size_t ReadDigits(std::u16string_view text, size_t& at, std::string& out, bool allowSeparators) {
  size_t digits = 0;
  while (at < text.size()) {
    if (IsDigit(text[at])) {
      out += static_cast<char>(text[at]);
      ++digits;
    } else if (!(allowSeparators && digits > 0 && text[at] == u',')) {
      break;
    }
    ++at;
  }
  return digits;
}

}  // namespace

std::optional<double> NumberOfText(std::u16string_view text) {
  text = Trimmed(text);
  RefuseUnsupportedForms(text);
  std::string plain;
  size_t at = 0;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) plain += static_cast<char>(text[at++]);
  size_t digits = ReadDigits(text, at, plain, true);
  if (at < text.size() && text[at] == u'.') {
    plain += '.';
    ++at;
    digits += ReadDigits(text, at, plain, false);
  }
  if (digits == 0) return std::nullopt;
  if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
    plain += 'e';
    ++at;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) plain += static_cast<char>(text[at++]);
    if (ReadDigits(text, at, plain, false) == 0) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  double value = 0;
  const char* first = plain.data() + (plain[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(first, plain.data() + plain.size(), value);
  if (end != plain.data() + plain.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    // Too small to represent is zero; too large is beyond every range, which the caller reports.
    if (plain.find("e-") != std::string::npos) return 0.0;
    return plain[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  }
  if (error != std::errc()) return std::nullopt;
  return value;
}

}  // namespace pal::oleaut32
