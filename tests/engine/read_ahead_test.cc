#include "engine/read_ahead.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "io/output_file.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using ::velkan::test::TempDir;

// The inputs as the read-ahead takes them: pointers to the paths kept.
std::vector<const std::string*> Pointers(const std::vector<std::string>& paths) {
  std::vector<const std::string*> inputs;
  for (const std::string& p : paths) inputs.push_back(&p);
  return inputs;
}

// `n` inputs "in0", "in1", ... in `dir`, input i holding the letter 'a' + i.
std::vector<std::string> LetterInputs(TempDir& dir, int n) {
  std::vector<std::string> paths;
  for (int i = 0; i < n; ++i) paths.push_back(dir.Write("in" + std::to_string(i), std::string(1, 'a' + i)).string());
  return paths;
}

// Inputs of 100 bytes, a large one in the middle, and what only its job can
// open (a folder, a FIFO, a link, a missing file): the reader holds no more
// than its limits, reads past what it leaves to the jobs, and every job gets
// its own bytes or nothing.
TEST(InputReadAhead, HoldsWithinItsLimitsAndLeavesToTheJobsWhatTheyOpenThemselves) {
  TempDir dir;
  std::vector<std::string> paths;
  std::vector<std::string> bytes;
  for (int i = 0; i < 12; ++i) {
    std::string b(100, static_cast<char>('a' + i));
    if (i == 4) b.assign(5000, 'L');  // larger than an input read ahead
    bytes.push_back(b);
    paths.push_back(dir.Write("in" + std::to_string(i), b).string());
  }
  fs::create_directory(dir.path() / "folder");
  paths[6] = (dir.path() / "folder").string();
  paths[7] = (dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(paths[7].c_str(), 0600), 0);
  fs::create_symlink(dir.path() / "in8", dir.path() / "link");
  paths[8] = (dir.path() / "link").string();
  paths[9] = (dir.path() / "missing").string();
  const std::vector<const std::string*> inputs = Pointers(paths);

  const ReadAheadLimits limits{3, 250, 1000};
  InputReadAhead ahead(inputs, limits);
  bool wake = false;
  for (size_t taken = 0; taken < paths.size(); ++taken) {
    while (ahead.ReadNext()) {
      EXPECT_LE(ahead.held(), limits.jobs);
      EXPECT_LE(ahead.heldBytes(), limits.bytes + limits.largest);  // one input may pass the bytes
    }
    EXPECT_FALSE(ahead.Wants());
    ReadInput got = ahead.Take(taken, wake).input;
    SCOPED_TRACE(taken);
    if (taken == 4 || (taken >= 6 && taken <= 9)) {
      EXPECT_EQ(got, nullptr);
    } else {
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(got->view(), bytes[taken]);
    }
  }
  EXPECT_EQ(ahead.held(), 0u);
  EXPECT_EQ(ahead.heldBytes(), 0u);
}

// A job that takes its input before the reader came to it reads it itself,
// and the reader never reads it after; the reader is woken once the jobs
// took half of what it held when it found no room.
TEST(InputReadAhead, AnInputTakenFirstIsNeverReadAndTheReaderIsWokenAtHalf) {
  TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 8; ++i) paths.push_back(dir.Write("in" + std::to_string(i), "abc").string());
  const std::vector<const std::string*> inputs = Pointers(paths);
  InputReadAhead ahead(inputs, ReadAheadLimits{4, 1000, 1000});
  bool wake = true;
  EXPECT_EQ(ahead.Take(0, wake).input, nullptr);  // not read yet: its job opens it
  EXPECT_FALSE(wake);
  while (ahead.ReadNext()) {
  }
  EXPECT_EQ(ahead.held(), 4u);  // inputs 1 to 4
  EXPECT_NE(ahead.Take(1, wake).input, nullptr);
  EXPECT_FALSE(wake);
  EXPECT_NE(ahead.Take(2, wake).input, nullptr);
  EXPECT_TRUE(wake);
  EXPECT_TRUE(ahead.Wants());
  EXPECT_EQ(ahead.Take(6, wake).input, nullptr);  // taken out of turn, before it was read
  while (ahead.ReadNext()) {
  }
  for (size_t i : {3u, 4u, 5u, 7u}) EXPECT_NE(ahead.Take(i, wake).input, nullptr) << i;
  EXPECT_EQ(ahead.held(), 0u);
}

// With a lead, the reader never starts the inputs right after the last one
// taken: their jobs open them, and it reads on beyond them.
TEST(InputReadAhead, LeavesTheInputsWithinItsLeadToTheirJobs) {
  TempDir dir;
  const std::vector<std::string> paths = LetterInputs(dir, 10);
  const std::vector<const std::string*> inputs = Pointers(paths);
  ReadAheadLimits limits{3, 1000, 1000};
  limits.lead = 2;
  InputReadAhead ahead(inputs, limits);
  bool wake = false;
  auto takeAll = [&](std::initializer_list<size_t> left, std::initializer_list<size_t> read) {
    for (size_t i : left) EXPECT_EQ(ahead.Take(i, wake).input, nullptr) << i;
    for (size_t i : read) {
      ReadInput got = ahead.Take(i, wake).input;
      ASSERT_NE(got, nullptr) << i;
      EXPECT_EQ(got->view(), std::string(1, 'a' + i));
    }
  };
  while (ahead.ReadNext()) {
  }
  EXPECT_EQ(ahead.held(), 3u);  // 2 to 4: the first two are about to be taken
  takeAll({0, 1}, {2, 3, 4});
  while (ahead.ReadNext()) {
  }
  EXPECT_EQ(ahead.held(), 3u);  // 7 to 9: the reader was as far behind as it can be
  takeAll({5, 6}, {7, 8, 9});
  EXPECT_EQ(ahead.held(), 0u);
}

// A job that comes to its input while it is being read (here from the
// reader's own hands, where it would wait for ever) is not kept waiting: it
// opens its input itself, and what the reader read of it is dropped.
TEST(InputReadAhead, AJobComingToItsInputBeingReadOpensItItself) {
  TempDir dir;
  const std::vector<std::string> paths = LetterInputs(dir, 3);
  const std::vector<const std::string*> inputs = Pointers(paths);
  InputReadAhead* reading = nullptr;
  InputReadAhead ahead(inputs, {}, {}, [&](size_t i) -> std::unique_ptr<OutputFile> {
    bool wake = false;
    if (i == 1) {
      EXPECT_EQ(reading->Take(1, wake).input, nullptr);
    }
    return nullptr;
  });
  reading = &ahead;
  while (ahead.ReadNext()) {
  }
  EXPECT_EQ(ahead.held(), 2u);
  EXPECT_EQ(ahead.heldBytes(), 2u);
  bool wake = false;
  EXPECT_EQ(ahead.Take(0, wake).input->view(), "a");
  EXPECT_EQ(ahead.Take(2, wake).input->view(), "c");
}

// A job that comes to its input while it is being read all the same (the
// reader fell behind) makes the reader stay one input further ahead of the
// jobs from then on, so that it does not read again what they open.
TEST(InputReadAhead, ItsLeadGrowsWhenAJobComesToAnInputBeingRead) {
  TempDir dir;
  const std::vector<std::string> paths = LetterInputs(dir, 8);
  const std::vector<const std::string*> inputs = Pointers(paths);
  InputReadAhead* reading = nullptr;
  bool wake = false;
  ReadAheadLimits limits{8, 1000, 1000};
  limits.lead = 1;
  InputReadAhead ahead(inputs, limits, {}, [&](size_t i) -> std::unique_ptr<OutputFile> {
    bool inner = false;
    if (i == 2) {
      EXPECT_EQ(reading->Take(2, inner).input, nullptr);  // its job came while it was read
    }
    return nullptr;
  });
  reading = &ahead;
  EXPECT_EQ(ahead.Take(0, wake).input, nullptr);
  EXPECT_TRUE(ahead.ReadNext());  // input 2, input 1 being its job's
  EXPECT_EQ(ahead.held(), 0u);    // input 2 dropped
  while (ahead.ReadNext()) {
  }
  // With the last taken 2, inputs 3 and 4 are now left to their jobs.
  for (size_t i : {1u, 3u, 4u}) EXPECT_EQ(ahead.Take(i, wake).input, nullptr) << i;
  for (size_t i : {5u, 6u, 7u}) {
    ReadInput got = ahead.Take(i, wake).input;
    ASSERT_NE(got, nullptr) << i;
    EXPECT_EQ(got->view(), std::string(1, 'a' + i));
  }
}

// A regular file that holds more than its size says (a file of /proc says 0)
// is read whole all the same: the storage grows as the read goes on and keeps
// what was read before.
TEST(InputReadAhead, ReadsAFileWholeThatHoldsMoreThanItsSize) {
  const std::vector<std::string> paths{"/proc/self/cmdline", "/proc/self/environ"};
  struct stat st {};
  if (::stat(paths[0].c_str(), &st) != 0 || st.st_size != 0) GTEST_SKIP() << "no /proc files of size 0";
  std::vector<std::string> expected;
  for (const std::string& p : paths) {
    std::ifstream in(p, std::ios::binary);
    expected.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_GT(expected[0].size(), 1u);
  const std::vector<const std::string*> inputs = Pointers(paths);
  InputReadAhead ahead(inputs, ReadAheadLimits{2, 1 << 20, 1 << 20});
  while (ahead.ReadNext()) {
  }
  bool wake = false;
  for (size_t i = 0; i < paths.size(); ++i) {
    ReadInput got = ahead.Take(i, wake).input;
    ASSERT_NE(got, nullptr) << paths[i];
    EXPECT_EQ(got->view(), expected[i]) << paths[i];
  }
}

// An input its job gave back is read into again: a later input that fits
// gets its own bytes (no more) in that storage, and one that does not fit
// new storage.
TEST(InputReadAhead, ReadsLaterInputsIntoTheStorageGivenBack) {
  TempDir dir;
  const std::vector<std::string> paths{dir.Write("in0", std::string(300, 'x')).string(),
                                       dir.Write("in1", "one").string(), dir.Write("in2", "zz").string(),
                                       dir.Write("in3", std::string(1000, 'y')).string()};
  const std::vector<const std::string*> inputs = Pointers(paths);
  InputReadAhead ahead(inputs, ReadAheadLimits{2, 1 << 20, 1 << 20});
  bool wake = false;
  ASSERT_TRUE(ahead.ReadNext());
  ASSERT_TRUE(ahead.ReadNext());
  ReadInput first = ahead.Take(0, wake).input;
  ASSERT_NE(first, nullptr);
  const char* storage = first->view().data();
  ReadInput second = ahead.Take(1, wake, std::move(first)).input;
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->view(), "one");
  ASSERT_TRUE(ahead.ReadNext());
  ReadInput third = ahead.Take(2, wake, std::move(second)).input;
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->view(), "zz");
  EXPECT_EQ(third->view().data(), storage);
  ASSERT_TRUE(ahead.ReadNext());  // into the storage of "one", too small
  ReadInput fourth = ahead.Take(3, wake, std::move(third)).input;
  ASSERT_NE(fourth, nullptr);
  EXPECT_EQ(fourth->view(), std::string(1000, 'y'));
}

}  // namespace
}  // namespace velkan
