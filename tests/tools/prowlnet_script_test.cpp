// prowlnet-script as its users run it: the control registered with regsvr32, the examples run by
// the program under `ip netns exec` in namespace pc against camsim's cameras in namespace lan;
// and objects that a script drops, released as it runs. The scripts of tools/script try each
// part of what Windows Script Host gave a script.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camsim/simulator.h"
#include "pal/objbase.h"
#include "prowlnet-script/script_host.h"
#include "script/script_test.h"
#include "support/module_entry.h"
#include "support/netns.h"

namespace {

using script_test::ToolRun;
using test_support::NamespaceScope;
using test_support::TestNetwork;

constexpr int kSubnet = 92;

/// The line of `text` that holds `part`, or "".
std::string LineWith(const std::string& text, const std::string& part) {
  const size_t at = text.find(part);
  if (at == std::string::npos) return {};
  const size_t start = text.rfind('\n', at) + 1;  // npos + 1 is 0
  return text.substr(start, text.find('\n', at) - start);
}

/// camsim with three cameras in namespace lan, and the control registered.
class ExampleTest : public script_test::ScriptTest {
 protected:
  void SetUp() override {
    RegisterControl();
    if (HasFatalFailure()) return;
    network_.pc().WriteResolvConf("nameserver " + network_.prefix() + "53\n");
    NamespaceScope lan(network_.lan().name());
    simulator_ = std::make_unique<camsim::Simulator>();
    ASSERT_TRUE(simulator_->ok()) << simulator_->error();
    simulator_->AddCameras(camsim::GenerateCameras(3));
  }

  ToolRun RunExample(const std::string& name, const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> argv{EXAMPLES_DIR "/" + name};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunTool(argv, {}, network_.pc().name());
  }

  TestNetwork network_{{.subnet = kSubnet}};
  std::unique_ptr<camsim::Simulator> simulator_;
};

TEST_F(ExampleTest, SearchPrintsEveryCameraWithItsSettings) {
  const ToolRun run = RunExample("search.js", {"4"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const camsim::Camera& camera : simulator_->Cameras()) {
    const std::string row = LineWith(run.out, *camera.serialNumber);
    EXPECT_NE(row.find(*camsim::Find(*camera.lan, "MacAddress")), std::string::npos) << run.out;
    EXPECT_NE(row.find(*camsim::Find(*camera.lan, "IPAddress")), std::string::npos) << run.out;
  }
  EXPECT_NE(run.out.find("\n3 camera(s) found.\n"), std::string::npos) << run.out;
}

TEST_F(ExampleTest, ChangeIpMovesTheCameraAndWaitsForItsConfirmation) {
  const std::string address = network_.prefix() + "201";
  const ToolRun run = RunExample("change-ip.js", {"PN00000001", address});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Camera PN00000001 confirmed its new address " + address + "."), std::string::npos) << run.out;
  const std::optional<camsim::Camera> camera = simulator_->CameraWithSerial("PN00000001");
  ASSERT_TRUE(camera && camera->lan);
  EXPECT_EQ(*camsim::Find(*camera->lan, "IPAddress"), address);
}

TEST_F(ExampleTest, HostPrintsTheHostParametersAndAFreeAddress) {
  const ToolRun run = RunExample("host.js");
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string& prefix = network_.prefix();
  EXPECT_EQ(run.out, "Address:  " + prefix + "10\nNetmask:  255.255.255.0\nGateway:  " + prefix + "1\nDNS 1:    " +
                         prefix + "53\nDNS 2:    (none)\nFree address: " + prefix + "254\n");
}

class InProcessTest : public script_test::ScriptTest {};

TEST_F(InProcessTest, ObjectsThatAScriptDropsAreReleasedAndTheModuleCanUnload) {
  RegisterControl();
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  const script_host::ScriptFile script{"drop.js", "/drop.js",
                                       "for (var i = 0; i < 1000; i++) {\n"
                                       "  var control = new ActiveXObject(\"Prowlnet.CProwlnet\");\n"
                                       "  if (control.GetIPCCount() != 0) {\n"
                                       "    throw new Error(\"a new control has devices\");\n"
                                       "  }\n"
                                       "  control = null;\n"
                                       "}\n"};
  EXPECT_EQ(script_host::RunScript(script, {}, {}), 0);
  EXPECT_EQ(test_support::CallModuleEntry(PROWLNET_MODULE_PATH, "DllCanUnloadNow"), S_OK);
  CoUninitialize();
}

}  // namespace
