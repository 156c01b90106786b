// The control as COM sees it: the engine's control object with a COM identity, the dual
// interface ICProwlnet, and IDispatch as a thin layer over the registered type information.
#pragma once

#include "control/module.h"
#include "engine/control_object.h"
#include "pal/atlbase.h"
#include "prowlnet/icprowlnet.h"

namespace prowlnet::control {

// ModuleLock comes first, so that the module stays locked until the engine has torn down.
class CProwlnetControl final : private ModuleLock,
                               public CCProwlnet,
                               public ICProwlnet,
                               public ISupportErrorInfo {
 public:
  /// Makes an object, runs its final construction under a temporary reference and queries it for
  /// `riid`. On any failure the object is destroyed, `*object` is null and the failure returned:
  /// E_OUTOFMEMORY, the HRESULT of the last system error when no window could be made, or
  /// E_NOINTERFACE.
  static HRESULT Create(REFIID riid, void** object);

  // IUnknown: one identity; a plain count, since the object lives in one apartment.
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

  /// S_OK for ICProwlnet, S_FALSE for every other interface.
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

  /// Reflected control notifications go to the default procedure as the messages they reflect;
  /// the engine's messages after them.
  LRESULT WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  CProwlnetControl() = default;
  ~CProwlnetControl() override = default;

  HRESULT LoadTypeInfo();

  ULONG references_ = 0;
  ATL::CComPtr<ITypeInfo> typeInfo_;
};

}  // namespace prowlnet::control
