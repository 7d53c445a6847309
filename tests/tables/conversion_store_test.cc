#include "tables/conversion_store.h"

#include <gtest/gtest.h>

#include <vector>

namespace velkan {
namespace {

// Every entry of the table numbers 0-21, table after table.
std::vector<uint16_t> Entries(const ConversionStore& s) {
  std::vector<uint16_t> entries;
  for (int t = 0; t < 22; ++t) {
    for (int i = 0; i < kTableWords; ++i) entries.push_back(s.Read(t, i));
  }
  return entries;
}

class ConversionStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store.AllocateFirst());
    ASSERT_TRUE(store.AllocateSecond());
  }
  ConversionStore store;
};

TEST_F(ConversionStoreTest, EveryTableNumberHasItsOwnPlace) {
  const int tables[] = {0, 1, 8, 9, 10, 11, 12, 16, 17, 18, 19, 20, 21};
  for (int t : tables) {
    store.Write(t, 0, static_cast<uint16_t>(0x100 + t));
    store.Write(t, 4095, static_cast<uint16_t>(0x200 + t));
  }
  for (int t : tables) {
    EXPECT_EQ(store.Read(t, 0), 0x100 + t) << "table " << t;
    EXPECT_EQ(store.Read(t, 4095), 0x200 + t) << "table " << t;
  }
}

TEST_F(ConversionStoreTest, OtherTableNumbersAndIndexesAddressNothing) {
  for (int t : {2, 3, 7, 13, 15, 22, 31, -1}) {
    EXPECT_FALSE(store.Addresses(t, 0)) << t;
    store.Write(t, 5, 0x1234);
    EXPECT_EQ(store.Read(t, 5), 0) << t;
  }
  store.Write(0, 4096, 0x1111);
  store.Write(0, -1, 0x1111);
  EXPECT_EQ(store.Read(1, 0), 0);  // did not spill into the next table
  EXPECT_EQ(store.Read(0, 4095), 0);
}

TEST_F(ConversionStoreTest, UndoRestoresInReverseSoATwiceRecordedKeyGetsItsFirstValue) {
  store.Write(0, 7, 0x3021);  // base
  // An overlay that changes entry 7 twice and entry 8 once.
  store.RecordUndo(0x0007, store.Read(0, 7));
  store.Write(0, 7, 0x3022);
  store.RecordUndo(0x0008, store.Read(0, 8));
  store.Write(0, 8, 0x4444);
  store.RecordUndo(0x0007, store.Read(0, 7));
  store.Write(0, 7, 0x3023);
  EXPECT_EQ(store.undoPairs(), 3);
  store.Undo();
  EXPECT_EQ(store.Read(0, 7), 0x3021);
  EXPECT_EQ(store.Read(0, 8), 0);
  EXPECT_EQ(store.undoPairs(), 0);
  store.Write(0, 7, 0x5555);
  store.Undo();  // an empty list changes nothing
  EXPECT_EQ(store.Read(0, 7), 0x5555);
}

TEST_F(ConversionStoreTest, UndoListHoldsAtMost4032Pairs) {
  EXPECT_EQ(kUndoPairs, 4032);
  for (int i = 0; i < kUndoPairs; ++i) ASSERT_TRUE(store.RecordUndo(static_cast<uint16_t>(0x8000 | (i & 0xFFF)), 1));
  EXPECT_FALSE(store.RecordUndo(0x8001, 2));
  EXPECT_EQ(store.undoPairs(), kUndoPairs);
  // The list lies behind the six tables of the second buffer.
  EXPECT_EQ(store.Read(kRubyTable, 4095), 0);
}

TEST_F(ConversionStoreTest, ReleasedStoreReadsZeroAndDropsWrites) {
  store.Write(9, 1, 9);
  store.Release();
  EXPECT_FALSE(store.allocated());
  store.Write(9, 1, 9);
  EXPECT_EQ(store.Read(9, 1), 0);
  EXPECT_FALSE(store.RecordUndo(0x9001, 0));
  EXPECT_EQ(store.Table(kRubyTable), nullptr);
}

TEST_F(ConversionStoreTest, AStoreSharedAgainHoldsTheBaseWhateverItWroteBefore) {
  // The base: entries in every table and an undo list of two pairs.
  for (int t : {0, 1, 8, 9, 10, 11, 12, 16, 17, 18, 19, 20, 21}) {
    for (int i = 0; i < kTableWords; i += 97) store.Write(t, i, static_cast<uint16_t>(t << 8 ^ i));
  }
  ASSERT_TRUE(store.RecordUndo(0x8005, 0x1111));
  ASSERT_TRUE(store.RecordUndo(0x9006, 0x2222));
  const std::vector<uint16_t> base = Entries(store);

  // A pass undoes the base's list, records another, writes both buffers
  // and writes through tables handed out.
  ConversionStore pass;
  pass.ShareBuffersOf(store);
  pass.Undo();
  const uint16_t overlay[] = {0x8010, 1, 0xC020, 2, 0x9006, 3};
  pass.WriteRecordingUndo(overlay, 6);
  pass.Write(kFontMapTable, 3, 7);
  pass.MutableTable(kRubyTable)[100] = 9;
  pass.MutableTable(1)[50] = 9;

  // The next pass shares the base again; a write to each buffer makes them
  // its own again, as the base holds them.
  pass.ShareBuffersOf(store);
  EXPECT_EQ(pass.undoPairs(), 2);
  pass.Write(0, 1, 0xAAAA);
  pass.Write(kRomanTableA, 1, 0xBBBB);
  std::vector<uint16_t> expected = base;
  expected[0 * kTableWords + 1] = 0xAAAA;
  expected[kRomanTableA * kTableWords + 1] = 0xBBBB;
  EXPECT_EQ(Entries(pass), expected);
  // Its undo list is the base's.
  pass.Undo();
  expected[8 * kTableWords + 5] = 0x1111;
  expected[9 * kTableWords + 6] = 0x2222;
  EXPECT_EQ(Entries(pass), expected);
  EXPECT_EQ(Entries(store), base);

  // Once the base changed in place, sharing it again gives what it holds now.
  store.Write(11, 11, 0x3333);
  const std::vector<uint16_t> changed = Entries(store);
  pass.ShareBuffersOf(store);
  pass.Write(kRomanTableA, 1, 0xBBBB);
  pass.Write(0, 1, 0xAAAA);
  expected = changed;
  expected[0 * kTableWords + 1] = 0xAAAA;
  expected[kRomanTableA * kTableWords + 1] = 0xBBBB;
  EXPECT_EQ(Entries(pass), expected);
}

}  // namespace
}  // namespace velkan
