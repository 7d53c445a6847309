// The CommandTable holds a handler exactly where the system has one: the
// slots of every command word, and the same handler wherever one command
// has two slots.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "engine/command_table.h"

namespace velkan {
namespace {

enum Slots : uint8_t { kPre = 1, kMain = 2, kGroup = 4 };

struct Expected {
  uint8_t low;    // low byte of the command word
  uint8_t slots;  // the slots that hold a handler
  bool built;     // the handlers of this command are in place already
};

// Every command word with at least one handler, with its slots.
constexpr Expected kEntries[] = {
    // parameter groups and the loop
    {0x03, kPre | kMain, true}, {0x04, kPre | kMain, true}, {0x54, kPre | kMain, true},
    {0x55, kPre | kMain, true},
    // output switch
    {0x75, kMain, true},
    // format store
    {0x2C, kGroup, true}, {0x3C, kGroup, true}, {0x3E, kGroup, true}, {0x3F, kGroup, true},
    {0x71, kGroup, true}, {0xB3, kPre | kMain, true},
    // ruby
    {0x58, kMain, true}, {0x6E, kMain, true}, {0x7C, kMain, true}, {0x7E, kMain, true},
    {0x7F, kMain, true}, {0x80, kMain, true}, {0x81, kMain, true}, {0x82, kMain, true},
    {0xA3, kMain, true},
    // grouped characters
    {0x99, kGroup, true}, {0x9A, kMain, true},
    // pi characters
    {0x5B, kMain, true},
    // rules
    {0x72, kMain, true}, {0x73, kGroup, true}, {0x88, kGroup, true}, {0x8A, kGroup, true},
    {0x8B, kGroup, true}, {0x8F, kMain, true}, {0x91, kMain, true}, {0x9B, kGroup, true},
    {0x9C, kMain, true}, {0xA4, kGroup, true}, {0xA5, kGroup, true}, {0xA6, kGroup, true},
    {0xA7, kMain, true}, {0xA8, kMain, true}, {0xA9, kMain, true}, {0xAA, kMain, true},
    {0xAB, kMain, true}, {0xAC, kMain, true}, {0xAE, kMain, true},
    // fill rules and page numbers
    {0x1E, kMain, true}, {0x28, kMain, true}, {0x36, kGroup, true}, {0x37, kGroup, true},
    {0x64, kGroup, true}, {0x70, kGroup, true}, {0x8E, kMain, true}, {0x92, kMain, true},
    {0xA0, kGroup, true},
    // character stage
    {0x74, kGroup, true}, {0x76, kGroup, true}, {0x93, kMain, true}, {0xB9, kMain, true},
    {0xC7, kMain, true}, {0xDB, kMain, true}, {0xDC, kMain, true},
    // mode switches
    {0x0C, kPre | kMain, true}, {0x0D, kPre | kMain, true}, {0xCE, kMain, true},
    {0xD5, kMain, true}, {0xD6, kGroup, true},
    // spacing and breaks
    {0x01, kMain, true}, {0x02, kMain, true}, {0x05, kMain, true}, {0x06, kMain, true},
    {0x07, kMain, true}, {0x08, kMain, true}, {0x09, kMain, true}, {0x0A, kMain, true},
    {0x0B, kMain, true}, {0x1C, kMain, true}, {0x1F, kMain, true}, {0x23, kMain, true},
    {0x29, kMain, true}, {0x3D, kMain, true}, {0x4D, kMain, true}, {0x4E, kMain, true},
    {0x4F, kMain, true}, {0x56, kMain, true}, {0x5D, kMain, true}, {0x6D, kMain, true},
    {0xA1, kMain, true}, {0xA2, kMain, true}, {0xB0, kMain, true}, {0xB1, kMain, true},
    {0xB2, kMain, true}, {0xBB, kMain, true}, {0xF7, kMain, true}, {0xF8, kMain, true},
    {0x20, kPre | kMain, true}, {0x60, kPre | kMain, true}, {0x78, kPre | kMain, true},
    // justification and positioning
    {0x1D, kPre | kMain, true}, {0x22, kPre | kMain, true}, {0x24, kPre | kMain, true},
    {0x25, kMain, true}, {0x26, kMain, true}, {0x27, kMain, true}, {0x2A, kGroup, true},
    {0x2B, kGroup, true}, {0x2D, kGroup, true}, {0x2E, kGroup, true}, {0x2F, kGroup, true},
    {0x30, kGroup, true}, {0x31, kGroup, true}, {0x32, kGroup, true}, {0x33, kGroup, true},
    {0x38, kGroup, true}, {0x39, kGroup, true}, {0x3A, kGroup, true}, {0x3B, kGroup, true},
    {0x40, kGroup, true}, {0x41, kGroup, true}, {0x4A, kMain, true}, {0x4B, kMain, true},
    {0x4C, kGroup, true}, {0x51, kGroup, true}, {0x52, kGroup, true}, {0x53, kGroup, true},
    {0x5E, kGroup, true}, {0x79, kMain, true}, {0x7A, kMain, true}, {0x7B, kMain, true},
    {0x84, kGroup, true}, {0x96, kGroup, true}, {0x97, kGroup, true}, {0x98, kGroup, true},
    {0x9D, kMain, true}, {0x9E, kMain, true}, {0xAD, kMain, true}, {0xB4, kMain, true},
    {0xB5, kPre | kMain, true}, {0xB6, kPre | kMain, true}, {0xCC, kGroup, true},
    {0xCF, kGroup, true}, {0xD0, kGroup, true}, {0xD1, kPre | kMain, true},
    {0xD7, kMain, true}, {0xD8, kMain, true}, {0xD9, kGroup, true}, {0xDA, kGroup, true},
    {0xDD, kPre | kMain, true},
    // inline structures
    {0x46, kMain, true}, {0x47, kMain, true}, {0x48, kMain, true}, {0x49, kMain, true},
    {0x59, kMain, true}, {0x61, kMain, true}, {0x8D, kMain, true}, {0xD4, kMain, true},
    {0x5A, kGroup, true}, {0xD3, kGroup, true},
    // warning-only commands
    {0x43, kGroup, true}, {0x57, kMain | kGroup, true}, {0x77, kMain, true}, {0x8C, kMain, true},
    {0xBA, kGroup, true}, {0xBC, kGroup, true}, {0xBD, kGroup, true}, {0xBE, kGroup, true},
    {0xCA, kGroup, true}, {0xCB, kMain, true},
};

uint8_t FilledSlots(const CommandEntry& e) {
  return static_cast<uint8_t>((e.prePhase ? kPre : 0) | (e.main ? kMain : 0) | (e.inGroup ? kGroup : 0));
}

TEST(CommandTable, ListsEachCommandWordOnce) {
  std::array<int, 256> seen{};
  for (const Expected& x : kEntries) ++seen[x.low];
  int entries = 0;
  for (int n : seen) {
    EXPECT_LE(n, 1);
    entries += n;
  }
  EXPECT_EQ(entries, 164);
}

// Commands whose handlers are built hold exactly their slots; the others
// hold no slot beyond theirs; every other entry is empty.
TEST(CommandTable, FillsExactlyTheListedSlots) {
  const CommandTable& table = Commands();
  std::array<const Expected*, 256> byLow{};
  for (const Expected& x : kEntries) byLow[x.low] = &x;
  for (int low = 0; low < 256; ++low) {
    uint8_t filled = FilledSlots(table[static_cast<size_t>(low)]);
    const Expected* x = byLow[static_cast<size_t>(low)];
    SCOPED_TRACE(testing::Message() << "command 0xD0" << std::hex << std::uppercase << low);
    if (x == nullptr) {
      EXPECT_EQ(filled, 0);
    } else if (x->built) {
      EXPECT_EQ(filled, x->slots);
    } else {
      EXPECT_EQ(filled & ~x->slots, 0);
    }
  }
}

TEST(CommandTable, TwoSlotsOfOneCommandHoldOneHandler) {
  const CommandTable& table = Commands();
  for (const CommandEntry& e : table) {
    if (e.prePhase && e.main) {
      EXPECT_EQ(e.prePhase, e.main);
    }
  }
  EXPECT_EQ(table[0x57].main, table[0x57].inGroup);
}

}  // namespace
}  // namespace velkan
