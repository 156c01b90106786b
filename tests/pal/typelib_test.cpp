// Type libraries carried by a module as data: what automation hosts read from them, and their
// registration.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "com_server/cam_test.h"
#include "pal/oleauto.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"

namespace {

using com_server::kServerA;
using test_support::KeysBelow;
using test_support::StringValue;

std::u16string Path(const char* path) { return test_support::Wide(path); }

std::u16string Taken(BSTR text) {
  std::u16string out = text == nullptr ? u"<null>" : std::u16string(text, SysStringLen(text));
  SysFreeString(text);
  return out;
}

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(LoadTypeLib(Path(COM_SERVER_A_PATH).c_str(), &lib_), S_OK); }
  void TearDown() override {
    if (lib_ != nullptr) lib_->Release();
  }

  /// The type information of the dual interface, in its dispatch form.
  ITypeInfo* Interface() {
    ITypeInfo* info = nullptr;
    EXPECT_EQ(lib_->GetTypeInfoOfGuid(kServerA.iid, &info), S_OK);
    return info;
  }

  ITypeLib* lib_ = nullptr;
};

TEST_F(TypeLibrary, DescribesTheLibraryAndItsTypesInOrder) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, kServerA.libid));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  lib_->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(lib_->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
  EXPECT_EQ(Taken(name), u"CamTestLib");
  EXPECT_EQ(Taken(doc), u"CamTest 1.0 \u7c7b\u578b\u5e93") << "help strings keep their Chinese text";

  ASSERT_EQ(lib_->GetTypeInfoCount(), 3u);
  const std::u16string names[] = {u"_ICamTestEvents", u"CamTest", u"ICamTest"};
  const TYPEKIND kinds[] = {TKIND_DISPATCH, TKIND_COCLASS, TKIND_DISPATCH};
  for (UINT i = 0; i < 3; ++i) {
    ASSERT_EQ(lib_->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Taken(name), names[i]);
    TYPEKIND kind;
    ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
    EXPECT_EQ(kind, kinds[i]);
  }
  ITypeInfo* info = nullptr;
  EXPECT_EQ(lib_->GetTypeInfo(3, &info), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(TypeLibrary, ADualInterfaceShowsItsDispatchAndVtableForms) {
  ITypeInfo* dispatch = Interface();
  ASSERT_NE(dispatch, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(dispatch->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 7);
  EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FDUAL, 0);
  dispatch->ReleaseTypeAttr(attr);

  HREFTYPE ref = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ITypeInfo* vtable = nullptr;
  ASSERT_EQ(dispatch->GetRefTypeInfo(ref, &vtable), S_OK);
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cbSizeVft, (7 + 7) * sizeof(void*));
  vtable->ReleaseTypeAttr(attr);

  FUNCDESC* func = nullptr;
  ASSERT_EQ(vtable->GetFuncDesc(2, &func), S_OK);  // Describe(name, port, [out, retval] text)
  EXPECT_EQ(func->memid, 4);
  EXPECT_EQ(func->funckind, FUNC_PUREVIRTUAL);
  EXPECT_EQ(func->oVft, static_cast<SHORT>(9 * sizeof(void*)));
  EXPECT_EQ(func->cParams, 3);
  EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
  EXPECT_EQ(func->lprgelemdescParam[2].tdesc.vt, VT_PTR);
  EXPECT_EQ(func->lprgelemdescParam[2].tdesc.lptdesc->vt, VT_BSTR);
  EXPECT_EQ(func->lprgelemdescParam[2].paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
  vtable->ReleaseFuncDesc(func);
  vtable->Release();

  ASSERT_EQ(dispatch->GetFuncDesc(2, &func), S_OK);
  EXPECT_EQ(func->funckind, FUNC_DISPATCH);
  EXPECT_EQ(func->cParams, 2) << "the dispatch form returns the [out, retval] as its result";
  EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_BSTR);
  EXPECT_EQ(func->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
  EXPECT_EQ(func->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_NONE) << "no direction given";
  EXPECT_EQ(func->lprgelemdescParam[1].tdesc.vt, VT_UI4);
  dispatch->ReleaseFuncDesc(func);
  dispatch->Release();
}

TEST_F(TypeLibrary, MembersHaveNamesAndHelpStrings) {
  ITypeInfo* info = Interface();
  ASSERT_NE(info, nullptr);
  BSTR names[4] = {};
  UINT count = 0;
  ASSERT_EQ(info->GetNames(4, names, 4, &count), S_OK);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(Taken(names[0]), u"Describe");
  EXPECT_EQ(Taken(names[1]), u"name");
  EXPECT_EQ(Taken(names[2]), u"port");
  EXPECT_EQ(info->GetNames(3, names, 4, &count), TYPE_E_ELEMENTNOTFOUND);

  BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
  DWORD context = 7;
  ASSERT_EQ(info->GetDocumentation(2, &name, &doc, &context, &helpFile), S_OK);
  EXPECT_EQ(Taken(name), u"Add");
  EXPECT_EQ(Taken(doc), u"\u65b9\u6cd5Add");
  EXPECT_EQ(context, 0u);
  EXPECT_EQ(helpFile, nullptr);
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Taken(name), u"ICamTest");
  info->Release();
}

TEST_F(TypeLibrary, TheClassListsItsInterfacesWithTheirFlags) {
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(lib_->GetTypeInfoOfGuid(kServerA.clsid, &coclass), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_EQ(attr->cImplTypes, 2);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL);
  coclass->ReleaseTypeAttr(attr);

  const GUID expected[] = {kServerA.iid, kServerA.events};
  const INT flags[] = {IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE};
  for (UINT i = 0; i < 2; ++i) {
    INT implFlags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(i, &implFlags), S_OK);
    EXPECT_EQ(implFlags, flags[i]);
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &ref), S_OK);
    ITypeInfo* implemented = nullptr;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, &implemented), S_OK);
    ASSERT_EQ(implemented->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, expected[i]));
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    implemented->ReleaseTypeAttr(attr);
    implemented->Release();
  }
  HREFTYPE ref = 0;
  EXPECT_EQ(coclass->GetRefTypeOfImplType(2, &ref), TYPE_E_ELEMENTNOTFOUND);

  ITypeLib* container = nullptr;
  UINT index = 9;
  ASSERT_EQ(coclass->GetContainingTypeLib(&container, &index), S_OK);
  EXPECT_EQ(container, lib_);
  EXPECT_EQ(index, 1u);
  container->Release();
  coclass->Release();
}

TEST_F(TypeLibrary, TypeInformationKeepsItsLibraryAlive) {
  ITypeInfo* info = Interface();
  lib_->Release();
  lib_ = nullptr;
  BSTR name = nullptr;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Taken(name), u"ICamTest");
  info->Release();
}

TEST(TypeLibraryLoading, ResourcesAndModulesThatAreNotThereFail) {
  ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(LoadTypeLib((Path(COM_SERVER_A_PATH) + u"\\2").c_str(), &lib), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(lib, nullptr);
  ASSERT_EQ(LoadTypeLib((Path(COM_SERVER_A_PATH) + u"\\1").c_str(), &lib), S_OK);
  lib->Release();
  EXPECT_EQ(LoadTypeLib(u"/nonexistent/module.so", &lib), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(Path(PAL_LIBRARY_PATH).c_str(), &lib), TYPE_E_CANTLOADLIBRARY) << "a module that carries none";
}

TEST(TypeLibraryRegistration, WritesAndRemovesTheLibraryAndInterfaceKeys) {
  test_support::TempPrefix prefix;
  ITypeLib* lib = nullptr;
  ASSERT_EQ(LoadTypeLib(Path(COM_SERVER_A_PATH).c_str(), &lib), S_OK);
  ASSERT_EQ(RegisterTypeLib(lib, Path(COM_SERVER_A_PATH).c_str(), nullptr), S_OK);
  lib->Release();

  const std::u16string libKey = u"TypeLib\\" + GuidText(kServerA.libid);
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, libKey), (std::set<std::string>{"1.0", "1.0\\0", "1.0\\0\\win32", "1.0\\FLAGS", "1.0\\HELPDIR"}));
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, libKey + u"\\1.0", nullptr), "CamTest 1.0 ???");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, libKey + u"\\1.0\\FLAGS", nullptr), "0");
  const std::u16string dual = u"Interface\\" + GuidText(kServerA.iid);
  const std::u16string events = u"Interface\\" + GuidText(kServerA.events);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, dual, nullptr), "ICamTest");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, dual + u"\\ProxyStubClsid32", nullptr), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, events + u"\\ProxyStubClsid32", nullptr), "{00020420-0000-0000-C000-000000000046}");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, dual + u"\\TypeLib", u"Version"), "1.0");
  EXPECT_FALSE(StringValue(HKEY_CLASSES_ROOT, u"Interface\\" + GuidText(kServerA.clsid), nullptr).has_value())
      << "a class is not an interface";

  ASSERT_EQ(LoadRegTypeLib(kServerA.libid, 1, 0, 0x0804, &lib), S_OK) << "a Chinese locale finds the neutral library";
  lib->Release();
  EXPECT_EQ(LoadRegTypeLib(kServerA.libid, 1, 1, 0, &lib), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(kServerA.libid, 2, 0, 0, &lib), TYPE_E_LIBNOTREGISTERED);

  ASSERT_EQ(UnRegisterTypeLib(kServerA.libid, 1, 0, 0, SYS_WIN32), S_OK);
  EXPECT_EQ(KeysBelow(HKEY_CLASSES_ROOT, u""), (std::set<std::string>{"Interface", "TypeLib"}));
  EXPECT_EQ(UnRegisterTypeLib(kServerA.libid, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
}

}  // namespace
