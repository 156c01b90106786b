// JScript's globals and behaviours that scripts of the time relied on: the engine's name and
// version, CollectGarbage, Enumerator over arrays, RegExp's static match properties, getYear, and
// the date formats JScript's Date.parse read.
#include <gtest/gtest.h>

#include "script_test.h"

namespace {

using script_test::ToolRun;

class GlobalsTest : public script_test::ScriptTest {};

TEST_F(GlobalsTest, EngineFunctionsAndEnumeratorOverArrays) {
  const ToolRun run = RunScript(
      "engine.js",
      "WScript.Echo(ScriptEngine(), ScriptEngineMajorVersion() + \".\" + ScriptEngineMinorVersion(),\n"
      "             ScriptEngineBuildVersion() > 0);\n"
      "CollectGarbage();\n"
      "var e = new Enumerator([\"a\", \"b\"]), seen = \"\";\n"
      "for (; !e.atEnd(); e.moveNext()) seen += e.item();\n"
      "e.moveNext();\n"
      "WScript.Echo(seen, e.atEnd(), e.item());\n"
      "e.moveFirst();\n"
      "WScript.Echo(e.item(), new Enumerator().atEnd());\n"
      "try { new Enumerator(5); } catch (x) { WScript.Echo(x.number & 0xFFFF); }\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "JScript 5.8 true\nab true undefined\na true\n438\n");
}

TEST_F(GlobalsTest, RegExpKeepsTheLastMatchAfterExecTestMatchAndReplace) {
  const ToolRun run = RunScript(
      "regexp.js",
      "function show() {\n"
      "  WScript.Echo(RegExp.$1 + \"|\" + RegExp.$2 + \"|\" + RegExp.lastMatch + \"|\" + RegExp.lastParen + \"|\" +\n"
      "               RegExp.leftContext + \"|\" + RegExp.rightContext + \"|\" + RegExp.input);\n"
      "}\n"
      "/(\\d+)\\.(\\d+)/.exec(\"ip 10.77 ok\"); show();\n"
      "/cam(\\w)/.test(\"a camX b\"); show();\n"
      "\"a1b22c333\".match(/(\\d)\\d*/g); show();\n"
      "\"PN01 PN02\".replace(/PN(\\d+)/g, \"#\"); show();\n"
      "WScript.Echo(\"x7y8\".replace(/(\\d)/g, function () { return \"<\" + RegExp.$1 * 2 + \">\"; }));\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "10|77|10.77|77|ip | ok|ip 10.77 ok\n"
            "X||camX|X|a | b|a camX b\n"
            "3||333|3|a1b22c||a1b22c333\n"
            "02||PN02|02|PN01 ||PN01 PN02\n"
            "x<14>y<16>\n");
}

TEST_F(GlobalsTest, GetYearAndDateParseAsJScriptHadThem) {
  const ToolRun run = RunScript(
      "dates.js",
      "WScript.Echo(new Date(2024, 5, 1).getYear(), new Date(1999, 0, 1).getYear(), new Date(1850, 0, 1).getYear());\n"
      "var june = new Date(2024, 5, 1).getTime(), later = new Date(2024, 5, 1, 13, 5, 0).getTime();\n"
      "WScript.Echo(Date.parse(\"6/1/2024 13:05:00\") == later, Date.parse(\"2024/06/01\") == june,\n"
      "             Date.parse(\"June 1, 2024\") == june, Date.parse(\"1 Jun 2024 1:05 PM\") == later,\n"
      "             new Date(\"6/1/2024\").getTime() == june,\n"
      "             Date.parse(\"6/1/24\") == new Date(1924, 5, 1).getTime());\n"
      "WScript.Echo(Date.parse(\"Sat Jun 1 13:05:00 UTC+0800 2024\") == Date.UTC(2024, 5, 1, 5, 5, 0),\n"
      "             Date.parse(\"Sat, 1 Jun 2024 05:05:00 UTC\") == Date.UTC(2024, 5, 1, 5, 5, 0),\n"
      "             Date.parse(\"2024-06-01T05:05:00Z\") == Date.UTC(2024, 5, 1, 5, 5, 0),\n"
      "             isNaN(Date.parse(\"soon\")));\n"
      "WScript.Echo(typeof Date(), new Date() instanceof Date, new Date(0).constructor === Date);\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2024 99 1850\ntrue true true true true true\ntrue true true true\nstring true true\n");
}

}  // namespace
