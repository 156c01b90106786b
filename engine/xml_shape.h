// The shape of a text before IXML reads it. When IXML refuses a text with character data after the
// root element it leaks the node it made for that data, and on ill-formed texts it finds the ends
// of tags in its own way; so the readers hand it only texts whose markup is plainly well-formed.
#pragma once

#include <string_view>

namespace prowlnet {

/// Whether `text` is a prolog of processing instructions (the XML declaration among them),
/// comments and white space, then one root element whose tags nest with matching names, then
/// nothing but comments, processing instructions and white space. Every comment (without "--",
/// and not opening with ">" or "->"), processing instruction (named, without '<') and CDATA
/// section (without '<') is closed, every attribute has a quoted value without '<', and CDATA
/// stands only inside the root. A document type declaration is refused: no text the control
/// reads carries one. Names, entities and the encoding are left to IXML.
bool HasWellFormedShape(std::string_view text);

}  // namespace prowlnet
