// The batch planner (output names and the conflicts refused before a batch
// runs) and the batch runner.
#include "engine/batch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>

#include "engine/batch_share.h"
#include "io/output_file.h"
#include "support/memory_pass.h"
#include "support/test_support.h"
#include "tables/text_words.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WordBytes;

TEST(BatchOutputName, ReplacesTheExtensionByTxt) {
  const fs::path d = "/out";
  EXPECT_EQ(BatchOutputName("job.zan", d), fs::path("/out/job.txt"));
  EXPECT_EQ(BatchOutputName("/a/b/job.ZAN", d), fs::path("/out/job.txt"));
  EXPECT_EQ(BatchOutputName("rel/dir/job.v2.zan", d), fs::path("/out/job.v2.txt"));
  EXPECT_EQ(BatchOutputName("noext", d), fs::path("/out/noext.txt"));
  EXPECT_EQ(BatchOutputName("dotted.", d), fs::path("/out/dotted.txt"));
  EXPECT_EQ(BatchOutputName(".hidden", d), fs::path("/out/.hidden.txt"));
  EXPECT_EQ(BatchOutputName("text.txt", d), fs::path("/out/text.txt"));
  EXPECT_EQ(BatchOutputName("a.dir/file", "rel"), fs::path("rel/file.txt"));
}

// The name is built on bytes; it is the name the file system library
// builds from the input's file name and the folder.
TEST(BatchOutputName, IsWhatThePathLibraryMakesOfTheNames) {
  for (const char* folder : {"/out", "/out/", "/", "", "rel", "a//b", "./x/.."}) {
    for (const char* input : {"job.zan", "a/b.c/job", "x/.", "x/..", ".", "..", "a.", "/.b", "a/.b.c", "..z",
                              "j\\x.zan", "a//b.zan"}) {
      fs::path expected = fs::path(input).filename();
      expected.replace_extension(".txt");
      std::string bytes = "kept";
      AppendBatchOutputName(bytes, input, folder);
      EXPECT_EQ(bytes, "kept" + (fs::path(folder) / expected).native()) << folder << " " << input;
    }
  }
}

// The output folders of a batch are looked at once each: outputs in one
// folder share the look, outputs in others do not (nor a name in the working
// folder and one at the root).
TEST(BatchShare, LooksAtEachOutputFolderOnce) {
  TempDir d;
  fs::create_directories(d.path() / "a");
  fs::create_directories(d.path() / "b");
  JobOptions common;
  common.tableRoot = VELKAN_SAMPLE_ROOT;
  BatchShare share(common);
  const OutputFolder& a = share.FolderOf((d.path() / "a" / "x.txt").string());
  EXPECT_EQ(&a, &share.FolderOf((d.path() / "a" / "y.txt").string()));
  const OutputFolder& b = share.FolderOf((d.path() / "b" / "x.txt").string());
  EXPECT_NE(&a, &b);
  EXPECT_EQ(b.dir, ResolvedPath(d.path() / "b"));
  const OutputFolder& root = share.FolderOf("/x.txt");
  EXPECT_NE(&root, &share.FolderOf("x.txt"));
  EXPECT_EQ(root.dir, fs::path("/"));
}

// The format file every job of a batch converts first is read once, and
// again for the jobs after it was replaced.
TEST(BatchShare, HoldsTheFormatFileUntilItChanges) {
  TempDir d;
  const fs::path path = d.Write("formats.txt", "one");
  HeldFile held(path.string(), std::chrono::seconds(0));
  std::shared_ptr<const ReadBytes> first = held.Bytes();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->view(), "one");
  EXPECT_EQ(held.Bytes(), first);
  EXPECT_EQ(held.reads(), 1);

  // Of another size, or of the same size and a later modification time.
  d.Write("formats.txt", "three");
  EXPECT_EQ(held.Bytes()->view(), "three");
  d.Write("formats.txt", "thrEE");
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(2));
  EXPECT_EQ(held.Bytes()->view(), "thrEE");
  EXPECT_EQ(first->view(), "one");  // a job keeps what it was given
  // Replaced by another file (a new identity) of the same size and time.
  const auto time = fs::last_write_time(path);
  d.Write("new.txt", "thrEe");
  fs::last_write_time(d.path() / "new.txt", time);
  fs::rename(d.path() / "new.txt", path);
  EXPECT_EQ(held.Bytes()->view(), "thrEe");
  EXPECT_EQ(held.reads(), 4);

  // What cannot be held is left to the jobs, which tell why they cannot
  // read it.
  fs::remove(path);
  EXPECT_EQ(held.Bytes(), nullptr);
  fs::create_directory(path);
  EXPECT_EQ(held.Bytes(), nullptr);
  EXPECT_EQ(HeldFile("/dev/stdin").Bytes(), nullptr);
}

// Runs the planner and says whether it refused, with the reasons joined.
std::string Refusals(const BatchPlan& p) {
  std::string all;
  for (const Note& r : p.refusals) all += r.Text() + "\n";
  return all;
}

TEST(PlanBatch, DistinctOutputsArePlannedInTheInputsOrder) {
  TempDir d;
  fs::path a = d.Write("in/a.zan", "");
  fs::path b = d.Write("in/sub/b.zan", "");
  std::string missing = (d.path() / "in/c.zan").string();  // a missing input fails later, as a job
  BatchPlan p = PlanBatch({a.string(), b.string(), missing}, d.path() / "out");
  ASSERT_TRUE(p.ok()) << Refusals(p);
  ASSERT_EQ(p.entries.size(), 3u);
  EXPECT_EQ(p.entries[0].input, a.string());
  EXPECT_EQ(p.entries[0].output, d.path() / "out" / "a.txt");
  EXPECT_EQ(p.entries[1].output, d.path() / "out" / "b.txt");
  EXPECT_EQ(p.entries[2].input, missing);
  EXPECT_EQ(p.entries[2].output, d.path() / "out" / "c.txt");

  // Converting into the inputs' own folder is fine when no name clashes.
  EXPECT_TRUE(PlanBatch({a.string()}, d.path() / "in").ok());
}

TEST(PlanBatch, AnOutputOntoAnInputIsRefused) {
  TempDir d;
  fs::path text = d.Write("t.txt", "");
  // Its own input.
  BatchPlan own = PlanBatch({text.string()}, d.path());
  EXPECT_FALSE(own.ok());
  EXPECT_NE(Refusals(own).find("would replace the input '" + text.string() + "'"), std::string::npos)
      << Refusals(own);
  // Another job's input (which is then its own job's output as well).
  fs::path other = d.Write("x/t.zan", "");
  EXPECT_EQ(PlanBatch({other.string(), text.string()}, d.path()).refusals.size(), 2u);
  // The same folder spelt another way, and through a symbolic link.
  EXPECT_FALSE(PlanBatch({text.string()}, d.path() / "x" / "..").ok());
  fs::create_directory_symlink(d.path(), d.path() / "link");
  EXPECT_FALSE(PlanBatch({text.string()}, d.path() / "link").ok());
  // A file under another name by a hard link.
  fs::path job = d.Write("h/job.zan", "");
  fs::create_hard_link(job, d.path() / "job.txt");
  EXPECT_FALSE(PlanBatch({job.string()}, d.path()).ok());
}

TEST(PlanBatch, FilesEveryJobReadsAreNeverReplaced) {
  TempDir d;
  fs::path job = d.Write("in/names.zan", "");
  fs::path define = d.Write("names.txt", "");
  JobOptions common;
  common.defineFile = define.string();
  BatchPlan p = PlanBatch({job.string()}, d.path(), common);
  EXPECT_FALSE(p.ok());
  EXPECT_NE(Refusals(p).find("would replace the definition file " + define.string()), std::string::npos)
      << Refusals(p);
  // A file that does not exist yet is still kept by its name.
  common.defineFile = (d.path() / "out" / "names.txt").string();
  EXPECT_FALSE(PlanBatch({job.string()}, d.path() / "out", common).ok());
  common.defineFile = define.string();
  EXPECT_TRUE(PlanBatch({job.string()}, d.path() / "out", common).ok());
  // The files of the store and of the tables folder.
  common.tableRoot = d.path() / "root";
  fs::create_directories(common.tableRoot / "QDXFILES");
  EXPECT_FALSE(PlanBatch({d.Write("in/udf2.fle", "").string()}, d.path() / "root" / "qdxfiles", common).ok());
  fs::create_directories(d.path() / "out");
  fs::create_symlink(common.tableRoot / "QDXFILES" / "udf2.tbl", d.path() / "out" / "link.txt");
  BatchPlan s = PlanBatch({d.Write("in/link.zan", "").string()}, d.path() / "out", common);
  EXPECT_NE(Refusals(s).find("format store"), std::string::npos) << Refusals(s);
  // Any file in the tables folder, however the folder is spelled, but not
  // in a folder whose name only begins like it.
  BatchPlan t = PlanBatch({d.Write("in/codes.zan", "").string()}, d.path() / "root/./QdxFiles", common);
  EXPECT_NE(Refusals(t).find("a table file of the table root"), std::string::npos) << Refusals(t);
  fs::create_directories(common.tableRoot / "qdxfiles2");
  EXPECT_TRUE(PlanBatch({d.Write("in/codes.zan", "").string()}, common.tableRoot / "qdxfiles2", common).ok());
  common.tableRoot += "/";
  EXPECT_FALSE(PlanBatch({d.Write("in/codes.zan", "").string()}, d.path() / "root" / "QDXFILES", common).ok());
  // A second name of a kept file is found by the file itself.
  fs::create_hard_link(define, d.path() / "out" / "hard.txt");
  BatchPlan h = PlanBatch({d.Write("in/hard.zan", "").string()}, d.path() / "out", common);
  EXPECT_NE(Refusals(h).find("the definition file"), std::string::npos) << Refusals(h);
}

TEST(PlanBatch, TwoInputsMappingToOneOutputAreRefused) {
  TempDir d;
  fs::path a = d.Write("1/a.zan", "");
  fs::path a2 = d.Write("2/a.ZAN", "");
  fs::path a3 = d.Write("3/a", "");
  BatchPlan p = PlanBatch({a.string(), a2.string(), a3.string()}, d.path() / "out");
  ASSERT_EQ(p.refusals.size(), 2u) << Refusals(p);
  EXPECT_NE(p.refusals[0].Text().find("'" + a2.string() + "' and '" + a.string() + "' would both be converted into"),
            std::string::npos)
      << p.refusals[0].Text();
  // The same input twice, once spelt another way.
  std::string again = (d.path() / "1" / "." / "a.zan").string();
  EXPECT_EQ(PlanBatch({a.string(), again}, d.path() / "out").refusals.size(), 1u);
  // Every conflict is listed, not only the first.
  BatchPlan many = PlanBatch({a.string(), a.string(), a.string()}, d.path() / "out");
  EXPECT_EQ(many.refusals.size(), 2u) << Refusals(many);
}

// The lstat a front end took of each input (telling it names no
// descriptor) stands for the planning's own: the plan is the same, a file
// under another name found by its inode, a link followed, a missing input
// kept by its name.
TEST(PlanBatch, TheInputsLooksTakenBeforehandGiveTheSamePlan) {
  TempDir d;
  fs::path a = d.Write("in/a.zan", "");
  fs::path job = d.Write("in/job.zan", "");
  fs::create_directories(d.path() / "out");
  fs::create_hard_link(job, d.path() / "out" / "job.txt");
  fs::create_symlink(a, d.path() / "in" / "link.zan");
  d.Write("out/b.txt", "");
  const std::vector<std::string> inputs = {a.string(),
                                           job.string(),
                                           (d.path() / "in" / "link.zan").string(),
                                           (d.path() / "in" / "missing.zan").string(),
                                           (d.path() / "out" / "b.txt").string(),
                                           (d.path() / "in" / "." / "a.zan").string()};
  std::vector<PathLook> looks(inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(-1, NamedDescriptor(inputs[i], &looks[i]));
  EXPECT_TRUE(looks[0].taken && looks[0].error == 0 && S_ISREG(looks[0].mode));
  EXPECT_TRUE(looks[3].taken && looks[3].error == ENOENT);
  const BatchPlan without = PlanBatch(inputs, d.path() / "out");
  const BatchPlan with = PlanBatch(inputs, d.path() / "out", {}, looks);
  // The output that is job.zan by a hard link, the input that is its own
  // output, and a.zan spelled again.
  EXPECT_EQ(without.refusals.size(), 3u) << Refusals(without);
  EXPECT_EQ(Refusals(with), Refusals(without));
  ASSERT_EQ(with.entries.size(), without.entries.size());
  for (size_t i = 0; i < with.entries.size(); ++i) EXPECT_EQ(with.entries[i].output, without.entries[i].output);

  // So too with looks read from the listing of a folder of many inputs, the
  // others taken as before, even where a listing's inode numbers are not
  // the files' own (a file mounted there): an output that exists is
  // compared with the inputs as an lstat finds them.
  std::vector<std::string> many = inputs;
  for (size_t i = 0; i < kListedAtLeast; ++i) many.push_back(d.Write("in/f" + std::to_string(i) + ".zan", "").string());
  std::vector<PathLook> listed(many.size());
  LookThroughListings(many, listed);
  EXPECT_TRUE(listed[0].listed && listed[1].listed && listed.back().listed);
  EXPECT_FALSE(listed[2].taken || listed[3].taken || listed[5].taken);  // a link, nothing, another folder's spelling
  for (size_t i = 0; i < many.size(); ++i) {
    if (!listed[i].listed) {
      EXPECT_EQ(-1, NamedDescriptor(many[i], &listed[i]));
    }
  }
  const std::string allWithout = Refusals(PlanBatch(many, d.path() / "out"));
  EXPECT_EQ(Refusals(PlanBatch(many, d.path() / "out", {}, listed)), allWithout);
  for (PathLook& look : listed) {
    if (look.listed) look.inode ^= 0x5A5A5A;
  }
  EXPECT_EQ(Refusals(PlanBatch(many, d.path() / "out", {}, listed)), allWithout);
  // In an output folder not made yet nothing stands, but a missing input
  // there is still its own output.
  const std::string unborn = (d.path() / "new" / "x.txt").string();
  EXPECT_TRUE(PlanBatch({a.string(), job.string()}, d.path() / "new").ok());
  EXPECT_NE(Refusals(PlanBatch({unborn}, d.path() / "new")).find("would replace the input"), std::string::npos);
}

// An output folder of many outputs is listed once, not each output looked
// at: what stands among the many absent names is refused as before, and an
// absent name is still refused where its path alone tells (an input there,
// a file every job reads, another job's output).
TEST(PlanBatch, WhatStandsAmongManyAbsentOutputsIsRefusedAsBefore) {
  TempDir d;
  const fs::path out = d.path() / "out";
  fs::create_directories(out / "f1.txt");  // a folder
  ASSERT_EQ(::mkfifo((out / "f2.txt").c_str(), 0644), 0);
  std::vector<std::string> inputs;
  for (int i = 0; i < 40; ++i) inputs.push_back(d.Write("in/f" + std::to_string(i) + ".zan", "").string());
  fs::create_symlink(inputs[3], out / "f3.txt");       // an input through a link
  fs::create_hard_link(inputs[4], out / "f4.txt");     // an input under a second name
  fs::create_symlink(d.path() / "elsewhere.txt", out / "f5.txt");  // leads nowhere yet: replaced
  inputs.push_back(d.Write("in2/f8.zan", "").string());             // the output of f8.zan too
  inputs.push_back(d.Write("out/f9.txt", "").string());             // its own output
  inputs.push_back((out / "missing.txt").string());                 // not there, its own output
  JobOptions common;
  common.defineFile = (out / "f7.txt").string();  // not there yet, kept by its name
  ASSERT_GE(inputs.size(), kListedAtLeast);
  const BatchPlan p = PlanBatch(inputs, out, common);
  const std::string all = Refusals(p);
  EXPECT_EQ(p.refusals.size(), 9u) << all;
  const std::pair<std::string, std::string> expected[] = {
      {"f1.txt', is a folder", "a folder"},
      {"f2.txt', is a FIFO", "a FIFO"},
      {"f3.txt', would replace the input '" + inputs[3] + "'", "a link to an input"},
      {"f4.txt', would replace the input '" + inputs[4] + "'", "a second name of an input"},
      {"f7.txt', would replace the definition file", "the definition file"},
      {"' and '" + inputs[8] + "' would both be converted into", "two inputs"},
      {"f9.zan', '" + (out / "f9.txt").string() + "', would replace the input '" + inputs[41] + "'", "another's input"},
      {"f9.txt', '" + inputs[41] + "', would replace the input '" + inputs[41] + "'", "an input in the folder"},
      {"missing.txt', would replace the input '" + inputs[42] + "'", "a missing input in the folder"}};
  for (const auto& [text, what] : expected) EXPECT_NE(all.find(text), std::string::npos) << what << "\n" << all;
  EXPECT_EQ(all.find("f5.txt"), std::string::npos) << all;
  // The same batch of few inputs, each output looked at alone, refuses the
  // same.
  for (const size_t i : {1, 2, 3, 4, 5, 7}) {
    const BatchPlan alone = PlanBatch({inputs[i]}, out, common);
    EXPECT_EQ(alone.ok(), i == 5) << i << Refusals(alone);
    if (i != 5) {
      EXPECT_NE(all.find(Refusals(alone)), std::string::npos) << Refusals(alone);
    }
  }
}

TEST(PlanBatch, AnInputNamingNoFileIsRefused) {
  TempDir d;
  BatchPlan p = PlanBatch({(d.path() / "dir").string() + "/"}, d.path() / "out");
  EXPECT_FALSE(p.ok());
  EXPECT_NE(Refusals(p).find("names no file"), std::string::npos);
}

TEST(DefaultJobCount, IsAtLeastOne) { EXPECT_GE(DefaultJobCount(), 1); }

using ::velkan::test::Slurp;

// A batch of jobs under a temporary folder with a minimal table root.
class BatchRunTest : public ::testing::Test {
 protected:
  BatchRunTest() {
    dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    common.tableRoot = dir.path() / "root";
    common.storeDir = dir.path() / "store";
    fs::create_directory(common.storeDir);
  }
  // `n` jobs in/jN.zan of `bytes`, each converted into out/jN.txt (the
  // folder made, empty).
  std::vector<BatchEntry> JobsIntoOut(int n, const std::string& bytes) {
    fs::create_directory(dir.path() / "out");
    std::vector<BatchEntry> entries;
    for (int i = 0; i < n; ++i) {
      fs::path in = dir.Write("in/j" + std::to_string(i) + ".zan", bytes);
      entries.push_back({in.string(), dir.path() / "out" / ("j" + std::to_string(i) + ".txt")});
    }
    return entries;
  }
  TempDir dir;
  JobOptions common;
};

TEST_F(BatchRunTest, ResultsComeInTheEntriesOrderAndEveryJobIsReportedOnce) {
  std::vector<BatchEntry> entries;
  long long inputBytes = 0;
  for (int i = 0; i < 7; ++i) {
    std::string bytes = WordBytes({0xD009, static_cast<uint16_t>(0x45A1 + i), 0xD009});
    inputBytes += static_cast<long long>(bytes.size());
    fs::path in = dir.Write("j" + std::to_string(i) + ".zan", bytes);
    entries.push_back({in.string(), dir.path() / ("j" + std::to_string(i) + ".txt")});
  }
  // Job 3 cannot be read, job 5 cannot be written.
  entries[3].input = (dir.path() / "missing.zan").string();
  entries[5].output = dir.path() / "no-such-folder" / "j5.txt";

  for (int jobs : {1, 2, 4, 0}) {
    SCOPED_TRACE(jobs);
    std::vector<int> reported(entries.size(), 0);
    std::vector<BatchStatus> ticks;
    BatchCallbacks cb;
    cb.jobEnded = [&](size_t i, const JobResult& r) {
      ASSERT_LT(i, entries.size());
      ++reported[i];
      EXPECT_EQ(r.status == JobStatus::kCompleted, i != 3 && i != 5);
    };
    cb.tick = [&](const BatchStatus& s) { ticks.push_back(s); };
    std::vector<JobResult> results = RunBatch(entries, common, jobs, cb);
    ASSERT_EQ(results.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(reported[i], 1) << i;
      if (i == 3) {
        EXPECT_EQ(results[i].status, JobStatus::kInputNotFound);
      } else if (i == 5) {
        EXPECT_EQ(results[i].status, JobStatus::kOutputNotCreated);
      } else {
        EXPECT_EQ(results[i].status, JobStatus::kCompleted) << i;
        // The line end at the start of each job is dropped: a Session of its own.
        std::string code = "<ZAN2 code=45a" + std::to_string(1 + i) + ">\r\n";
        EXPECT_EQ(Slurp(entries[i].output), code) << i;
      }
    }
    ASSERT_FALSE(ticks.empty());
    const BatchStatus& last = ticks.back();
    EXPECT_EQ(last.total, 7u);
    EXPECT_EQ(last.done, 7u);
    EXPECT_EQ(last.failed, 2u);
    EXPECT_EQ(last.bytes, inputBytes - 6);  // the missing input counts nothing
    EXPECT_GE(last.seconds, 0.0);
  }
}

// Outputs are put in place a group at a time while the workers go on; the
// temporary files in flight never outnumber those a signal handler can
// remove, and every output is in place at the end.
TEST_F(BatchRunTest, OutputsWaitingBesideTheWorkersStayWithinWhatASignalRemoves) {
  fs::create_directory(dir.path() / "out");
  std::vector<BatchEntry> entries;
  for (int i = 0; i < 150; ++i) {
    fs::path in = dir.Write("in/j" + std::to_string(i) + ".zan", WordBytes({0x45A1, 0xD009}));
    entries.push_back({in.string(), dir.path() / "out" / ("j" + std::to_string(i) + ".txt")});
  }
  auto inFlight = [&] {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir.path() / "out")) {
      n += e.path().filename().string().find(".velkan-") != std::string::npos ? 1 : 0;
    }
    return n;
  };
  for (int jobs : {1, 2, 4}) {
    SCOPED_TRACE(jobs);
    size_t most = 0;
    BatchCallbacks cb;
    cb.jobEnded = [&](size_t, const JobResult&) { most = std::max(most, inFlight()); };
    for (const JobResult& r : RunBatch(entries, common, jobs, cb)) EXPECT_EQ(r.status, JobStatus::kCompleted);
    EXPECT_LE(most, TemporaryFiles::kSignalSafeSlots);
    EXPECT_EQ(inFlight(), 0u);
    for (const BatchEntry& e : entries) EXPECT_EQ(Slurp(e.output), "<ZAN2 code=45a1>\r\n") << e.output;
    fs::remove_all(dir.path() / "out");
    fs::create_directory(dir.path() / "out");
  }
}

// A group of outputs ends after a while even when it is far from full: the
// outputs of the jobs before one that waits for its input (a pipe no one has
// written yet) are put in place and reported while it waits, and every output
// is in place at the end.
TEST_F(BatchRunTest, OutputsAreShownWhileALaterJobWaits) {
  const std::string bytes = WordBytes({0x45A1, 0xD009});
  std::vector<BatchEntry> entries = JobsIntoOut(8, bytes);
  const size_t waits = 5;
  for (int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    entries[waits].input = "/dev/fd/" + std::to_string(pipe[0]);
    std::mutex m;
    std::condition_variable cv;
    size_t reportedBefore = 0;  // jobs before the waiting one reported
    bool timedOut = false;
    // Feeds the pipe once the jobs before it are reported, or after a long
    // while so that a failure does not hang.
    std::thread feeder([&] {
      {
        std::unique_lock<std::mutex> lock(m);
        timedOut = !cv.wait_for(lock, std::chrono::seconds(30), [&] { return reportedBefore == waits; });
      }
      EXPECT_EQ(::write(pipe[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
      ::close(pipe[1]);
    });
    BatchCallbacks cb;
    cb.jobEnded = [&](size_t i, const JobResult&) {
      std::lock_guard<std::mutex> lock(m);
      if (i < waits) ++reportedBefore;
      cv.notify_all();
    };
    std::vector<JobResult> results = RunBatch(entries, common, jobs, cb);
    feeder.join();
    ::close(pipe[0]);
    EXPECT_FALSE(timedOut);
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(results[i].status, JobStatus::kCompleted) << i;
      EXPECT_EQ(test::Slurp(entries[i].output), "<ZAN2 code=45a1>\r\n") << i;
    }
    fs::remove_all(dir.path() / "out");
    fs::create_directory(dir.path() / "out");
  }
}

// The jobs of a group put in place are reported once its renames are on the
// disk, with the next group's sync or, when no output follows (the later
// jobs cancelled), at the batch's end: the batch ends with every job
// reported once and the outputs of the group in place. The batch runs under
// an alarm, so that one that never ends fails.
TEST_F(BatchRunTest, AGroupFollowedOnlyByJobsWithoutOutputsIsReportedAtTheEnd) {
  const std::string bytes = WordBytes({0x45A1, 0xD009});
  std::vector<BatchEntry> entries = JobsIntoOut(8, bytes);
  const size_t waits = 5;
  for (int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    entries[waits].input = "/dev/fd/" + std::to_string(pipe[0]);
    std::atomic<bool> cancel{false};
    common.cancelled = [&cancel] { return cancel.load(); };
    // Once the outputs before the waiting job are in place, the batch is
    // cancelled and the waiting job given its input.
    std::thread feeder([&] {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      auto placed = [&] {
        for (size_t i = 0; i < waits; ++i) {
          if (!fs::exists(entries[i].output)) return false;
        }
        return true;
      };
      while (!placed() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      cancel = true;
      EXPECT_EQ(::write(pipe[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
      ::close(pipe[1]);
    });
    std::vector<int> reported(entries.size(), 0);
    BatchCallbacks cb;
    cb.jobEnded = [&](size_t i, const JobResult&) { ++reported[i]; };
    ::alarm(120);
    std::vector<JobResult> results = RunBatch(entries, common, jobs, cb);
    ::alarm(0);
    feeder.join();
    ::close(pipe[0]);
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(reported[i], 1) << i;
      if (i < waits) {
        EXPECT_EQ(results[i].status, JobStatus::kCompleted) << i;
        EXPECT_EQ(Slurp(entries[i].output), "<ZAN2 code=45a1>\r\n") << i;
      } else if (results[i].status != JobStatus::kCompleted) {
        EXPECT_FALSE(fs::exists(entries[i].output)) << i;
      }
    }
    for (const auto& e : fs::directory_iterator(dir.path() / "out")) {
      EXPECT_EQ(e.path().filename().string().find(".velkan-"), std::string::npos) << e.path();
    }
    fs::remove_all(dir.path() / "out");
    fs::create_directory(dir.path() / "out");
  }
}

// A group of outputs spread over several folders (an entry may name any
// output) is put in place whole: each output in its own folder, none left
// as a temporary file.
TEST_F(BatchRunTest, AGroupOfOutputsInSeveralFoldersIsPutInPlaceWhole) {
  const std::vector<fs::path> folders = {dir.path() / "a", dir.path() / "b", dir.path() / "a" / "c"};
  for (const fs::path& f : folders) fs::create_directories(f);
  std::vector<BatchEntry> entries;
  for (int i = 0; i < 40; ++i) {
    fs::path in = dir.Write("in/j" + std::to_string(i) + ".zan", WordBytes({0x45A1, 0xD009}));
    entries.push_back({in.string(), folders[static_cast<size_t>(i * 7 % 3)] / ("j" + std::to_string(i) + ".txt")});
  }
  for (int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    for (const JobResult& r : RunBatch(entries, common, jobs)) EXPECT_EQ(r.status, JobStatus::kCompleted);
    for (const BatchEntry& e : entries) {
      EXPECT_EQ(Slurp(e.output), "<ZAN2 code=45a1>\r\n") << e.output;
      fs::remove(e.output);
    }
    for (const fs::path& f : folders) {
      for (const auto& e : fs::directory_iterator(f)) EXPECT_TRUE(e.is_directory()) << e.path();
    }
  }
}

// A batch planned with its share has the tables its jobs need loaded while
// it is planned, once: its jobs load them no more.
TEST_F(BatchRunTest, TheTablesAreLoadedOnceWhileTheBatchIsPlanned) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 3; ++i) {
    inputs.push_back(dir.Write("in/j" + std::to_string(i) + ".zan", WordBytes({0x45A1, 0xD009})).string());
  }
  BatchShare share(common);
  JobOptions o = common;
  o.shared = &share;
  BatchPlan plan = PlanBatch(inputs, dir.path() / "out", o);
  ASSERT_TRUE(plan.ok()) << Refusals(plan);
  EXPECT_EQ(share.tables.loads(), 1);
  fs::create_directory(dir.path() / "out");
  for (const JobResult& r : RunBatch(plan.entries, o, 1)) EXPECT_EQ(r.status, JobStatus::kCompleted);
  EXPECT_EQ(share.tables.loads(), 1);
  // A batch of text jobs and code-word jobs has both kinds of tables loaded
  // while it is planned, one of text jobs only those of text jobs.
  BatchShare both(common);
  o.shared = &both;
  const std::string text = dir.Write("in/t.txt", "x").string();
  ASSERT_TRUE(PlanBatch({inputs[0], text, inputs[1]}, dir.path() / "out2", o).ok());
  EXPECT_EQ(both.tables.loads(), 2);
  BatchShare texts(common);
  o.shared = &texts;
  ASSERT_TRUE(PlanBatch({text}, dir.path() / "out2", o).ok());
  EXPECT_EQ(texts.tables.loads(), 1);
}

TEST_F(BatchRunTest, ACancelledBatchStartsNoFurtherJob) {
  std::vector<BatchEntry> entries;
  for (int i = 0; i < 5; ++i) {
    fs::path in = dir.Write("j" + std::to_string(i) + ".zan", WordBytes({0x45A1, 0xD009}));
    entries.push_back({in.string(), dir.path() / ("j" + std::to_string(i) + ".txt")});
  }
  common.cancelled = [] { return true; };
  size_t failed = 0;
  BatchCallbacks cb;
  cb.tick = [&](const BatchStatus& s) { failed = s.failed; };
  std::vector<JobResult> results = RunBatch(entries, common, 2, cb);
  ASSERT_EQ(results.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(results[i].status, JobStatus::kCancelled) << i;
    EXPECT_FALSE(fs::exists(entries[i].output)) << i;
  }
  EXPECT_EQ(failed, entries.size());
}

// A batch cancelled while inputs wait read and outputs wait opened ahead of
// their jobs: each job is either complete or cancelled with its output not
// made (with one worker, the complete ones first), and no temporary file
// stays.
TEST_F(BatchRunTest, ACancelledBatchLeavesNothingItPreparedAheadOfItsJobs) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 120; ++i) {
    inputs.push_back(dir.Write("in/j" + std::to_string(i) + ".zan", WordBytes({0x45A1, 0xD009})).string());
  }
  fs::create_directory(dir.path() / "out");
  BatchPlan plan = PlanBatch(inputs, dir.path() / "out", common);
  ASSERT_TRUE(plan.ok());
  for (int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    // Cancelled midway, whether or not an output was put in place by then
    // (the jobs and the opening ahead ask a few times a job).
    std::atomic<size_t> asked{0};
    common.cancelled = [&asked] { return ++asked > 100; };
    std::vector<JobResult> results = RunBatch(plan.entries, common, jobs);
    size_t completed = 0;
    for (size_t i = 0; i < results.size(); ++i) {
      if (results[i].status == JobStatus::kCompleted) {
        ++completed;
        EXPECT_EQ(Slurp(plan.entries[i].output), "<ZAN2 code=45a1>\r\n") << i;
      } else {
        EXPECT_EQ(results[i].status, JobStatus::kCancelled) << i;
        EXPECT_FALSE(fs::exists(plan.entries[i].output)) << i;
      }
    }
    EXPECT_GT(completed, 0u);
    EXPECT_LT(completed, results.size());
    if (jobs == 1) {
      EXPECT_EQ(results[completed - 1].status, JobStatus::kCompleted);
    }
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path() / "out")) {
      EXPECT_EQ(e.path().filename().string().find(".velkan-"), std::string::npos) << e.path();
      ++files;
    }
    EXPECT_EQ(files, completed);
    fs::remove_all(dir.path() / "out");
    fs::create_directory(dir.path() / "out");
  }
}

// What the calling thread prepares ahead of a job never touches its output:
// between the batch's look at the output folder and the opening ahead, the
// folder is made to take no new file and another output's name is made a
// link to a file in a folder that takes none. Both outputs would then be
// written in place; opened ahead, they would be emptied long before their
// jobs. They keep their bytes while the jobs wait, and a batch cancelled
// before the jobs run leaves them as they were, with no temporary file.
TEST_F(BatchRunTest, NothingOpenedAheadOfAJobEmptiesItsOutput) {
  const fs::path in = dir.path() / "in", out = dir.path() / "out", locked = dir.path() / "locked";
  std::vector<std::string> inputs = {dir.Write("in/a.zan", WordBytes({0x45A1, 0xD009})).string(),
                                     dir.Write("in/b.zan", WordBytes({0x45A2, 0xD009})).string()};
  const fs::path a = dir.Write("out/a.txt", "earlier a"), b = dir.Write("out/b.txt", "earlier b");
  const fs::path linked = dir.Write("locked/linked.txt", "linked");
  // Permissions do not bind the superuser: the batch runs in a child that
  // gives up those rights, and owns the output folder.
  for (const fs::path& p : {dir.path(), dir.path() / "root", dir.path() / "root" / "qdxfiles", in, locked}) {
    ASSERT_EQ(::chmod(p.c_str(), 0755), 0);
  }
  for (const fs::path& p : {common.storeDir, out}) ASSERT_EQ(::chmod(p.c_str(), 0777), 0);
  for (const fs::path& p : {a, b, linked}) ASSERT_EQ(::chmod(p.c_str(), 0666), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(out.c_str(), 65534, 65534), 0);
  }
  BatchPlan plan = PlanBatch(inputs, out, common);
  ASSERT_TRUE(plan.ok()) << Refusals(plan);

  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
    int failed = 0;
    BatchShare share(common);
    share.FolderOf(plan.entries[0].output);  // looked at while it takes new files
    JobOptions o = common;
    o.shared = &share;
    std::atomic<bool> cancel{false};
    bool changed = false;
    const std::thread::id calling = std::this_thread::get_id();
    o.cancelled = [&] {
      if (!changed && std::this_thread::get_id() == calling) {
        changed = true;
        std::error_code ec;
        fs::remove(b, ec);
        fs::create_symlink(linked, b, ec);
        if (ec || ::chmod(out.c_str(), 0555) != 0) failed |= 1;
      }
      return cancel.load();
    };
    // The worker starts converting only once the calling thread, done
    // reading ahead, has looked at the outputs and cancelled the batch.
    std::mutex m;
    std::condition_variable cv;
    bool go = false;
    ThreadStarter start = [&](std::function<void()> work) {
      return std::thread([&, work = std::move(work)] {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return go; });
        lock.unlock();
        work();
      });
    };
    BatchCallbacks cb;
    cb.interval = std::chrono::milliseconds(1);
    cb.tick = [&](const BatchStatus&) {
      if (cancel.load()) return;
      if (!changed) failed |= 2;
      if (Slurp(a) != "earlier a" || Slurp(linked) != "linked") failed |= 4;
      cancel.store(true);
      std::lock_guard<std::mutex> lock(m);
      go = true;
      cv.notify_all();
    };
    for (const JobResult& r : RunBatch(plan.entries, o, 1, cb, start)) {
      if (r.status != JobStatus::kCancelled) failed |= 8;
    }
    if (Slurp(a) != "earlier a" || Slurp(linked) != "linked" || !fs::is_symlink(b)) failed |= 16;
    ::_exit(failed);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::chmod(out.c_str(), 0777);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 could not change the folder, 2 nothing was read ahead, 4 emptied ahead, "
                                       "8 not cancelled, 16 changed by the cancelled batch, 100 could not drop rights";
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));  // no temporary file
}

// What another program makes at a new output's name after the batch looked
// at its folder is looked at before the output is put there: a file is
// replaced as the job would have replaced it (its mode kept); a folder, a
// link or a FIFO stays as it is, and its job fails saying why.
TEST_F(BatchRunTest, WhatAppearsAtANewOutputWhileTheBatchRunsIsNotBlindlyReplaced) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 5; ++i) {
    inputs.push_back(
        dir.Write("in/j" + std::to_string(i) + ".zan", WordBytes({0xD009, static_cast<uint16_t>(0x45A1 + i), 0xD009}))
            .string());
  }
  const fs::path out = dir.path() / "out";
  fs::create_directory(out);
  const fs::path elsewhere = dir.Write("elsewhere.txt", "elsewhere");
  BatchShare share(common);
  JobOptions o = common;
  o.shared = &share;
  BatchPlan plan = PlanBatch(inputs, out, o);
  ASSERT_TRUE(plan.ok()) << Refusals(plan);
  // The folder is looked at (and listed) while nothing stands there yet.
  ASSERT_TRUE(share.FolderOf(plan.entries[0].output, inputs.size()).listed);
  ASSERT_EQ(::chmod(dir.Write("out/j1.txt", "theirs").c_str(), 0600), 0);
  fs::create_directory(out / "j2.txt");
  fs::create_symlink(elsewhere, out / "j3.txt");
  ASSERT_EQ(::mkfifo((out / "j4.txt").c_str(), 0644), 0);

  const std::vector<JobResult> results = RunBatch(plan.entries, o, 1);
  ASSERT_EQ(results.size(), 5u);
  for (size_t i : {0u, 1u}) {
    EXPECT_EQ(results[i].status, JobStatus::kCompleted) << i;
    EXPECT_EQ(Slurp(out / ("j" + std::to_string(i) + ".txt")), "<ZAN2 code=45a" + std::to_string(1 + i) + ">\r\n");
  }
  struct stat st {};
  ASSERT_EQ(::stat((out / "j1.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  const char* says[] = {"Is a directory", "something other than a file", "something other than a file"};
  for (size_t i : {2u, 3u, 4u}) {
    EXPECT_EQ(results[i].status, JobStatus::kPassFailed) << i;
    std::string notes;
    for (const Note& n : results[i].notes) notes += n.Text() + "\n";
    EXPECT_NE(notes.find(says[i - 2]), std::string::npos) << notes;
  }
  EXPECT_TRUE(fs::is_directory(out / "j2.txt"));
  EXPECT_EQ(fs::read_symlink(out / "j3.txt"), elsewhere);
  EXPECT_EQ(Slurp(elsewhere), "elsewhere");
  EXPECT_EQ(fs::symlink_status(out / "j4.txt").type(), fs::file_type::fifo);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"j0.txt", "j1.txt", "j2.txt", "j3.txt", "j4.txt"}));  // no temporary file
}

TEST_F(BatchRunTest, ThreadsThatCannotBeHadLeaveTheirJobsToTheOthers) {
  std::vector<BatchEntry> entries;
  for (int i = 0; i < 6; ++i) {
    fs::path in = dir.Write("j" + std::to_string(i) + ".zan", WordBytes({static_cast<uint16_t>(0x45A1 + i)}));
    entries.push_back({in.string(), dir.path() / "out" / ("j" + std::to_string(i) + ".txt")});
  }
  fs::create_directory(dir.path() / "out");
  for (int granted : {0, 1, 2}) {
    SCOPED_TRACE(granted);
    int started = 0;
    ThreadStarter start = [&](std::function<void()> work) {
      if (started == granted) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      ++started;
      return std::thread(std::move(work));
    };
    std::vector<int> reported(entries.size(), 0);
    BatchCallbacks cb;
    cb.jobEnded = [&](size_t i, const JobResult&) { ++reported[i]; };
    std::vector<JobResult> results = RunBatch(entries, common, 4, cb, start);
    EXPECT_EQ(started, granted);
    ASSERT_EQ(results.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(results[i].status, JobStatus::kCompleted) << i;
      EXPECT_EQ(reported[i], 1) << i;
      EXPECT_EQ(Slurp(entries[i].output), "<ZAN2 code=45a" + std::to_string(1 + i) + ">") << i;
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path() / "out")) ++files;
    EXPECT_EQ(files, entries.size());  // and no temporary file
  }
}

// The words of a format's definition (number n of one digit, then `words`
// and the end mark) and of its call.
std::vector<uint16_t> Define(int n, std::vector<uint16_t> words) {
  std::vector<uint16_t> w = {0xD003, 0xD02C, static_cast<uint16_t>(0xC340 + n), 0xD004};
  w.insert(w.end(), words.begin(), words.end());
  w.insert(w.end(), {0xD004, 0xD004});
  return w;
}
std::vector<uint16_t> Call(int n) { return {0xD003, 0xD03F, static_cast<uint16_t>(0xC340 + n), 0xD004}; }
std::vector<uint16_t> Font(std::vector<uint16_t> digits) {
  std::vector<uint16_t> w = {0xD003, 0xD02D};
  w.insert(w.end(), digits.begin(), digits.end());
  w.push_back(0xD004);
  return w;
}

// A batch converts its jobs exactly as separate programs would, one after
// the other on the same store: the outputs, the results and the store's
// final bytes. The jobs read the sample tables (a font with an overlay, the
// ruby font, a text job), a format file and a definition file; early jobs
// define formats that later ones call (and one redefines); more jobs than
// wait to reach the disk together.
TEST(BatchEquivalence, ABatchConvertsAsSeparateProgramsOneAfterTheOther) {
  TempDir dir;
  const fs::path source = VELKAN_SOURCE_DIR;
  JobOptions common;
  common.tableRoot = VELKAN_SAMPLE_ROOT;
  common.defineFile = (fs::path(VELKAN_SAMPLE_ROOT) / "sample.def").string();
  common.udfFile = dir.Write("formats.zan", WordBytes(Define(4, {0x45B4, 0x45B5}))).string();

  std::vector<std::vector<uint16_t>> jobs = {
      test::Join({Define(7, {0x45A1, 0x45A2}), Call(4), {0x4521, 0xD009}}),
      test::Join({Font({0xC345}), {0x4521, 0x3021}, Call(7), Font({0xC341}), {0x4521, 0x3021}}),
      test::Join({Font({0xC348, 0xC340, 0xC341}), {0x4521, 0x4522}, Font({0xC341}), Call(7)}),
      test::Join({Define(7, {0x45C1}), Call(7), Call(9)}),
      test::Join({Call(7), {0x3021, 0xD009}}),
  };
  std::vector<std::string> inputs = {(source / "examples" / "sample.zan").string()};
  for (size_t i = 0; i < jobs.size(); ++i) {
    inputs.push_back(dir.Write("in/j" + std::to_string(i) + ".zan", WordBytes(jobs[i])).string());
  }
  inputs.push_back(fs::copy_file(source / "examples" / "sample.txt", dir.path() / "in" / "text.txt")
                       ? (dir.path() / "in" / "text.txt").string()
                       : std::string());
  // Enough further jobs that some outputs reach the disk before the batch ends.
  for (int i = 0; i < 40; ++i) {
    inputs.push_back(
        dir.Write("in/k" + std::to_string(i) + ".zan", WordBytes(Call(i % 2 ? 7 : 4)))
            .string());
  }

  // Both stores start alike, with format 9 left by an earlier program.
  for (const char* store : {"batch-store", "one-by-one-store"}) {
    JobOptions first = common;
    first.udfFile.clear();
    first.storeDir = dir.path() / store;
    first.inputFile = dir.Write("seed.zan", WordBytes(Define(9, {0x4530}))).string();
    first.outputFile = (dir.path() / "seed.txt").string();
    Session session;
    ASSERT_EQ(RunConversionJob(session, first).status, JobStatus::kCompleted);
  }

  JobOptions batch = common;
  batch.storeDir = dir.path() / "batch-store";
  BatchPlan plan = PlanBatch(inputs, dir.path() / "batch", batch);
  ASSERT_TRUE(plan.ok());
  fs::create_directory(dir.path() / "batch");
  std::vector<JobResult> results = RunBatch(plan.entries, batch, 1);
  ASSERT_EQ(results.size(), inputs.size());

  fs::create_directory(dir.path() / "one-by-one");
  for (size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE(inputs[i]);
    JobOptions o = common;
    o.storeDir = dir.path() / "one-by-one-store";
    o.inputFile = inputs[i];
    o.outputFile = BatchOutputName(inputs[i], dir.path() / "one-by-one").string();
    Session session;  // a new program
    JobResult alone = RunConversionJob(session, o);
    EXPECT_EQ(results[i].status, alone.status);
    EXPECT_EQ(results[i].notes, alone.notes);
    std::string converted = Slurp(o.outputFile);
    EXPECT_FALSE(converted.empty());
    EXPECT_EQ(Slurp(plan.entries[i].output), converted);
  }
  for (const char* file : {"udf2.tbl", "udf2.fle"}) {
    std::string kept = Slurp(dir.path() / "batch-store" / "QDXFILES" / file);
    EXPECT_EQ(kept.size(), fs::file_size(dir.path() / "one-by-one-store" / "QDXFILES" / file)) << file;
    EXPECT_TRUE(kept == Slurp(dir.path() / "one-by-one-store" / "QDXFILES" / file)) << file;
  }
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path() / "batch")) ++files;
  EXPECT_EQ(files, inputs.size());  // and no temporary file
}

// The words of a text format file are made once for the tables and the
// encoding of the jobs that share it, and read again by later jobs: every
// job converts as a separate program would (its output, notes and status,
// the store), whatever changed between them: the encoding, the file, the
// tables its words were made with.
TEST(BatchShare, JobsReadTheFormatFilesWordsMadeForTheirFileTablesAndEncoding) {
  TempDir dir;
  const fs::path root = dir.path() / "root";
  fs::copy(VELKAN_SAMPLE_ROOT, root, fs::copy_options::recursive);
  const fs::path replacements = root / "qdxfiles" / "nmcnv.tbl";
  const std::string sampleReplacements = Slurp(replacements);
  // "FMT" in a text defines format 4 as the words given.
  auto defineFormat = [&](const std::string& words) {
    std::ofstream(replacements, std::ios::binary) << sampleReplacements << "FMT=D003,D02C,C344,D004," << words
                                                  << ",D004,D004\r\n";
  };
  defineFormat("45B4");
  JobOptions common;
  common.tableRoot = root;
  // Shift_JIS with a character that is no UTF-8 on its second line.
  common.udfFile = dir.Write("formats.txt", "FMT\r\n\x82\xA0\r\n").string();
  const std::string input = dir.Write("job.zan", WordBytes(test::Join({Call(4), {0x4521}}))).string();
  BatchShare share(common, std::chrono::seconds(0));

  struct Step {
    TextEncoding encoding;
    const char* formats;   // the format file's new text, or none
    const char* redefine;  // format 4's new words, or none
  };
  const Step steps[] = {
      {TextEncoding::kUtf8, nullptr, nullptr},
      {TextEncoding::kUtf8, nullptr, nullptr},  // read again
      {TextEncoding::kShiftJis, nullptr, nullptr},
      {TextEncoding::kShiftJis, nullptr, nullptr},
      {TextEncoding::kUtf8, nullptr, nullptr},
      // UTF-8 with a bad byte on its third line.
      {TextEncoding::kUtf8, "漢字\r\nFMT\r\n\xFF\r\n", nullptr},
      // Good UTF-8, which looks like it when read as Shift_JIS.
      {TextEncoding::kShiftJis, "漢字\r\nFMT\r\n", nullptr},
      {TextEncoding::kShiftJis, nullptr, nullptr},
      {TextEncoding::kShiftJis, nullptr, "45B5,45B6"},
      {TextEncoding::kShiftJis, nullptr, nullptr},
  };
  // Words read again where nothing changed since they were made.
  const std::vector<int> reread = {0, 1, 0, 1, 1, 0, 0, 1, 0, 1};
  std::shared_ptr<PrePassRecords> records;
  int found = 0;
  int step = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(step);
    if (s.formats != nullptr) dir.Write("formats.txt", s.formats);
    if (s.redefine != nullptr) defineFormat(s.redefine);
    JobOptions o = common;
    o.inputEncoding = s.encoding;
    o.inputFile = input;
    o.storeDir = dir.path() / "shared-store";
    o.outputFile = (dir.path() / ("shared" + std::to_string(step) + ".txt")).string();
    o.shared = &share;
    Session session;
    JobResult shared = RunConversionJob(session, o);
    o.storeDir = dir.path() / "alone-store";
    o.outputFile = (dir.path() / ("alone" + std::to_string(step) + ".txt")).string();
    o.shared = nullptr;
    Session alone;
    JobResult separate = RunConversionJob(alone, o);
    EXPECT_EQ(shared.status, JobStatus::kCompleted);
    EXPECT_EQ(shared.status, separate.status);
    EXPECT_EQ(shared.notes, separate.notes);
    const std::string output = Slurp(dir.path() / ("shared" + std::to_string(step) + ".txt"));
    EXPECT_EQ(output, Slurp(o.outputFile));
    // The format file's faults and its looks are told in every job.
    bool told = false;
    for (const Note& n : shared.notes) {
      told = told || n.Text().find(s.encoding == TextEncoding::kUtf8 ? "geta mark" : "looks like UTF-8") != std::string::npos;
    }
    EXPECT_EQ(told, step <= 1 || step >= 4);
    std::shared_ptr<PrePassRecords> now = share.tables.Lend(true)->prePassSetup.records;
    if (now != records) found = 0;
    records = now;
    EXPECT_EQ(records->found() - found, reread[static_cast<size_t>(step)]);
    found = records->found();
    ++step;
  }
  for (const char* file : {"udf2.tbl", "udf2.fle"}) {
    EXPECT_TRUE(Slurp(dir.path() / "shared-store" / "QDXFILES" / file) ==
                Slurp(dir.path() / "alone-store" / "QDXFILES" / file))
        << file;
  }
}

TEST_F(BatchRunTest, AnEmptyBatchRunsNothing) {
  int ticks = 0;
  BatchCallbacks cb;
  cb.tick = [&](const BatchStatus& s) {
    ++ticks;
    EXPECT_EQ(s.total, 0u);
    EXPECT_EQ(s.done, 0u);
  };
  EXPECT_TRUE(RunBatch({}, common, 3, cb).empty());
  EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace velkan
