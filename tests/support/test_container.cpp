#include "support/test_container.h"

#include <utility>

#include <gtest/gtest.h>

namespace test_support {
namespace {

constexpr char16_t kWindowClass[] = u"ProwlnetTestContainer";

HWND CreateContainerWindow() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // already there for a second container
  return CreateWindowExW(0, kWindowClass, u"container", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

/// The client site and windowed in-place site of the container's one control.
class TestContainer::ClientSite final : public IOleClientSite, public IOleInPlaceSite {
 public:
  explicit ClientSite(HWND window) : window_(window) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
      return 0;
    }
    if (onRelease_) onRelease_();
    return left;
  }

  // IOleClientSite: the container keeps no document of its own to save into or to link from.
  HRESULT SaveObject() override { return S_OK; }
  HRESULT GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT ShowObject() override { return S_OK; }
  HRESULT OnShowWindow(BOOL) override { return S_OK; }
  HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow and IOleInPlaceSite: windowed activation in the container's window, without a
  // frame or a document window.
  HRESULT GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = window_;
    return S_OK;
  }
  HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT CanInPlaceActivate() override { return S_OK; }
  HRESULT OnInPlaceActivate() override {
    active_ = true;
    return S_OK;
  }
  HRESULT OnUIActivate() override { return S_OK; }
  HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position, LPRECT clip,
                           OLEINPLACEFRAMEINFO* frameInfo) override {
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || frameInfo == nullptr)
      return E_POINTER;
    *frame = nullptr;
    *document = nullptr;
    *position = position_;
    *clip = position_;
    *frameInfo = OLEINPLACEFRAMEINFO{sizeof(OLEINPLACEFRAMEINFO), FALSE, window_, nullptr, 0};
    return S_OK;
  }
  HRESULT Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT OnInPlaceDeactivate() override {
    active_ = false;
    return S_OK;
  }
  HRESULT DiscardUndoState() override { return S_OK; }
  HRESULT DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT OnPosRectChange(LPCRECT) override { return S_OK; }

  void set_position(const RECT& position) { position_ = position; }
  void set_on_release(std::function<void()> hook) { onRelease_ = std::move(hook); }
  bool active() const { return active_; }

 private:
  ~ClientSite() = default;

  HWND window_;
  RECT position_{0, 0, 0, 0};
  bool active_ = false;
  ULONG references_ = 1;
  std::function<void()> onRelease_;
};

TestContainer::TestContainer() : window_(CreateContainerWindow()), site_(new ClientSite(window_)) {
  EXPECT_NE(window_, nullptr);
}

TestContainer::~TestContainer() {
  if (control_ != nullptr) {
    control_->Close(OLECLOSE_NOSAVE);
    control_->SetClientSite(nullptr);
  }
  control_.Release();
  site_->Release();
  DestroyWindow(window_);
}

HRESULT TestContainer::Site(IUnknown* control) {
  if (control_ != nullptr) return E_UNEXPECTED;  // one control a container
  HRESULT hr = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&control_));
  if (FAILED(hr)) return hr;
  DWORD status = 0;
  hr = control_->GetMiscStatus(DVASPECT_CONTENT, &status);
  if (FAILED(hr)) return hr;
  // Any other container would first load or initialise a control without that flag.
  if ((status & OLEMISC_SETCLIENTSITEFIRST) == 0) return E_NOTIMPL;
  return control_->SetClientSite(site_);
}

HRESULT TestContainer::ActivateInPlace(const RECT& position) {
  if (control_ == nullptr) return E_UNEXPECTED;
  site_->set_position(position);
  return control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, window_, &position);
}

HRESULT TestContainer::Deactivate() {
  ATL::CComPtr<IOleInPlaceObject> inPlace;
  const HRESULT hr = control_ == nullptr ? E_UNEXPECTED : control_.QueryInterface(&inPlace);
  return FAILED(hr) ? hr : inPlace->InPlaceDeactivate();
}

HRESULT TestContainer::Draw(HDC dc, const RECTL& bounds) {
  ATL::CComPtr<IViewObject> view;
  const HRESULT hr = control_ == nullptr ? E_UNEXPECTED : control_.QueryInterface(&view);
  return FAILED(hr) ? hr : view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
}

HRESULT TestContainer::Save(IStream* stream) {
  ATL::CComPtr<IPersistStreamInit> persist;
  const HRESULT hr = control_ == nullptr ? E_UNEXPECTED : control_.QueryInterface(&persist);
  return FAILED(hr) ? hr : persist->Save(stream, TRUE);
}

HRESULT TestContainer::Load(IStream* stream) {
  ATL::CComPtr<IPersistStreamInit> persist;
  const HRESULT hr = control_ == nullptr ? E_UNEXPECTED : control_.QueryInterface(&persist);
  return FAILED(hr) ? hr : persist->Load(stream);
}

HRESULT TestContainer::Save(IStorage* storage) {
  ATL::CComPtr<IPersistStorage> persist;
  HRESULT hr = control_ == nullptr ? E_UNEXPECTED : control_.QueryInterface(&persist);
  if (SUCCEEDED(hr)) hr = persist->Save(storage, TRUE);
  return FAILED(hr) ? hr : persist->SaveCompleted(nullptr);
}

HRESULT TestContainer::Load(IStorage* storage) {
  ATL::CComPtr<IPersistStorage> persist;
  const HRESULT hr = control_ == nullptr ? E_UNEXPECTED : control_.QueryInterface(&persist);
  return FAILED(hr) ? hr : persist->Load(storage);
}

void TestContainer::LetGo() { control_.Release(); }

void TestContainer::OnSiteRelease(std::function<void()> hook) { site_->set_on_release(std::move(hook)); }

bool TestContainer::inPlaceActive() const { return site_->active(); }

}  // namespace test_support
