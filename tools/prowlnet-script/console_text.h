// Text to and from the terminal or pipe the host runs on, in the charset of its locale: the part
// after '.' (up to any '@') of the first of LC_ALL, LC_CTYPE and LANG that is set and not empty
// ("zh_CN.GBK"), UTF-8 when it names none ("C", "en_US") or this machine cannot convert it.
// Everything inside the host is UTF-8.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace script_host {

/// `utf8` in the console's charset; a character it cannot hold becomes '?'.
std::string ToConsole(std::string_view utf8);

/// Bytes in the console's charset (command-line arguments, standard input) as UTF-8; a sequence
/// it does not map becomes U+FFFD.
std::string FromConsole(std::string_view bytes);

/// Writes `utf8` to `stream` in the console's charset, at once.
void WriteToConsole(std::FILE* stream, std::string_view utf8);

}  // namespace script_host
