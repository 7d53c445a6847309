// The store files of user-defined formats and the cache in front of them.
#include "conversion/format_store.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "engine/pass.h"
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

// A body of `count` words that differ from format to format.
FormatWords Body(int format, int count) {
  FormatWords w{};
  for (int i = 0; i < count; ++i) w[static_cast<size_t>(i)] = static_cast<uint16_t>(0x4000 + format * 16 + i % 16);
  return w;
}

// A store whose table marks `defined` and whose file holds their records.
void LayOutStore(const TempDir& dir, const std::string& folder, const std::map<int, FormatWords>& defined) {
  std::string table(400, '\0');
  std::string records(400 * 1024, '\0');
  for (const auto& [n, words] : defined) {
    table[static_cast<size_t>(n)] = 1;
    std::string bytes = LittleEndianWords(std::vector<uint16_t>(words.begin(), words.end()));
    records.replace(static_cast<size_t>(n) * 1024, 1024, bytes);
  }
  dir.Write(folder + "/udf2.tbl", table);
  dir.Write(folder + "/udf2.fle", records);
}

TEST(FormatStoreFiles, FreshStoreIsCreatedWithExactSizesAndNothingDefined) {
  TempDir dir;
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  EXPECT_EQ(dir.path() / "QDXFILES" / "udf2.tbl", s.tablePath);
  EXPECT_EQ(dir.path() / "QDXFILES" / "udf2.fle", s.formatPath);
  EXPECT_EQ(std::string(400, '\0'), Slurp(s.tablePath));
  EXPECT_EQ(std::string(409600, '\0'), Slurp(s.formatPath));
  for (int16_t n = 0; n < kFormatCount; ++n) EXPECT_EQ(0, LoadFormat(s, n)) << n;
  ASSERT_EQ(0, CloseFormatStore(s)) << s.error;
  EXPECT_EQ(std::string(400, '\0'), Slurp(dir.path() / "QDXFILES" / "udf2.tbl"));
  EXPECT_EQ(-1, s.tableFd);
  EXPECT_EQ(-1, s.formatFd);
}

TEST(FormatStoreFiles, ExistingFilesAreFoundWithoutRegardToCase) {
  TempDir dir;
  std::string table(400, '\0');
  table[9] = 1;
  dir.Write("qdxfiles/UDF2.TBL", table);
  std::string records(409600, '\0');
  records.replace(9 * 1024, 4, LittleEndianWords({0x4521, 0x4522}));
  dir.Write("qdxfiles/Udf2.Fle", records);

  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  EXPECT_EQ(dir.path() / "qdxfiles" / "UDF2.TBL", s.tablePath);
  EXPECT_EQ(dir.path() / "qdxfiles" / "Udf2.Fle", s.formatPath);
  ASSERT_EQ(1, LoadFormat(s, 9));
  EXPECT_EQ(Words({0x4521, 0x4522}), s.cache[s.state[9] & kNoSlot]);
  ASSERT_EQ(0, CloseFormatStore(s));
  EXPECT_FALSE(fs::exists(dir.path() / "QDXFILES"));
  EXPECT_EQ(1u, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

TEST(FormatStoreFiles, DefinedFlagsReachTheTableWhenTheStoreIsClosed) {
  TempDir dir;
  LayOutStore(dir, "QDXFILES", {{3, Body(3, 4)}});
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  ASSERT_EQ(0, WriteFormat(s, 7, Body(7, 5)));
  // The record is on disk at once, the flag only at the end of the pass.
  EXPECT_EQ(0, Slurp(s.tablePath)[7]);
  ASSERT_EQ(0, CloseFormatStore(s)) << s.error;

  std::string table = Slurp(dir.path() / "QDXFILES" / "udf2.tbl");
  ASSERT_EQ(400u, table.size());
  for (int n = 0; n < 400; ++n) EXPECT_EQ(n == 3 || n == 7 ? 1 : 0, table[static_cast<size_t>(n)]) << n;

  FormatStore again;
  ASSERT_EQ(0, OpenFormatStore(again, dir.path())) << again.error;
  ASSERT_EQ(1, LoadFormat(again, 7));
  EXPECT_EQ(Body(7, 5), again.cache[again.state[7] & kNoSlot]);
  ASSERT_EQ(1, LoadFormat(again, 3));
  EXPECT_EQ(Body(3, 4), again.cache[again.state[3] & kNoSlot]);
  EXPECT_EQ(0, CloseFormatStore(again));
}

TEST(FormatStoreFiles, AnyNonZeroTableByteCountsAsDefinedAndIsWrittenBackAsOne) {
  TempDir dir;
  LayOutStore(dir, "QDXFILES", {{4, Body(4, 1)}});
  std::string table(400, '\0');
  table[4] = static_cast<char>(0xFE);
  dir.Write("QDXFILES/udf2.tbl", table);
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  EXPECT_EQ(1, LoadFormat(s, 4));
  ASSERT_EQ(0, CloseFormatStore(s));
  EXPECT_EQ(1, Slurp(dir.path() / "QDXFILES" / "udf2.tbl")[4]);
}

TEST(FormatStoreFiles, RecordsHoldTheirWordsLowByteFirst) {
  TempDir dir;
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  ASSERT_EQ(0, WriteFormat(s, 3, Words({0x4521, 0xD003, 0x00FF})));
  std::string record = Slurp(s.formatPath).substr(3 * 1024, 1024);
  std::string want = "\x21\x45\x03\xD0\xFF";
  want += std::string(1024 - want.size(), '\0');
  EXPECT_EQ(want, record);
  ASSERT_EQ(0, CloseFormatStore(s));

  // And a record laid out by hand reads back the same way.
  std::string records = Slurp(dir.path() / "QDXFILES" / "udf2.fle");
  records.replace(4 * 1024, 4, std::string("\x34\x12\x03\xD0", 4));
  dir.Write("QDXFILES/udf2.fle", records);
  std::string table = Slurp(dir.path() / "QDXFILES" / "udf2.tbl");
  table[4] = 1;
  dir.Write("QDXFILES/udf2.tbl", table);
  FormatStore again;
  ASSERT_EQ(0, OpenFormatStore(again, dir.path())) << again.error;
  ASSERT_EQ(1, LoadFormat(again, 4));
  EXPECT_EQ(Words({0x1234, 0xD003}), again.cache[again.state[4] & kNoSlot]);
  EXPECT_EQ(0, CloseFormatStore(again));
}

TEST(FormatStoreFiles, DefinitionReplacesAnEarlierOneInCacheAndFile) {
  TempDir dir;
  LayOutStore(dir, "QDXFILES", {{5, Body(5, 300)}});
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  ASSERT_EQ(1, LoadFormat(s, 5));
  ASSERT_EQ(0, WriteFormat(s, 5, Words({0x4529})));
  EXPECT_EQ(Words({0x4529}), s.cache[s.state[5] & kNoSlot]);
  std::string want = LittleEndianWords({0x4529}) + std::string(1022, '\0');
  EXPECT_EQ(want, Slurp(s.formatPath).substr(5 * 1024, 1024));
  ASSERT_EQ(0, CloseFormatStore(s));

  FormatStore again;
  ASSERT_EQ(0, OpenFormatStore(again, dir.path())) << again.error;
  ASSERT_EQ(1, LoadFormat(again, 5));
  EXPECT_EQ(Words({0x4529}), again.cache[again.state[5] & kNoSlot]);
  EXPECT_EQ(0, CloseFormatStore(again));
}

TEST(FormatStoreFiles, FilesCutShortAreFilledUpAndKeepTheirContent) {
  TempDir dir;
  std::string table(10, '\0');
  table[2] = 1;
  dir.Write("QDXFILES/udf2.tbl", table);
  dir.Write("QDXFILES/udf2.fle", std::string(2 * 1024, '\0') + LittleEndianWords({0x4522}));
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  EXPECT_EQ(400u, fs::file_size(s.tablePath));
  EXPECT_EQ(409600u, fs::file_size(s.formatPath));
  ASSERT_EQ(1, LoadFormat(s, 2));
  EXPECT_EQ(Words({0x4522}), s.cache[s.state[2] & kNoSlot]);
  EXPECT_EQ(0, LoadFormat(s, 3));
  EXPECT_EQ(0, CloseFormatStore(s));
}

TEST(FormatStoreFiles, NoStoreWhereNothingCanBeCreated) {
  TempDir dir;
  fs::path notADirectory = dir.Write("plain-file", "x");
  FormatStore s;
  EXPECT_EQ(-1, OpenFormatStore(s, notADirectory));
  EXPECT_NE(std::string::npos, s.error.Text().find(notADirectory.string())) << s.error;
  EXPECT_EQ(-1, s.tableFd);
  EXPECT_EQ(-1, s.formatFd);
  EXPECT_EQ(0, CloseFormatStore(s));

  // A folder in the place of the format file: the table is not left locked.
  TempDir other;
  fs::create_directories(other.path() / "QDXFILES" / "udf2.fle");
  FormatStore t;
  EXPECT_EQ(-1, OpenFormatStore(t, other.path()));
  EXPECT_NE(std::string::npos, t.error.Text().find("udf2.fle")) << t.error;
  EXPECT_EQ(-1, t.tableFd);
  int fd = ::open((other.path() / "QDXFILES" / "udf2.tbl").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(0, ::flock(fd, LOCK_EX | LOCK_NB));
  ::close(fd);
}

// A pass in memory whose store has no files: enough for the cache and the
// replay, which never touch the disk.
struct MemoryPass {
  Session session;
  test::LoadedTables tables;
  MemorySource source{""};
  MemorySink sink;
  Pass pass{session, PassSettings{}, tables, source, sink};
  Conversion& c = pass.conversion();

  // Starts the replay of a format in the cache, as a call does.
  void Play(int16_t n) {
    c.store.replaying = n;
    c.store.replaySlot = static_cast<int16_t>(c.store.state[static_cast<size_t>(n)] & kNoSlot);
    c.store.position = 0;
    c.stream.PlayStoredFormat();
  }
  // The next word of the replay, as the stream takes it: 0xD004 once the
  // format has ended, which stops the replay.
  uint16_t Next() {
    uint16_t w = 0;
    EXPECT_EQ(0, c.stream.Next(w));
    return w;
  }
};

// Every format in the cache sits in the slot its state byte names, with the
// words of its latest definition.
void ExpectCacheConsistent(const FormatStore& s, const std::map<int, FormatWords>& latest) {
  for (int slot = 0; slot < kCacheSlots; ++slot) {
    int16_t o = s.owner[static_cast<size_t>(slot)];
    if (o < 0) continue;
    EXPECT_EQ(slot, s.state[static_cast<size_t>(o)] & kNoSlot) << "format " << o;
    EXPECT_EQ(latest.at(o), s.cache[static_cast<size_t>(slot)]) << "format " << o;
  }
  for (const auto& [n, words] : latest) {
    int slot = s.state[static_cast<size_t>(n)] & kNoSlot;
    EXPECT_TRUE(s.state[static_cast<size_t>(n)] & kFormatDefined);
    if (slot != kNoSlot) {
      EXPECT_EQ(n, s.owner[static_cast<size_t>(slot)]);
    }
  }
}

TEST(FormatCache, EvictionNeverTouchesTheFormatBeingReplayed) {
  MemoryPass p;
  std::map<int, FormatWords> latest;
  latest[100] = Body(100, 12);
  PutInCache(p.c.store, 100, latest[100]);
  p.Play(100);
  EXPECT_EQ(latest[100][0], p.Next());
  int replaySlot = p.c.store.replaySlot;
  for (int16_t n = 0; n < 20; ++n) {
    latest[n] = Body(n, 3);
    PutInCache(p.c.store, n, latest[n]);
    EXPECT_NE(replaySlot, p.c.store.state[static_cast<size_t>(n)] & kNoSlot) << n;
    EXPECT_EQ(100, p.c.store.owner[static_cast<size_t>(replaySlot)]);
    ExpectCacheConsistent(p.c.store, latest);
  }
  for (int i = 1; i < 12; ++i) EXPECT_EQ(latest[100][static_cast<size_t>(i)], p.Next()) << i;
  EXPECT_EQ(kGroupClose, p.Next());
  EXPECT_FALSE(p.c.stream.replayRuns());
  EXPECT_EQ(-1, p.c.store.replaying);
}

TEST(FormatCache, RedefiningTheReplayedFormatLeavesTheReplayAlone) {
  MemoryPass p;
  FormatWords first = Words({0x4521, 0x4522, 0x4523});
  FormatWords second = Words({0x4529});
  PutInCache(p.c.store, 5, first);
  p.Play(5);
  EXPECT_EQ(0x4521, p.Next());
  PutInCache(p.c.store, 5, second);
  int newSlot = p.c.store.state[5] & kNoSlot;
  EXPECT_NE(p.c.store.replaySlot, newSlot);
  EXPECT_EQ(second, p.c.store.cache[static_cast<size_t>(newSlot)]);
  // Filling the cache never lands on the slot still being played.
  std::map<int, FormatWords> latest{{5, second}};
  for (int16_t n = 10; n < 17; ++n) {
    latest[n] = Body(n, 2);
    PutInCache(p.c.store, n, latest[n]);
    ExpectCacheConsistent(p.c.store, latest);
  }
  EXPECT_EQ(0x4522, p.Next());
  EXPECT_EQ(0x4523, p.Next());
  EXPECT_EQ(kGroupClose, p.Next());
}

TEST(FormatCache, FormatOfFullLengthEndsAfterItsLastWord) {
  MemoryPass p;
  FormatWords full = Body(1, kFormatWords);
  PutInCache(p.c.store, 1, full);
  p.Play(1);
  for (int i = 0; i < kFormatWords; ++i) ASSERT_EQ(full[static_cast<size_t>(i)], p.Next()) << i;
  EXPECT_EQ(kGroupClose, p.Next());
  EXPECT_FALSE(p.c.stream.replayRuns());
  // With nothing playing the words are the input's again: here its end.
  EXPECT_EQ(kEndOfJob, p.Next());
}

TEST(FormatCache, EvictedFormatsAreReadBackFromTheFile) {
  TempDir dir;
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  for (int16_t n = 0; n < 20; ++n) ASSERT_EQ(0, WriteFormat(s, n, Body(n, n + 1)));
  // Twenty formats in eight slots: most of them had to leave the cache.
  int cached = 0;
  for (int n = 0; n < 20; ++n) cached += (s.state[static_cast<size_t>(n)] & kNoSlot) != kNoSlot;
  EXPECT_EQ(kCacheSlots, cached);
  for (int16_t n = 0; n < 20; ++n) {
    ASSERT_EQ(1, LoadFormat(s, n));
    EXPECT_EQ(Body(n, n + 1), s.cache[s.state[static_cast<size_t>(n)] & kNoSlot]) << n;
  }
  EXPECT_EQ(0, CloseFormatStore(s));
}

// Random definitions and replays against a plain model: every replay gives
// the words the format had when the replay started, and the cache always
// holds the latest definitions.
TEST(FormatCache, RandomUseMatchesAModel) {
  MemoryPass p;
  std::mt19937 rng(12345);
  std::map<int, FormatWords> latest;
  std::vector<uint16_t> playing;  // words still to come from the replay
  for (int step = 0; step < 4000; ++step) {
    int16_t n = static_cast<int16_t>(rng() % 12);
    switch (rng() % 3) {
      case 0: {
        FormatWords w = Body(n, 1 + static_cast<int>(rng() % 6));
        w[0] = static_cast<uint16_t>(0x4000 + step % 0x3000);
        latest[n] = w;
        PutInCache(p.c.store, n, w);
        break;
      }
      case 1:
        if (latest.count(n)) {
          // As LoadFormat does for a format that left the cache.
          if ((p.c.store.state[static_cast<size_t>(n)] & kNoSlot) == kNoSlot) PutInCache(p.c.store, n, latest[n]);
          p.Play(n);
          playing.clear();
          for (uint16_t x : latest[n])
            if (x != 0) playing.push_back(x); else break;
        }
        break;
      default:
        if (p.c.stream.replayRuns()) {
          uint16_t want = playing.empty() ? kGroupClose : playing.front();
          if (!playing.empty()) playing.erase(playing.begin());
          ASSERT_EQ(want, p.Next()) << "step " << step;
        }
    }
    ExpectCacheConsistent(p.c.store, latest);
  }
}

}  // namespace
}  // namespace velkan
