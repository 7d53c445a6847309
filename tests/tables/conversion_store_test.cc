#include "tables/conversion_store.h"

#include <gtest/gtest.h>

namespace velkan {
namespace {

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

}  // namespace
}  // namespace velkan
