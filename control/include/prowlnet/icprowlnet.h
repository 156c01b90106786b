// The control's public interface, as a host sees it: the identifiers of its type library, class,
// interfaces and application, and the dual interface ICProwlnet. A host includes only this.
//
// Create the control by ProgID ("Prowlnet.CProwlnet", or "Prowlnet.CProwlnet.1") through COM
// activation, then call it early-bound through ICProwlnet or late-bound through IDispatch. Every
// method returns S_OK once it has produced its result; the result itself comes back through the
// last parameter (status values: 0 for success, negative numbers for failures).
#pragma once

#include "pal/oaidl.h"
#include "prowlnet/ipc_record.h"

inline constexpr GUID LIBID_ProwlnetLib = {0xD6C4AA6D, 0xCF16, 0x48B4, {0xAD, 0x5D, 0xEE, 0xFA, 0x56, 0x60, 0xE7, 0x25}};
inline constexpr CLSID CLSID_CProwlnet = {0x4C0289A2, 0x35F4, 0x4249, {0xA5, 0x6B, 0x59, 0x68, 0x92, 0x2E, 0xD6, 0x85}};
inline constexpr IID IID_ICProwlnet = {0x37187B6E, 0x8D26, 0x4603, {0x9E, 0x5D, 0x6B, 0xC0, 0xB6, 0xE9, 0x75, 0x0C}};
inline constexpr IID DIID__ICProwlnetEvents = {0x4047A725, 0x2454, 0x4010, {0xBB, 0x8A, 0x0F, 0x87, 0x9F, 0xD7, 0x08, 0x95}};
inline constexpr GUID APPID_Prowlnet = {0xDE830C90, 0x425E, 0x4B28, {0x9A, 0xA9, 0x92, 0xA3, 0x80, 0xE7, 0x42, 0x7E}};

inline constexpr char16_t kProwlnetProgId[] = u"Prowlnet.CProwlnet";
inline constexpr char16_t kProwlnetVersionedProgId[] = u"Prowlnet.CProwlnet.1";

/// The size in bytes of the device record that GetIPCInfo and ModifyIPC pass (prowlnet::IpcInfo,
/// prowlnet/ipc_record.h).
inline constexpr LONG kProwlnetRecordSize = static_cast<LONG>(prowlnet::kIpcRecordSize);

class ICProwlnet : public IDispatch {
 public:
  /// Starts a search: 0, or -1 when one runs already or it could not start.
  virtual HRESULT StartSearch(LONG* pRetVal) = 0;
  /// Stops the search and empties the device table: 0, or -1 when none was running.
  virtual HRESULT StopSearch(LONG* pRetVal) = 0;
  /// The number of devices found in this search.
  virtual HRESULT GetIPCCount(LONG* pRetVal) = 0;
  /// Copies device `index`'s 4028-byte record into `pIPCInfo`: 0; -1 bad index; -2 short buffer.
  virtual HRESULT GetIPCInfo(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal) = 0;
  /// Replaces device `index`'s record and sends the device its LAN settings: 0; -1; -2; -3 when
  /// the message could not be built.
  virtual HRESULT ModifyIPC(LONG index, BYTE* pIPCInfo, LONG InfoLength, LONG* pRetVal) = 0;
  /// Device `index`'s configuration as the IPC_INFO document; an empty string for a bad index.
  virtual HRESULT GetIPCInfoXML(LONG index, BSTR* pXMLInfo) = 0;
  /// Takes new LAN settings from the first LANConfig element of `strXML` for device `index`
  /// and sends them to the device: 0; -1 bad index; -2 no readable LANConfig; -3.
  virtual HRESULT ModifyIPCXML(LONG index, BSTR strXML, LONG* pRetVal) = 0;
  /// The host's address, netmask, gateway, first or second DNS server, by index 0 to 4; an
  /// empty string for any other index.
  virtual HRESULT GetNetworkParam(ULONG nParamIndex, BSTR* strResult) = 0;
  /// An address on the host's subnet that nothing seems to use, found by ICMP probes.
  virtual HRESULT GetOneIPAddress(BSTR* strResult) = 0;
};

PAL_INTERFACE_ID(ICProwlnet, IID_ICProwlnet);
