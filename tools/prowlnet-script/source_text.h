// The text of a script file, read as WSH read it: UTF-8 with or without a byte-order mark,
// UTF-16 little- or big-endian with one, and otherwise the ANSI code page (CP_ACP: PROWLNET_ACP,
// else the locale's charset), as Notepad saved a script in GBK. A file without a mark that is
// well-formed UTF-8 is read as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace script_host {

/// The file's text as Duktape keeps strings (script_values.h), without the byte-order mark.
std::string DecodeScriptText(std::string_view bytes);

}  // namespace script_host
