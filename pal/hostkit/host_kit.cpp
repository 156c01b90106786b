#include "pal/host_kit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "pal/kernel32.h"
#include "pal/user32.h"

namespace ATL::detail {

void AddressOfNonEmpty(const char* type) {
  std::fprintf(stderr, "pal: the address of a %s that still holds a value was taken; it would leak\n", type);
  std::abort();
}

}  // namespace ATL::detail

namespace ATL {

CComBSTR::CComBSTR(LPCSTR text) {
  if (text == nullptr) return;
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return;
  m_str = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (m_str != nullptr) MultiByteToWideChar(CP_ACP, 0, text, -1, m_str, length);
}

}  // namespace ATL

namespace pal {
namespace {

void DispatchWaiting() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    DispatchWaiting();
    if (done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<long>(left.count(), 5)), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

std::string Utf8FromBstr(BSTR text) {
  const int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
  return result;
}

ATL::CComBSTR BstrFromUtf8(std::string_view text) {
  ATL::CComBSTR result(0, u"");
  if (text.empty()) return result;
  const int bytes = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
  result.Attach(SysAllocStringLen(nullptr, static_cast<UINT>(std::max(length, 0))));
  if (result.m_str != nullptr) MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, result.m_str, length);
  return result;
}

}  // namespace pal
