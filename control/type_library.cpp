// ProwlnetLib 1.0: the event interface, the class and the dual interface, in that order. The
// help strings are the library's own, in Chinese as it was first published.
#include "control/type_library.h"

#include "prowlnet/icprowlnet.h"

namespace prowlnet::control {
namespace {

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr VARTYPE kLongOut = VT_I4 | VT_BYREF;
constexpr VARTYPE kStringOut = VT_BSTR | VT_BYREF;

constexpr pal::ParamData kStatusOnly[] = {{u"pRetVal", kLongOut, kRetval}};
constexpr pal::ParamData kRecordParams[] = {{u"index", VT_I4, kIn},
                                            {u"pIPCInfo", VT_UI1 | VT_BYREF, kIn},
                                            {u"InfoLength", VT_I4, kIn},
                                            {u"pRetVal", kLongOut, kRetval}};
constexpr pal::ParamData kInfoXmlParams[] = {{u"index", VT_I4, kIn}, {u"pXMLInfo", kStringOut, kRetval}};
// strXML carries no direction attribute in the interface definition: an input all the same.
constexpr pal::ParamData kModifyXmlParams[] = {
    {u"index", VT_I4, kIn}, {u"strXML", VT_BSTR, PARAMFLAG_NONE}, {u"pRetVal", kLongOut, kRetval}};
constexpr pal::ParamData kNetworkParamParams[] = {{u"nParamIndex", VT_UI4, kIn}, {u"strResult", kStringOut, kRetval}};
constexpr pal::ParamData kOneAddressParams[] = {{u"strResult", kStringOut, kRetval}};

// Vtable slots 7 to 15 in this order; DISPID 3 is not used.
constexpr pal::MethodData kMethods[] = {
    {u"StartSearch", 1, u"方法StartSearch", kStatusOnly},
    {u"StopSearch", 2, u"方法StopSearch", kStatusOnly},
    {u"GetIPCCount", 4, u"方法GetIPCCount", kStatusOnly},
    {u"GetIPCInfo", 5, u"方法GetIPCInfo", kRecordParams},
    {u"ModifyIPC", 6, u"方法ModifyIPC", kRecordParams},
    {u"GetIPCInfoXML", 7, u"方法GetIPCInfoXML", kInfoXmlParams},
    {u"ModifyIPCXML", 8, u"方法ModifyIPCXML", kModifyXmlParams},
    {u"GetNetworkParam", 9, u"方法GetNetworkParam", kNetworkParamParams},
    {u"GetOneIPAddress", 10, u"方法GetOneIPAddress", kOneAddressParams},
};

constexpr pal::ImplementedData kImplemented[] = {
    {&IID_ICProwlnet, IMPLTYPEFLAG_FDEFAULT},
    {&DIID__ICProwlnetEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
};

constexpr pal::TypeData kTypes[] = {
    {pal::TypeKind::kDispInterface, DIID__ICProwlnetEvents, u"_ICProwlnetEvents", u"_ICProwlnetEvents 接口", 0, {},
     {}},
    {pal::TypeKind::kCoClass, CLSID_CProwlnet, u"CProwlnet", u"CProwlnet Class",
     TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, {}, kImplemented},
    {pal::TypeKind::kDualInterface, IID_ICProwlnet, u"ICProwlnet", u"ICProwlnet 接口",
     TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION, kMethods, {}},
};

}  // namespace

const pal::TypeLibData kProwlnetLib = {
    LIBID_ProwlnetLib, 1, 0, 0, u"ProwlnetLib", u"Prowlnet 1.0 类型库", 0, kTypes,
};

}  // namespace prowlnet::control
