// The WScript object as WSH gave it: its members whatever their case, its text streams, objects
// created, got and connected through it, and its time limit.
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "script_test.h"

namespace {

using script_test::ToolRun;

class WScriptTest : public script_test::ScriptTest {};

TEST_F(WScriptTest, MembersAnswerAsWshGaveThemWhateverTheirCase) {
  const std::string script = WriteScript("members.js",
                                         "var w = WScript;\n"
                                         "w.echo(w.Name + \"|\" + w.version + \"|\" + w.BuildVersion);\n"
                                         "w.ECHO(w.ScriptName + \"|\" + w.ScriptFullName);\n"
                                         "w.Echo(w.FullName + \"|\" + w.Path);\n"
                                         "w.Echo(w.Interactive, w.Application === w, w.Timeout);\n"
                                         "w.interactive = false;\n"
                                         "w.Echo(w.Interactive);\n"
                                         "try { w.Foo(); } catch (e) { w.Echo(e.number & 0xFFFF, e.description); }\n"
                                         "try { w.Version = \"6.0\"; }\n"
                                         "catch (e) { w.Echo(e.number & 0xFFFF, e.description); }\n"
                                         "w.sleep(1);\n");
  const ToolRun run = RunTool({script});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::filesystem::path host(PROWLNET_SCRIPT_PATH);
  EXPECT_EQ(run.out, "Windows Script Host|5.8|16385\n"
                     "members.js|" + script + "\n" +
                     host.string() + "|" + host.parent_path().string() + "\n"
                     "true true 0\n"
                     "false\n"
                     "438 Object doesn't support this property or method: WScript.Foo\n"
                     "450 Wrong number of arguments or invalid property assignment: WScript.Version is read-only\n");
}

TEST_F(WScriptTest, StreamsWriteTheConsoleAndReadItsInput) {
  const ToolRun lines = RunScript("lines.js",
                                  "var out = WScript.StdOut, input = WScript.StdIn;\n"
                                  "out.Write(\"a\");\n"
                                  "out.WriteLine(\"b\");\n"
                                  "out.WriteBlankLines(2);\n"
                                  "WScript.StdErr.WriteLine(\"to stderr\");\n"
                                  "while (!input.AtEndOfStream) {\n"
                                  "  out.WriteLine(\"line: \" + input.ReadLine());\n"
                                  "}\n"
                                  "try { input.ReadLine(); } catch (e) { out.WriteLine(e.number & 0xFFFF); }\n"
                                  "try { input.Write(\"x\"); } catch (e) { out.WriteLine(e.number & 0xFFFF); }\n"
                                  "try { out.ReadAll(); } catch (e) { out.WriteLine(e.number & 0xFFFF); }\n",
                                  {}, "first\r\nsecond\nthird");
  EXPECT_EQ(lines.status, 0) << lines.err;
  EXPECT_EQ(lines.out, "ab\n\n\nline: first\nline: second\nline: third\n62\n54\n54\n");
  EXPECT_EQ(lines.err, "to stderr\n");

  const ToolRun all = RunScript("all.js", "WScript.Echo(\"[\" + WScript.StdIn.ReadAll() + \"]\");\n", {}, "x\ny\n");
  EXPECT_EQ(all.out, "[x\ny\n]\n");
}

TEST_F(WScriptTest, ObjectsAreCreatedGotAndConnectedAsWshDid) {
  RegisterControl();
  const ToolRun run = RunScript(
      "objects.js",
      "var cam = WScript.CreateObject(\"Prowlnet.CProwlnet\", \"cam_\");\n"
      "var got = WScript.GetObject(\"\", \"Prowlnet.CProwlnet\");\n"
      "WScript.Echo(cam.GetIPCCount(), got.GetIPCCount(), GetObject(\"\", \"Prowlnet.CProwlnet\").GetIPCCount());\n"
      "WScript.ConnectObject(got, \"got_\");\n"
      "WScript.DisconnectObject(got);\n"
      "try { WScript.GetObject(undefined, \"Prowlnet.CProwlnet\"); } catch (e) { WScript.Echo(e.number & 0xFFFF); }\n"
      "try { GetObject(\"c:\\\\cameras.dat\"); } catch (e) { WScript.Echo(e.number & 0xFFFF); }\n"
      "try { WScript.ConnectObject({}, \"x_\"); } catch (e) { WScript.Echo(e.number & 0xFFFF); }\n"
      "try { WScript.CreateObject(\"Scripting.FileSystemObject\"); } catch (e) { WScript.Echo(e.description); }\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "0 0 0\n429\n432\n13\n"
                     "Automation server can't create object: WScript.CreateObject(\"Scripting.FileSystemObject\"): "
                     "Invalid class string (0x800401F3); Scripting.FileSystemObject is part of Windows, which "
                     "prowlnet-script does not provide\n");
}

TEST_F(WScriptTest, EventsReachTheFunctionsNamedWithThePrefix) {
  ASSERT_EQ(test_support::RunProgram({REGSVR32_PATH, "-s", EVENT_SOURCE_PATH}), 0);
  const ToolRun run = RunScript("events.js",
                                "function bell_Rang(count, text) { WScript.Echo(\"rang\", count, text); }\n"
                                "function other_Rang(count) {\n"
                                "  if (count == 2) throw new Error(7, \"the bell broke\");\n"
                                "  WScript.Echo(\"other\", count);\n"
                                "}\n"
                                "var bell = WScript.CreateObject(\"ScriptTest.Bell\", \"bell_\");\n"
                                "bell.Ring(2);\n"
                                "WScript.DisconnectObject(bell);\n"
                                "bell.Ring(1);\n"
                                "WScript.ConnectObject(bell, \"other_\");\n"
                                "try { bell.Ring(3); } finally { WScript.Echo(\"finally\"); }\n");
  // An error in a handler ends the script as an uncaught one, as in WSH.
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "rang 1 ding\nrang 2 ding\nother 1\n");
  EXPECT_EQ(run.err, prefix_.root() + "/events.js:3: Error: the bell broke\n");
}

TEST_F(WScriptTest, TimeoutEndsAScriptThatRunsTooLong) {
  const auto start = std::chrono::steady_clock::now();
  const ToolRun sleeping = RunScript("sleeping.js",
                                     "WScript.Timeout = 1;\n"
                                     "WScript.Echo(WScript.Timeout);\n"
                                     "WScript.Sleep(Infinity);\n"
                                     "WScript.Echo(\"woke\");\n");
  EXPECT_EQ(sleeping.status, 1);
  EXPECT_EQ(sleeping.out, "1\n");
  EXPECT_NE(sleeping.err.find("sleeping.js: Script execution time was exceeded"), std::string::npos) << sleeping.err;

  // A script that computes without calling the host is ended too, a second later. (It makes
  // strings: ThreadSanitizer delivers a signal only when the program calls the C library.)
  const ToolRun looping =
      RunScript("looping.js", "WScript.Timeout = 1;\nvar text;\nfor (;;) { text = \"camera \" + Math.random(); }\n");
  EXPECT_EQ(looping.status, 1);
  EXPECT_NE(looping.err.find("looping.js: Script execution time was exceeded"), std::string::npos) << looping.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
