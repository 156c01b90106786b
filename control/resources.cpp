// The resource table that the module exports in place of a resource section.
#include "control/resources.h"

#include <iterator>
#include <string>

#include "control/export.h"
#include "control/registry_scripts.h"
#include "control/toolbox_bitmap.h"
#include "control/type_library.h"
#include "pal/libloader.h"

namespace prowlnet::control {
namespace {

constexpr char16_t kProjectName[] = u"Prowlnet";

/// The bytes of a UTF-16 text without its terminator.
DWORD TextBytes(const char16_t* text) {
  return static_cast<DWORD>(std::char_traits<char16_t>::length(text) * sizeof(char16_t));
}

const pal::ResourceSection& Section() {
  static const pal::ResourceEntry entries[] = {
      {u"TYPELIB", 0, kTypeLibResource, LANG_CHINESE_PRC, &kProwlnetLib, sizeof kProwlnetLib},
      {nullptr, RT_STRING_NUMBER, kProjectNameString, LANG_CHINESE_PRC, kProjectName, TextBytes(kProjectName)},
      {u"REGISTRY", 0, kApplicationScriptResource, LANG_CHINESE_PRC, kApplicationScript, TextBytes(kApplicationScript)},
      {nullptr, RT_BITMAP_NUMBER, kToolboxBitmapResource, LANG_CHINESE_PRC, kToolboxBitmap, sizeof kToolboxBitmap},
      {u"REGISTRY", 0, kClassScriptResource, LANG_CHINESE_PRC, kClassScript, TextBytes(kClassScript)},
  };
  static const pal::ResourceSection section = {entries, std::size(entries)};
  return section;
}

}  // namespace
}  // namespace prowlnet::control

PROWLNET_EXPORT const pal::ResourceSection* PalResourceSection() { return &prowlnet::control::Section(); }
