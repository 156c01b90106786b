// Conditional compilation as JScript evaluated it before compiling: the branch for JScript 5.8
// on 32-bit Windows is the one that runs, @set variables hold their values, and the lines of
// errors stay the file's own.
#include <gtest/gtest.h>

#include "script_test.h"

namespace {

using script_test::ToolRun;

class ConditionalCompilationTest : public script_test::ScriptTest {};

TEST_F(ConditionalCompilationTest, TheBranchesJScriptTookAreTheOnesThatRun) {
  const ToolRun run = RunScript(
      "guarded.js",
      "/*@cc_on @*/\n"
      "/*@if (@_jscript_version >= 5.5)\n"
      "WScript.Echo(\"JScript\", @_jscript_version, @_jscript, @_win32, @_win16, @_mac);\n"
      "@else @*/\n"
      "WScript.Echo(\"without conditional compilation\");\n"
      "/*@end @*/\n"
      "//@set @level = (@_jscript_version * 10)\n"
      "/*@set @offset = -2 @*/\n"
      "//@if (@level == 58) WScript.Echo(\"level\", @level + @offset); @end\n"
      "@if (!@_jscript) WScript.Echo(\"never\"); @elif (@_x86) WScript.Echo(\"x86\");\n"
      "@else WScript.Echo(\"else\"); @end\n"
      "WScript.Echo(\"@if in a string\", /@end/.test(\"@end\"), @notSet);\n"
      "missing();\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "JScript 5.8 true true NaN NaN\n"
            "level 56\n"
            "x86\n"
            "@if in a string true NaN\n");
  EXPECT_EQ(run.err, prefix_.root() + "/guarded.js:13: ReferenceError: 'missing' is undefined\n");
}

TEST_F(ConditionalCompilationTest, WithoutItTheCommentsStayCommentsAndBadDirectivesAreErrors) {
  const ToolRun plain = RunScript("plain.js", "/*@ not a directive @*/\nWScript.Echo(\"plain\"); // @if\n");
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out, "plain\n");

  const ToolRun open = RunScript("open.js", "WScript.Echo(1);\n/*@if (@_win32)\nWScript.Echo(2);\n");
  EXPECT_EQ(open.status, 1);
  EXPECT_EQ(open.out, "");
  EXPECT_EQ(open.err, prefix_.root() + "/open.js:2: SyntaxError: Expected '@end'\n");
}

}  // namespace
