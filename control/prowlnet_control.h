// The control as COM sees it: the engine's control object with a COM identity, the dual
// interface ICProwlnet, IDispatch as a thin layer over the registered type information, and the
// OLE control interfaces of the control framework (pal/atlctl.h).
#pragma once

#include "control/module.h"
#include "engine/control_object.h"
#include "pal/atlctl.h"
#include "prowlnet/icprowlnet.h"

namespace prowlnet::control {

// ModuleLock is the first virtual base: made before anything else of the object and destroyed
// after everything else, the control framework's shared state (a virtual base too, which lets go
// of the container's site, sinks and in-place site) included. The module counts as in use until
// the object is wholly gone, so a container that frees unused libraries from inside the last of
// those releases cannot unload the code that is still running.
class CProwlnetControl final : private virtual ModuleLock,
                               public CCProwlnet,
                               public ICProwlnet,
                               public ATL::IViewObjectExImpl,
                               public ATL::IOleInPlaceObjectWindowlessImpl,
                               public ATL::IOleInPlaceActiveObjectImpl,
                               public ATL::IOleControlImpl,
                               public ATL::IOleObjectImpl,
                               public ATL::IPersistStreamInitImpl,
                               public ATL::ISupportErrorInfoImpl,
                               public ATL::IConnectionPointContainerImpl,
                               public ATL::ISpecifyPropertyPagesImpl,
                               public ATL::IQuickActivateImpl,
                               public ATL::IPersistStorageImpl,
                               public ATL::IDataObjectImpl,
                               public ATL::IProvideClassInfo2Impl,
                               public ATL::IObjectSafetyImpl {
 public:
  /// Makes an object, runs its final construction under a temporary reference and queries it for
  /// `riid`. On any failure the object is destroyed, `*object` is null and the failure returned:
  /// E_OUTOFMEMORY, the HRESULT of the last system error when no window could be made, or
  /// E_NOINTERFACE.
  static HRESULT Create(REFIID riid, void** object);

  // IUnknown: one identity over the interface map; a plain count, since the object lives in one
  // apartment.
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IDispatch over the type information of ICProwlnet from the registered ProwlnetLib 1.0.
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override;

  // ICProwlnet: the engine's methods.
  HRESULT StartSearch(LONG* pRetVal) override { return CCProwlnet::StartSearch(pRetVal); }
  HRESULT StopSearch(LONG* pRetVal) override { return CCProwlnet::StopSearch(pRetVal); }
  HRESULT GetIPCCount(LONG* pRetVal) override { return CCProwlnet::GetIPCCount(pRetVal); }
  HRESULT GetIPCInfo(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal) override {
    return CCProwlnet::GetIPCInfo(index, pIPCInfo, InfoLength, pRetVal);
  }
  HRESULT ModifyIPC(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal) override {
    return CCProwlnet::ModifyIPC(index, pIPCInfo, InfoLength, pRetVal);
  }
  HRESULT GetIPCInfoXML(LONG index, BSTR* pXMLInfo) override { return CCProwlnet::GetIPCInfoXML(index, pXMLInfo); }
  HRESULT ModifyIPCXML(LONG index, BSTR strXML, LONG* pRetVal) override {
    return CCProwlnet::ModifyIPCXML(index, strXML, pRetVal);
  }
  HRESULT GetNetworkParam(ULONG nParamIndex, BSTR* strResult) override {
    return CCProwlnet::GetNetworkParam(nParamIndex, strResult);
  }
  HRESULT GetOneIPAddress(BSTR* strResult) override { return CCProwlnet::GetOneIPAddress(strResult); }

  /// The control window's messages, in the order they are tried: painting, the framework's focus
  /// and activation handling (which passes them on), reflected notifications, 0x465 and WM_TIMER
  /// (the engine's), then the default procedure.
  LRESULT WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  // The control framework's hooks.
  HRESULT ControlQueryInterface(REFIID riid, void** object) override { return QueryInterface(riid, object); }
  HWND ControlWindow() const override { return window(); }
  HRESULT OnDraw(ATL::ATL_DRAWINFO& di) override;
  const ATL::ControlClassInfo& GetControlClassInfo() const override;
  /// The message map of WindowMessage, without the default procedure: whether it handled the message.
  BOOL ProcessControlMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  CProwlnetControl();
  ~CProwlnetControl() override = default;

  HRESULT LoadTypeInfo();

  ULONG references_ = 0;
  ATL::CComPtr<ITypeInfo> typeInfo_;
};

}  // namespace prowlnet::control
