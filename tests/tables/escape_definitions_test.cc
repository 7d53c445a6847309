#include "tables/escape_definitions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Lines(std::initializer_list<std::string> lines, const char* end = "\n") {
  std::string s;
  for (const auto& l : lines) s += l + end;
  return s;
}

class EscapeDefinitionsTest : public ::testing::Test {
 protected:
  int16_t Load(const std::string& system, const std::string& user) {
    root_.Write("qdxfiles/velkansys.tbl", system);
    root_.Write("qdxfiles/velkanuser.tbl", user);
    return LoadEscapeDefinitions(defs_, TablePaths(root_.path(), std::nullopt));
  }
  std::string Name(const EscapeName& n) const { return std::string(n.text.data(), n.length); }

  TempDir root_;
  EscapeDefinitions defs_;
};

TEST_F(EscapeDefinitionsTest, NamesAndLeadsCountOnlyAfterAnUnlockingLine) {
  ASSERT_EQ(Load(Lines({"#D00C @EARLY;  before any % line: locked",
                        "$0004 @OLD;",
                        "%0000 0;",
                        "#D009 @KAI;",
                        "#9001 !;",
                        "$0003 @ROM;",
                        "%0000 1;",
                        "#D001 @XX;   locked again",
                        "$9001 ?;"}),
                 Lines({"#D00B @KEEP;  the lock carries over",
                        "%0000 x;     anything but 1 unlocks",
                        "#9002 ~;"})),
            0);
  EXPECT_EQ(Name(defs_.commandNames[0x09]), "@KAI");
  EXPECT_EQ(Name(defs_.modeNames[3]), "@ROM");
  EXPECT_EQ(defs_.commandLead[0], '!');
  EXPECT_EQ(defs_.commandLead[1], '~');
  EXPECT_EQ(defs_.commandNames[0x0C].length, 0);
  EXPECT_EQ(defs_.modeNames[4].length, 0);
  EXPECT_EQ(defs_.commandNames[0x01].length, 0);
  EXPECT_EQ(defs_.commandNames[0x0B].length, 0);
  EXPECT_EQ(defs_.modeLead, 0);
  EXPECT_FALSE(defs_.locked);
}

// The index by second byte finds what the search of every name finds:
// the first name in order of the low byte, a shorter name of a later low
// byte or one of one byte included.
TEST_F(EscapeDefinitionsTest, TheIndexOfCommandNamesMatchesAsTheSearchOfEveryName) {
  for (bool oneByte : {false, true}) {
    SCOPED_TRACE(oneByte);
    std::initializer_list<std::string> lines = {"%0000 0;", "#D003 !AB;", "#D002 !ABC;", "#D010 ?A;", "#D001 !A;",
                                                "#D020 !B;", "#D030 ~Q;", "#D0FF !~;", "#D040 ~ABCDEFG;"};
    std::string system = Lines(lines);
    if (oneByte) system += "#D005 ?;\n";
    ASSERT_EQ(Load(system, ""), 0);
    const CommandNameIndex index = IndexCommandNames(defs_);
    int matched = 0;
    for (char first : {'!', '?', '~', 'x'}) {
      for (int second = 0; second < 256; ++second) {  // every byte, those of two-byte characters too
        for (std::string third : {"", "B", "C", "BC"}) {
          std::string text = std::string(1, first) + static_cast<char>(second) + third;
          for (size_t length = 0; length <= text.size(); ++length) {
            const std::string_view t = std::string_view(text).substr(0, length);
            const EscapeMatch linear = MatchCommandName(defs_, t), indexed = MatchCommandName(defs_, index, t);
            EXPECT_EQ(indexed.code, linear.code) << t;
            EXPECT_EQ(indexed.length, linear.length) << t;
            matched += linear.code != 0;
          }
        }
      }
    }
    EXPECT_GT(matched, 0);
    EXPECT_EQ(MatchCommandName(defs_, index, "!ABC").code, 0xD001);
    EXPECT_EQ(MatchCommandName(defs_, index, "?A").code, oneByte ? 0xD005 : 0xD010);
    EXPECT_EQ(MatchCommandName(defs_, index, "!~").code, 0xD0FF);
    // A name of eight bytes is compared over all of them, and never with
    // bytes past the end of the text.
    EXPECT_EQ(MatchCommandName(defs_, index, "~ABCDEFGH").length, 8u);
    EXPECT_EQ(MatchCommandName(defs_, index, "~ABCDEFX").code, 0);
    EXPECT_EQ(MatchCommandName(defs_, index, std::string_view("~ABCDEFGH", 7)).code, 0);
    EXPECT_EQ(MatchCommandName(defs_, index, std::string_view("~A\0", 3)).code, 0);
  }
}

TEST_F(EscapeDefinitionsTest, NamesAreCutAtEightCharacters) {
  ASSERT_EQ(Load(Lines({"%0000 0;", "#D002 @ABCDEX;", "#D003 @ABCDEFG;", "#D004 @ABCDEFGH;", "$0001 @MODE567;",
                        "$0002 @MODE5678;"}),
                 ""),
            0);
  EXPECT_EQ(Name(defs_.commandNames[0x02]), "@ABCDEX");
  EXPECT_EQ(Name(defs_.commandNames[0x03]), "@ABCDEFG");
  EXPECT_EQ(Name(defs_.commandNames[0x04]), "@ABCDEFG");
  EXPECT_EQ(Name(defs_.modeNames[1]), "@MODE567");
  EXPECT_EQ(Name(defs_.modeNames[2]), "@MODE567");
  // The cut name matches the text that begins with its eight characters.
  EscapeMatch m = MatchCommandName(defs_, "@ABCDEFGHIJ");
  EXPECT_EQ(m.code, 0xD003);
  EXPECT_EQ(m.length, 8u);
}

TEST_F(EscapeDefinitionsTest, KeysValuesAndLineEndsAreReadByColumn) {
  ASSERT_EQ(Load(Lines({"%    0",
                        "$000a @LONGNAME1;  names are cut at 8",
                        "#d0Ff @X",           // lower-case key, value to the line end
                        "$00G1 @NOHEX;",      // G counts as digit 0: key 0x0001
                        "#D0 @SHORT;",        // short key: blank and "@" count as digit 0
                        "$0002 ;",            // empty value: no name
                        "X0004 @IGNORED;",
                        "\\0005 @NONE;"},
                       "\r\n"),
                 ""),
            0);
  EXPECT_EQ(Name(defs_.modeNames[10]), "@LONGNAM");
  EXPECT_EQ(Name(defs_.commandNames[0xFF]), "@X");  // no CR from the CR LF
  EXPECT_EQ(Name(defs_.modeNames[1]), "@NOHEX");
  // "#D0 @SHORT": the blank and "@" count as digit 0 (key 0xD000), and the
  // value still starts in column 6.
  EXPECT_EQ(Name(defs_.commandNames[0x00]), "HORT");
  EXPECT_EQ(defs_.modeNames[2].length, 0);
  EXPECT_EQ(defs_.modeNames[4].length, 0);
  EXPECT_EQ(defs_.modeNames[5].length, 0);
}

TEST_F(EscapeDefinitionsTest, ValuesStopAtTheSemicolonAndAfterFortyCharacters) {
  std::string long40(45, 'm');
  long40[0] = '<';
  ASSERT_EQ(Load(Lines({"@9002 <;", "@9001 >;", "@1111 " + long40, "@2222 <b>;comment;more"}), ""), 0);
  EXPECT_EQ(defs_.markers[0].length, 40);
  EXPECT_EQ(std::string(defs_.markers[0].text.data(), 40), long40.substr(0, 40));
  EXPECT_EQ(defs_.markers[1].length, 3);
  EXPECT_EQ(std::string(defs_.markers[1].text.data(), 4), std::string("<b>\0", 4));
}

TEST_F(EscapeDefinitionsTest, UserPairsReplaceSystemPairsFromPositionZero) {
  ASSERT_EQ(Load(Lines({"&8140 D002;", "&8141 D009;", "&8142 D003;"}), Lines({"&8190 d0a1;"})), 0);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8190), 0xD0A1);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0);  // replaced
  EXPECT_EQ(LookupEscapePair(defs_, 0x8141), 0xD009);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8142), 0xD003);
  // A pair with key 0 ends the list for look-ups.
  ASSERT_EQ(Load(Lines({"&8140 D002;", "&0000 D009;", "&8142 D003;"}), ""), 0);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0xD002);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8142), 0);
  EXPECT_EQ(LookupEscapePair(defs_, 0x0000), 0);
}

TEST_F(EscapeDefinitionsTest, PairValuesAreTheFirstFourCharactersAndPairsAreNotLocked) {
  ASSERT_EQ(Load(Lines({"%0000 1;", "&8140 D0021234;", "&8141 D0;", "&8142 xyzw;"}), ""), 0);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0xD002);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8141), 0xD000);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8142), 0x0000);
}

TEST_F(EscapeDefinitionsTest, PairsBeyondTheCapacityOfAFileAreDropped) {
  std::string sys;
  for (unsigned i = 0; i < kMaxEscapePairs + 10; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "&%04X %04X;\n", 0x8800 + i, 0x9000 + i);
    sys += line;
  }
  ASSERT_EQ(Load(sys, ""), 0);
  EXPECT_EQ(defs_.pairs.size(), kMaxEscapePairs);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8800), 0x9000);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8800 + kMaxEscapePairs - 1), 0x9000 + kMaxEscapePairs - 1);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8800 + kMaxEscapePairs), 0);
}

TEST_F(EscapeDefinitionsTest, MarkersAreNumberedFromZeroInEachFile) {
  ASSERT_EQ(Load(Lines({"@9002 <;", "@9001 >;", "@D0A0 <P>;", "@D0A1 <Q>;", "@D0A2 <R>;", "@D0A3 <S>;"}),
                 Lines({"@D0B0 <U>;"})),
            0);
  EXPECT_EQ(defs_.markerLead, '<');
  EXPECT_EQ(defs_.markerClose, '>');
  EXPECT_EQ(defs_.markers[0].code, 0xD0B0);
  EXPECT_EQ(defs_.markers[1].code, 0xD0A1);
  EXPECT_EQ(defs_.markers[2].code, 0xD0A2);
  // The fourth marker of the system file is beyond the three that count.
  EXPECT_EQ(MatchMarker(defs_, "<S>").marker, -1);
  MarkerMatch u = MatchMarker(defs_, "<U>12345rest");
  EXPECT_EQ(u.marker, 0);
  EXPECT_EQ(u.code, 0xD0B0);
  EXPECT_EQ(u.length, 3u + 5u);
  MarkerMatch q = MatchMarker(defs_, "<Q>rest");
  EXPECT_EQ(q.marker, 1);
  EXPECT_EQ(q.code, 0xD0A1);
  EXPECT_EQ(q.length, 3u);
  EXPECT_EQ(MatchMarker(defs_, "<P>").marker, -1);
}

TEST_F(EscapeDefinitionsTest, MarkerMatchesCutTheTextAtTheClosingCharacter) {
  std::string longMarker = "<abcdefghijklmnopq>";  // 19 characters: only 12 compared
  ASSERT_EQ(Load(Lines({"@9002 <;", "@9001 >;", "@0001 <>>;", "@0002 " + longMarker + ";", "@0003 <zz>;"}), ""),
            0);
  // The closing character is searched from the third character on.
  MarkerMatch m = MatchMarker(defs_, "<>>x");
  EXPECT_EQ(m.marker, 0);
  EXPECT_EQ(m.code, 0x0001);
  EXPECT_EQ(m.length, 4u);  // 3 + 5, but only 4 bytes are there
  EXPECT_EQ(MatchMarker(defs_, "<>").marker, -1);
  // Texts equal in their first 12 bytes match, whatever follows.
  MarkerMatch l = MatchMarker(defs_, "<abcdefghijkXYZ>tail");
  EXPECT_EQ(l.marker, 1);
  EXPECT_EQ(l.length, 16u);
  // A marker text shorter than 12 bytes compares its zero padding too.
  EXPECT_EQ(MatchMarker(defs_, "<zzz>").marker, -1);
  EXPECT_EQ(MatchMarker(defs_, "<zz>").marker, 2);
  // No closing character within the first 40 bytes, or none at all.
  std::string at39 = "<abcdefghijk" + std::string(27, '-') + ">";
  MarkerMatch within = MatchMarker(defs_, at39 + "tail");
  EXPECT_EQ(within.marker, 1);
  EXPECT_EQ(within.length, 40u);
  std::string at40 = "<abcdefghijk" + std::string(28, '-') + ">";
  EXPECT_EQ(MatchMarker(defs_, at40).marker, -1);
  EXPECT_EQ(MatchMarker(defs_, "<zz").marker, -1);
  // The text must start with the lead.
  EXPECT_EQ(MatchMarker(defs_, "x<zz>").marker, -1);
  EXPECT_EQ(MatchMarker(defs_, "").marker, -1);
}

TEST_F(EscapeDefinitionsTest, NothingMatchesWithoutLeadAndClosingCharacters) {
  ASSERT_EQ(Load(Lines({"@0001 <a>;"}), ""), 0);
  EXPECT_EQ(MatchMarker(defs_, "<a>").marker, -1);
  EXPECT_EQ(MatchMarker(defs_, std::string("\0\0\0\0", 4)).marker, -1);
  EXPECT_FALSE(IsMarkerLead(defs_, '\0'));
  EXPECT_FALSE(IsModeLead(defs_, '\0'));
  EXPECT_FALSE(IsCommandLead(defs_, '\0'));
}

TEST_F(EscapeDefinitionsTest, ModeAndCommandNamesMatchAtTheStartOfTheText) {
  ASSERT_EQ(Load(Lines({"%0000 0;", "$9001 @;", "$0000 @Z;", "$0002 @MA;", "$0003 @M;", "$0006 @MAR;",
                        "#9001 !;", "#9002 ?;", "#D030 !AB;", "#D010 !A;", "#D0FF ?Q;"}),
                 ""),
            0);
  EXPECT_TRUE(IsModeLead(defs_, '@'));
  EXPECT_TRUE(IsCommandLead(defs_, '!'));
  EXPECT_TRUE(IsCommandLead(defs_, '?'));
  EXPECT_FALSE(IsCommandLead(defs_, '@'));
  // The first key whose whole name stands there wins, not the longest name.
  EscapeMatch m = MatchModeName(defs_, "@MARU and more");
  EXPECT_EQ(m.code, 2);
  EXPECT_EQ(m.length, 3u);
  EXPECT_EQ(MatchModeName(defs_, "@M.").code, 3);
  // Key 0 reads as no mode; no name; the text ends inside every name.
  EXPECT_EQ(MatchModeName(defs_, "@Z").code, 0);
  EXPECT_EQ(MatchModeName(defs_, "@X").code, 0);
  EXPECT_EQ(MatchModeName(defs_, "@").code, 0);
  EXPECT_EQ(MatchModeName(defs_, "").code, 0);
  // Commands in order of the low byte.
  EscapeMatch c = MatchCommandName(defs_, "!ABC");
  EXPECT_EQ(c.code, 0xD010);
  EXPECT_EQ(c.length, 2u);
  EXPECT_EQ(MatchCommandName(defs_, "?Q").code, 0xD0FF);
  EXPECT_EQ(MatchCommandName(defs_, "?").code, 0);
  EXPECT_EQ(MatchCommandName(defs_, "!B").code, 0);
}

TEST_F(EscapeDefinitionsTest, LongLinesAreReadInPiecesEachALine) {
  std::string comment = "\\" + std::string(kEscapeLineLength - 1, 'c');  // one full piece
  ASSERT_EQ(Load(Lines({comment + "&8140 D00A;", comment + "%0000 0;", "#D001 !" + std::string(90, 'N')}), ""), 0);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0xD00A);
  EXPECT_FALSE(defs_.locked);
  EXPECT_EQ(Name(defs_.commandNames[0x01]), "!NNNNNNN");
  // The rest of the long name line forms pieces of its own that start with "N": ignored.
}

TEST_F(EscapeDefinitionsTest, MissingFilesFailButWhatWasReadStays) {
  root_.Write("qdxfiles/velkansys.tbl", Lines({"&8140 D002;", "@9002 <;"}));
  TablePaths paths(root_.path(), std::nullopt);
  EXPECT_EQ(LoadEscapeDefinitions(defs_, paths), -1);  // no user file
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0xD002);
  EXPECT_EQ(defs_.markerLead, '<');

  fs::remove(root_.path() / "qdxfiles" / "velkansys.tbl");
  root_.Write("qdxfiles/velkanuser.tbl", Lines({"&8141 D003;"}));
  EXPECT_EQ(LoadEscapeDefinitions(defs_, paths), -1);  // no system file: the user file still counts
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8141), 0xD003);
  EXPECT_EQ(defs_.markerLead, 0);

  fs::create_directory(root_.path() / "qdxfiles" / "velkansys.tbl");
  EXPECT_EQ(LoadEscapeDefinitions(defs_, paths), -1);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8141), 0xD003);
}

TEST_F(EscapeDefinitionsTest, ALoadStartsFromScratchAndReleaseDropsThePairs) {
  ASSERT_EQ(Load(Lines({"%0000 0;", "$0001 @A;", "&8140 D002;", "@9002 <;"}), ""), 0);
  ASSERT_EQ(Load("", ""), 0);
  EXPECT_TRUE(defs_.locked);
  EXPECT_EQ(defs_.modeNames[1].length, 0);
  EXPECT_EQ(defs_.markerLead, 0);
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0);
  ASSERT_EQ(Load(Lines({"&8140 D002;"}), ""), 0);
  ReleaseEscapeDefinitions(defs_);
  EXPECT_TRUE(defs_.pairs.empty());
  EXPECT_EQ(LookupEscapePair(defs_, 0x8140), 0);
}

}  // namespace
}  // namespace velkan
