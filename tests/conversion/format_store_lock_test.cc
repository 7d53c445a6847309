// The lock by which conversions running at the same time share the store of
// user-defined formats: held only while the files are read or written, so a
// pass that waits holds up no other; no format is seen half written, and
// nothing another pass defined is lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "conversion/code_stream.h"
#include "conversion/conversion.h"
#include "conversion/format_store.h"
#include "engine/job.h"
#include "engine/job_pass.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::LittleEndianWords;
using test::TempDir;
using test::WordBytes;

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
    EXPECT_EQ(0, WriteFormat(s, 3, Words({0x45A3, 0x45A4})));
    EXPECT_EQ(0, CloseFormatStore(s)) << s.error;
  }
  fs::path Table() const { return dir.path() / "QDXFILES" / "udf2.tbl"; }
  TempDir dir;
};

TEST_F(StoreLock, AnOpenStoreHoldsTheLockOnlyWhileItsFilesAreUsed) {
  FormatStore a, b;
  ASSERT_EQ(0, OpenFormatStore(a, dir.path())) << a.error;
  ASSERT_TRUE(CanLock(Table(), LOCK_EX)) << "an open store holds the lock";
  ASSERT_EQ(0, OpenFormatStore(b, dir.path())) << b.error;
  EXPECT_EQ(1, LoadFormat(a, 3));
  EXPECT_EQ(1, LoadFormat(b, 3));
  EXPECT_EQ(Words({0x45A3, 0x45A4}), b.cache[b.state[3] & kNoSlot]);
  ASSERT_EQ(0, WriteFormat(a, 7, Words({0x4527})));
  EXPECT_TRUE(CanLock(Table(), LOCK_EX)) << "a pass that defined a format still holds the store";
  // A reader closes without writing anything.
  EXPECT_EQ(0, CloseFormatStore(b));
  EXPECT_EQ(TableWith({3}), Slurp(Table()));
  ASSERT_EQ(0, CloseFormatStore(a)) << a.error;
  EXPECT_EQ(TableWith({3, 7}), Slurp(Table()));
}

TEST_F(StoreLock, WhatAnotherPassDefinedMeanwhileIsKept) {
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  ASSERT_EQ(1, LoadFormat(s, 3));
  // While this pass runs, another one defines format 9 and redefines 3.
  DefineOnDisk(dir.path(), 9, Words({0x4529}));
  DefineOnDisk(dir.path(), 3, Words({0x4533}));
  ASSERT_EQ(0, WriteFormat(s, 7, Words({0x4527})));
  ASSERT_EQ(0, CloseFormatStore(s)) << s.error;
  EXPECT_EQ(TableWith({3, 7, 9}), Slurp(Table()));
  FormatStore later;
  ASSERT_EQ(0, OpenFormatStore(later, dir.path())) << later.error;
  ASSERT_EQ(1, LoadFormat(later, 3));
  EXPECT_EQ(Words({0x4533}), later.cache[later.state[3] & kNoSlot]);
  EXPECT_EQ(0, CloseFormatStore(later));
}

// Whether a lock request on the file waits, as /proc/locks shows it ("->").
bool LockWaitsOn(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return false;
  std::ifstream locks("/proc/locks");
  std::string line, inode = ":" + std::to_string(st.st_ino) + " ";
  while (std::getline(locks, line)) {
    if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) return true;
  }
  return false;
}

TEST_F(StoreLock, AFormatIsNeverReadWhileItsRecordIsWritten) {
  if (!std::ifstream("/proc/locks")) GTEST_SKIP() << "no /proc/locks to see a waiting lock in";
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
  // Another pass writes format 3 anew under the exclusive lock and has
  // written its first half when this pass needs the format.
  int writer = ::open(Table().c_str(), O_RDONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(0, ::flock(writer, LOCK_EX | LOCK_NB)) << "an open store holds the lock";
  std::string record = Record(Words({0x4531, 0x4532, 0x4533}));
  fs::path file = dir.path() / "QDXFILES" / "udf2.fle";
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(3 * kFormatRecordBytes);
  f.write(record.data(), 2).flush();

  std::atomic<bool> done{false};
  std::thread reader([&] {
    EXPECT_EQ(1, LoadFormat(s, 3));
    done = true;
  });
  while (!done && !LockWaitsOn(Table())) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(done) << "the record was read while it was being written";
  f.write(record.data() + 2, static_cast<std::streamsize>(record.size() - 2)).flush();
  ::flock(writer, LOCK_UN);
  reader.join();
  ::close(writer);
  EXPECT_EQ(Words({0x4531, 0x4532, 0x4533}), s.cache[s.state[3] & kNoSlot]);
  EXPECT_EQ(0, CloseFormatStore(s));
}

// A sink that stops at its first bytes until it is let go, as the output of
// a pass does when its reader stalls.
class StalledSink final : public ByteSink {
 public:
  std::future<void> Stalled() { return stalled_.get_future(); }
  void LetGo() {
    if (!letGo_) {
      letGo_ = true;
      release_.set_value();
    }
  }
  const std::string& data() const { return data_; }

 protected:
  bool TakeBytes(const char* data, size_t n) override {
    if (!stalledOnce_) {
      stalledOnce_ = true;
      stalled_.set_value();
      release_.get_future().wait();
    }
    data_.append(data, n);
    return true;
  }

 private:
  std::promise<void> stalled_, release_;
  bool stalledOnce_ = false;
  bool letGo_ = false;
  std::string data_;
};

// Converts `words` with the store under `dir` into `sink`.
JobResult Convert(const fs::path& dir, const std::vector<uint16_t>& words, ByteSink& sink) {
  JobOptions o;
  o.tableRoot = dir / "root";
  o.storeDir = dir;
  std::string bytes = WordBytes(words);
  MemorySource source(bytes);
  Session session;
  JobResult result;
  bool delivered = false;
  PassTables tables(TablePaths(o.tableRoot, o.mtbl));
  LoadPassTables(tables);
  ConvertStream(session, o, 1, "job", tables, source, sink, result, delivered);
  return result;
}

TEST_F(StoreLock, APassWaitingForItsOutputHoldsUpNoOtherPass) {
  dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
  const std::vector<uint16_t> define7 = {0xD003, 0xD02C, 0xC347, 0xD004, 0x4527, 0xD004, 0xD004};
  const std::vector<uint16_t> call3 = {0xD003, 0xD03F, 0xC343, 0xD004};
  struct Case {
    const char* what;
    std::vector<uint16_t> words;
  } cases[] = {{"a pass that defined a format", define7}, {"a pass that replayed a format", call3}};
  for (Case& k : cases) {
    SCOPED_TRACE(k.what);
    k.words.push_back(0x4530);  // output, where the pass stalls
    StalledSink stalled;
    std::future<void> stalledNow = stalled.Stalled();
    std::future<JobResult> first =
        std::async(std::launch::async, [&] { return Convert(dir.path(), k.words, stalled); });
    stalledNow.wait();
    // The stalled pass holds no lock, so a second pass, defining format 8
    // and replaying format 3, runs to its end meanwhile.
    bool unheld = CanLock(Table(), LOCK_EX);
    EXPECT_TRUE(unheld) << "the stalled pass holds the store";
    if (unheld) {
      MemorySink sink;
      std::vector<uint16_t> words = {0xD003, 0xD02C, 0xC348, 0xD004, 0x4528, 0xD004, 0xD004};
      words.insert(words.end(), call3.begin(), call3.end());
      JobResult second = Convert(dir.path(), words, sink);
      EXPECT_EQ(JobStatus::kCompleted, second.status);
      EXPECT_EQ("<ZAN2 code=45a3><ZAN2 code=45a4>", sink.data());
    }
    stalled.LetGo();
    JobResult r = first.get();
    EXPECT_EQ(JobStatus::kCompleted, r.status);
    EXPECT_EQ(TableWith({3, 7, 8}), Slurp(Table()));
  }
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

// The files kept open from pass to pass by a thread of a batch: each pass
// still reads the flags afresh and merges its own into the table, so what
// another program defines between or during the passes is seen and kept.
TEST_F(StoreLock, FilesKeptFromPassToPassSeeAndKeepWhatOthersDefine) {
  FormatStoreFiles kept;
  {
    FormatStore first;
    first.kept = &kept;
    ASSERT_EQ(0, OpenFormatStore(first, dir.path())) << first.error;
    ASSERT_EQ(0, WriteFormat(first, 7, Words({0x4527})));
    ASSERT_EQ(0, CloseFormatStore(first)) << first.error;
  }
  ASSERT_TRUE(kept.Holds(dir.path()));
  const int table = kept.tableFd;
  EXPECT_TRUE(CanLock(Table(), LOCK_EX)) << "files kept between passes hold the lock";
  EXPECT_EQ(TableWith({3, 7}), Slurp(Table()));

  // Another program defines 9 and redefines 3 between the passes, and
  // defines 12 during the second.
  DefineOnDisk(dir.path(), 9, Words({0x4529}));
  DefineOnDisk(dir.path(), 3, Words({0x4533}));
  FormatStore second;
  second.kept = &kept;
  ASSERT_EQ(0, OpenFormatStore(second, dir.path())) << second.error;
  EXPECT_EQ(table, second.tableFd) << "the kept files are used, not opened again";
  ASSERT_EQ(1, LoadFormat(second, 9));
  ASSERT_EQ(1, LoadFormat(second, 3));
  EXPECT_EQ(Words({0x4533}), second.cache[second.state[3] & kNoSlot]);
  DefineOnDisk(dir.path(), 12, Words({0x4532}));
  ASSERT_EQ(0, WriteFormat(second, 11, Words({0x4531})));
  ASSERT_EQ(0, CloseFormatStore(second)) << second.error;
  EXPECT_EQ(TableWith({3, 7, 9, 11, 12}), Slurp(Table()));

  // A pass lent the files reads the flags when it first needs them, also
  // when that is a definition: the formats defined before stay callable.
  DefineOnDisk(dir.path(), 14, Words({0x4534}));
  FormatStore third;
  third.kept = &kept;
  ASSERT_EQ(0, OpenFormatStore(third, dir.path())) << third.error;
  ASSERT_EQ(0, WriteFormat(third, 15, Words({0x4535})));
  EXPECT_EQ(1, LoadFormat(third, 14));
  EXPECT_EQ(1, LoadFormat(third, 7));
  ASSERT_EQ(0, CloseFormatStore(third)) << third.error;
  EXPECT_EQ(TableWith({3, 7, 9, 11, 12, 14, 15}), Slurp(Table()));
}

// A store file another program replaced or removed between two passes is
// found and opened again, not read through the file kept open.
TEST_F(StoreLock, KeptFilesNoLongerNamedAreOpenedAgain) {
  FormatStoreFiles kept;
  auto pass = [&](std::initializer_list<int> want) {
    FormatStore s;
    s.kept = &kept;
    ASSERT_EQ(0, OpenFormatStore(s, dir.path())) << s.error;
    // The files are looked at when the pass first needs the store.
    ASSERT_EQ(0, LoadFormat(s, 0)) << s.error;
    std::string seen(kFormatCount, '\0');
    for (int n = 0; n < kFormatCount; ++n) seen[static_cast<size_t>(n)] = (s.state[static_cast<size_t>(n)] >> 7) & 1;
    EXPECT_EQ(TableWith(want), seen);
    ASSERT_EQ(0, CloseFormatStore(s)) << s.error;
  };
  pass({3});
  // The table is replaced by a new file naming format 20 defined.
  dir.Write("QDXFILES/udf2.tbl.new", TableWith({20}));
  fs::rename(dir.path() / "QDXFILES" / "udf2.tbl.new", Table());
  pass({20});
  // Both files are removed: the store is made afresh.
  fs::remove(Table());
  fs::remove(dir.path() / "QDXFILES" / "udf2.fle");
  pass({});
  EXPECT_EQ(400u, fs::file_size(Table()));
  EXPECT_EQ(409600u, fs::file_size(dir.path() / "QDXFILES" / "udf2.fle"));
}

// A pass that never loads nor defines a format does not look at the kept
// files: it hands them back as it took them, even when another program
// replaced one meanwhile, and writes nothing; the next pass that needs the
// store finds the new file.
TEST_F(StoreLock, APassThatNeverNeedsTheStoreLeavesTheKeptFilesUnlooked) {
  FormatStoreFiles kept;
  {
    FormatStore first;
    first.kept = &kept;
    ASSERT_EQ(0, OpenFormatStore(first, dir.path())) << first.error;
    ASSERT_EQ(0, CloseFormatStore(first)) << first.error;
  }
  const int table = kept.tableFd;
  dir.Write("QDXFILES/udf2.tbl.new", TableWith({20}));
  fs::rename(dir.path() / "QDXFILES" / "udf2.tbl.new", Table());
  {
    FormatStore idle;
    idle.kept = &kept;
    ASSERT_EQ(0, OpenFormatStore(idle, dir.path())) << idle.error;
    EXPECT_EQ(table, idle.tableFd);
    ASSERT_EQ(0, CloseFormatStore(idle)) << idle.error;
  }
  EXPECT_EQ(table, kept.tableFd) << "handed back unlooked";
  EXPECT_EQ(TableWith({20}), Slurp(Table()));
  FormatStore needing;
  needing.kept = &kept;
  ASSERT_EQ(0, OpenFormatStore(needing, dir.path())) << needing.error;
  ASSERT_EQ(0, WriteFormat(needing, 21, Words({0x4541}))) << needing.error;
  EXPECT_EQ(1, LoadFormat(needing, 20)) << "the new table is read";
  ASSERT_EQ(0, CloseFormatStore(needing)) << needing.error;
  EXPECT_EQ(TableWith({20, 21}), Slurp(Table()));
}

}  // namespace
}  // namespace velkan
