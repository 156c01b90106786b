// fopen on drive c: of the emulated machine.
#include <cerrno>
#include <cstdio>

#include <gtest/gtest.h>

#include "pal/crt.h"
#include "pal/emulated_machine.h"
#include "support/temp_prefix.h"

namespace {

using test_support::ReadFile;
using test_support::TempPrefix;

TEST(Fopen, DriveCIsThePrefixDriveFolder) {
  TempPrefix prefix;
  EXPECT_EQ(pal::HostPathOf("c:\\uc_dbg.cfg").value(), prefix.DriveC() + "/uc_dbg.cfg");
  EXPECT_EQ(pal::HostPathOf("C:/a\\b.log").value(), prefix.DriveC() + "/a/b.log");
  EXPECT_FALSE(pal::HostPathOf("d:\\x").has_value());
  EXPECT_FALSE(pal::HostPathOf("relative.txt").has_value());
}

TEST(Fopen, TextAppendWritesLineFeedsAsCrLf) {
  TempPrefix prefix;
  FILE* file = crt::fopen("c:\\out.log", "a");
  ASSERT_NE(file, nullptr);
  std::fputs("one\ntwo\r\n", file);
  std::fclose(file);
  file = crt::fopen("c:\\out.log", "a");  // appends to what is there
  std::fputs("three", file);
  std::fclose(file);
  EXPECT_EQ(ReadFile(prefix.DriveC() + "/out.log"), "one\r\ntwo\r\r\nthree");
}

TEST(Fopen, BinaryModesPassBytesThrough) {
  TempPrefix prefix;
  FILE* file = crt::fopen("c:\\raw.bin", "ab");
  ASSERT_NE(file, nullptr);
  std::fputs("a\nb", file);
  std::fclose(file);
  file = crt::fopen("c:\\raw.bin", "rb");
  ASSERT_NE(file, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, file), 3u);
  std::fclose(file);
  EXPECT_STREQ(buffer, "a\nb");
}

TEST(Fopen, MissingFilesAndOtherDrivesGiveNull) {
  TempPrefix prefix;
  errno = 0;
  EXPECT_EQ(crt::fopen("c:\\absent.cfg", "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(crt::fopen("e:\\x.log", "a"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(crt::fopen("c:\\no_such_folder\\x.log", "a"), nullptr) << "only the drive root is made";
}

}  // namespace
