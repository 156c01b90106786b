// Replays the inputs kept for a fuzz target through it: its seed corpus and every input that
// once found a bug. Built with each target in the builds that do not fuzz.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> KeptInputs() {
  std::vector<std::filesystem::path> files;
  for (const char* folder : {SEED_FOLDER, REGRESSION_FOLDER}) {
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  return files;
}

TEST(KeptInputs, RunThroughTheTargetWithoutAFailedCheck) {
  const std::vector<std::filesystem::path> files = KeptInputs();
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
}

}  // namespace
