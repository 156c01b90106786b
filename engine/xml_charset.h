// Texts that are not UTF-8. IXML reads every text as UTF-8, whatever its declaration says, so a
// camera that writes GB2312 (and declares it) would never parse. Such a text is converted to
// UTF-8 for the parse, and every value of the document is converted back afterwards, so that
// what the readers copy out are the bytes the text carried: a record holds what the camera
// wrote, and the ANSI code page of its users shows it.
#pragma once

#include <optional>

#include "engine/xml_nodes.h"
#include "pal/windef.h"

namespace prowlnet {

/// The code page of a text whose XML declaration names GB2312 or GBK (936) or GB18030 (54936),
/// names compared without regard to case; nothing for any other text.
std::optional<UINT> DeclaredChineseCodePage(const char* text);

/// The document of `text`, or null. A text that is valid UTF-8 is parsed as it is. Another is
/// read in `codePage` when one is given and the text converts from it; a text that converts in
/// neither way is parsed as it is, which IXML refuses.
OwnedDocument ParseTextIn(const char* text, std::optional<UINT> codePage);

/// A received text: one that is not UTF-8 is read in the code page its declaration names.
inline OwnedDocument ParseReceivedText(const char* text) { return ParseTextIn(text, DeclaredChineseCodePage(text)); }

/// A text from a camera or from the host: one that is not UTF-8 is read in the code page its
/// declaration names, or else in the ANSI code page, in which texts from the host arrive (the
/// IPC_INFO document has no declaration).
OwnedDocument ParseTextOrAnsi(const char* text);

}  // namespace prowlnet
