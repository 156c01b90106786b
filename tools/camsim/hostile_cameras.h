// Cameras whose texts attack whoever shows them: serial numbers that are names a page's script
// may also use (an element id, a property of a plain object), markup, device types with line
// breaks, terminal controls, invisible direction controls and a spreadsheet formula. The terminal
// controls are the 8-bit ones (C1, U+0080..U+009F): IXML refuses every C0 control other than tab,
// CR and LF, so a reply holding ESC never reaches a record.
#pragma once

#include <vector>

#include "camsim/camera.h"

namespace camsim {

/// The hostile cameras, each a generated camera (distinct MAC and address, numbered from 9000)
/// with its serial number and device type replaced. Every device type still names NVS, so the
/// control takes each one as a camera.
std::vector<Camera> HostileCameras();

}  // namespace camsim
