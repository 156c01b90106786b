#include "engine/ansi_text.h"

#include <new>

#include "pal/winnls.h"

namespace prowlnet {

BSTR BstrFromAnsi(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);  // with the terminator
  if (length <= 0) return nullptr;
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (result == nullptr) return nullptr;
  MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
  return result;
}

std::unique_ptr<char[]> AnsiFromBstr(BSTR text) {
  if (text == nullptr) return nullptr;
  const int characters = static_cast<int>(SysStringLen(text));
  const int bytes = characters == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text, characters, nullptr, 0, nullptr, nullptr);
  std::unique_ptr<char[]> result(new (std::nothrow) char[static_cast<size_t>(bytes) + 1]);
  if (result == nullptr) return nullptr;
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, characters, result.get(), bytes, nullptr, nullptr);
  result[bytes] = '\0';
  return result;
}

void StoreOrFree(BSTR result, BSTR* out) {
  if (out != nullptr) {
    *out = result;
  } else {
    SysFreeString(result);
  }
}

}  // namespace prowlnet
