// Device contexts: their state, drawing, and metafiles.
#include <utility>

#include "gdi.h"
#include "internal/loud.h"
#include "kernel32/utf16.h"
#include "pal/kernel32.h"

namespace pal::gdi32 {

HDC OpenDc(std::shared_ptr<Surface> surface, int technology) {
  return static_cast<HDC>(Insert(std::make_shared<DeviceContext>(std::move(surface), technology)));
}

namespace {

constexpr int kDotsPerInch = 96;

/// The device context a handle names, or null with the last error set.
std::shared_ptr<DeviceContext> Context(HDC dc) {
  std::shared_ptr<DeviceContext> context = Find<DeviceContext>(dc);
  if (context == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return context;
}

std::string Point(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

}  // namespace
}  // namespace pal::gdi32

using namespace pal::gdi32;

HDC CreateCompatibleDC(HDC) { return OpenDc(std::make_shared<Surface>(), DT_RASDISPLAY); }

BOOL DeleteDC(HDC dc) {
  if (Find<DeviceContext>(dc) == nullptr || !Remove(dc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return 0;
  switch (index) {
    case TECHNOLOGY:
      return context->technology;
    case LOGPIXELSX:
    case LOGPIXELSY:
      return kDotsPerInch;
    default:
      pal::internal::Unsupported("GetDeviceCaps", "this index");
  }
}

int SaveDC(HDC dc) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return 0;
  context->saved.push_back(context->state);
  return static_cast<int>(context->saved.size());
}

BOOL RestoreDC(HDC dc, int saved) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return FALSE;
  const int depth = static_cast<int>(context->saved.size());
  const int level = saved < 0 ? depth + saved + 1 : saved;
  if (saved == 0 || level < 1 || level > depth) return FALSE;
  context->state = context->saved[static_cast<size_t>(level - 1)];
  context->saved.resize(static_cast<size_t>(level - 1));
  return TRUE;
}

int SelectClipRgn(HDC dc, HRGN region) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return ERROR;
  if (region == nullptr) {
    context->state.clip.reset();
    context->surface->Add("SelectClipRgn none");
    return SIMPLEREGION;
  }
  std::shared_ptr<Region> clip = Find<Region>(region);
  if (clip == nullptr) return ERROR;
  context->state.clip = clip->rect;
  context->surface->Add("SelectClipRgn " + Text(clip->rect));
  const bool empty = clip->rect.left == clip->rect.right || clip->rect.top == clip->rect.bottom;
  return empty ? NULLREGION : SIMPLEREGION;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return FALSE;
  context->surface->Add("Rectangle " + Text(RECT{left, top, right, bottom}) + " " + NameOf(context->state.pen) + " " +
                        NameOf(context->state.brush));
  return TRUE;
}

UINT SetTextAlign(HDC dc, UINT align) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return GDI_ERROR;
  context->surface->Add("SetTextAlign " + std::to_string(align));
  return std::exchange(context->state.textAlign, align);
}

UINT GetTextAlign(HDC dc) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  return context == nullptr ? GDI_ERROR : context->state.textAlign;
}

BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return FALSE;
  if ((context->state.textAlign & TA_UPDATECP) != 0) pal::internal::Unsupported("TextOutW", "TA_UPDATECP");
  if (count < 0 || (text == nullptr && count > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string_view written(text == nullptr ? u"" : text, static_cast<size_t>(count));
  context->surface->Add("TextOut " + Point(x, y) + " " + pal::internal::Utf8Of(written));
  return TRUE;
}

HDC CreateMetaFileW(LPCWSTR fileName) {
  if (fileName != nullptr) pal::internal::Unsupported("CreateMetaFileW", "metafiles on disk");
  return OpenDc(std::make_shared<Surface>(), DT_METAFILE);
}

HMETAFILE CloseMetaFile(HDC dc) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr || context->technology != DT_METAFILE) return nullptr;
  Remove(dc);
  return static_cast<HMETAFILE>(Insert(std::make_shared<Metafile>(context->surface)));
}

BOOL DeleteMetaFile(HMETAFILE metafile) {
  if (Find<Metafile>(metafile) == nullptr || !Remove(metafile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return FALSE;
  if (context->technology != DT_METAFILE && (x != 0 || y != 0))
    pal::internal::Unsupported("SetWindowOrgEx", "moving a display's origin");
  if (previous != nullptr) *previous = context->state.windowOrg;
  if (context->technology != DT_METAFILE) return TRUE;
  context->state.windowOrg = POINT{x, y};
  context->surface->Add("SetWindowOrgEx " + Point(x, y));
  return TRUE;
}

BOOL SetWindowExtEx(HDC dc, int x, int y, SIZE* previous) {
  std::shared_ptr<DeviceContext> context = Context(dc);
  if (context == nullptr) return FALSE;
  if (previous != nullptr) *previous = context->state.windowExt;
  if (context->technology != DT_METAFILE) return TRUE;  // MM_TEXT has no extents to set
  context->state.windowExt = SIZE{x, y};
  context->surface->Add("SetWindowExtEx " + Point(x, y));
  return TRUE;
}

std::vector<std::string> pal::DrawnOn(HDC dc) {
  std::shared_ptr<DeviceContext> context = Find<DeviceContext>(dc);
  return context == nullptr ? std::vector<std::string>{} : context->surface->Calls();
}

std::vector<std::string> pal::DrawnInMetafile(HMETAFILE metafile) {
  std::shared_ptr<Metafile> recorded = Find<Metafile>(metafile);
  return recorded == nullptr ? std::vector<std::string>{} : recorded->surface->Calls();
}
