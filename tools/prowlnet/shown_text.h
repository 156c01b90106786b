// Text that came from a camera, made safe to show a person: nothing in it can move the cursor,
// start a new line or row, recolour or clear the terminal, or reorder what follows it.
#pragma once

#include <string>
#include <string_view>

namespace prowlnet_cli {

enum class LineBreaks {
  /// A value of one line (a table cell, a field): tab, CR and LF are escaped like the others.
  kEscaped,
  /// A document with lines of its own (the IPC_INFO text): tab, CR and LF stay as they are.
  kKept,
};

/// `text` (UTF-8) with every character a terminal would obey written out visibly: "\n", "\r",
/// "\t", "\\" for a backslash, "\x1b" for the other C0 controls, DEL and bytes that are not UTF-8,
/// "\u009b" for the C1 controls and for the invisible characters that change the direction of
/// the text around them (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069) and U+2028,
/// U+2029. With LineBreaks::kKept, tab, CR, LF and backslash stay as they are.
std::string Printable(std::string_view text, LineBreaks breaks = LineBreaks::kEscaped);

/// One CSV cell: a cell that a spreadsheet would read as a formula (it starts with =, +, -, @,
/// tab or CR) gets a leading apostrophe, and a cell holding a comma, a double quote, CR or LF is
/// quoted with its double quotes doubled.
std::string CsvCell(std::string_view text);

}  // namespace prowlnet_cli
