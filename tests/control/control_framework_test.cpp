// The control in a container, as any host meets it through COM: the interfaces it answers, its
// safety options, its events, what it draws, what it saves and its window in place.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camsim/simulator.h"
#include "pal/host_kit.h"
#include "pal/ocidl.h"
#include "prowlnet/icprowlnet.h"
#include "support/child_process.h"
#include "support/child_test.h"
#include "support/netns.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"
#include "support/test_container.h"

namespace {

using namespace std::chrono_literals;
using ATL::CComPtr;
using test_support::TestContainer;

constexpr int kSubnet = 93;

std::string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return test_support::Narrow(text);
}

/// Registers the control on a fresh emulated machine, as the documented command does.
void RegisterControl() {
  // The keys every Windows machine has under HKEY_CLASSES_ROOT, for registration to write into.
  for (const char16_t* root : {u"TypeLib", u"Interface"}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, root, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  ASSERT_EQ(test_support::RunProgram({REGSVR32_PATH, "-s", PROWLNET_MODULE_PATH}), 0);
}

CComPtr<IUnknown> CreateControl() {
  CComPtr<IUnknown> control;
  EXPECT_EQ(control.CoCreateInstance(kProwlnetProgId, nullptr, CLSCTX_INPROC_SERVER), S_OK);
  return control;
}

class ControlFramework : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    RegisterControl();
    control_ = CreateControl();
    ASSERT_NE(control_, nullptr);
  }
  void TearDown() override {
    control_.Release();
    CoUninitialize();
  }

  test_support::TempPrefix prefix_;
  CComPtr<IUnknown> control_;
};

TEST_F(ControlFramework, AnswersEveryListedInterfaceWithOneIdentityAndNoOther) {
  const IID* listed[] = {&IID_ICProwlnet,
                         &IID_IDispatch,
                         &IID_IViewObjectEx,
                         &IID_IViewObject2,
                         &IID_IViewObject,
                         &IID_IOleInPlaceObjectWindowless,
                         &IID_IOleInPlaceObject,
                         &IID_IOleWindow,
                         &IID_IOleInPlaceActiveObject,
                         &IID_IOleControl,
                         &IID_IOleObject,
                         &IID_IPersistStreamInit,
                         &IID_IPersist,
                         &IID_ISupportErrorInfo,
                         &IID_IConnectionPointContainer,
                         &IID_ISpecifyPropertyPages,
                         &IID_IQuickActivate,
                         &IID_IPersistStorage,
                         &IID_IDataObject,
                         &IID_IProvideClassInfo,
                         &IID_IProvideClassInfo2,
                         &IID_IObjectSafety};
  for (const IID* iid : listed) {
    CComPtr<IUnknown> asked;
    ASSERT_EQ(control_->QueryInterface(*iid, reinterpret_cast<void**>(&asked)), S_OK) << GuidText(*iid);
    CComPtr<IUnknown> identity;
    ASSERT_EQ(asked.QueryInterface(&identity), S_OK);
    EXPECT_EQ(identity.p, control_.p) << GuidText(*iid);
  }
  for (const IID* iid : {&IID_IClassFactory, &IID_IOleControlSite, &IID_IPointerInactive, &IID_IStream}) {
    void* asked = reinterpret_cast<void*>(1);
    EXPECT_EQ(control_->QueryInterface(*iid, &asked), E_NOINTERFACE) << GuidText(*iid);
    EXPECT_EQ(asked, nullptr);
  }
}

TEST_F(ControlFramework, SafetyOptionsOfIDispatchCanBeEnabledButNoOthers) {
  CComPtr<IObjectSafety> safety;
  ASSERT_EQ(control_.QueryInterface(&safety), S_OK);
  DWORD supported = 9;
  DWORD enabled = 9;
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4), E_FAIL);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 3u);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IClassFactory, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(supported, 0u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IClassFactory, 3, 3), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr), E_POINTER);

  // A mask changes only its own options.
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER, 0), S_OK);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, INTERFACESAFE_FOR_UNTRUSTED_DATA);
}

TEST_F(ControlFramework, ItListsOneEventSourceNoPagesItsClassAndWhetherItHasChanges) {
  CComPtr<IConnectionPointContainer> points;
  ASSERT_EQ(control_.QueryInterface(&points), S_OK);
  CComPtr<IEnumConnectionPoints> listed;
  ASSERT_EQ(points->EnumConnectionPoints(&listed), S_OK);
  IConnectionPoint* found[2] = {};
  ULONG count = 0;
  EXPECT_EQ(listed->Next(2, found, &count), S_FALSE);
  ASSERT_EQ(count, 1u);
  IID source = GUID_NULL;
  EXPECT_EQ(found[0]->GetConnectionInterface(&source), S_OK);
  EXPECT_EQ(source, DIID__ICProwlnetEvents);
  found[0]->Release();

  CComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(control_.QueryInterface(&pages), S_OK);
  CAUUID none{};
  ASSERT_EQ(pages->GetPages(&none), S_OK);
  EXPECT_EQ(none.cElems, 0u);
  CoTaskMemFree(none.pElems);

  CComPtr<IProvideClassInfo> classInfo;
  ASSERT_EQ(control_.QueryInterface(&classInfo), S_OK);
  CComPtr<ITypeInfo> coclass;
  ASSERT_EQ(classInfo->GetClassInfo(&coclass), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_EQ(attr->guid, CLSID_CProwlnet);
  coclass->ReleaseTypeAttr(attr);

  CComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(control_.QueryInterface(&persist), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE) << "as made";
  ASSERT_EQ(persist->InitNew(), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK) << "a new control is to be saved";
  CComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(persist->Save(stream, TRUE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE) << "saved";
}

TEST_F(ControlFramework, ItDrawsItsRectangleWithItsNameAnchoredAtTheCentre) {
  TestContainer container;
  ASSERT_EQ(container.Site(control_), S_OK);
  const HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  SelectObject(dc, GetStockObject(DKGRAY_BRUSH));
  ASSERT_EQ(container.Draw(dc, RECTL{0, 0, 200, 100}), S_OK);
  EXPECT_EQ(pal::DrawnOn(dc), (std::vector<std::string>{"SelectClipRgn 0,0,200,100",
                                                         "Rectangle 0,0,200,100 WHITE_PEN DKGRAY_BRUSH",
                                                         "SetTextAlign " + std::to_string(TA_CENTER | TA_BASELINE),
                                                         "TextOut 100,50 ATL 8.0 : CProwlnet", "SelectClipRgn none"}));
  EXPECT_EQ(GetTextAlign(dc), TA_LEFT | TA_TOP) << "the container's device context is as it was";
  DeleteDC(dc);
}

TEST_F(ControlFramework, AChangedExtentSurvivesAStreamAndAStorage) {
  TestContainer saving;
  ASSERT_EQ(saving.Site(control_), S_OK);
  CComPtr<IOleObject> object;
  ASSERT_EQ(control_.QueryInterface(&object), S_OK);
  SIZEL extent{};
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, 5080);
  EXPECT_EQ(extent.cy, 5080);
  SIZEL changed{7000, 3000};
  ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &changed), S_OK);

  CComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(saving.Save(stream), S_OK);
  ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
  DWORD saved[4] = {};
  ULONG read = 0;
  ASSERT_EQ(stream->Read(saved, sizeof saved, &read), S_OK);
  EXPECT_EQ(read, 12u);
  EXPECT_EQ(saved[1], 7000u) << "_cx first";
  EXPECT_EQ(saved[2], 3000u) << "then _cy";
  CComPtr<IStorage> storage;
  ASSERT_EQ(pal::CreateMemoryStorage(&storage), S_OK);
  ASSERT_EQ(saving.Save(storage), S_OK);

  for (const bool fromStorage : {false, true}) {
    CComPtr<IUnknown> reloaded = CreateControl();
    TestContainer loading;
    ASSERT_EQ(loading.Site(reloaded), S_OK);
    ASSERT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(fromStorage ? loading.Load(storage) : loading.Load(stream), S_OK);
    CComPtr<IOleObject> loaded;
    ASSERT_EQ(reloaded.QueryInterface(&loaded), S_OK);
    ASSERT_EQ(loaded->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, 7000) << (fromStorage ? "storage" : "stream");
    EXPECT_EQ(extent.cy, 3000) << (fromStorage ? "storage" : "stream");
  }
}

TEST_F(ControlFramework, InPlaceActivationShowsTheWindowTheObjectMadeAndItPaintsThere) {
  CComPtr<IOleWindow> inPlace;
  ASSERT_EQ(control_.QueryInterface(&inPlace), S_OK);
  HWND made = nullptr;
  ASSERT_EQ(inPlace->GetWindow(&made), S_OK);
  ASSERT_TRUE(IsWindow(made));
  EXPECT_FALSE(IsWindowVisible(made));

  TestContainer container;
  ASSERT_EQ(container.Site(control_), S_OK);
  CComPtr<IOleObject> object;
  ASSERT_EQ(control_.QueryInterface(&object), S_OK);
  DWORD status = 0;
  EXPECT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
  EXPECT_EQ(status, 132497u);
  ASSERT_EQ(container.ActivateInPlace(RECT{10, 20, 210, 120}), S_OK);
  EXPECT_TRUE(container.inPlaceActive());
  HWND shown = nullptr;
  ASSERT_EQ(inPlace->GetWindow(&shown), S_OK);
  EXPECT_EQ(shown, made);
  EXPECT_TRUE(IsWindowVisible(made));
  RECT client{};
  GetClientRect(made, &client);
  EXPECT_EQ(client.right, 200);
  EXPECT_EQ(client.bottom, 100);
  const auto paintedCaption = [&] {
    const std::vector<std::string> drawn = pal::DrawnOnWindow(made);
    return std::find(drawn.begin(), drawn.end(), "TextOut 100,50 ATL 8.0 : CProwlnet") != drawn.end();
  };
  EXPECT_TRUE(pal::PumpUntil(paintedCaption, 5s)) << "the window paints itself once shown";

  ASSERT_EQ(container.Deactivate(), S_OK);
  EXPECT_FALSE(container.inPlaceActive());
  EXPECT_TRUE(IsWindow(made));
  EXPECT_FALSE(IsWindowVisible(made));
}

/// An event sink that counts every call it gets once it has joined.
class CountingSink final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (joined_) ++calls_;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, DIID__ICProwlnetEvents))
      return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override { return --references_; }  // lives on the test's stack
  HRESULT GetTypeInfoCount(UINT*) override { return Called(); }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Called(); }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return Called(); }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return Called(); }

  void Joined() { joined_ = true; }
  int calls() const { return calls_; }
  ULONG references() const { return references_; }

 private:
  HRESULT Called() {
    ++calls_;
    return S_OK;
  }

  bool joined_ = false;
  int calls_ = 0;
  ULONG references_ = 1;
};

/// The host's part, in a process of its own in namespace pc.
void SinkHearsNothingWhileCamerasAreFound() {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CountingSink sink;
  {
    CComPtr<IUnknown> control = CreateControl();
    ASSERT_NE(control, nullptr);
    CComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(control.QueryInterface(&classInfo), S_OK);
    GUID events = GUID_NULL;
    ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_EQ(events, DIID__ICProwlnetEvents);
    CComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control.QueryInterface(&container), S_OK);
    CComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(events, &point), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    sink.Joined();

    CComPtr<ICProwlnet> search;
    ASSERT_EQ(control.QueryInterface(&search), S_OK);
    LONG status = -1;
    ASSERT_EQ(search->StartSearch(&status), S_OK);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(pal::PumpUntil([&] { return search->GetIPCCount(&status) == S_OK && status == 2; }, 15s));
    EXPECT_EQ(search->StopSearch(&status), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.calls(), 0);
  }
  EXPECT_EQ(sink.references(), 1u) << "the control let go of the sink";
  CoUninitialize();
}

TEST(ControlEvents, AnAdvisedSinkHearsNothingDuringASearchThatFindsCameras) {
  if (test_support::InTestChild()) {
    SinkHearsNothingWhileCamerasAreFound();
    return;
  }
  test_support::TempPrefix prefix;
  test_support::TestNetwork network({.subnet = kSubnet});
  std::unique_ptr<camsim::Simulator> simulator;
  {
    test_support::NamespaceScope lan(network.lan().name());
    simulator = std::make_unique<camsim::Simulator>();
  }
  ASSERT_TRUE(simulator->ok()) << simulator->error();
  simulator->AddCameras(camsim::GenerateCameras(2));
  RegisterControl();
  test_support::RunThisTestIn(network.pc());
}

}  // namespace
