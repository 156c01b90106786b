#include "oleaut32/typelib_model.h"

#include <cstdio>

#include "kernel32/utf16.h"

namespace pal::oleaut32 {
namespace {

std::u16string Text(const OLECHAR* text) { return std::u16string(internal::ViewOf(text)); }

bool IsParameterType(VARTYPE type) {
  const VARTYPE base = type & ~VT_BYREF;
  if ((type & ~(VT_BYREF | VT_TYPEMASK)) != 0) return false;
  return base == VT_I2 || base == VT_I4 || base == VT_UI4 || base == VT_BOOL || base == VT_BSTR || base == VT_UI1;
}

/// Why a method's parameters are malformed, or null.
const char* ParamProblem(const MethodData& method) {
  for (size_t i = 0; i < method.params.size(); ++i) {
    const ParamData& param = method.params[i];
    if (param.name == nullptr) return "a parameter has no name";
    if (!IsParameterType(param.type)) return "a parameter type is not one this layer can call with";
    if ((param.flags & ~(PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)) != 0) return "unsupported parameter flags";
    if ((param.flags & PARAMFLAG_FRETVAL) == 0) continue;
    if (i + 1 != method.params.size()) return "[retval] is not the last parameter";
    if ((param.flags & PARAMFLAG_FOUT) == 0 || (param.type & VT_BYREF) == 0) return "[retval] is not an [out] pointer";
  }
  return nullptr;
}

std::optional<size_t> IndexOfType(const TypeLibData& data, const IID& iid) {
  for (size_t i = 0; i < data.types.size(); ++i) {
    if (data.types[i].kind != TypeKind::kCoClass && IsEqualGUID(data.types[i].guid, iid)) return i;
  }
  return std::nullopt;
}

bool Refuse(const TypeLibData& data, const char* why) {
  std::fprintf(stderr, "pal: LoadTypeLib: type library %s: %s\n", internal::Utf8Of(internal::ViewOf(data.name)).c_str(), why);
  return false;
}

Kind KindOf(TypeKind kind) {
  switch (kind) {
    case TypeKind::kDualInterface: return Kind::kDual;
    case TypeKind::kDispInterface: return Kind::kDispatch;
    case TypeKind::kCoClass: return Kind::kCoClass;
  }
  return Kind::kCoClass;
}

bool CopyType(const TypeLibData& data, const TypeData& type, TypeEntry& entry) {
  if (type.name == nullptr) return Refuse(data, "a type has no name");
  entry = TypeEntry{KindOf(type.kind), type.guid, Text(type.name), Text(type.helpString), type.flags, {}, {}, {}, {}};
  for (const MethodData& method : type.methods) {
    if (method.name == nullptr) return Refuse(data, "a method has no name");
    if (const char* problem = ParamProblem(method)) return Refuse(data, problem);
    Method copy{Text(method.name), method.id, Text(method.helpString), {}};
    for (const ParamData& param : method.params) copy.params.push_back(Param{Text(param.name), param.type, param.flags});
    entry.methods.push_back(std::move(copy));
  }
  for (const ImplementedData& implemented : type.implemented) {
    const std::optional<size_t> index = implemented.iid == nullptr ? std::nullopt : IndexOfType(data, *implemented.iid);
    if (!index) return Refuse(data, "a class implements an interface that the library does not define");
    entry.implemented.push_back(Implemented{*index, implemented.flags});
  }
  return true;
}

}  // namespace

size_t InheritedSlots(const Library& library, const TypeEntry& entry) {
  if (entry.kind == Kind::kDual || entry.kind == Kind::kDispatch) return kDispatchSlots;
  if (entry.kind != Kind::kInterface || !entry.base) return 0;
  const TypeEntry& base = library.types[*entry.base];
  return InheritedSlots(library, base) + base.methods.size();
}

std::optional<Library> LibraryOf(const TypeLibData& data) {
  Library library{data.guid, data.majorVersion, data.minorVersion, data.lcid, data.flags, Text(data.name), Text(data.helpString), {}};
  if (data.name == nullptr) {
    Refuse(data, "the library has no name");
    return std::nullopt;
  }
  library.types.resize(data.types.size());
  for (size_t i = 0; i < data.types.size(); ++i) {
    if (!CopyType(data, data.types[i], library.types[i])) return std::nullopt;
  }
  return library;
}

}  // namespace pal::oleaut32
