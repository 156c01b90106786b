// A type library as this layer keeps it: an owned copy of a module's constant data, checked once
// when it is loaded, so that it outlives the module.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pal/typelib_data.h"

namespace pal::oleaut32 {

/// What a type of a library is. Modules define dual and dispatch interfaces and classes; the
/// standard library's own types are plain interfaces (IUnknown, IDispatch) and records.
enum class Kind { kDual, kDispatch, kCoClass, kInterface, kRecord };

/// A declared type: `type`, VT_BYREF added for a pointer, under `morePointers` further levels of
/// pointer; VT_USERDEFINED names type `userType` of the same library.
struct Param {
  std::u16string name;
  VARTYPE type;
  USHORT flags;
  unsigned char morePointers = 0;
  size_t userType = 0;
};

struct Method {
  std::u16string name;
  DISPID id;
  std::u16string help;
  std::vector<Param> params;
  /// The type of what the vtable method returns.
  VARTYPE result = VT_HRESULT;
  WORD funcFlags = 0;
  /// True when the last parameter carries the result ([out, retval]).
  bool HasRetval() const { return !params.empty() && (params.back().flags & PARAMFLAG_FRETVAL) != 0; }
  /// Parameters a caller passes: all but the result.
  size_t ArgumentCount() const { return params.size() - (HasRetval() ? 1 : 0); }
};

/// A field of a record, at `offset`, declared as a Param declares its type; `elements` > 0 makes
/// it a fixed array of that many.
struct Field {
  std::u16string name;
  VARTYPE type;
  ULONG offset;
  USHORT elements = 0;
  unsigned char morePointers = 0;
  size_t userType = 0;
};

struct Implemented {
  size_t type;  // index in the library
  INT flags;
};

struct TypeEntry {
  Kind kind;
  GUID guid;
  std::u16string name;
  std::u16string help;
  WORD flags;
  std::vector<Method> methods;
  std::vector<Implemented> implemented;
  /// A plain interface's base, by index in the library.
  std::optional<size_t> base;
  std::vector<Field> fields;
  /// A record's size and alignment.
  ULONG size = 0;
  WORD alignment = 0;
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

/// The vtable slots that come before the type's own methods: those of its bases.
size_t InheritedSlots(const Library& library, const TypeEntry& entry);

/// The first member of a record numbers its fields from here, as MIDL numbers them.
constexpr MEMBERID kFirstFieldId = 0x40000000;

}  // namespace pal::oleaut32
