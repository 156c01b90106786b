// The three configuration sections of a device record in their XML form: readers that fill a
// section from a text (a whole reply, or text from the host), writers that turn a section back
// into text, and the IPC_INFO document that describes one device.
#pragma once

#include <cstddef>
#include <memory>

#include "engine/ipc_info.h"
#include "engine/xml_nodes.h"

namespace prowlnet {

/// A text that a writer made; its owner frees it.
using OwnedText = std::unique_ptr<char[]>;

/// The record's serial number field, as the LAN writer takes it.
using SerialNumberField = decltype(IpcInfo::serialNumber);

constexpr size_t kLanTextSize = 1024;  // at most 1023 characters: the body of a modification
constexpr size_t kStreamTextSize = 1024;
constexpr size_t kUserTextSize = 2048;

/// Stores an attribute value in a text field of `size` bytes: the field zeroed, then the value
/// cut so that the terminator remains. A null value logs "source string is null" and leaves the
/// field empty.
void CopyAttrValue(char* field, size_t size, const char* value);

template <size_t N>
void CopyAttrValue(char (&field)[N], const char* value) {
  CopyAttrValue(field, N, value);
}

// Readers: 0 when the first section element of the document was read; -1 for no document
// (logged: the text did not parse) or no such element. On -1 the section is as it was.
// Each also takes a text, which it parses for itself: one that is not UTF-8 is read in the
// code page its declaration names (GB2312, GBK, GB18030), or else in the ANSI code page.

/// Fills `lan` from the first LANConfig element. Fields whose attribute is absent keep their value.
int Network_getLANCfgByXml(LANCfg& lan, IXML_Document* document);
int Network_getLANCfgByXml(LANCfg& lan, const char* text);

/// Fills `stream` from the StreamAccess children of the first MediaStreamConfig element, starting
/// from all zeros; a later StreamAccess overwrites the values it carries.
int GetMediaStreamCfgByXml(MediaStreamCfg& stream, IXML_Document* document);
int GetMediaStreamCfgByXml(MediaStreamCfg& stream, const char* text);

/// Fills one account slot per Account child of the first UserConfig element, in document order,
/// and sets the count. Only the first 20 are kept; a field whose attribute is absent keeps its value.
int System_getUserCfgByXml(UserCfg& user, IXML_Document* document);
int System_getUserCfgByXml(UserCfg& user, const char* text);

// Writers: a new text of at most the buffer's size less one, or null if no buffer could be had.
// Values are written as stored, except that &, < and " become &amp;, &lt; and &quot;.

/// The IPC_SERIALNUMBER element and then the LANConfig element.
OwnedText Network_buildLANCfgXml(const SerialNumberField& serialNumber, const LANCfg& lan);

/// The MediaStreamConfig element with one StreamAccess child.
OwnedText BuildMediaStreamCfgXml(const MediaStreamCfg& stream);

/// The UserConfig element with one Account child per counted slot (the count clamped to 0..20).
OwnedText System_buildUserCfgXml(const UserCfg& user);

/// The IPC_INFO document of one device: serial number and LAN section, stream section, user
/// section. Null if any part could not be written.
OwnedText BuildIpcInfoXml(const IpcInfo& record);

}  // namespace prowlnet
