#include "support/child_test.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace test_support {
namespace {

constexpr const char* kChildVariable = "PROWLNET_TEST_CHILD";

}  // namespace

bool InTestChild() {
  const char* value = std::getenv(kChildVariable);
  return value != nullptr && value[0] != '\0';
}

void RunThisTestIn(const Namespace& netns) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  ASSERT_NE(test, nullptr);
  const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
  std::error_code error;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
  ASSERT_FALSE(error) << "cannot find this test program";
  const int status = RunProgram({"ip", "netns", "exec", netns.name(), "env", std::string(kChildVariable) + "=1", self,
                                 "--gtest_filter=" + filter});
  EXPECT_EQ(status, 0) << "the test failed in its child process in namespace " << netns.name();
}

}  // namespace test_support
