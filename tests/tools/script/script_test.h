// What the script host's tests share: a fresh emulated machine, scripts written into it, and the
// real prowlnet-script run on them as a second process, with input on its stdin, and inside a
// network namespace when a script searches.
#pragma once

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/netns.h"
#include "support/temp_prefix.h"

namespace script_test {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class ScriptTest : public ::testing::Test {
 protected:
  /// Registers the control, as a user prepares a machine; only scripts that create it need it.
  void RegisterControl() const {
    ASSERT_EQ(test_support::RunProgram({REGSVR32_PATH, "-s", PROWLNET_MODULE_PATH}), 0);
  }

  /// Writes `bytes` as the script `name` in the emulated machine's folder; its path.
  std::string WriteScript(const std::string& name, const std::string& bytes) const {
    const std::string path = prefix_.root() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  /// Runs prowlnet-script with `argv` (the script first), `input` on its stdin, inside namespace
  /// `netns` when one is named, and collects what it wrote.
  ToolRun RunTool(std::vector<std::string> argv, const std::string& input = {}, const std::string& netns = {}) const {
    argv.insert(argv.begin(), PROWLNET_SCRIPT_PATH);
    if (!netns.empty()) argv.insert(argv.begin(), {"/usr/bin/env", "ip", "netns", "exec", netns});
    const std::string errorPath = prefix_.root() + "/stderr.txt";
    test_support::ChildProcess child(argv, errorPath);
    if (!input.empty()) child.Write(input);
    ToolRun run;
    run.status = child.Wait(std::chrono::seconds(60));
    run.out = child.output();
    run.err = test_support::ReadFile(errorPath);
    return run;
  }

  /// Writes `source` as `name` and runs it with `arguments`.
  ToolRun RunScript(const std::string& name, const std::string& source, std::vector<std::string> arguments = {},
                    const std::string& input = {}) const {
    arguments.insert(arguments.begin(), WriteScript(name, source));
    return RunTool(arguments, input);
  }

  test_support::TempPrefix prefix_;
};

}  // namespace script_test
