// The test in-process server: its dual interface and the identities of its two builds, A and B,
// which differ only in their identifiers and names.
#pragma once

#include "pal/oleauto.h"

namespace com_server {

/// A dual interface whose DISPIDs skip 3, with string and integer parameters and a result of
/// each kind.
class ICamTest : public IDispatch {
 public:
  virtual HRESULT Reset(LONG* pRetVal) = 0;                                        // DISPID 1
  virtual HRESULT Add(LONG a, LONG b, LONG* pSum) = 0;                              // DISPID 2
  virtual HRESULT Describe(BSTR name, ULONG port, BSTR* pText) = 0;                 // DISPID 4
  virtual HRESULT IsEven(SHORT value, VARIANT_BOOL* pEven) = 0;                     // DISPID 5
  virtual HRESULT Length(BSTR text, ULONG* pLength) = 0;                            // DISPID 6
  virtual HRESULT Fail(LONG code) = 0;                                              // DISPID 7
  virtual HRESULT Fill(BYTE* buffer, LONG size, LONG* pWritten) = 0;                // DISPID 8
};

struct Identity {
  CLSID clsid;
  IID iid;
  IID events;
  GUID libid;
  GUID appid;
  const OLECHAR* progId;           // version-independent
  const OLECHAR* versionedProgId;
  const OLECHAR* className;
};

inline constexpr Identity kServerA = {
    {0x5D1F1A10, 0x4C2B, 0x4E7A, {0x9B, 0x11, 0x2A, 0x6E, 0x0C, 0x51, 0x7D, 0xA1}},
    {0x5D1F1A11, 0x4C2B, 0x4E7A, {0x9B, 0x11, 0x2A, 0x6E, 0x0C, 0x51, 0x7D, 0xA1}},
    {0x5D1F1A12, 0x4C2B, 0x4E7A, {0x9B, 0x11, 0x2A, 0x6E, 0x0C, 0x51, 0x7D, 0xA1}},
    {0x5D1F1A13, 0x4C2B, 0x4E7A, {0x9B, 0x11, 0x2A, 0x6E, 0x0C, 0x51, 0x7D, 0xA1}},
    {0x5D1F1A14, 0x4C2B, 0x4E7A, {0x9B, 0x11, 0x2A, 0x6E, 0x0C, 0x51, 0x7D, 0xA1}},
    u"CamTestA.Server",
    u"CamTestA.Server.1",
    u"CamTestA Class",
};

inline constexpr Identity kServerB = {
    {0x7E2B0B20, 0x1D3C, 0x4F8B, {0xA2, 0x22, 0x3B, 0x7F, 0x1D, 0x62, 0x8E, 0xB2}},
    {0x7E2B0B21, 0x1D3C, 0x4F8B, {0xA2, 0x22, 0x3B, 0x7F, 0x1D, 0x62, 0x8E, 0xB2}},
    {0x7E2B0B22, 0x1D3C, 0x4F8B, {0xA2, 0x22, 0x3B, 0x7F, 0x1D, 0x62, 0x8E, 0xB2}},
    {0x7E2B0B23, 0x1D3C, 0x4F8B, {0xA2, 0x22, 0x3B, 0x7F, 0x1D, 0x62, 0x8E, 0xB2}},
    {0x7E2B0B24, 0x1D3C, 0x4F8B, {0xA2, 0x22, 0x3B, 0x7F, 0x1D, 0x62, 0x8E, 0xB2}},
    u"CamTestB.Server",
    u"CamTestB.Server.1",
    u"CamTestB Class",
};

}  // namespace com_server
