#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

/// The surrogate that Duktape encodes in three bytes at `at` (ED A0..BF xx), or 0.
char32_t SurrogateAt(std::string_view bytes, size_t at) {
  if (at + 3 > bytes.size() || static_cast<unsigned char>(bytes[at]) != 0xED) return 0;
  const unsigned second = static_cast<unsigned char>(bytes[at + 1]);
  if (second < 0xA0) return 0;
  return 0xD000 | ((second & 0x3F) << 6) | (static_cast<unsigned char>(bytes[at + 2]) & 0x3F);
}

void AppendThreeBytes(std::string& text, char32_t code) {
  text += static_cast<char>(0xE0 | (code >> 12));
  text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  text += static_cast<char>(0x80 | (code & 0x3F));
}

void AppendFourBytes(std::string& text, char32_t code) {
  text += static_cast<char>(0xF0 | (code >> 18));
  text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  text += static_cast<char>(0x80 | (code & 0x3F));
}

}  // namespace

std::string Utf8At(duk_context* ctx, duk_idx_t index) {
  duk_size_t size = 0;
  const char* data = duk_get_lstring(ctx, index, &size);
  const std::string_view bytes(data == nullptr ? "" : data, size);
  std::string text;
  text.reserve(size);
  for (size_t at = 0; at < bytes.size();) {
    const char32_t high = SurrogateAt(bytes, at);
    if (high == 0) {
      text += bytes[at++];
      continue;
    }
    const char32_t low = SurrogateAt(bytes, at + 3);
    if (high < 0xDC00 && low >= 0xDC00) {
      AppendFourBytes(text, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
      at += 6;
    } else {
      text += kReplacement;
      at += 3;
    }
  }
  return text;
}

std::string Cesu8FromUtf8(std::string_view utf8) {
  std::string text;
  text.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    const unsigned lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0xF0 || lead > 0xF4 || at + 4 > utf8.size()) {
      text += utf8[at++];
      continue;
    }
    const char32_t code = ((lead & 0x07) << 18) | ((static_cast<unsigned char>(utf8[at + 1]) & 0x3F) << 12) |
                          ((static_cast<unsigned char>(utf8[at + 2]) & 0x3F) << 6) |
                          (static_cast<unsigned char>(utf8[at + 3]) & 0x3F);
    AppendThreeBytes(text, 0xD800 + ((code - 0x10000) >> 10));
    AppendThreeBytes(text, 0xDC00 + ((code - 0x10000) & 0x3FF));
    at += 4;
  }
  return text;
}

void PushText(duk_context* ctx, std::string_view text) {
  const std::string stored = Cesu8FromUtf8(text);
  duk_push_lstring(ctx, stored.data(), stored.size());
}

bool ValueAt(duk_context* ctx, duk_idx_t index, late_binding::Value* out) {
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_UNDEFINED: *out = late_binding::Undefined{}; return true;
    case DUK_TYPE_NULL: *out = nullptr; return true;
    case DUK_TYPE_BOOLEAN: *out = duk_get_boolean(ctx, index) != 0; return true;
    case DUK_TYPE_NUMBER: *out = duk_get_number(ctx, index); return true;
    case DUK_TYPE_STRING: *out = Utf8At(ctx, index); return true;
    default: return false;
  }
}

void PushValue(duk_context* ctx, const late_binding::Value& value) {
  if (std::holds_alternative<late_binding::Undefined>(value)) {
    duk_push_undefined(ctx);
  } else if (std::holds_alternative<std::nullptr_t>(value)) {
    duk_push_null(ctx);
  } else if (const bool* flag = std::get_if<bool>(&value)) {
    duk_push_boolean(ctx, *flag);
  } else if (const double* number = std::get_if<double>(&value)) {
    duk_push_number(ctx, *number);
  } else {
    PushText(ctx, std::get<std::string>(value));
  }
}

}  // namespace script_host
