// Pi characters: the code from the definition file in vertical composition,
// the width of the pi-font file, and short numbers ending the conversion.
#include "commands/pi_characters.h"

#include <gtest/gtest.h>

#include "support/memory_pass.h"
#include "support/test_support.h"
#include "tables/pi_font.h"

namespace velkan::test {
namespace {

constexpr uint16_t kPi = 0xD05B;

TEST(PiCharacter, VerticalCompositionTakesTheDefinedCode) {
  Session session;
  MemoryPass pass(session, Join({{kPi}, Args("007")}), 1);
  pass.Define(Sjis("<PI>\r\n7=wrong\r\n007=2a2b\r\n"));
  pass.tables().own()->pi.width[7] = 200;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output(), "<ZAN2 code=2a2b \"PI\" wid=200>");
}

TEST(PiCharacter, TheLongestDefinedCodeIsWrittenWhole) {
  // A code as long as a line of the definition file lets it be (259 bytes
  // with the key).
  const std::string code(255, 'c');
  Session session;
  MemoryPass pass(session, Join({{kPi}, Args("007")}), 1);
  pass.Define(Sjis("<PI>\r\n007=") + code + "\r\n");
  pass.tables().own()->pi.width[7] = 255;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output(), "<ZAN2 code=" + code + " \"PI\" wid=255>");
}

TEST(PiCharacter, KeyWithoutLeadingZerosIsNotFound) {
  Session session;
  MemoryPass pass(session, Join({{kPi}, Args("007")}), 1);
  pass.Define(Sjis("<PI>\r\n7=wrong\r\n"));
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output().find("wrong"), std::string::npos);
  EXPECT_EQ(pass.output().substr(0, 11), "<ZAN2 code=");
}

TEST(PiCharacter, HorizontalCompositionIgnoresTheDefinition) {
  Session session;
  MemoryPass pass(session, Join({{kPi}, Args("999")}), 0);
  pass.Define(Sjis("<PI>\r\n999=2a2b\r\n"));
  pass.tables().own()->pi.width[999] = 255;
  EXPECT_EQ(pass.Run(), Flow::kEndJob);
  EXPECT_EQ(pass.output().find("2a2b"), std::string::npos);
  EXPECT_NE(pass.output().find(" \"PI\" wid=255>"), std::string::npos);
}

TEST(PiCharacter, FewerThanThreeDigitsEndTheConversion) {
  Session session;
  MemoryPass pass(session, Join({{kPi}, Args("07"), {0x45A1}}), 1);
  EXPECT_EQ(pass.Run(), Flow::kFail);
  EXPECT_EQ(pass.output(), "");
}

TEST(PiFontFile, ShortFileLeavesTheRestZero) {
  TempDir dir;
  dir.Write("qdxfiles/pifont.fil", std::string(500, '\x07'));
  TablePaths paths(dir.path(), std::nullopt);
  PiWidths pi;
  pi.width.fill(9);
  ASSERT_EQ(LoadPiFontFile(pi, paths), 0);
  EXPECT_EQ(pi.width[499], 7);
  EXPECT_EQ(pi.width[500], 0);
  EXPECT_EQ(pi.width[999], 0);
}

TEST(PiFontFile, MissingFileFails) {
  TempDir dir;
  TablePaths paths(dir.path(), std::nullopt);
  PiWidths pi;
  EXPECT_EQ(LoadPiFontFile(pi, paths), -1);
}

}  // namespace
}  // namespace velkan::test
