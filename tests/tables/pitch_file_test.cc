#include "tables/pitch_file.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velkan {
namespace {

using test::TempDir;

// A pitch file whose header gives font index f block blocks[f]; block b holds
// width (b * 10 + column) % 128 at each column, column 0x90 negative.
std::string PitchBytes(const std::vector<std::pair<int, int>>& fontBlocks, int blockCount) {
  std::string bytes(1024 + static_cast<size_t>(blockCount) * 256, '\0');
  for (const auto& [font, block] : fontBlocks) bytes[static_cast<size_t>(2 + font)] = static_cast<char>(block);
  for (int b = 1; b <= blockCount; ++b) {
    for (int col = 0; col < 256; ++col) {
      bytes[static_cast<size_t>((b + 3) * 256 + col)] = static_cast<char>((b * 10 + col) % 128);
    }
    bytes[static_cast<size_t>((b + 3) * 256 + 0x90)] = static_cast<char>(-5);
  }
  return bytes;
}

class PitchFileTest : public ::testing::Test {
 protected:
  int16_t Open(const std::string& bytes) {
    dir.Write("root/QDXFILES/PITFILE.FIL", bytes);
    return OpenPitchFile(pitch, paths);
  }
  TempDir dir;
  TablePaths paths{dir.path() / "root", std::nullopt};
  PitchFile pitch;
};

TEST_F(PitchFileTest, WidthsOfBothRomanPages) {
  ASSERT_EQ(Open(PitchBytes({{1, 1}, {2, 2}}, 2)), kPitchOpened);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC300), 10);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC341), 10 + 0x41);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC405), (10 + 0x85) % 128);  // column low byte + 0x80
  EXPECT_EQ(PitchWidth(pitch, 2, 0xC410), -5);                 // widths are signed bytes
  EXPECT_EQ(PitchWidth(pitch, 2, 0xC301), 21);
  EXPECT_TRUE(IsPitchWidth(-5));
}

TEST_F(PitchFileTest, FontNumbersAreTakenModulo1024) {
  ASSERT_EQ(Open(PitchBytes({{976, 1}}, 1)), kPitchOpened);
  EXPECT_EQ(PitchWidth(pitch, 2000, 0xC302), 12);
  EXPECT_EQ(PitchWidth(pitch, 976, 0xC302), 12);
  EXPECT_EQ(pitch.blocksRead(), 1);
}

TEST_F(PitchFileTest, FailuresOfAFontWithoutWidths) {
  ASSERT_EQ(Open(PitchBytes({{1, 1}, {2, 2}, {3, -2}}, 1) + std::string(100, '\0')), kPitchOpened);
  EXPECT_EQ(PitchWidth(pitch, 4, 0xC341), kPitchNoBlock);
  EXPECT_EQ(PitchWidth(pitch, 2, 0xC341), kPitchShortBlock);  // only 100 bytes of block 2 exist
  EXPECT_EQ(PitchWidth(pitch, 3, 0xC341), kPitchSeekFailed);  // negative block number
  EXPECT_EQ(PitchWidth(pitch, 1022, 0xC341), kPitchNoBlock);  // beyond the header
  EXPECT_FALSE(IsPitchWidth(kPitchNoBlock));
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC341), 10 + 0x41);
}

TEST_F(PitchFileTest, FontIndexZeroReadsItsBlockLikeAnyOther) {
  ASSERT_EQ(Open(PitchBytes({{0, 1}}, 1)), kPitchOpened);
  EXPECT_EQ(PitchWidth(pitch, 1024, 0xC300), 10);
}

TEST_F(PitchFileTest, FiveBlocksAreCachedAndReusedInTurn) {
  ASSERT_EQ(Open(PitchBytes({{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}}, 6)), kPitchOpened);
  for (int f = 1; f <= 5; ++f) EXPECT_EQ(PitchWidth(pitch, static_cast<int16_t>(f), 0xC300), f * 10);
  EXPECT_EQ(pitch.blocksRead(), 5);
  for (int f = 1; f <= 5; ++f) PitchWidth(pitch, static_cast<int16_t>(f), 0xC301);
  EXPECT_EQ(pitch.blocksRead(), 5);
  EXPECT_EQ(PitchWidth(pitch, 6, 0xC300), 60);  // replaces font 1's slot
  EXPECT_EQ(PitchWidth(pitch, 2, 0xC300), 20);
  EXPECT_EQ(pitch.blocksRead(), 6);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC300), 10);  // read again, replacing font 2
  EXPECT_EQ(PitchWidth(pitch, 2, 0xC300), 20);
  EXPECT_EQ(pitch.blocksRead(), 8);
}

TEST_F(PitchFileTest, AFileReadWholeGivesWhatTheFileGivesToEveryPassSharingIt) {
  ASSERT_EQ(Open(PitchBytes({{1, 1}, {2, 2}, {3, -2}, {5, 127}}, 1) + std::string(100, '\0')), kPitchOpened);
  ASSERT_TRUE(pitch.ReadWhole());
  EXPECT_TRUE(pitch.whole());
  // Read whole, the file itself is no longer looked at.
  dir.Write("root/QDXFILES/PITFILE.FIL", PitchBytes({{1, 2}}, 2));
  PitchFile lent;
  lent.Share(pitch);
  for (PitchFile* p : {&pitch, &lent}) {
    EXPECT_EQ(p->openResult(), kPitchOpened);
    EXPECT_EQ(PitchWidth(*p, 1, 0xC341), 10 + 0x41);
    EXPECT_EQ(PitchWidth(*p, 1, 0xC410), -5);
    EXPECT_EQ(PitchWidth(*p, 2, 0xC341), kPitchShortBlock);
    EXPECT_EQ(PitchWidth(*p, 3, 0xC341), kPitchSeekFailed);
    EXPECT_EQ(PitchWidth(*p, 4, 0xC341), kPitchNoBlock);
    EXPECT_EQ(PitchWidth(*p, 5, 0xC341), kPitchShortBlock);  // far beyond the end
  }
  EXPECT_EQ(lent.blocksRead(), 1);  // each keeps its own cache
  pitch.Close();
  EXPECT_EQ(PitchWidth(lent, 1, 0xC300), 10);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC300), kPitchNotOpened);
  // Nothing to read whole, nothing to share.
  EXPECT_FALSE(pitch.ReadWhole());
  lent.Share(pitch);
  EXPECT_EQ(lent.openResult(), kPitchNotOpened);
}

TEST_F(PitchFileTest, MissingFileOrShortHeaderGivesNoWidths) {
  EXPECT_EQ(OpenPitchFile(pitch, paths), kPitchNotOpened);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC341), kPitchNotOpened);
  EXPECT_EQ(Open(std::string(1023, '\1')), kPitchShortHeader);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC341), kPitchShortHeader);
  EXPECT_EQ(Open(""), kPitchShortHeader);
}

TEST_F(PitchFileTest, PrefixedByMtbl) {
  dir.Write("mtbl/QDXFILES/pitfile.fil", PitchBytes({{1, 1}}, 1));
  TablePaths prefixed(dir.path() / "root", (dir.path() / "mtbl").string());
  EXPECT_EQ(OpenPitchFile(pitch, prefixed), kPitchOpened);
  EXPECT_EQ(PitchWidth(pitch, 1, 0xC300), 10);
}

}  // namespace
}  // namespace velkan
