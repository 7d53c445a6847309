// The listing of a code-word job: offsets, words, command names with the
// numbers of their arguments, indented groups, and the words the converter
// skips marked as such; and the names of the command words.
#include "tools/job_listing.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace velkan {
namespace {

using test::WordBytes;

TEST(JobListing, CommandsShowTheirNamesAndArgumentsGroupsAreIndented) {
  std::string listing = ListCodeWords(WordBytes({0xD003, 0xD052, 0xC341, 0xC342, 0xC334, 0xC345, 0xC335, 0xC343,
                                                 0xD004, 0x45A1, 0xD05B, 0xC340, 0xC340, 0xC347, 0xD009}));
  EXPECT_EQ(listing,
            "offset  word  meaning\n"
            "000000  D003  group {\n"
            "000002  D052    size-centre 12.5,3\n"
            "000010  D004  } group-end\n"
            "000012  45A1  character\n"
            "000014  D05B  pi 007\n"
            "00001c  D009  line-end\n");
}

TEST(JobListing, AroundAnOffsetTheLineHoldingItIsMarked) {
  std::string listing = ListCodeWords(WordBytes({0xD003, 0xD052, 0xC341, 0xC342, 0xC334, 0xC345, 0xC335, 0xC343,
                                                 0xD004, 0x45A1, 0xD05B, 0xC340, 0xC340, 0xC347, 0xD009}));
  // An argument word belongs to the line of its command.
  EXPECT_EQ(ListingAround(listing, 0x06, 1),
            "  offset  word  meaning\n"
            "  000000  D003  group {\n"
            "> 000002  D052    size-centre 12.5,3\n"
            "  000010  D004  } group-end\n");
  EXPECT_EQ(ListingAround(listing, 0x1c, 2),
            "  offset  word  meaning\n"
            "  000012  45A1  character\n"
            "  000014  D05B  pi 007\n"
            "> 00001c  D009  line-end\n");
}

TEST(JobListing, LinesGetTheNumberTheirOffsetIsGiven) {
  std::string listing = ListCodeWords(WordBytes({0x45A1, 0xD009, 0x45A2}));
  EXPECT_EQ(WithLineNumbers(listing, "line", [](long long offset) { return offset < 4 ? 1 : 2; }),
            "offset  word  line  meaning\n"
            "000000  45A1     1  character\n"
            "000002  D009     1  line-end\n"
            "000004  45A2     2  character\n");
}

TEST(JobListing, SkippedWordsFillersAndOddBytesAreMarked) {
  std::string bytes = WordBytes({0x0000, 0xD050, 0x4521, 0xD009, 0xD050, 0xD000, 0xD0FF, 0xD109}) + "\x12";
  EXPECT_EQ(ListCodeWords(bytes),
            "offset  word  meaning\n"
            "000000  0000  filler\n"
            "000002  D050  skip-region: the words up to the next D050 are not read\n"
            "000004  4521    skipped\n"
            "000006  D009    skipped\n"
            "000008  D050  skip-region end\n"
            "00000a  D000  filler\n"
            "00000c  D0FF  command FF (no meaning)\n"
            "00000e  D109  line-end (as D009)\n"
            "000010  12    odd trailing byte, not read\n");
  // A region that is never closed runs to the end of the job.
  EXPECT_EQ(ListCodeWords(WordBytes({0xD050, 0x4521})),
            "offset  word  meaning\n"
            "000000  D050  skip-region: the words up to the next D050 are not read\n"
            "000002  4521    skipped\n");
}

TEST(JobListing, CharactersShowWhatTheNamerGivesThem) {
  auto namer = [](uint16_t w) { return w == 0x84A1 ? std::string("亜") : std::string(); };
  EXPECT_EQ(ListCodeWords(WordBytes({0x84A1, 0x84A2, 0xC341}), namer),
            "offset  word  meaning\n"
            "000000  84A1  character 亜\n"
            "000002  84A2  character\n"
            "000004  C341  character\n")
      << "digits that follow no command are characters";
  // An unbalanced group end never indents below the margin.
  EXPECT_EQ(ListCodeWords(WordBytes({0xD004, 0xD003, 0xD003, 0xD004})),
            "offset  word  meaning\n"
            "000000  D004  } group-end\n"
            "000002  D003  group {\n"
            "000004  D003    group {\n"
            "000006  D004    } group-end\n");
  EXPECT_EQ(ListCodeWords(""), "offset  word  meaning\n");
}

}  // namespace
}  // namespace velkan
