// Fixed-size text fields and the integer conversion the wire format uses.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace prowlnet {

/// Stores `value` in a field of `size` bytes: the whole field zeroed, then at most size - 1
/// characters, so that the field stays terminated.
inline void CopyCutToField(char* field, size_t size, const char* value) {
  std::memset(field, 0, size);
  if (value == nullptr || size == 0) return;
  const size_t length = strnlen(value, size - 1);
  std::memcpy(field, value, length);
}

template <size_t N>
void CopyCutToField(char (&field)[N], const char* value) {
  CopyCutToField(field, N, value);
}

/// A field's text length, never reading past the field even when it lacks its terminator.
template <size_t N>
size_t FieldLength(const char (&field)[N]) {
  return strnlen(field, N);
}

/// A field's text as a string, cut at the field's end when the terminator is missing.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, FieldLength(field));
}

/// The atoi rules: optional white space and sign, then decimal digits up to the first other
/// character; 0 without digits. Out-of-range values wrap as the C library's atoi gives them,
/// without undefined behaviour.
inline int AtoiValue(const char* text) {
  return text == nullptr ? 0 : static_cast<int>(std::strtol(text, nullptr, 10));
}

}  // namespace prowlnet
