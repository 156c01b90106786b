// What the fuzz targets share: the input as the code under test receives it, and checks that
// stop the run loudly (the fuzzer keeps the input that made one fail).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace fuzz {

/// The input as a zero-terminated text in a buffer of exactly its size, so that a read past the
/// terminator is caught. A zero byte inside ends the text early, as it does for the readers.
inline std::unique_ptr<char[]> Text(const std::uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size > 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  return text;
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : ::fuzz::Fail(#condition, __FILE__, __LINE__))

/// Whether a text field holds its terminator.
template <size_t N>
bool Terminated(const char (&field)[N]) {
  return std::memchr(field, '\0', N) != nullptr;
}

/// Whether two sections are the same, byte for byte.
template <typename Section>
bool SameBytes(const Section& a, const Section& b) {
  return std::memcmp(&a, &b, sizeof(Section)) == 0;
}

}  // namespace fuzz
