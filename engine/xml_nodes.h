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

/// The first attribute of `element` named exactly `name`, or null.
inline IXML_Node* FirstAttributeNamed(IXML_Node* element, const char* name) {
  IXML_Node* found = nullptr;
  ForEachAttribute(element, [&](IXML_Node* attribute) {
    if (found == nullptr && NameIs(attribute, name)) found = attribute;
  });
  return found;
}

/// An attribute's value as the readers treat it: null when the value is absent or empty (the
/// library gives an empty string for an attribute written with nothing between its quotes).
inline const char* AttributeValue(IXML_Node* attribute) {
  const char* value = attribute != nullptr ? ixmlNode_getNodeValue(attribute) : nullptr;
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

/// The first element named `name` anywhere in the document, in document order, or null.
inline IXML_Node* FirstElementNamed(IXML_Document* document, const char* name) {
  IXML_NodeList* list = ixmlDocument_getElementsByTagName(document, name);
  if (list == nullptr) return nullptr;
  IXML_Node* first = ixmlNodeList_item(list, 0);
  ixmlNodeList_free(list);  // the nodes belong to the document
  return first;
}

/// Calls `visit(child)` for each direct child of `element` named `name`, in document order.
template <typename Visit>
void ForEachChildNamed(IXML_Node* element, const char* name, Visit&& visit) {
  for (IXML_Node* child = ixmlNode_getFirstChild(element); child != nullptr; child = ixmlNode_getNextSibling(child)) {
    if (NameIs(child, name)) visit(child);
  }
}

}  // namespace prowlnet
