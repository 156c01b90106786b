// A type library as this layer keeps it: an owned copy of a module's constant data, checked once
// when it is loaded, so that it outlives the module.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pal/typelib_data.h"

namespace pal::oleaut32 {

struct Param {
  std::u16string name;
  VARTYPE type;  // VT_BYREF added for a pointer
  USHORT flags;
};

struct Method {
  std::u16string name;
  DISPID id;
  std::u16string help;
  std::vector<Param> params;
  /// True when the last parameter carries the result ([out, retval]).
  bool HasRetval() const { return !params.empty() && (params.back().flags & PARAMFLAG_FRETVAL) != 0; }
  /// Parameters a caller passes: all but the result.
  size_t ArgumentCount() const { return params.size() - (HasRetval() ? 1 : 0); }
};

struct Implemented {
  size_t type;  // index in the library
  INT flags;
};

struct TypeEntry {
  TypeKind kind;
  GUID guid;
  std::u16string name;
  std::u16string help;
  WORD flags;
  std::vector<Method> methods;
  std::vector<Implemented> implemented;
};

struct Library {
  GUID guid;
  WORD major;
  WORD minor;
  LCID lcid;
  WORD flags;
  std::u16string name;
  std::u16string help;
  std::vector<TypeEntry> types;
};

/// The owned form of `data`, or nothing (with the reason on stderr) when the data is malformed.
std::optional<Library> LibraryOf(const TypeLibData& data);

/// Virtual function slots of IUnknown and IDispatch before a dual interface's own methods.
constexpr unsigned kDispatchSlots = 7;

}  // namespace pal::oleaut32
