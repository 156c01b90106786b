// A minimal container of OLE controls, as a simple form hosts one: a window of its own and a
// client site that is also a windowed in-place site (no frame, no document window, no ambient
// properties). It sites one control, activates it in place and deactivates it, asks it to draw,
// and saves it and loads it through a stream or a storage.
#pragma once

#include <functional>

#include "pal/atlbase.h"
#include "pal/ocidl.h"

namespace test_support {

class TestContainer {
 public:
  TestContainer();
  /// Closes the control and takes the site back, as a container does before it lets go.
  ~TestContainer();
  TestContainer(const TestContainer&) = delete;
  TestContainer& operator=(const TestContainer&) = delete;

  /// Gives the control this container's client site, first of all as its status flags ask.
  HRESULT Site(IUnknown* control);
  /// OLEIVERB_INPLACEACTIVATE at `position` in the container's window.
  HRESULT ActivateInPlace(const RECT& position);
  /// IOleInPlaceObject::InPlaceDeactivate.
  HRESULT Deactivate();
  /// Draws the control's content within `bounds` on `dc`.
  HRESULT Draw(HDC dc, const RECTL& bounds);
  /// IPersistStreamInit::Save, clearing the control's changes; the stream is left after the data.
  HRESULT Save(IStream* stream);
  /// IPersistStreamInit::Load from the stream's position.
  HRESULT Load(IStream* stream);
  /// IPersistStorage::Save into the storage, and SaveCompleted.
  HRESULT Save(IStorage* storage);
  HRESULT Load(IStorage* storage);
  /// Lets go of the control without closing it or taking the site back, as a container that
  /// simply drops it: the control releases the site in its own teardown.
  void LetGo();
  /// Runs `hook` at the end of every Release of the site, once the count is down.
  void OnSiteRelease(std::function<void()> hook);

  /// Whether the site was told of an in-place activation and not yet of the deactivation.
  bool inPlaceActive() const;
  HWND window() const { return window_; }

 private:
  class ClientSite;

  HWND window_ = nullptr;
  ClientSite* site_ = nullptr;  // one reference of this container's
  ATL::CComPtr<IOleObject> control_;
};

}  // namespace test_support
