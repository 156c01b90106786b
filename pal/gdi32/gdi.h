// GDI's process-wide state: surfaces that keep what was drawn, device contexts, regions and
// metafiles, named by handles of their own.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pal/wingdi.h"

namespace pal::gdi32 {

/// Where drawing lands: the calls that reached it, in order. Shared by the device contexts
/// drawing on it and by its window or metafile.
class Surface {
 public:
  void Add(std::string call);
  std::vector<std::string> Calls();

 private:
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

/// What SaveDC pushes.
struct DcState {
  HGDIOBJ pen;
  HGDIOBJ brush;
  UINT textAlign;
  std::optional<RECT> clip;
  POINT windowOrg;  // a metafile's logical window; (0, 0) and 1 x 1 on a display
  SIZE windowExt;
};

struct GdiObject {
  virtual ~GdiObject() = default;
};

struct DeviceContext : GdiObject {
  DeviceContext(std::shared_ptr<Surface> on, int kind) : surface(std::move(on)), technology(kind) {}
  std::shared_ptr<Surface> surface;
  int technology;
  DcState state{GetStockObject(BLACK_PEN), GetStockObject(WHITE_BRUSH), TA_LEFT | TA_TOP, std::nullopt, {0, 0}, {1, 1}};
  std::vector<DcState> saved;
};

struct Region : GdiObject {
  explicit Region(RECT r) : rect(r) {}
  RECT rect;
};

struct Metafile : GdiObject {
  explicit Metafile(std::shared_ptr<Surface> recorded) : surface(std::move(recorded)) {}
  std::shared_ptr<Surface> surface;
};

/// A device context drawing on `surface`: DT_RASDISPLAY or DT_METAFILE.
HDC OpenDc(std::shared_ptr<Surface> surface, int technology);
/// The object a handle names, if it is of type T. Device contexts are used only on the thread
/// that draws with them; the table itself is shared.
template <typename T>
std::shared_ptr<T> Find(const void* handle);
std::shared_ptr<GdiObject> FindObject(const void* handle);
void* Insert(std::shared_ptr<GdiObject> object);
bool Remove(const void* handle);

/// "BLACK_PEN", "WHITE_BRUSH" ... for stock objects, "brush@0x..." otherwise.
std::string NameOf(HGDIOBJ object);
std::string Text(const RECT& rect);

template <typename T>
std::shared_ptr<T> Find(const void* handle) {
  return std::dynamic_pointer_cast<T>(FindObject(handle));
}

}  // namespace pal::gdi32
