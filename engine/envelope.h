// The discovery message envelope: every datagram is one XML text with a root XML_MORVEK holding
// a MESSAGE_HEADER (Msg_type, Msg_code, Msg_flag) and a MESSAGE_BODY.
#pragma once

#include <cstddef>

#include "engine/xml_nodes.h"

namespace prowlnet {

constexpr int kEnvelopeBufferSize = 2048;  // the whole text and its terminator
constexpr int kHeaderFieldSize = 256;

enum MessageCode { kSearchRequest = 1, kModifyRequest = 2, kSearchReply = 3 };

/// Writes the envelope for `code` around `body` (or none) into `buffer`. Returns the length of
/// the text, or -1 if it would not fit the buffer whole.
int BuildEnvelope(char* buffer, size_t size, int code, const char* body);

/// The envelope checks shared by every reader of a received text: both markers present as plain
/// substrings, and the whole text well-formed (a text in the GB2312 family that its declaration
/// names is read as such). Logs the failure and returns null, or returns the document.
OwnedDocument ParseEnvelope(const char* text);

/// Fills the three header fields (each cut to 255 characters) from the first MESSAGE_HEADER of
/// `document`, the envelope of a received text. 0 when all three are present and non-empty;
/// -1 for no document (the envelope checks failed); -2 no MESSAGE_HEADER; -3, -4, -5 for a
/// missing or empty Msg_type, Msg_code, Msg_flag.
int ParseMessageHeader(IXML_Document* document, char (&type)[kHeaderFieldSize], char (&code)[kHeaderFieldSize],
                       char (&flag)[kHeaderFieldSize]);

/// The same for a text of its own, parsed for this call alone.
int ParseMessageHeader(const char* text, char (&type)[kHeaderFieldSize], char (&code)[kHeaderFieldSize],
                       char (&flag)[kHeaderFieldSize]);

}  // namespace prowlnet
