// The control end to end as a script host uses it: registered with the documented command,
// created by ProgID in a process of its own in namespace pc, and every method called by name
// through GetIDsOfNames and Invoke, against camsim's cameras in namespace lan.
#include <cstddef>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camsim/simulator.h"
#include "pal/host_kit.h"
#include "prowlnet/icprowlnet.h"
#include "support/child_test.h"
#include "support/module_entry.h"
#include "support/netns.h"
#include "support/registry_dump.h"
#include "support/temp_prefix.h"

namespace {

using namespace std::chrono_literals;
using ATL::CComBSTR;
using ATL::CComPtr;
using ATL::CComVariant;
using test_support::InTestChild;
using test_support::NamespaceScope;
using test_support::TestNetwork;

constexpr int kSubnet = 91;
// The fields this test edits in the record's bytes, as a host reaches them.
constexpr size_t kAddressOffset = offsetof(prowlnet::IpcInfo, lan) + offsetof(prowlnet::LANCfg, ipAddress);
constexpr size_t kTypeOffset = offsetof(prowlnet::IpcInfo, deviceType);

/// Calls a method of `object` by name, as a script host does: its DISPID first, then Invoke with
/// the arguments in call order (DISPPARAMS holds them reversed).
class LateBound {
 public:
  explicit LateBound(IDispatch* object) : object_(object) {}

  CComVariant Call(const char16_t* name, std::vector<CComVariant> arguments = {}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(object_->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK) << test_support::Narrow(name);
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    CComVariant result;
    EXPECT_EQ(object_->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    return result;
  }
  LONG Status(const char16_t* name, std::vector<CComVariant> arguments = {}) {
    const CComVariant result = Call(name, std::move(arguments));
    EXPECT_EQ(result.vt, VT_I4);
    return result.lVal;
  }
  std::string Text(const char16_t* name, std::vector<CComVariant> arguments = {}) {
    const CComVariant result = Call(name, std::move(arguments));
    EXPECT_EQ(result.vt, VT_BSTR);
    return pal::Utf8FromBstr(result.bstrVal);
  }

 private:
  IDispatch* object_;
};

CComVariant Buffer(std::vector<BYTE>& bytes) {
  CComVariant buffer;
  buffer.vt = VT_UI1 | VT_BYREF;
  buffer.pbVal = bytes.data();
  return buffer;
}

bool ModuleIsMapped() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find("/prowlnet.so") != std::string::npos) return true;
  return false;
}

std::string Address(int last) { return "10.77." + std::to_string(kSubnet) + "." + std::to_string(last); }

/// The host's part, run in its own process in namespace pc.
void HostCallsEveryMethodByName() {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kProwlnetProgId, &clsid), S_OK);
    CComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
              S_OK);
    LateBound control(object);

    ASSERT_EQ(control.Status(u"StartSearch"), 0);
    ASSERT_TRUE(pal::PumpUntil([&] { return control.Status(u"GetIPCCount") == 2; }, 15s));

    const std::string document = control.Text(u"GetIPCInfoXML", {CComVariant(static_cast<LONG>(0))});
    ASSERT_NE(document.find("SerialNumber=\"PN00000000\""), std::string::npos) << document;
    std::string edited = document;
    const size_t at = edited.find("IPAddress=\"") + std::strlen("IPAddress=\"");
    edited.replace(at, edited.find('"', at) - at, Address(200));
    EXPECT_EQ(control.Status(u"ModifyIPCXML", {CComVariant(static_cast<LONG>(0)), CComVariant(pal::BstrFromUtf8(edited))}),
              0);

    std::vector<BYTE> record(kProwlnetRecordSize);
    ASSERT_EQ(control.Status(u"GetIPCInfo", {CComVariant(static_cast<LONG>(1)), Buffer(record),
                                             CComVariant(kProwlnetRecordSize)}),
              0);
    EXPECT_STREQ(reinterpret_cast<const char*>(record.data()), "PN00000001");
    std::strcpy(reinterpret_cast<char*>(&record[kAddressOffset]), Address(201).c_str());
    std::strcpy(reinterpret_cast<char*>(&record[kTypeOffset]), "NVS-LOCAL");
    EXPECT_EQ(control.Status(u"ModifyIPC", {CComVariant(static_cast<LONG>(1)), Buffer(record),
                                            CComVariant(kProwlnetRecordSize)}),
              0);
    // Only a reply that the camera sent after applying the change brings the new address back
    // with the camera's own type: then both changes, sent in order, have reached the cameras.
    ASSERT_TRUE(pal::PumpUntil(
        [&] {
          std::vector<BYTE> now(kProwlnetRecordSize);
          control.Status(u"GetIPCInfo", {CComVariant(static_cast<LONG>(1)), Buffer(now), CComVariant(kProwlnetRecordSize)});
          return std::string(reinterpret_cast<const char*>(&now[kTypeOffset])) == "NVS-2210" &&
                 std::string(reinterpret_cast<const char*>(&now[kAddressOffset])) == Address(201);
        },
        15s));

    EXPECT_EQ(control.Text(u"GetNetworkParam", {CComVariant(static_cast<ULONG>(0))}), Address(10));
    EXPECT_EQ(control.Text(u"GetNetworkParam", {CComVariant(static_cast<ULONG>(2))}), Address(1));
    EXPECT_EQ(control.Text(u"GetOneIPAddress"), Address(254));
    EXPECT_EQ(control.Status(u"StopSearch"), 0);
    EXPECT_EQ(control.Status(u"GetIPCCount"), 0);
  }
  EXPECT_EQ(test_support::CallModuleEntry(PROWLNET_MODULE_PATH, "DllCanUnloadNow"), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ModuleIsMapped());
  CoUninitialize();
}

TEST(EndToEnd, AHostCreatesTheControlByProgIdAndCallsEveryMethodByName) {
  if (InTestChild()) {
    HostCallsEveryMethodByName();
    return;
  }
  test_support::TempPrefix prefix;
  TestNetwork network({.subnet = kSubnet});
  std::unique_ptr<camsim::Simulator> simulator;
  {
    NamespaceScope lan(network.lan().name());
    simulator = std::make_unique<camsim::Simulator>();
  }
  ASSERT_TRUE(simulator->ok()) << simulator->error();
  simulator->AddCameras(camsim::GenerateCameras(2));
  ASSERT_EQ(test_support::RunProgram({REGSVR32_PATH, "-s", PROWLNET_MODULE_PATH}), 0);

  test_support::RunThisTestIn(network.pc());

  for (const auto& [serial, address] : {std::pair{"PN00000000", Address(200)}, std::pair{"PN00000001", Address(201)}}) {
    const std::optional<camsim::Camera> camera = simulator->CameraWithSerial(serial);
    ASSERT_TRUE(camera && camera->lan);
    EXPECT_EQ(*camsim::Find(*camera->lan, "IPAddress"), address) << serial;
  }
}

}  // namespace
