// UTF-16 text as the Windows calls carry it, and its UTF-8 form for host paths and files.
#pragma once

#include <string>
#include <string_view>

namespace pal::internal {

/// The characters of a zero-terminated string; an empty view for null.
std::u16string_view ViewOf(const char16_t* text);

/// UTF-8 form of `text`; an unpaired surrogate becomes U+FFFD.
std::string Utf8Of(std::u16string_view text);

/// UTF-16 form of `text`; a malformed sequence becomes U+FFFD.
std::u16string Utf16Of(std::string_view text);

/// `text` with ASCII letters in upper case, the key under which names compare case-insensitively.
std::u16string FoldedAscii(std::u16string_view text);

bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

}  // namespace pal::internal
