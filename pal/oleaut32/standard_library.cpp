// stdole2, the standard OLE automation library, as far as the types of this layer refer to it:
// IDispatch, the base of every dual and dispatch interface, with IUnknown below it and the
// records their methods take, each described as stdole2 describes it.
#include <cstddef>

#include "oleaut32/typelib.h"

namespace pal::oleaut32 {
namespace {

constexpr GUID kStdOleLibrary = {0x00020430, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The types in library order.
constexpr size_t kGuid = 0;
constexpr size_t kDispParams = 1;
constexpr size_t kExcepInfo = 2;
constexpr size_t kIUnknown = 3;
static_assert(kStandardIDispatch == 4);

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOut = PARAMFLAG_FOUT;
constexpr VARTYPE kRecordPointer = VT_USERDEFINED | VT_BYREF;

/// A record described by its fields, with the size and alignment of the structure `T`.
template <typename T>
TypeEntry Record(const char16_t* name, std::vector<Field> fields) {
  TypeEntry entry{Kind::kRecord, GUID_NULL, name, u"", 0, {}, {}, {}, std::move(fields)};
  entry.size = sizeof(T);
  entry.alignment = alignof(T);
  return entry;
}

Method Restricted(const char16_t* name, DISPID id, std::vector<Param> params, VARTYPE result = VT_HRESULT) {
  return Method{name, id, u"", std::move(params), result, FUNCFLAG_FRESTRICTED};
}

TypeEntry IUnknownEntry() {
  TypeEntry entry{Kind::kInterface, IID_IUnknown, u"IUnknown", u"", TYPEFLAG_FHIDDEN, {}, {}, {}, {}};
  entry.methods = {
      Restricted(u"QueryInterface", 0x60000000,
                 {{u"riid", kRecordPointer, kIn, 0, kGuid}, {u"ppvObj", VT_VOID | VT_BYREF, kOut, 1}}),
      Restricted(u"AddRef", 0x60000001, {}, VT_UI4),
      Restricted(u"Release", 0x60000002, {}, VT_UI4),
  };
  return entry;
}

TypeEntry IDispatchEntry() {
  TypeEntry entry{Kind::kInterface, IID_IDispatch, u"IDispatch", u"", TYPEFLAG_FRESTRICTED, {}, {}, kIUnknown, {}};
  entry.methods = {
      Restricted(u"GetTypeInfoCount", 0x60010000, {{u"pctinfo", VT_UINT | VT_BYREF, kOut}}),
      Restricted(u"GetTypeInfo", 0x60010001,
                 {{u"itinfo", VT_UINT, kIn}, {u"lcid", VT_UI4, kIn}, {u"pptinfo", VT_VOID | VT_BYREF, kOut, 1}}),
      Restricted(u"GetIDsOfNames", 0x60010002,
                 {{u"riid", kRecordPointer, kIn, 0, kGuid},
                  {u"rgszNames", VT_I1 | VT_BYREF, kIn, 1},
                  {u"cNames", VT_UINT, kIn},
                  {u"lcid", VT_UI4, kIn},
                  {u"rgdispid", VT_I4 | VT_BYREF, kOut}}),
      Restricted(u"Invoke", 0x60010003,
                 {{u"dispidMember", VT_I4, kIn},
                  {u"riid", kRecordPointer, kIn, 0, kGuid},
                  {u"lcid", VT_UI4, kIn},
                  {u"wFlags", VT_UI2, kIn},
                  {u"pdispparams", kRecordPointer, kIn, 0, kDispParams},
                  {u"pvarResult", VT_VARIANT | VT_BYREF, kOut},
                  {u"pexcepinfo", kRecordPointer, kOut, 0, kExcepInfo},
                  {u"puArgErr", VT_UINT | VT_BYREF, kOut}}),
  };
  return entry;
}

Library StandardLibraryData() {
  Library library{kStdOleLibrary, 2, 0, 0, 0, u"stdole", u"OLE Automation", {}};
  library.types = {
      Record<GUID>(u"GUID", {{u"Data1", VT_UI4, offsetof(GUID, Data1)},
                             {u"Data2", VT_UI2, offsetof(GUID, Data2)},
                             {u"Data3", VT_UI2, offsetof(GUID, Data3)},
                             {u"Data4", VT_UI1, offsetof(GUID, Data4), 8}}),
      Record<DISPPARAMS>(u"DISPPARAMS", {{u"rgvarg", VT_VARIANT | VT_BYREF, offsetof(DISPPARAMS, rgvarg)},
                                         {u"rgdispidNamedArgs", VT_I4 | VT_BYREF, offsetof(DISPPARAMS, rgdispidNamedArgs)},
                                         {u"cArgs", VT_UINT, offsetof(DISPPARAMS, cArgs)},
                                         {u"cNamedArgs", VT_UINT, offsetof(DISPPARAMS, cNamedArgs)}}),
      Record<EXCEPINFO>(u"EXCEPINFO", {{u"wCode", VT_UI2, offsetof(EXCEPINFO, wCode)},
                                       {u"wReserved", VT_UI2, offsetof(EXCEPINFO, wReserved)},
                                       {u"bstrSource", VT_BSTR, offsetof(EXCEPINFO, bstrSource)},
                                       {u"bstrDescription", VT_BSTR, offsetof(EXCEPINFO, bstrDescription)},
                                       {u"bstrHelpFile", VT_BSTR, offsetof(EXCEPINFO, bstrHelpFile)},
                                       {u"dwHelpContext", VT_UI4, offsetof(EXCEPINFO, dwHelpContext)},
                                       {u"pvReserved", VT_VOID | VT_BYREF, offsetof(EXCEPINFO, pvReserved)},
                                       {u"pfnDeferredFillIn", VT_VOID | VT_BYREF, offsetof(EXCEPINFO, pfnDeferredFillIn)},
                                       {u"scode", VT_ERROR, offsetof(EXCEPINFO, scode)}}),
      IUnknownEntry(),
      IDispatchEntry(),
  };
  return library;
}

}  // namespace

TypeLib& StandardLibrary() {
  static TypeLib* const library = new TypeLib(StandardLibraryData());  // its one reference is never let go
  return *library;
}

}  // namespace pal::oleaut32
