// prowlnet-script as its users run it: the control registered with regsvr32, the examples run by
// the program under `ip netns exec` in namespace pc against camsim's cameras in namespace lan;
// the failures a script meets, with their text and exit status; and objects that a script drops.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camsim/simulator.h"
#include "pal/objbase.h"
#include "prowlnet-script/script_host.h"
#include "support/child_process.h"
#include "support/module_entry.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace {

using namespace std::chrono_literals;
using test_support::NamespaceScope;
using test_support::TempPrefix;
using test_support::TestNetwork;

constexpr int kSubnet = 92;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

/// The line of `text` that holds `part`, or "".
std::string LineWith(const std::string& text, const std::string& part) {
  const size_t at = text.find(part);
  if (at == std::string::npos) return {};
  const size_t start = text.rfind('\n', at) + 1;  // npos + 1 is 0
  return text.substr(start, text.find('\n', at) - start);
}

/// A fresh emulated machine with the control registered, as a user prepares one.
class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(test_support::RunProgram({REGSVR32_PATH, "-s", PROWLNET_MODULE_PATH}), 0); }

  std::string WriteScript(const std::string& name, const std::string& source) const {
    const std::string path = prefix_.root() + "/" + name;
    std::ofstream(path) << source;
    return path;
  }

  /// Runs `argv` (the program first) and collects what it wrote; inside namespace `netns` when
  /// one is named.
  ToolRun RunTool(std::vector<std::string> argv, const std::string& netns = {}) const {
    argv.insert(argv.begin(), PROWLNET_SCRIPT_PATH);
    if (!netns.empty()) argv.insert(argv.begin(), {"/usr/bin/env", "ip", "netns", "exec", netns});
    const std::string errorPath = prefix_.root() + "/stderr.txt";
    test_support::ChildProcess child(argv, errorPath);
    ToolRun run;
    run.status = child.Wait(60s);
    run.out = child.output();
    run.err = test_support::ReadFile(errorPath);
    return run;
  }

  TempPrefix prefix_;
};

/// camsim with three cameras in namespace lan.
class ExampleTest : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
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
    return RunTool(argv, network_.pc().name());
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

// Nothing below sends anything: creating the control and asking it for names stay in the process.

TEST_F(ScriptTest, AnUnknownMethodIsAnExceptionNamingTheMember) {
  const std::string script = WriteScript("unknown.js",
                                         "var control = new ActiveXObject(\"Prowlnet.CProwlnet\");\n"
                                         "try { control.StartSerch(); } catch (e) { WScript.Echo(e.number, e.description); }\n"
                                         "control.StartSerch();\n");
  const ToolRun run = RunTool({script});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "-2147352570 StartSerch: Unknown name. (0x80020006)\n");
  EXPECT_EQ(run.err, script + ":3: Error: StartSerch: Unknown name. (0x80020006)\n");
}

TEST_F(ScriptTest, AProgIdThatIsNotRegisteredIsTheActivationError) {
  const std::string script = WriteScript("progid.js", "var camera = new ActiveXObject(\"Prowlnet.Camera\");\n");
  const ToolRun run = RunTool({script});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, script + ":1: Error: ActiveXObject(\"Prowlnet.Camera\"): Invalid class string (0x800401F3)\n");
}

TEST_F(ScriptTest, AThrownErrorIsReportedWithItsLineAndEndsTheRun) {
  const std::string script = WriteScript("throw.js", "function check() {\n  throw new Error(\"no camera\");\n}\ncheck();\n");
  const ToolRun run = RunTool({script});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, script + ":2: Error: no camera\n");
}

TEST_F(ScriptTest, ArgumentsAreReadInEveryFormAndQuitEndsEvenWhenCaught) {
  const std::string script = WriteScript(
      "quit.js",
      "var a = WScript.Arguments;\n"
      "WScript.Echo(a.length, a.Count(), a(0), a.Item(1), a.item(1), a[1]);\n"
      "try { WScript.Quit(7); } catch (e) {}\n"
      "WScript.Echo(\"after Quit\");\n");
  const ToolRun run = RunTool({script, "one", "two"});
  EXPECT_EQ(run.status, 7);
  EXPECT_EQ(run.out, "2 2 one two two two\n");
}

TEST_F(ScriptTest, ObjectsThatAScriptDropsAreReleasedAndTheModuleCanUnload) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(script_host::RunScript("drop.js",
                                   "for (var i = 0; i < 1000; i++) {\n"
                                   "  var control = new ActiveXObject(\"Prowlnet.CProwlnet\");\n"
                                   "  if (control.GetIPCCount() != 0) throw new Error(\"a new control has devices\");\n"
                                   "  control = null;\n"
                                   "}\n",
                                   {}),
            0);
  EXPECT_EQ(test_support::CallModuleEntry(PROWLNET_MODULE_PATH, "DllCanUnloadNow"), S_OK);
  CoUninitialize();
}

}  // namespace
