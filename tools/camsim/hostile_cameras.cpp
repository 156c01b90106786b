#include "camsim/hostile_cameras.h"

#include <string>
#include <utility>

namespace camsim {

std::vector<Camera> HostileCameras() {
  const std::pair<const char*, const char*> texts[] = {
      {"rows", "NVS-2210"},
      {"count", "NVS-2210"},
      {"__proto__", "NVS-2210"},
      {"constructor", "NVS-2210"},
      {"<img src=x onerror=alert(1)>", "NVS-2210"},
      {"-2+3", "NVS-2210"},
      {"HOSTILE-LF", "NVS\n1  FORGED  NVS  6.6.6.6"},
      {"HOSTILE-CR", "NVS\rFORGED-ROW"},
      {"HOSTILE-CSI", "NVS\u009b2J\u009b31mRED\x7f"},
      {"HOSTILE-FORMULA", "=HYPERLINK(\"http://x\",\"NVS\")"},
      {"HOSTILE-C1-BIDI", "NVS\u009b31m\u202eEVIL\t"},
  };
  std::vector<Camera> cameras = GenerateCameras(static_cast<int>(std::size(texts)), 9000);
  for (size_t i = 0; i < cameras.size(); ++i) {
    cameras[i].serialNumber = texts[i].first;
    cameras[i].deviceType = texts[i].second;
  }
  // A terminal's title set by a user name.
  (*cameras[8].accounts)[0] = {{"Username", "admin\u009d0;owned\u009c"}, {"Password", "se\"cret"},
                               {"Group", "administrators"}, {"Status", "1"}};
  return cameras;
}

}  // namespace camsim
