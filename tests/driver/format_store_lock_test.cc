// The lock by which conversions running at the same time share the store of
// user-defined formats: readers side by side, a pass that changes it alone,
// and nothing another pass defined is lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "driver/code_stream.h"
#include "driver/conversion.h"
#include "driver/format_store.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::LittleEndianWords;
using test::TempDir;

using ::velkan::test::Slurp;

FormatWords Words(std::initializer_list<uint16_t> words) {
  FormatWords w{};
  size_t i = 0;
  for (uint16_t x : words) w[i++] = x;
  return w;
}

std::string Record(const FormatWords& w) { return LittleEndianWords(std::vector<uint16_t>(w.begin(), w.end())); }

// Defines format n on disk behind the store's back, as another conversion
// holding the store alone would.
void DefineOnDisk(const fs::path& dir, int n, const FormatWords& words) {
  fs::path table = dir / "QDXFILES" / "udf2.tbl", file = dir / "QDXFILES" / "udf2.fle";
  std::fstream t(table, std::ios::in | std::ios::out | std::ios::binary);
  t.seekp(n);
  t.put(1);
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(n) * kFormatRecordBytes);
  std::string bytes = Record(words);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Tries to lock the table file without waiting; true when it could.
bool CanLock(const fs::path& table, int how) {
  int fd = ::open(table.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  bool ok = ::flock(fd, how | LOCK_NB) == 0;
  ::close(fd);
  return ok;
}

// The table bytes of the formats defined.
std::string TableWith(std::initializer_list<int> defined) {
  std::string t(kFormatCount, '\0');
  for (int n : defined) t[static_cast<size_t>(n)] = 1;
  return t;
}

class StoreLock : public ::testing::Test {
 protected:
  StoreLock() {
    // A store laid out once, with format 3 defined.
    FormatStore s;
    EXPECT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
    EXPECT_EQ(0, WriteFormat(s, 3, Words({0x4523, 0x4524})));
    EXPECT_EQ(0, CloseFormatStore(s)) << s.error;
  }
  fs::path Table() const { return dir.path() / "QDXFILES" / "udf2.tbl"; }
  TempDir dir;
};

TEST_F(StoreLock, PassesThatOnlyReadShareTheStore) {
  FormatStore a;
  ASSERT_EQ(0, OpenFormatStore(a, dir.path())) << a.error;
  EXPECT_FALSE(a.exclusive);
  ASSERT_TRUE(CanLock(Table(), LOCK_SH));  // so a second pass does not wait
  EXPECT_FALSE(CanLock(Table(), LOCK_EX));
  FormatStore b;
  ASSERT_EQ(0, OpenFormatStore(b, dir.path())) << b.error;
  EXPECT_EQ(1, LoadFormat(a, 3));
  EXPECT_EQ(1, LoadFormat(b, 3));
  EXPECT_EQ(Words({0x4523, 0x4524}), b.cache[b.state[3] & kNoSlot]);

  // Closing a reader neither waits for the other nor writes anything.
  auto closing = std::async(std::launch::async, [&] { return CloseFormatStore(a); });
  if (closing.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "closing a store that was only read waits for another reader";
  }
  EXPECT_EQ(0, CloseFormatStore(b));
  EXPECT_EQ(0, closing.get());
  EXPECT_EQ(TableWith({3}), Slurp(Table()));
  EXPECT_TRUE(CanLock(Table(), LOCK_EX));
}

TEST_F(StoreLock, DefiningAFormatHoldsTheStoreAloneUntilItIsClosed) {
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  ASSERT_EQ(0, WriteFormat(s, 7, Words({0x4527})));
  EXPECT_TRUE(s.exclusive);
  EXPECT_FALSE(CanLock(Table(), LOCK_SH));
  ASSERT_EQ(0, CloseFormatStore(s)) << s.error;
  EXPECT_FALSE(s.exclusive);
  EXPECT_TRUE(CanLock(Table(), LOCK_EX));
  EXPECT_EQ(TableWith({3, 7}), Slurp(Table()));
}

TEST_F(StoreLock, WhatAnotherPassDefinedMeanwhileIsTakenIn) {
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  ASSERT_EQ(1, LoadFormat(s, 3));
  // Between letting go of the shared lock and getting it alone, another pass
  // defined format 9 and redefined format 3.
  DefineOnDisk(dir.path(), 9, Words({0x4529}));
  DefineOnDisk(dir.path(), 3, Words({0x4533}));
  ASSERT_EQ(0, WriteFormat(s, 7, Words({0x4527})));
  EXPECT_TRUE(s.state[9] & kFormatDefined);
  ASSERT_EQ(1, LoadFormat(s, 3));
  EXPECT_EQ(Words({0x4533}), s.cache[s.state[3] & kNoSlot]);  // not the cached old words
  ASSERT_EQ(1, LoadFormat(s, 9));
  EXPECT_EQ(Words({0x4529}), s.cache[s.state[9] & kNoSlot]);
  ASSERT_EQ(0, CloseFormatStore(s)) << s.error;
  EXPECT_EQ(TableWith({3, 7, 9}), Slurp(Table()));
}

TEST_F(StoreLock, AReplayGoesOnWithItsWordsWhenTheStoreIsTakenAlone) {
  Session session;
  TablePaths paths{fs::path(), std::nullopt};
  MemorySource source{""};
  MemorySink sink;
  Conversion c{session, paths, source, sink};
  ResetFormatReplay(c);
  FormatStore& s = c.store;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  ASSERT_EQ(1, LoadFormat(s, 3));
  s.replaying = 3;
  s.replaySlot = static_cast<int16_t>(s.state[3] & kNoSlot);
  s.position = 0;
  c.stream.replayActive = 1;
  uint16_t w = 0;
  ASSERT_EQ(0, ReadReplayWord(c, w));
  EXPECT_EQ(0x4523, w);

  DefineOnDisk(dir.path(), 3, Words({0x4533}));
  ASSERT_EQ(0, HoldFormatStoreAlone(s));
  // Formats fill the cache; none lands on the slot being played.
  for (int16_t n = 10; n < 20; ++n) {
    ASSERT_EQ(0, WriteFormat(s, n, Words({static_cast<uint16_t>(0x4500 + n)})));
    EXPECT_NE(s.replaySlot, s.state[static_cast<size_t>(n)] & kNoSlot);
  }
  ASSERT_EQ(1, LoadFormat(s, 3));
  EXPECT_NE(s.replaySlot, s.state[3] & kNoSlot);
  EXPECT_EQ(Words({0x4533}), s.cache[s.state[3] & kNoSlot]);
  ASSERT_EQ(0, ReadReplayWord(c, w));
  EXPECT_EQ(0x4524, w);
  ASSERT_EQ(0, ReadReplayWord(c, w));
  EXPECT_EQ(kGroupClose, w);
  EXPECT_EQ(0, CloseFormatStore(s));
}

TEST_F(StoreLock, TwoPassesDefiningAtTheSameTimeLoseNothing) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    int mine = 100 + 2 * round, theirs = 101 + 2 * round;
    FormatStore a, b;
    ASSERT_EQ(0, OpenFormatStore(a, dir.path())) << a.error;
    ASSERT_EQ(0, OpenFormatStore(b, dir.path())) << b.error;
    std::thread other([&] {
      EXPECT_EQ(0, WriteFormat(b, static_cast<int16_t>(theirs), Words({0x4522})));
      EXPECT_EQ(0, CloseFormatStore(b)) << b.error;
    });
    EXPECT_EQ(0, WriteFormat(a, static_cast<int16_t>(mine), Words({0x4521})));
    EXPECT_EQ(0, CloseFormatStore(a)) << a.error;
    other.join();
    std::string table = Slurp(Table());
    for (int n = 100; n <= theirs; ++n) EXPECT_EQ(1, table[static_cast<size_t>(n)]) << n;
    EXPECT_EQ(Record(Words({0x4521})), Slurp(dir.path() / "QDXFILES" / "udf2.fle").substr(
                                           static_cast<size_t>(mine) * kFormatRecordBytes, kFormatRecordBytes));
  }
}

}  // namespace
}  // namespace velkan
