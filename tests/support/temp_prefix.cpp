#include "support/temp_prefix.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace test_support {

TempPrefix::TempPrefix() {
  if (const char* previous = std::getenv("PROWLNET_PREFIX")) {
    previous_ = previous;
    hadPrevious_ = true;
  }
  char pattern[] = "/tmp/prowlnet-test-XXXXXX";
  root_ = mkdtemp(pattern);
  setenv("PROWLNET_PREFIX", root_.c_str(), 1);
}

TempPrefix::~TempPrefix() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
  if (hadPrevious_) {
    setenv("PROWLNET_PREFIX", previous_.c_str(), 1);
  } else {
    unsetenv("PROWLNET_PREFIX");
  }
}

void TempPrefix::WriteDriveCFile(const std::string& name, const std::string& contents) const {
  std::filesystem::create_directories(DriveC());
  std::ofstream(DriveC() + "/" + name, std::ios::binary) << contents;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace test_support
