// Errors as JScript reported them: a number and a description on every error, JScript's own
// numbers for the engine's errors and for failed automation calls (with the HRESULT kept in the
// description), Error(number, description), and an uncaught error reported with its line.
#include <gtest/gtest.h>

#include "script_test.h"

namespace {

using script_test::ToolRun;

class ErrorsTest : public script_test::ScriptTest {};

TEST_F(ErrorsTest, EngineErrorsCarryJScriptNumbers) {
  const ToolRun run = RunScript(
      "engine.js",
      "function show(e) { WScript.Echo(e.number & 0xFFFF, e.number < 0, e.description == e.message, e.description); }\n"
      "try { missing(); } catch (e) { show(e); }\n"
      "try { var camera = null; camera.ip = 1; } catch (e) { show(e); }\n"
      "try { var table = {}; table.refresh(); } catch (e) { show(e); }\n"
      "try { var count = 3; count(); } catch (e) { show(e); }\n"
      "try { (function deeper() { deeper(); })(); } catch (e) { show(e); }\n"
      "try { throw new Error(0x800A01AD, \"no server\"); }\n"
      "catch (e) { WScript.Echo(e.number, e.description, e.message); }\n"
      "try { throw new Error(\"plain\"); } catch (e) { WScript.Echo(e.number, e.description, e instanceof Error); }\n"
      "try { throw new TypeError(\"typed\"); } catch (e) { WScript.Echo(e.number, e.description); }\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "5009 true true 'missing' is undefined\n"
            "5007 true true Object expected (cannot write property 'ip' of null)\n"
            "438 true true Object doesn't support property or method 'refresh'\n"
            "5002 true true Function expected\n"
            "28 true true Out of stack space\n"
            "-2146827859 no server no server\n"
            "0 plain true\n"
            "0 typed\n");
}

TEST_F(ErrorsTest, FailedAutomationCallsMapToJScriptNumbersAndKeepTheHResult) {
  RegisterControl();
  const ToolRun run = RunScript(
      "calls.js",
      "var control = new ActiveXObject(\"Prowlnet.CProwlnet\");\n"
      "function show(e) { WScript.Echo(e.number & 0xFFFF, e.description); }\n"
      "try { control.StartSerch(); } catch (e) { show(e); }\n"
      "try { control.GetIPCCount(1); } catch (e) { show(e); }\n"
      "try { control.GetIPCInfoXML(\"first\"); } catch (e) { show(e); }\n"
      "try { new ActiveXObject(\"Prowlnet.Camera\"); } catch (e) { show(e); }\n"
      "try { new ActiveXObject(\"WScript.Shell\"); } catch (e) { show(e); }\n"
      "control.StartSerch();\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "438 Object doesn't support this property or method: StartSerch: Unknown name. (0x80020006)\n"
            "450 Wrong number of arguments or invalid property assignment: GetIPCCount: Invalid number of parameters. "
            "(0x8002000E)\n"
            "13 Type mismatch: GetIPCInfoXML: Type mismatch. (0x80020005) in argument 1\n"
            "429 Automation server can't create object: ActiveXObject(\"Prowlnet.Camera\"): Invalid class string "
            "(0x800401F3)\n"
            "429 Automation server can't create object: ActiveXObject(\"WScript.Shell\"): Invalid class string "
            "(0x800401F3); WScript.Shell is part of Windows, which prowlnet-script does not provide\n");
  EXPECT_EQ(run.err, prefix_.root() + "/calls.js:8: Error: Object doesn't support this property or method: StartSerch: "
                                      "Unknown name. (0x80020006)\n");
}

TEST_F(ErrorsTest, AnUncaughtErrorIsReportedWithItsLineAndEndsTheRun) {
  const ToolRun thrown = RunScript("throw.js", "function check() {\n  throw new Error(\"no camera\");\n}\ncheck();\n");
  EXPECT_EQ(thrown.status, 1);
  EXPECT_EQ(thrown.err, prefix_.root() + "/throw.js:2: Error: no camera\n");

  // Raised inside JScript's own globals, blamed on the script's line that called them.
  const ToolRun inner = RunScript("enumerate.js", "var a = 1;\nvar e = new Enumerator(a);\n");
  EXPECT_EQ(inner.err, prefix_.root() +
                           "/enumerate.js:2: Error: Object doesn't support this property or method: Enumerator needs a "
                           "collection or an array\n");

  const ToolRun syntax = RunScript("syntax.js", "var a = 1;\nvar = 2;\n");
  EXPECT_EQ(syntax.status, 1);
  EXPECT_EQ(syntax.err.find(prefix_.root() + "/syntax.js:2: SyntaxError: Syntax error ("), 0u) << syntax.err;
}

}  // namespace
