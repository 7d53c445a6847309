// The command table's rows and what is derived from them: the dispatch table
// holds exactly the rows' handlers, the names are the rows' names, and the
// rows keep the rules the main loop relies on.
#include "engine/command_table.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>

#include "commands/spacing_breaks.h"
#include "engine/main_loop.h"
#include "tables/command_words.h"

namespace velkan {
namespace {

std::string Hex(uint16_t word) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", word);
  return buf;
}

TEST(CommandTable, RowsAreOrderedNamedOnceAndInTheTable) {
  std::set<std::string_view> names;
  uint16_t previous = 0;
  for (const CommandRow& row : CommandRows()) {
    SCOPED_TRACE(Hex(row.word));
    EXPECT_TRUE(InCommandTable(row.word));
    if (&row != CommandRows().data()) {
      EXPECT_GT(row.word, previous);
    }
    previous = row.word;
    // Lower-case words of letters and digits joined by "-".
    ASSERT_FALSE(row.name.empty());
    EXPECT_NE(row.name.front(), '-');
    EXPECT_NE(row.name.back(), '-');
    EXPECT_EQ(row.name.find("--"), std::string_view::npos);
    for (char ch : row.name) {
      EXPECT_TRUE(std::islower(static_cast<unsigned char>(ch)) || std::isdigit(static_cast<unsigned char>(ch)) ||
                  ch == '-')
          << row.name;
    }
    EXPECT_TRUE(names.insert(row.name).second) << "name used twice: " << row.name;
  }
}

TEST(CommandTable, DispatchAndNamesAreTheRows) {
  std::array<const CommandRow*, 256> byLow{};
  for (const CommandRow& row : CommandRows()) byLow[row.word & 0xFF] = &row;
  const CommandTable& table = Commands();
  for (int low = 0; low < 256; ++low) {
    const CommandEntry& e = table[static_cast<size_t>(low)];
    const CommandRow* row = byLow[static_cast<size_t>(low)];
    const uint16_t word = CommandWordOf(static_cast<uint8_t>(low));
    SCOPED_TRACE(Hex(word));
    EXPECT_EQ(e.prePhase, row ? row->prePhase : nullptr);
    EXPECT_EQ(e.main, row ? row->main : nullptr);
    EXPECT_EQ(e.inGroup, row ? row->inGroup : nullptr);
    EXPECT_EQ(CommandName(static_cast<uint8_t>(low)), row ? row->name : std::string_view());
    EXPECT_EQ(CommandWordName(word), CommandName(static_cast<uint8_t>(low)));
    // Other pages have no names, even where the low byte has one.
    EXPECT_EQ(CommandWordName(static_cast<uint16_t>(0xD100 | low)), "");
    EXPECT_EQ(CommandWordName(static_cast<uint16_t>(0xC300 | low)), "");
  }
}

// What the pre-phase handles after a command it handles after a character
// too, with the same handler but for the end of the text, which only the
// main dispatch ends the job with: the pre-phase only takes a command early.
TEST(CommandTable, EveryPrePhaseCommandIsAMainCommand) {
  int prePhase = 0;
  for (const CommandRow& row : CommandRows()) {
    if (row.prePhase == nullptr) continue;
    ++prePhase;
    SCOPED_TRACE(Hex(row.word));
    if (row.word == kEndOfText) {
      EXPECT_EQ(row.prePhase, CmdEndOfTextInPrePhase);
      EXPECT_EQ(row.main, CmdEndOfText);
    } else {
      EXPECT_EQ(row.main, row.prePhase);
    }
    EXPECT_EQ(row.inGroup, nullptr);
  }
  EXPECT_GT(prePhase, 0);
}

// The words the stream, the groups and the readers give meaning to have the
// rows the code relies on.
TEST(CommandTable, TheStreamsOwnWordsHaveTheirRows) {
  const CommandTable& table = Commands();
  EXPECT_EQ(CommandWordName(kFillerWord), "filler");
  EXPECT_EQ(CommandWordName(kSkipRegion), "skip-region");
  EXPECT_EQ(CommandWordName(kGroupOpen), "group");
  EXPECT_EQ(CommandWordName(kGroupClose), "group-end");
  EXPECT_EQ(CommandWordName(kEndOfJob), "end-of-job");
  // A group opens in the pre-phase and after a character; its end is
  // consumed wherever it is met outside a group.
  EXPECT_EQ(table[kGroupOpen & 0xFF].prePhase, RunParameterGroup);
  EXPECT_EQ(table[kGroupOpen & 0xFF].main, RunParameterGroup);
  EXPECT_EQ(table[kGroupClose & 0xFF].prePhase, ConsumeWord);
  EXPECT_EQ(table[kGroupClose & 0xFF].inGroup, nullptr);
  // The stream drops the filler and the skipped region before any dispatch.
  for (uint16_t w : {kFillerWord, kSkipRegion}) {
    const CommandEntry& e = table[w & 0xFF];
    EXPECT_TRUE(e.prePhase == nullptr && e.main == nullptr && e.inGroup == nullptr) << Hex(w);
  }
  EXPECT_NE(table[kEndOfJob & 0xFF].main, nullptr);
}

}  // namespace
}  // namespace velkan
