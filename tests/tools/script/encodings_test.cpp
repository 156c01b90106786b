// Script files as WSH read them, UTF-8 with or without a byte-order mark, UTF-16 with one, or
// the ANSI code page (GBK here, as Notepad saved them), and the console's text (output, input and
// arguments) in its locale's charset.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "script_test.h"

namespace {

using script_test::ToolRun;

constexpr char kCameraGbk[] = "\xC9\xE3\xCF\xF1\xBB\xFA";  // 摄像机 in GBK
constexpr char kSearchCameraGbk[] = "\xCB\xD1\xCB\xF7\xC9\xE3\xCF\xF1\xBB\xFA";  // 搜索摄像机

/// A script with Chinese in a comment and a string, and an error on its fourth line.
std::string Source(const std::string& searchCamera, const std::string& camera) {
  return "// " + searchCamera + "\nvar name = \"" + camera +
         "\";\nWScript.Echo(name.length, name, \"\\ud83d\\ude00\".length);\nmissing();\n";
}

/// UTF-8 text of the Basic Multilingual Plane as UTF-16 bytes with a byte-order mark.
std::string Utf16WithMark(const std::string& utf8, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (size_t at = 0; at < utf8.size();) {
    const unsigned lead = static_cast<unsigned char>(utf8[at]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
    unsigned code = length == 1 ? lead : length == 2 ? lead & 0x1F : lead & 0x0F;
    for (size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
    const char high = static_cast<char>(code >> 8), low = static_cast<char>(code & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    at += length;
  }
  return bytes;
}

class EncodingsTest : public script_test::ScriptTest {
 protected:
  void SetUp() override {
    setenv("PROWLNET_ACP", "936", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
  }
};

TEST_F(EncodingsTest, ScriptsInEveryEncodingWshReadRunAlike) {
  const std::string utf8 = Source("搜索摄像机", "摄像机");
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"gbk.js", Source(kSearchCameraGbk, kCameraGbk)},
      {"utf8.js", utf8},
      {"utf8-mark.js", "\xEF\xBB\xBF" + utf8},
      {"utf16le.js", Utf16WithMark(utf8, false)},
      {"utf16be.js", Utf16WithMark(utf8, true)},
  };
  for (const auto& file : files) {
    const std::string path = WriteScript(file.name, file.bytes);
    const ToolRun run = RunTool({path});
    EXPECT_EQ(run.status, 1) << file.name;
    EXPECT_EQ(run.out, "3 摄像机 2\n") << file.name;
    EXPECT_EQ(run.err, path + ":4: ReferenceError: 'missing' is undefined\n") << file.name;
  }
}

TEST_F(EncodingsTest, TheConsoleSpeaksTheCharsetOfItsLocale) {
  setenv("LC_ALL", "zh_CN.GBK", 1);
  const ToolRun run = RunScript("console.js",
                                "var line = WScript.StdIn.ReadLine();\n"
                                "WScript.Echo(line.length, line == \"摄像机\", WScript.Arguments(0) == line);\n"
                                "WScript.StdOut.WriteLine(\"摄像机 \\u0e01\");\n",
                                {kCameraGbk}, std::string(kCameraGbk) + "\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, std::string("3 true true\n") + kCameraGbk + " ?\n");
}

}  // namespace
