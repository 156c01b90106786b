// A type library as constant data that a module defines in C++, in place of the compiled type
// library resource of a Windows module.
//
// The module lists the library in its resource table (pal/libloader.h) as a resource of type
// "TYPELIB" whose data is the TypeLibData, numbered 1 for the module's first. LoadTypeLib on the
// module's path finds it there, so a module registers its own library in DllRegisterServer with
// LoadTypeLib(path of the module) and RegisterTypeLib.
//
// Types follow the library's order. A dual interface appears as a dispatch type (TKIND_DISPATCH,
// TYPEFLAG_FDUAL) whose GetRefTypeOfImplType(-1) is its vtable form (TKIND_INTERFACE); its
// methods occupy the vtable slots after the seven of IDispatch, in the order given here.
//
// What a type browser walks is there as on Windows: the base of every dual and dispatch
// interface (GetRefTypeOfImplType(0)) is IDispatch as the standard library stdole2 describes it,
// with IUnknown below it and the records its methods take (GUID, DISPPARAMS, EXCEPINFO), in a
// library "stdole" 2.0 that holds only those; ITypeInfo::GetTypeComp binds the names of a type's
// members and its bases' members, ITypeLib::GetTypeComp the names of its types, and
// ITypeLib::IsName and FindName match types and members, all without regard to ASCII letter case.
// ITypeInfo::Invoke calls a dual interface's methods only: through a dispatch-only or a plain
// interface's type information, where Windows calls the object's own IDispatch or its vtable, it
// answers E_NOTIMPL, as it does for an argument of a type that VariantChangeType here does not
// convert.
#pragma once

#include <span>

#include "pal/oaidl.h"

namespace pal {

struct ParamData {
  const OLECHAR* name;
  /// VT_I2, VT_I4, VT_UI4, VT_BOOL, VT_BSTR or VT_UI1, with VT_BYREF added for a pointer to one.
  VARTYPE type;
  /// PARAMFLAG_FIN, or PARAMFLAG_FOUT with PARAMFLAG_FRETVAL for the last parameter that carries
  /// the result.
  USHORT flags;
};

struct MethodData {
  const OLECHAR* name;
  DISPID id;
  const OLECHAR* helpString;
  std::span<const ParamData> params;
};

enum class TypeKind {
  kDualInterface,  // derives from IDispatch; called through its vtable or by dispatch
  kDispInterface,  // dispatch only, such as an event interface
  kCoClass,
};

struct ImplementedData {
  const IID* iid;  // an interface of the same library
  INT flags;       // IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FSOURCE
};

struct TypeData {
  TypeKind kind;
  GUID guid;
  const OLECHAR* name;
  const OLECHAR* helpString;
  WORD flags;  // TYPEFLAG_*: for example FCANCREATE | FCONTROL for a control class
  std::span<const MethodData> methods;          // interfaces
  std::span<const ImplementedData> implemented;  // classes
};

struct TypeLibData {
  GUID guid;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
  const OLECHAR* name;
  const OLECHAR* helpString;
  WORD flags;  // LIBFLAG_*
  std::span<const TypeData> types;
};

}  // namespace pal
