// The registrar's script reader: replacements, then the grammar, on any script text.
#include <map>
#include <string>
#include <string_view>

#include "atl/registry_script.h"
#include "fuzz_input.h"

using namespace pal::atl;

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

/// Whether a script names a root key or a value kind that the registrar does not implement and
/// stops the process for, by design. Words are read as the registrar reads them: white space
/// between them, a leading single quote opening a quoted string in which '' is one quote.
bool NamesUnimplemented(std::u16string_view script) {
  static const std::u16string_view kRefused[] = {u"HKU", u"HKEY_USERS", u"HKCC", u"HKEY_CURRENT_CONFIG",
                                                 u"HKPD", u"HKDD", u"M", u"B"};
  size_t at = 0;
  while (at < script.size()) {
    if (IsSpace(script[at])) {
      ++at;
      continue;
    }
    if (script[at] == u'\'') {
      for (++at; at < script.size(); ++at) {
        if (script[at] != u'\'') continue;
        if (at + 1 < script.size() && script[at + 1] == u'\'') {
          ++at;
          continue;
        }
        ++at;
        break;
      }
      continue;
    }
    std::u16string word;
    while (at < script.size() && !IsSpace(script[at])) word += Upper(script[at++]);
    for (std::u16string_view refused : kRefused) {
      if (word == refused) return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::u16string script(data, data + size);  // each byte one character
  if (NamesUnimplemented(script)) return -1;
  static const std::map<std::u16string, std::u16string> kReplacements = {
      {u"MODULE", u"/opt/cameras/viewer.so"},
      {u"CLSID", u"{5D1F1A10-4C2B-4E7A-9B11-2A6E0C517DA1}"},
      {u"PROGID", u"Camera.Viewer"},
      {u"APPID", u"{5D1F1A14-4C2B-4E7A-9B11-2A6E0C517DA1}"},
  };
  const std::optional<std::u16string> expanded = Expand(script, kReplacements);
  const std::optional<std::vector<ScriptRoot>> roots = ParseScript(expanded ? *expanded : script);
  if (roots) {
    for (const ScriptRoot& root : *roots) FUZZ_CHECK(root.key != nullptr);
  }
  return 0;
}
