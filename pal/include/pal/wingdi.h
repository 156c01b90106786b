// GDI: device contexts, the stock pens and brushes, rectangular clip regions, text output and
// recorded pictures (metafiles).
//
// There is no display and nothing is rasterised. A device context draws onto a surface that keeps
// the drawing calls that reached it, in order, so that a test can read back what was drawn
// (pal::DrawnOn and its relatives below). A memory device context (CreateCompatibleDC) has a
// surface of its own; the device context of a window (GetDC, BeginPaint) draws onto the window's
// surface; a metafile device context draws into its metafile. Differences that callers see:
// - Logical units are device units: the mapping mode is MM_TEXT with both origins at (0, 0), and
//   no call here changes that on a display device context.
// - Pens and brushes are the stock ones (GetStockObject); regions are rectangles.
// - A surface records a call whole: a clip region changes what a real device shows, not what is
//   recorded.
#pragma once

#include <string>
#include <vector>

#include "pal/windef.h"

// ---- stock objects and selection ---------------------------------------------------------------

constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;

/// The stock pens and brushes, WHITE_BRUSH to NULL_PEN.
HGDIOBJ GetStockObject(int index);
/// Selects a pen or a brush into the device context; the one it replaces, or null.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
/// Deletes a region; stock objects are never deleted (TRUE all the same).
BOOL DeleteObject(HGDIOBJ object);

// ---- device contexts ---------------------------------------------------------------------------

constexpr int TECHNOLOGY = 2;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_METAFILE = 5;

/// A memory device context with a surface of its own; `dc` is only a model and may be null.
/// A new device context has BLACK_PEN, WHITE_BRUSH, TA_LEFT | TA_TOP and no clip region.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
/// TECHNOLOGY (DT_RASDISPLAY, or DT_METAFILE), LOGPIXELSX and LOGPIXELSY (96 dots an inch).
int GetDeviceCaps(HDC dc, int index);
/// Pushes the selected objects, text alignment and clip region; the new depth, from 1.
int SaveDC(HDC dc);
/// Pops back to depth `saved`, or `-saved` levels back when it is negative.
BOOL RestoreDC(HDC dc, int saved);

// ---- regions and clipping ----------------------------------------------------------------------

constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
/// Clips to a copy of `region` (the caller keeps and deletes its region); a null region removes
/// the clip. NULLREGION for an empty clip, SIMPLEREGION otherwise, ERROR for a bad handle.
int SelectClipRgn(HDC dc, HRGN region);

// ---- drawing -----------------------------------------------------------------------------------

constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
constexpr UINT GDI_ERROR = 0xFFFFFFFF;

/// Outlines with the current pen and fills with the current brush.
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
/// The alignment it replaces, or GDI_ERROR.
UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
/// Writes `count` characters of `text`, anchored at (x, y) as the text alignment says.
BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count);

// ---- metafiles ---------------------------------------------------------------------------------

constexpr LONG MM_ANISOTROPIC = 8;

struct METAFILEPICT {
  LONG mm;
  LONG xExt;
  LONG yExt;
  HMETAFILE hMF;
};
using LPMETAFILEPICT = METAFILEPICT*;

/// A device context that records into a new metafile in memory; only a null file name.
HDC CreateMetaFileW(LPCWSTR fileName);
/// Ends the recording and deletes the device context; the metafile, or null.
HMETAFILE CloseMetaFile(HDC dc);
BOOL DeleteMetaFile(HMETAFILE metafile);
/// In a metafile these set the picture's logical window, which the player maps onto its
/// rectangle; a display device context takes only (0, 0) for the origin and ignores the extent
/// (MM_TEXT), as Windows does.
BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous);
BOOL SetWindowExtEx(HDC dc, int x, int y, SIZE* previous);

// ---- reading back what was drawn (this layer's own) --------------------------------------------

namespace pal {

/// The drawing calls that reached a surface, one line each, in order:
///   "SelectClipRgn 0,0,200,100" or "SelectClipRgn none"
///   "Rectangle 0,0,200,100 BLACK_PEN WHITE_BRUSH" (the selected pen and brush)
///   "FillRect 0,0,100,100 COLOR_WINDOW" (a stock brush by name, a system colour by its index)
///   "SetTextAlign 24"
///   "TextOut 100,50 ATL 8.0 : CProwlnet" (the text in UTF-8)
///   "SetWindowOrgEx 0,0", "SetWindowExtEx 200,100" (metafiles only)
std::vector<std::string> DrawnOn(HDC dc);
std::vector<std::string> DrawnOnWindow(HWND window);
std::vector<std::string> DrawnInMetafile(HMETAFILE metafile);

}  // namespace pal
