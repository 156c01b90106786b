// What the readers of received texts share: an owned IXML document, and walks over an element's
// attributes and its direct children by exact, case-sensitive name.
#pragma once

#include <cstring>
#include <memory>

#include <ixml.h>

#include "engine/xml_shape.h"

namespace prowlnet {

struct DocumentFree {
  void operator()(IXML_Document* document) const { ixmlDocument_free(document); }
};

/// A parsed document; freeing it frees every node taken from it.
using OwnedDocument = std::unique_ptr<IXML_Document, DocumentFree>;

/// The document of a whole text, or null for a null, empty or ill-formed text. IXML sees only
/// texts of a plain well-formed shape: on some others it leaks.
inline OwnedDocument ParseDocument(const char* text) {
  if (text == nullptr || !HasWellFormedShape(text)) return nullptr;
  return OwnedDocument(ixmlParseBuffer(text));
}

/// Whether a node's name is exactly `name`, case included.
inline bool NameIs(IXML_Node* node, const char* name) {
  const char* own = ixmlNode_getNodeName(node);
  return own != nullptr && std::strcmp(own, name) == 0;
}

/// Calls `visit(attribute)` for each attribute of `element`, in the order of the start tag.
template <typename Visit>
void ForEachAttribute(IXML_Node* element, Visit&& visit) {
  for (IXML_Node* attribute = element->firstAttr; attribute != nullptr;
       attribute = ixmlNode_getNextSibling(attribute)) {
    visit(attribute);
  }
}

/// Calls `visit(child)` for each direct child of `element` named `name`, in document order.
template <typename Visit>
void ForEachChildNamed(IXML_Node* element, const char* name, Visit&& visit) {
  for (IXML_Node* child = ixmlNode_getFirstChild(element); child != nullptr; child = ixmlNode_getNextSibling(child)) {
    if (NameIs(child, name)) visit(child);
  }
}

}  // namespace prowlnet
