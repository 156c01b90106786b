// WScript.Quit ends the script at once: no catch or finally runs after it, the first code is the
// exit status, and the objects the script holds are released before the process ends.
#include <gtest/gtest.h>

#include "script_test.h"
#include "support/log_capture.h"

namespace {

using script_test::ToolRun;

class QuitTest : public script_test::ScriptTest {};

TEST_F(QuitTest, QuitEndsTheScriptAtOnceWithTheFirstCode) {
  const ToolRun caught = RunScript("caught.js",
                                   "WScript.Echo(\"before\");\n"
                                   "try {\n"
                                   "  WScript.Quit(7);\n"
                                   "} catch (e) {\n"
                                   "  WScript.Echo(\"caught\");\n"
                                   "  WScript.Quit(1);\n"
                                   "} finally {\n"
                                   "  WScript.Echo(\"finally\");\n"
                                   "  WScript.Quit(9);\n"
                                   "}\n"
                                   "WScript.Echo(\"after\");\n");
  EXPECT_EQ(caught.status, 7);
  EXPECT_EQ(caught.out, "before\n");

  // From a function the engine itself calls back, inside a try whose finally quits again.
  const ToolRun callback = RunScript("callback.js",
                                     "function stop() { WScript.Quit(3); }\n"
                                     "try { \"a-b\".replace(/-/, stop); } finally { WScript.Quit(9); }\n");
  EXPECT_EQ(callback.status, 3);
  EXPECT_EQ(callback.err, "");
}

TEST_F(QuitTest, QuitCodesBecomeExitStatusesAndAFailureStaysOne) {
  EXPECT_EQ(RunScript("none.js", "WScript.Quit();\n").status, 0);
  EXPECT_EQ(RunScript("text.js", "WScript.Quit(\"4\");\n").status, 4);
  EXPECT_EQ(RunScript("large.js", "WScript.Quit(300);\n").status, 255);
  EXPECT_EQ(RunScript("negative.js", "WScript.Quit(-1);\n").status, 255);
}

TEST_F(QuitTest, QuitReleasesTheObjectsBeforeTheProcessEnds) {
  RegisterControl();
  test_support::LogCapture log(prefix_);
  test_support::TestNetwork network({.subnet = 93});
  // A search thread ends and says so only when its control is released; one that the process
  // takes down with it says nothing.
  const std::string script = WriteScript("search.js",
                                         "var control = new ActiveXObject(\"Prowlnet.CProwlnet\");\n"
                                         "control.StartSearch();\n"
                                         "try { WScript.Quit(4); } finally { WScript.Echo(\"finally\"); }\n");
  const ToolRun run = RunTool({script}, {}, network.pc().name());
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(log.Count("ProwlnetThread(): exit main loop\n"), 1);
}

}  // namespace
