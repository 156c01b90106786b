// WScript.Arguments as WSH split it: every argument, the /name:value and /name ones in Named and
// the others in Unnamed, each read in every form scripts used and walked with Enumerator.
#include <gtest/gtest.h>

#include "script_test.h"

namespace {

using script_test::ToolRun;

class ArgumentsTest : public script_test::ScriptTest {};

TEST_F(ArgumentsTest, ArgumentsNamedAndUnnamedAreReadInEveryForm) {
  const ToolRun run = RunScript(
      "arguments.js",
      "var a = WScript.Arguments;\n"
      "WScript.Echo(a.length, a.Length, a.Count(), a.count(), a(0), a.Item(1), a.item(2), a[3]);\n"
      "var named = a.Named;\n"
      "WScript.Echo(named.Count(), named.length, named.Exists(\"ip\"), named.exists(\"IP\"), named.Exists(\"mask\"));\n"
      "WScript.Echo(named(\"ip\"), named.Item(\"Ip\"), \"[\" + named(\"dhcp\") + \"]\",\n"
      "             named(\"mask\") === undefined);\n"
      "var unnamed = a.Unnamed;\n"
      "WScript.Echo(unnamed.Count(), unnamed.Length, unnamed(0), unnamed.Item(1));\n"
      "var all = [];\n"
      "for (var e = new Enumerator(a); !e.atEnd(); e.moveNext()) all.push(e.item());\n"
      "for (e = new Enumerator(named); !e.atEnd(); e.moveNext()) all.push(e.item());\n"
      "for (e = new Enumerator(unnamed); !e.atEnd(); e.moveNext()) all.push(e.item());\n"
      "WScript.Echo(all.join(\",\"));\n"
      "try { a.Item(4); } catch (x) { WScript.Echo(x.number & 0xFFFF, x.description); }\n"
      "try { unnamed(2); } catch (x) { WScript.Echo(x.number & 0xFFFF); }\n",
      {"PN00000001", "/ip:10.1.2.3", "/dhcp", "eth0"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "4 4 4 4 PN00000001 /ip:10.1.2.3 /dhcp eth0\n"
            "2 2 true true false\n"
            "10.1.2.3 10.1.2.3 [] true\n"
            "2 2 PN00000001 eth0\n"
            "PN00000001,/ip:10.1.2.3,/dhcp,eth0,ip,dhcp,PN00000001,eth0\n"
            "9 Subscript out of range: WScript.Arguments.Item(4)\n"
            "9\n");
}

}  // namespace
