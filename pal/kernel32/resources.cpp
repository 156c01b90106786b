// Resources: the table a module exports in place of a resource section, searched by type,
// number and language.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "internal/loud.h"
#include "pal/kernel32.h"
#include "pal/libloader.h"

namespace {

/// ASCII letters compare without regard to case, as resource type names do.
bool SameName(LPCWSTR a, LPCWSTR b) {
  for (;; ++a, ++b) {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    if (lower(*a) != lower(*b)) return false;
    if (*a == u'\0') return true;
  }
}

bool TypeMatches(const pal::ResourceEntry& entry, LPCWSTR type) {
  if (IS_INTRESOURCE(type)) return entry.typeName == nullptr && entry.typeNumber == reinterpret_cast<ULONG_PTR>(type);
  return entry.typeName != nullptr && SameName(entry.typeName, type);
}

const pal::ResourceSection* SectionOf(HMODULE module) {
  if (module == nullptr) return nullptr;  // the program carries no resources
  const auto entry = reinterpret_cast<pal::LPFNRESOURCESECTION>(dlsym(module, pal::kResourceSectionEntry));
  return entry == nullptr ? nullptr : entry();
}

WORD NumberOf(LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) pal::internal::Unsupported("FindResourceW", "a resource named by text");
  return static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
}

/// The entry of `type` and `number`: in `language` when one is given, else language-neutral
/// first and then any. Null with the Windows error for what was not found.
const pal::ResourceEntry* Find(HMODULE module, LPCWSTR type, WORD number, const WORD* language) {
  const pal::ResourceSection* section = SectionOf(module);
  if (section == nullptr) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const pal::ResourceEntry* begin = section->entries;
  const pal::ResourceEntry* end = begin + section->count;
  if (std::none_of(begin, end, [&](const pal::ResourceEntry& e) { return TypeMatches(e, type); })) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  const pal::ResourceEntry* neutral = nullptr;
  const pal::ResourceEntry* any = nullptr;
  for (const pal::ResourceEntry* e = begin; e != end; ++e) {
    if (!TypeMatches(*e, type) || e->number != number) continue;
    if (language != nullptr) {
      if (e->language == *language) return e;
      continue;
    }
    if (e->language == LANG_NEUTRAL_DEFAULT && neutral == nullptr) neutral = e;
    if (any == nullptr) any = e;
  }
  const pal::ResourceEntry* found = neutral != nullptr ? neutral : any;
  if (found == nullptr) SetLastError(language != nullptr ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
  return found;
}

HRSRC AsHandle(const pal::ResourceEntry* entry) {
  return reinterpret_cast<HRSRC>(const_cast<pal::ResourceEntry*>(entry));
}

const pal::ResourceEntry* EntryOf(HRSRC resource) { return reinterpret_cast<const pal::ResourceEntry*>(resource); }

void RefuseStringTables(LPCWSTR type) {
  if (IS_INTRESOURCE(type) && reinterpret_cast<ULONG_PTR>(type) == RT_STRING_NUMBER)
    pal::internal::Unsupported("FindResourceW", "string tables (read strings with LoadStringW)");
}

}  // namespace

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  RefuseStringTables(type);
  return AsHandle(Find(module, type, NumberOf(name), nullptr));
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  RefuseStringTables(type);
  return AsHandle(Find(module, type, NumberOf(name), &language));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<void*>(EntryOf(resource)->data);
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return EntryOf(resource)->size;
}

int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size) {
  if (buffer == nullptr || size < 0 || id > 0xFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const pal::ResourceEntry* entry = Find(module, RT_STRING(), static_cast<WORD>(id), nullptr);
  if (entry == nullptr) return 0;
  const auto* text = static_cast<const WCHAR*>(entry->data);
  const int length = static_cast<int>(entry->size / sizeof(WCHAR));
  if (size == 0) {
    // The caller receives a read-only pointer to the string, which is not terminated.
    std::memcpy(buffer, &text, sizeof text);
    return length;
  }
  const int copied = std::min(length, size - 1);
  std::copy_n(text, copied, buffer);
  buffer[copied] = u'\0';
  return copied;
}
