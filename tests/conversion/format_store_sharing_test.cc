// Conversions that use one format store at the same time, and a conversion
// that dies in the middle of a pass.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "conversion/conversion.h"
#include "conversion/format_store.h"
#include "engine/batch.h"
#include "engine/job.h"
#include "engine/pass.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WordBytes;

using ::velkan::test::Slurp;

void PutNumber(std::vector<uint16_t>& words, int n) {
  for (char d : std::to_string(n)) words.push_back(static_cast<uint16_t>(0xC340 + (d - '0')));
}

// A body of 500 character words that differ from format to format.
std::vector<uint16_t> BodyOf(int n) {
  std::vector<uint16_t> body;
  // Words 0x40A1-0x7EFE whose low byte lies in 0xA1-0xFE: each is
  // written as its own code tag.
  for (int i = 0; i < 500; ++i) {
    int k = (n * 131 + i * 7) % (0x3F * 94);
    body.push_back(static_cast<uint16_t>(0x4000 + (k / 94) * 0x100 + 0xA1 + k % 94));
  }
  return body;
}

// Words that define format n with BodyOf(n).
std::vector<uint16_t> Definition(int n) {
  std::vector<uint16_t> w{0xD003, 0xD02C};
  PutNumber(w, n);
  w.push_back(0xD004);
  for (uint16_t x : BodyOf(n)) w.push_back(x);
  w.push_back(0xD004);
  w.push_back(0xD004);
  return w;
}

// Checks that format n is defined in the store under `root` with its body.
void ExpectDefined(FormatStore& s, int n) {
  ASSERT_EQ(1, LoadFormat(s, static_cast<int16_t>(n))) << "format " << n;
  FormatWords want{};
  std::vector<uint16_t> body = BodyOf(n);
  std::copy(body.begin(), body.end(), want.begin());
  EXPECT_EQ(want, s.cache[s.state[static_cast<size_t>(n)] & kNoSlot]) << "format " << n;
}

fs::path MakeRoot(const TempDir& dir) {
  dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
  return dir.path() / "root";
}

TEST(FormatStoreSharing, TwoConversionsAtOnceKeepEachOthersDefinitions) {
  TempDir dir;
  fs::path root = MakeRoot(dir);
  constexpr int kJobs = 25;
  constexpr int kPlays = 8;
  auto worker = [&](int first, std::vector<std::string>* failures) {
    for (int i = 0; i < kJobs; ++i) {
      int n = first + i;
      // Define the format, then play it back in the same pass a few times
      // (which also keeps the store in use a while).
      std::vector<uint16_t> words = Definition(n);
      for (int k = 0; k < kPlays; ++k) {
        words.insert(words.end(), {0xD003, 0xD03F});
        PutNumber(words, n);
        words.push_back(0xD004);
      }
      JobOptions o;
      o.tableRoot = root;
      o.inputFile = dir.Write("in-" + std::to_string(n) + ".zan", WordBytes(words)).string();
      o.outputFile = (dir.path() / ("out-" + std::to_string(n) + ".txt")).string();
      Session session;
      JobResult r = RunConversionJob(session, o);
      std::string want;
      char tag[24];
      for (int k = 0; k < kPlays; ++k) {
        for (uint16_t x : BodyOf(n)) {
          std::snprintf(tag, sizeof tag, "<ZAN2 code=%04x>", x);
          want += tag;
        }
      }
      if (r.status != JobStatus::kCompleted) failures->push_back("job " + std::to_string(n) + " did not complete");
      if (Slurp(o.outputFile) != want) failures->push_back("job " + std::to_string(n) + " played other words");
    }
  };
  std::vector<std::string> failuresA, failuresB;
  std::thread a(worker, 10, &failuresA);
  std::thread b(worker, 200, &failuresB);
  a.join();
  b.join();
  for (const auto& f : failuresA) ADD_FAILURE() << f;
  for (const auto& f : failuresB) ADD_FAILURE() << f;

  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, root)) << s.error;
  for (int i = 0; i < kJobs; ++i) {
    ExpectDefined(s, 10 + i);
    ExpectDefined(s, 200 + i);
  }
  EXPECT_EQ(400u, fs::file_size(s.tablePath));
  EXPECT_EQ(409600u, fs::file_size(s.formatPath));
  EXPECT_EQ(0, CloseFormatStore(s));
}

// Batches keep the store's files open from job to job, each worker its own:
// two batches of two workers each on one store, and a program of its own
// defining formats while they run, lose none of each other's definitions.
TEST(FormatStoreSharing, BatchesAndAProgramAtOnceKeepEachOthersDefinitions) {
  TempDir dir;
  fs::path root = MakeRoot(dir);
  constexpr int kJobs = 16;
  auto batch = [&](int first, std::vector<std::string>* failures) {
    std::vector<BatchEntry> entries;
    for (int i = 0; i < kJobs; ++i) {
      const std::string name = std::to_string(first + i);
      entries.push_back({dir.Write("in-" + name + ".zan", WordBytes(Definition(first + i))).string(),
                         dir.path() / ("out-" + name + ".txt")});
    }
    JobOptions common;
    common.tableRoot = root;
    for (const JobResult& r : RunBatch(entries, common, 2)) {
      if (r.status != JobStatus::kCompleted) failures->push_back("a job of the batch did not complete");
    }
  };
  std::vector<std::string> failuresA, failuresB;
  std::thread a(batch, 10, &failuresA);
  std::thread b(batch, 100, &failuresB);
  for (int n = 300; n < 300 + kJobs; ++n) {
    FormatStore s;
    ASSERT_EQ(0, OpenFormatStore(s, root)) << s.error;
    std::vector<uint16_t> body = BodyOf(n);
    FormatWords words{};
    std::copy(body.begin(), body.end(), words.begin());
    EXPECT_EQ(0, WriteFormat(s, static_cast<int16_t>(n), words));
    EXPECT_EQ(0, CloseFormatStore(s)) << s.error;
  }
  a.join();
  b.join();
  for (const auto& f : failuresA) ADD_FAILURE() << f;
  for (const auto& f : failuresB) ADD_FAILURE() << f;

  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, root)) << s.error;
  for (int i = 0; i < kJobs; ++i) {
    ExpectDefined(s, 10 + i);
    ExpectDefined(s, 100 + i);
    ExpectDefined(s, 300 + i);
  }
  EXPECT_EQ(0, CloseFormatStore(s));
}

TEST(FormatStoreSharing, APassKilledMidwayLeavesEarlierDefinitionsIntact) {
  TempDir dir;
  fs::path root = MakeRoot(dir);
  {
    JobOptions o;
    o.tableRoot = root;
    o.inputFile = dir.Write("first.zan", WordBytes(Definition(1))).string();
    o.outputFile = (dir.path() / "first.txt").string();
    Session session;
    ASSERT_EQ(JobStatus::kCompleted, RunConversionJob(session, o).status);
  }

  int pipeFds[2];
  ASSERT_EQ(0, ::pipe(pipeFds));
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The child converts what arrives through the pipe, holding the store.
    ::close(pipeFds[1]);
    Session session;
    test::LoadedTables tables(root);
    FdSource source(pipeFds[0]);
    MemorySink sink;
    Pass pass(session, PassSettings{}, tables, source, sink);
    if (OpenFormatStore(pass.conversion().store, root) != 0) ::_exit(3);
    pass.Run();
    ::_exit(0);
  }
  ::close(pipeFds[0]);
  // Format 2 is defined whole; a new definition of format 1 is cut off
  // inside its body, where the child waits for more input.
  std::vector<uint16_t> words = Definition(2);
  words.insert(words.end(), {0xD003, 0xD02C, 0xC341, 0xD004, 0x4599, 0x459A});
  std::string bytes = WordBytes(words);
  ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::write(pipeFds[1], bytes.data(), bytes.size()));

  fs::path records = dir.path() / "root" / "qdxfiles" / "udf2.fle";
  std::vector<uint16_t> body2 = BodyOf(2);
  std::string record2 = test::LittleEndianWords(body2);
  bool written = false;
  for (int i = 0; i < 2000 && !written; ++i) {
    std::string all = Slurp(records);
    written = all.size() == 409600 && all.compare(2 * 1024, record2.size(), record2) == 0;
    if (!written) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(pipeFds[1]);
  ASSERT_TRUE(written) << "the child never stored format 2";
  ASSERT_TRUE(WIFSIGNALED(status));

  // The lock went with the child; the store is whole. Format 1 keeps its
  // first definition; format 2 never reached the table, as its pass ended
  // before the flags were written.
  FormatStore s;
  ASSERT_EQ(0, OpenFormatStore(s, root)) << s.error;
  EXPECT_EQ(400u, fs::file_size(s.tablePath));
  EXPECT_EQ(409600u, fs::file_size(s.formatPath));
  ExpectDefined(s, 1);
  EXPECT_EQ(0, LoadFormat(s, 2));
  EXPECT_EQ(0, CloseFormatStore(s));
}

}  // namespace
}  // namespace velkan
