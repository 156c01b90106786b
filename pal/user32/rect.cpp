// Rectangle arithmetic.
#include <algorithm>

#include "pal/user32.h"

namespace {

bool IsEmpty(const RECT& rect) { return rect.left >= rect.right || rect.top >= rect.bottom; }

}  // namespace

BOOL IntersectRect(LPRECT result, const RECT* a, const RECT* b) {
  if (result == nullptr || a == nullptr || b == nullptr) return FALSE;
  const RECT overlap{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
                     std::min(a->bottom, b->bottom)};
  if (IsEmpty(*a) || IsEmpty(*b) || IsEmpty(overlap)) {
    *result = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *result = overlap;
  return TRUE;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
  if (a == nullptr || b == nullptr) return FALSE;
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL OffsetRect(LPRECT rect, int dx, int dy) {
  if (rect == nullptr) return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}

BOOL PtInRect(const RECT* rect, POINT point) {
  if (rect == nullptr) return FALSE;
  return point.x >= rect->left && point.x < rect->right && point.y >= rect->top && point.y < rect->bottom;
}
