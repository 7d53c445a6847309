#include "tables/pi_font.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(PiFontTest, AShortFileGivesWidthZeroBeyondItsEnd) {
  TempDir root;
  std::string bytes(500, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(1 + i % 200);
  bytes[499] = static_cast<char>(0xFF);
  root.Write("qdxfiles/pifont.fil", bytes);
  PiWidths pi;
  pi.width.fill(7);  // left over from an earlier job
  ASSERT_EQ(LoadPiFontFile(pi, TablePaths(root.path(), std::nullopt)), 0);
  EXPECT_EQ(pi.width[0], 1);
  EXPECT_EQ(pi.width[7], 8);
  EXPECT_EQ(pi.width[499], 0xFF);
  for (size_t n = 500; n < 1000; ++n) ASSERT_EQ(pi.width[n], 0) << n;
}

TEST(PiFontTest, AMissingFileOrADirectoryFails) {
  TempDir root;
  PiWidths pi;
  pi.width.fill(7);
  EXPECT_EQ(LoadPiFontFile(pi, TablePaths(root.path(), std::nullopt)), -1);
  EXPECT_EQ(pi.width[0], 0);
  fs::create_directories(root.path() / "qdxfiles" / "pifont.fil");
  EXPECT_EQ(LoadPiFontFile(pi, TablePaths(root.path(), std::nullopt)), -1);
}

TEST(PiFontTest, AReadOnlyFileLoadsOnlyItsFirstThousandBytes) {
  TempDir root;
  std::string bytes(1500, '\x09');
  bytes[999] = '\x05';
  auto file = root.Write("QDXFILES/PIFONT.FIL", bytes);
  fs::permissions(file, fs::perms::owner_read);
  PiWidths pi;
  ASSERT_EQ(LoadPiFontFile(pi, TablePaths(root.path(), std::nullopt)), 0);
  EXPECT_EQ(pi.width[998], 9);
  EXPECT_EQ(pi.width[999], 5);
}

}  // namespace
}  // namespace velkan
