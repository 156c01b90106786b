// The registrar's script reader: the grammar with replacements in it, on any script text.
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

/// No key comes out of a script without a name.
void CheckEntries(const std::vector<ScriptEntry>& entries) {
  for (const ScriptEntry& entry : entries) {
    FUZZ_CHECK(entry.isNamedValue || !entry.name.empty());
    CheckEntries(entry.entries);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::u16string script(data, data + size);  // each byte one character
  if (NamesUnimplemented(script)) return -1;
  // Replacements with the script's own quotes, braces, white space and a key path in them.
  static const Replacements kReplacements = {
      {u"MODULE", u"/opt/odd'dir {x} = s 'y'/viewer.so"},
      {u"CLSID", u"{5D1F1A10-4C2B-4E7A-9B11-2A6E0C517DA1}"},
      {u"PROGID", u"Camera\\Viewer"},
      {u"APPID", u"{5D1F1A14-4C2B-4E7A-9B11-2A6E0C517DA1}"},
  };
  static const Replacements kNone;
  for (const Replacements* replacements : {&kReplacements, &kNone}) {
    const std::optional<std::vector<ScriptRoot>> roots = ParseScript(script, *replacements);
    if (!roots) continue;
    for (const ScriptRoot& root : *roots) {
      FUZZ_CHECK(root.key != nullptr);
      CheckEntries(root.entries);
    }
  }
  return 0;
}
