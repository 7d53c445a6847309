// The tables of tag texts composed before: a new table holds nothing, whatever
// its memory held; a text is found by its key; a text too long is not kept.
#include "typo/state_tag_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace velkan {
namespace {

std::string_view TextOf(const StateTagCache::Entry* e) { return e ? std::string_view(e->text, e->size) : "(none)"; }
std::string_view TextOf(const SingleChangeTexts::Entry* e) { return e ? std::string_view(e->text, e->size) : "(none)"; }

// A table made in memory that held other bytes before (as the stack of a
// worker does after the job before), so that what is found comes from the
// table's own record of what it holds.
template <typename Table>
struct Dirty {
  Dirty(unsigned char fill) {
    std::memset(room, fill, sizeof room);
    table = new (room) Table;
  }
  ~Dirty() { table->~Table(); }
  alignas(Table) unsigned char room[sizeof(Table)];
  Table* table;
};

StateTagKey Key(uint64_t n) { return StateTagKey{{n, n * 3, n * 5, n * 7}}; }

TEST(StateTagCache, NewTableFindsNoKeyWhateverItsMemoryHeld) {
  for (unsigned char fill : {0x00, 0xFF}) {
    auto dirty = std::make_unique<Dirty<StateTagCache>>(fill);
    StateTagKey same;
    std::memset(&same, fill, sizeof same);
    EXPECT_EQ(dirty->table->Find(same), nullptr) << "memory filled with " << int(fill);
    EXPECT_EQ(dirty->table->Find(Key(0)), nullptr);
  }
}

TEST(StateTagCache, FindsATextByItsKeyAndForgetsOneTooLong) {
  auto dirty = std::make_unique<Dirty<StateTagCache>>(0xAB);
  StateTagCache& cache = *dirty->table;
  cache.Put(Key(1), "<J1>");
  EXPECT_EQ(TextOf(cache.Find(Key(1))), "<J1>");
  EXPECT_EQ(cache.Find(Key(2)), nullptr);
  cache.Put(Key(1), "");  // an empty text is a text
  EXPECT_EQ(TextOf(cache.Find(Key(1))), "");
  cache.Put(Key(1), std::string(StateTagCache::kMostText + 1, 'x'));
  EXPECT_EQ(cache.Find(Key(1)), nullptr);
  cache.Put(Key(1), std::string(StateTagCache::kMostText, 'y'));
  EXPECT_EQ(TextOf(cache.Find(Key(1))), std::string(StateTagCache::kMostText, 'y'));

  // A key put is found at once with its text, whatever it pushed aside.
  for (uint64_t n = 10; n < 400; ++n) {
    cache.Put(Key(n), "<" + std::to_string(n) + ">");
    EXPECT_EQ(TextOf(cache.Find(Key(n))), "<" + std::to_string(n) + ">");
  }
}

TEST(SingleChangeTexts, NewTableFindsNoKeyAndATextPutIsFound) {
  for (unsigned char fill : {0x00, 0x5A}) {
    auto dirty = std::make_unique<Dirty<SingleChangeTexts>>(fill);
    SingleChangeTexts& texts = *dirty->table;
    uint64_t same;
    std::memset(&same, fill, sizeof same);
    EXPECT_EQ(texts.Find(same), nullptr);
    EXPECT_EQ(texts.Find(1), nullptr);
    texts.Put(7, "<G7>");
    EXPECT_EQ(TextOf(texts.Find(7)), "<G7>");
    texts.Put(8, std::string(SingleChangeTexts::kMostText + 1, 'x'));
    EXPECT_EQ(texts.Find(8), nullptr);
  }
  auto dirty = std::make_unique<Dirty<SingleChangeTexts>>(0x11);
  for (uint64_t n = 1; n < 200; ++n) {
    dirty->table->Put(n, std::to_string(n));
    EXPECT_EQ(TextOf(dirty->table->Find(n)), std::to_string(n));
  }
}

}  // namespace
}  // namespace velkan
