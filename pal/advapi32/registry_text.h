// The registry file's text: a header line, then one section per key in the manner of a .reg file,
// then a line that gives the length and a checksum of everything above it, so that a file cut
// short or damaged is recognised and never taken for the registry.
//
//   Prowlnet registry 1
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Camera.Viewer]
//   @="Camera Viewer"
//   "Port"=dword:00000bb9
//   ; end of registry: 98 bytes, checksum 5c1e0a3f
#pragma once

#include <string>
#include <string_view>

#include "advapi32/registry_tree.h"

namespace pal::registry {

/// The whole file for `hives`, its closing line included.
std::string TextOf(const Hives& hives);

/// Reads `text` into `hives` (which start empty); false for a text cut short, damaged by any
/// change after it was written, or not in this format.
bool ReadText(std::string_view text, Hives& hives);

}  // namespace pal::registry
