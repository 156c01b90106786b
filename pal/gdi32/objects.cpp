// The GDI handle table, stock pens and brushes, regions and selection.
#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "gdi.h"
#include "internal/loud.h"
#include "pal/kernel32.h"

namespace pal::gdi32 {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<UINT_PTR, std::shared_ptr<GdiObject>> objects;
  UINT_PTR next = 0x20000;  // multiples of 4, as handles are
};

Table& TheTable() {
  static auto* table = new Table;  // lives as long as the process: threads may outlast main
  return *table;
}

/// The stock objects, in the order of their indexes; their addresses are their handles.
constexpr const char* kStockNames[] = {"WHITE_BRUSH", "LTGRAY_BRUSH", "GRAY_BRUSH", "DKGRAY_BRUSH", "BLACK_BRUSH",
                                       "NULL_BRUSH",  "WHITE_PEN",    "BLACK_PEN",  "NULL_PEN"};
constexpr int kStockCount = sizeof kStockNames / sizeof kStockNames[0];
char stockObjects[kStockCount];

int StockIndexOf(HGDIOBJ object) {
  for (int i = 0; i < kStockCount; ++i)
    if (object == &stockObjects[i]) return i;
  return -1;
}

bool IsPen(int stockIndex) { return stockIndex >= WHITE_PEN; }

}  // namespace

void Surface::Add(std::string call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<std::string> Surface::Calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::shared_ptr<GdiObject> FindObject(const void* handle) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<UINT_PTR>(handle));
  return found == table.objects.end() ? nullptr : found->second;
}

void* Insert(std::shared_ptr<GdiObject> object) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  const UINT_PTR value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<void*>(value);
}

bool Remove(const void* handle) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  return table.objects.erase(reinterpret_cast<UINT_PTR>(handle)) == 1;
}

std::string NameOf(HGDIOBJ object) {
  if (const int stock = StockIndexOf(object); stock >= 0) return kStockNames[stock];
  const auto value = reinterpret_cast<UINT_PTR>(object);
  char text[32];
  std::snprintf(text, sizeof text, "brush@%#llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Text(const RECT& rect) {
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", rect.left, rect.top, rect.right, rect.bottom);
  return text;
}

}  // namespace pal::gdi32

using namespace pal::gdi32;

HGDIOBJ GetStockObject(int index) {
  if (index < 0 || index >= kStockCount) pal::internal::Unsupported("GetStockObject", "stock objects other than pens and brushes");
  return &stockObjects[index];
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  const int stock = StockIndexOf(object);
  if (stock < 0) pal::internal::Unsupported("SelectObject", "objects other than the stock pens and brushes");
  std::shared_ptr<DeviceContext> context = Find<DeviceContext>(dc);
  if (context == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ& slot = IsPen(stock) ? context->state.pen : context->state.brush;
  return std::exchange(slot, object);
}

BOOL DeleteObject(HGDIOBJ object) {
  if (StockIndexOf(object) >= 0) return TRUE;
  if (Find<Region>(object) == nullptr) return FALSE;
  return Remove(object) ? TRUE : FALSE;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  // Windows orders the corners, so that a region is never inside out.
  const RECT rect{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  return static_cast<HRGN>(Insert(std::make_shared<Region>(rect)));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
  if (rect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}
