// What the output file of a job holds in every outcome: a conversion killed
// midway, a full disk, an output that names one of the job's inputs, and
// passes that end early.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/job.h"
#include "support/fifo_drain_guard.h"
#include "support/test_support.h"

namespace velkan {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WordBytes;

using ::velkan::test::Slurp;

std::string Notes(const JobResult& r) {
  std::string all;
  for (const Note& n : r.notes) all += n.Text() + "\n";
  return all;
}

// Files of the folder whose names start with `prefix`.
std::vector<fs::path> Starting(const fs::path& dir, const std::string& prefix) {
  std::vector<fs::path> found;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().rfind(prefix, 0) == 0) found.push_back(e.path());
  }
  return found;
}

// A long job: `lines` lines of four code-tag characters.
std::string LongJob(int lines) {
  std::vector<uint16_t> words;
  for (int i = 0; i < lines; ++i) words.insert(words.end(), {0x45A1, 0x45A2, 0x45A3, 0x45A4, 0xD009});
  return WordBytes(words);
}

struct JobOutput : ::testing::Test {
  JobOutput() {
    dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    o.tableRoot = dir.path() / "root";
    out = dir.path() / "out.txt";
    o.outputFile = out.string();
  }
  TempDir dir;
  JobOptions o;
  fs::path out;
  Session session;
};

TEST_F(JobOutput, AConversionKilledMidwayLeavesTheEarlierOutput) {
  dir.Write("out.txt", "the earlier output");
  o.inputFile = dir.Write("job.zan", LongJob(60000)).string();
  fs::path folder = dir.path();
  o.progress = [folder](int, long long done, long long total) {
    if (done * 2 < total) return;
    // Half the job is read and part of its output written: kill it here.
    for (const fs::path& t : Starting(folder, ".out.txt.velkan-")) {
      if (fs::file_size(t) > 0) ::kill(::getpid(), SIGKILL);
    }
  };
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Session s;
    RunConversionJob(s, o);
    ::_exit(0);  // not killed: the test fails below
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the conversion was not killed midway";
  EXPECT_EQ(Slurp(out), "the earlier output");
  // What it left is its temporary file, beside the output, half written.
  std::vector<fs::path> left = Starting(dir.path(), ".out.txt.velkan-");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_GT(fs::file_size(left[0]), 0u);

  // The next conversion replaces the output whole.
  o.progress = nullptr;
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kCompleted) << Notes(r);
  EXPECT_EQ(Slurp(out).size(), 60000u * (4 * 16 + 2));
}

TEST_F(JobOutput, AFullDiskIsReportedAndTheEarlierOutputStays) {
  o.inputFile = dir.Write("job.zan", LongJob(2000)).string();
  // The store made before the size limit binds.
  JobResult whole = RunConversionJob(session, o);
  ASSERT_EQ(whole.status, JobStatus::kCompleted) << Notes(whole);
  ASSERT_GT(fs::file_size(out), 100000u);
  dir.Write("out.txt", "finished by hand");

  constexpr rlim_t kLimit = 70000;  // more than one buffer, less than the output
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(pipeFds[0]);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {kLimit, kLimit};
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) ::_exit(100);
    Session s;
    JobResult r = RunConversionJob(s, o);
    std::string notes = Notes(r);
    if (::write(pipeFds[1], notes.data(), notes.size()) < 0) ::_exit(101);
    ::_exit(static_cast<int>(r.status));
  }
  ::close(pipeFds[1]);
  std::string notes;
  char buf[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) notes.append(buf, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the conversion died instead of reporting the fault";
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(JobStatus::kPassFailed)) << notes;
  EXPECT_NE(notes.find("writing " + out.string() + " failed: File too large, only 70000 bytes could be written; "
                       "the partial output was removed and the earlier " + out.string() + " is unchanged"),
            std::string::npos)
      << notes;
  EXPECT_EQ(Slurp(out), "finished by hand");
  EXPECT_TRUE(Starting(dir.path(), ".out.txt.velkan-").empty());
}

TEST_F(JobOutput, ACancelledJobLeavesTheEarlierOutputAsItWas) {
  const std::string earlier = std::string("the earlier output\r\n\0\x82\xa0", 23);
  const fs::path zan = dir.Write("job.zan", LongJob(60000));
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "abcdefgh\r\n";
  const fs::path txt = dir.Write("job.txt", text);

  struct Case {
    fs::path input;
    bool withUdf;
  };
  for (const Case& k : {Case{zan, false}, Case{txt, false}, Case{zan, true}}) {
    SCOPED_TRACE(k.input.string() + (k.withUdf ? " after a format file" : ""));
    dir.Write("out.txt", earlier);
    JobOptions jo = o;
    jo.inputFile = k.input.string();
    // With a format file, the job is cancelled in its first pass: the
    // second pass, over the input, never runs.
    if (k.withUdf) jo.udfFile = dir.Write("formats.zan", LongJob(30000)).string();
    bool begun = false, sawTemporary = false;
    int asked = 0;
    long long lastDone = 0, total = 0;
    std::vector<int> passes;
    fs::path folder = dir.path();
    jo.progress = [&](int pass, long long done, long long size) {
      begun = true;
      lastDone = done;
      total = size;
      if (passes.empty() || passes.back() != pass) passes.push_back(pass);
      if (!Starting(folder, ".out.txt.velkan-").empty()) sawTemporary = true;
    };
    // Once the conversion has begun: the pass ends at the next block.
    jo.cancelled = [&] {
      ++asked;
      return begun;
    };
    Session s;
    JobResult r = RunConversionJob(s, jo);
    EXPECT_EQ(r.status, JobStatus::kCancelled) << Notes(r);
    EXPECT_EQ(r.notes.back().Text(), "the conversion was cancelled; " + out.string() + " was left as it was");
    // The input cut short is no failing command.
    EXPECT_EQ(Notes(r).find("stopped"), std::string::npos) << Notes(r);
    EXPECT_FALSE(r.outputWriteFailed);
    // The first pass of a format file writes no output at all.
    EXPECT_EQ(sawTemporary, !k.withUdf);
    EXPECT_EQ(passes, std::vector<int>{1});
    // The pass ended at once, far from the end of its input.
    EXPECT_LT(lastDone, total / 2);
    EXPECT_EQ(Slurp(out), earlier);
    EXPECT_TRUE(Starting(dir.path(), ".out.txt.").empty());
    // Asked a few times a pass, never for each word.
    EXPECT_LT(asked, 10);
  }
}

TEST_F(JobOutput, AJobCancelledBeforeItStartsTouchesNothing) {
  o.inputFile = dir.Write("job.zan", WordBytes({0x45A1, 0xD009})).string();
  o.storeDir = dir.path() / "store";
  o.cancelled = [] { return true; };
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kCancelled);
  EXPECT_EQ(r.message, "");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(o.storeDir));
  EXPECT_TRUE(Starting(dir.path(), ".").empty());
}

TEST_F(JobOutput, AnOutputThatCannotBeWrittenIsSaidSo) {
  o.inputFile = dir.Write("job.zan", WordBytes({0x45A1, 0xD009})).string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kCompleted) << Notes(r);
  EXPECT_FALSE(r.outputWriteFailed);
  // A device that takes no byte.
  o.outputFile = "/dev/full";
  r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kPassFailed) << Notes(r);
  EXPECT_TRUE(r.outputWriteFailed) << Notes(r);
}

TEST_F(JobOutput, TheFirstRefusedWriteEndsTheJob) {
  // Lines enough to fill the sink's buffer many times, then the definition
  // of format 1.
  const std::string job = LongJob(60000) + WordBytes({0xD003, 0xD02C, 0xC341, 0xD004, 0x4521, 0xD004, 0xD004});
  const fs::path in = dir.Write("job.zan", job);
  int fd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  o.inputFd = fd;
  o.inputFile = in.string();
  o.outputFile = "/dev/full";  // takes no byte
  o.storeDir = dir.path() / "store";
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kPassFailed);
  EXPECT_TRUE(r.outputWriteFailed) << Notes(r);
  EXPECT_EQ(Notes(r).find("failing command"), std::string::npos) << Notes(r);
  // The input was not read to its end, and the format was not stored.
  EXPECT_LT(::lseek(fd, 0, SEEK_CUR), static_cast<off_t>(job.size() / 2));
  ::close(fd);
  const std::string table = Slurp(o.storeDir / "QDXFILES" / "udf2.tbl");
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table.find_first_not_of('\0'), std::string::npos);
}

TEST_F(JobOutput, AnOutputWrittenInPlaceNeverGetsTheFirstPass) {
  // An output in a folder where no new file can be made is rewritten in
  // place, so it is opened only for the pass whose output is kept.
  fs::path locked = dir.path() / "locked";
  fs::create_directory(locked);
  fs::path kept = dir.Write("locked/out.txt", "finished by hand");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(kept.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  fs::create_directories(dir.path() / "store");
  ASSERT_EQ(::chmod((dir.path() / "store").c_str(), 0777), 0);
  o.storeDir = dir.path() / "store";
  o.outputFile = kept.string();
  o.udfFile = dir.Write("formats.zan", WordBytes({0x45A5, 0xD009})).string();
  o.inputFile = (dir.path() / "missing.zan").string();
  // Permissions do not bind the superuser: the job runs in a child that gives
  // up those rights when it has them. Its exit code is the job's status.
  auto runAsAnotherUser = [this] {
    pid_t pid = ::fork();
    if (pid == 0) {
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
      Session s;
      ::_exit(static_cast<int>(RunConversionJob(s, o).status));
    }
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(runAsAnotherUser(), static_cast<int>(JobStatus::kInputNotFound));
  EXPECT_EQ(Slurp(kept), "finished by hand");
  o.inputFile = dir.Write("job.zan", WordBytes({0x45A6, 0xD009})).string();
  EXPECT_EQ(runAsAnotherUser(), static_cast<int>(JobStatus::kCompleted));
  EXPECT_EQ(Slurp(kept), "<ZAN2 code=45a6>\r\n");
  ::chmod(locked.c_str(), 0755);
}

TEST_F(JobOutput, AnOutputThatNamesAnInputIsRefusedBeforeAnythingIsWritten) {
  const std::string job = WordBytes({0x45A1, 0xD009});
  fs::path in = dir.Write("job.zan", job);
  fs::path udf = dir.Write("formats.zan", WordBytes({0xD003, 0xD02C, 0xC341, 0xD004, 0x45A2, 0xD004, 0xD004}));
  fs::path def = dir.Write("job.def", "<PI>\r\n1=x\r\n");
  fs::create_symlink(in, dir.path() / "soft.zan");
  fs::create_hard_link(in, dir.path() / "hard.zan");
  fs::create_symlink(def, dir.path() / "def-link");

  struct Case {
    std::string output;
    bool withUdf;
    std::string named;  // what the note calls it
  };
  const std::vector<Case> cases = {
      {in.string(), false, "the input file"},
      {(dir.path() / "soft.zan").string(), false, "the input file"},
      {(dir.path() / "hard.zan").string(), false, "the input file"},
      {(dir.path() / "." / "job.zan").string(), false, "the input file"},
      {udf.string(), true, "the user-defined format file"},
      {def.string(), false, "the definition file"},
      {(dir.path() / "def-link").string(), false, "the definition file"},
  };
  for (const Case& k : cases) {
    JobOptions jo = o;
    jo.inputFile = in.string();
    jo.udfFile = k.withUdf ? udf.string() : "";
    jo.defineFile = def.string();
    jo.outputFile = k.output;
    Session s;
    JobResult r = RunConversionJob(s, jo);
    EXPECT_EQ(r.status, JobStatus::kOutputNotCreated) << k.output;
    EXPECT_EQ(r.message, "「" + k.output + "」ファイルが作成できません。");
    EXPECT_NE(Notes(r).find("is " + k.named), std::string::npos) << Notes(r);
    EXPECT_NE(Notes(r).find("converting would destroy it, so nothing was written"), std::string::npos);
  }
  EXPECT_EQ(Slurp(in), job);
  EXPECT_EQ(Slurp(def), "<PI>\r\n1=x\r\n");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "soft.zan"));
  // Nothing was written: no store was made, no temporary file was left.
  EXPECT_FALSE(fs::exists(dir.path() / "root" / "QDXFILES"));
  EXPECT_TRUE(Starting(dir.path(), ".").empty());
}

TEST_F(JobOutput, AnInputThatIsNotFoundLeavesTheEarlierOutput) {
  dir.Write("out.txt", "earlier");
  o.inputFile = (dir.path() / "missing.zan").string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kInputNotFound);
  EXPECT_EQ(Slurp(out), "earlier");

  // Also when the first pass, over the format file, ran: its output is
  // thrown away, never put in place of the earlier file.
  o.udfFile = dir.Write("formats.zan", WordBytes({0x45A5, 0xD009})).string();
  r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kInputNotFound);
  EXPECT_EQ(r.message, "「" + o.inputFile + "」ファイルが見つかりません。");
  EXPECT_EQ(Slurp(out), "earlier");
  EXPECT_TRUE(Starting(dir.path(), ".out.txt").empty());
}

TEST_F(JobOutput, AFifoAsTheInputIsNotFoundWithoutWaitingForAWriter) {
  dir.Write("out.txt", "earlier");
  fs::path fifo = dir.path() / "job.zan";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  o.inputFile = fifo.string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kInputNotFound);
  EXPECT_EQ(Slurp(out), "earlier");
}

TEST_F(JobOutput, TwoPassesLeaveTheSecondPassOutputAlone) {
  dir.Write("out.txt", "earlier");
  o.udfFile = dir.Write("formats.zan", LongJob(3000)).string();  // more than a buffer's worth
  o.inputFile = dir.Write("job.zan", WordBytes({0x45A6, 0xD009})).string();
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kCompleted) << Notes(r);
  EXPECT_EQ(Slurp(out), "<ZAN2 code=45a6>\r\n");
  EXPECT_TRUE(Starting(dir.path(), ".out.txt").empty());
}

TEST_F(JobOutput, AJobThatCannotOpenTheStoreOrThePiFontFileMakesOnlyAMissingOutput) {
  const fs::path udf = dir.Write("formats.zan", WordBytes({0x45A5, 0xD009}));
  const fs::path job = dir.Write("job.zan", WordBytes({0x45A1, 0xD009}));
  const fs::path fresh = dir.path() / "fresh.txt";
  const fs::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // No store can be made below a file; a root without the pi-font file.
  const fs::path notAFolder = dir.Write("plain", "a file");
  dir.Write("bare/qdxfiles/readme", "");
  // Run in a child that a pending alarm ends, so that a job waiting to open
  // the FIFO (which has no reader) fails the test instead of hanging it.
  auto run = [](const JobOptions& jo) {
    pid_t pid = ::fork();
    if (pid == 0) {
      ::alarm(10);
      Session s;
      ::_exit(static_cast<int>(RunConversionJob(s, jo).status));
    }
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  for (bool noStore : {true, false}) {
    for (bool twoPasses : {false, true}) {
      SCOPED_TRACE(std::string(noStore ? "no store" : "no pi-font file") + (twoPasses ? ", --udf" : ""));
      JobOptions jo = o;
      if (noStore) jo.storeDir = notAFolder;
      else jo.tableRoot = dir.path() / "bare";
      jo.udfFile = twoPasses ? udf.string() : "";
      jo.inputFile = job.string();
      // An output that exists is left exactly as it was.
      dir.Write("out.txt", "earlier");
      for (const fs::path& existing : {out, fifo}) {
        jo.outputFile = existing.string();
        EXPECT_EQ(run(jo), static_cast<int>(JobStatus::kPassFailed)) << existing;
      }
      EXPECT_EQ(Slurp(out), "earlier");
      Session s;
      JobResult r = RunConversionJob(s, jo);
      EXPECT_NE(Notes(r).find(jo.outputFile + " was left as it was"), std::string::npos) << Notes(r);
      // A missing one is made, empty, once the input was found.
      jo.outputFile = fresh.string();
      jo.inputFile = (dir.path() / "missing.zan").string();
      r = RunConversionJob(s, jo);
      EXPECT_EQ(r.status, JobStatus::kInputNotFound);
      EXPECT_EQ(r.message, "「" + jo.inputFile + "」ファイルが見つかりません。");
      EXPECT_FALSE(fs::exists(fresh));
      jo.inputFile = job.string();
      r = RunConversionJob(s, jo);
      EXPECT_EQ(r.status, JobStatus::kPassFailed);
      EXPECT_NE(Notes(r).find(fresh.string() + " was made empty"), std::string::npos) << Notes(r);
      ASSERT_TRUE(fs::exists(fresh));
      EXPECT_EQ(fs::file_size(fresh), 0u);
      fs::remove(fresh);
    }
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(Starting(dir.path(), ".").empty());
}

TEST_F(JobOutput, AnOutputThatCannotBeMadeChangesNothing) {
  o.inputFile = dir.Write("job.zan", WordBytes({0x45A1})).string();
  fs::create_directories(out);  // a folder where the output should go
  JobResult r = RunConversionJob(session, o);
  EXPECT_EQ(r.status, JobStatus::kOutputNotCreated);
  EXPECT_EQ(r.message, "「" + o.outputFile + "」ファイルが作成できません。");
  EXPECT_NE(Notes(r).find("Is a directory"), std::string::npos) << Notes(r);
  EXPECT_TRUE(fs::is_directory(out));
  EXPECT_TRUE(Starting(dir.path(), ".out.txt").empty());
}

// A job that can be cancelled, writing to the FIFO `fifo` it opens by name,
// run on a thread of its own (SIGPIPE held off it, so that a reader that
// closes early gives EPIPE): `cancel` is set by the test.
struct FifoJob {
  FifoJob(Session& session, JobOptions jo, fs::path fifo) : fifo(std::move(fifo)) {
    jo.cancelled = [this] { return cancel.load(); };
    thread = std::thread([this, &session, jo = std::move(jo)] {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
      result = RunConversionJob(session, jo);
      ended = true;
    });
  }
  ~FifoJob() {
    if (thread.joinable()) Cancel();
  }
  // Waits for the job's end, draining the FIFO (and failing the test) when
  // it has not ended `within`: a job stuck on the FIFO.
  void Finish(std::chrono::milliseconds within) {
    test::FifoDrainGuard guard(fifo, within);
    thread.join();
    guard.Disarm();
    EXPECT_FALSE(guard.fired()) << "the job did not end in time";
  }
  void Cancel() {
    cancel = true;
    Finish(std::chrono::seconds(2));
  }
  fs::path fifo;
  std::atomic<bool> cancel{false};
  std::atomic<bool> ended{false};
  JobResult result;
  std::thread thread;
};

TEST_F(JobOutput, ACancelEndsAJobWaitingOnAFifo) {
  const fs::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  o.inputFile = dir.Write("job.zan", LongJob(60000)).string();
  o.outputFile = fifo.string();

  // No reader ever comes: the open waits for one until the cancel.
  {
    FifoJob job(session, o, fifo);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(job.ended);
    job.Cancel();
    EXPECT_EQ(job.result.status, JobStatus::kCancelled) << Notes(job.result);
    EXPECT_EQ(job.result.message, "");
    EXPECT_EQ(job.result.notes.back().Text(), "the conversion was cancelled; " + fifo.string() + " was left as it was");
  }
  // A reader that takes a little and then stops: the write waits for room.
  {
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    FifoJob job(session, o, fifo);
    char buf[4096];
    long got = 0;
    for (int i = 0; i < 2000 && got == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      got = std::max(0L, static_cast<long>(::read(reader, buf, sizeof buf)));
    }
    EXPECT_GT(got, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(job.ended);
    job.Cancel();
    ::close(reader);
    EXPECT_EQ(job.result.status, JobStatus::kCancelled) << Notes(job.result);
    EXPECT_FALSE(job.result.outputWriteFailed);
    EXPECT_EQ(job.result.notes.back().Text(),
              "the conversion was cancelled; " + fifo.string() + ", written in place, holds what was written before");
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(Starting(dir.path(), ".").empty());
}

TEST_F(JobOutput, AFifoOfAJobThatCanBeCancelledGetsTheSameBytes) {
  const fs::path fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  o.inputFile = dir.Write("job.zan", LongJob(20000)).string();
  ASSERT_EQ(RunConversionJob(session, o).status, JobStatus::kCompleted);
  const std::string expected = Slurp(out);
  ASSERT_GT(expected.size(), 4u << 16);

  o.outputFile = fifo.string();
  for (bool closesEarly : {false, true}) {
    SCOPED_TRACE(closesEarly ? "a reader that closes early" : "a reader that reads all");
    Session s;
    FifoJob job(s, o, fifo);
    // Opened without waiting for the job, which may never come; read slowly
    // at first, so that the pipe is full again and again.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::string got;
    char buf[3000];
    for (;;) {
      // Readable: bytes, or the hang-up of a writer that came and went.
      pollfd ready{reader, POLLIN, 0};
      if (::poll(&ready, 1, 10000) <= 0) {
        ADD_FAILURE() << "nothing came for 10 s";
        break;
      }
      const long n = ::read(reader, buf, sizeof buf);
      if (n < 0 && errno == EAGAIN) continue;
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
      if (got.size() < (1u << 18)) std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (closesEarly && got.size() > (1u << 17)) break;
    }
    ::close(reader);
    // Not cancelled: the job ends by itself.
    job.Finish(std::chrono::seconds(10));
    if (closesEarly) {
      EXPECT_EQ(job.result.status, JobStatus::kPassFailed) << Notes(job.result);
      EXPECT_TRUE(job.result.outputWriteFailed);
      EXPECT_NE(Notes(job.result).find("Broken pipe"), std::string::npos) << Notes(job.result);
      EXPECT_EQ(got, expected.substr(0, got.size()));
    } else {
      EXPECT_EQ(job.result.status, JobStatus::kCompleted) << Notes(job.result);
      EXPECT_TRUE(got == expected) << got.size() << " bytes, not " << expected.size();
    }
  }
}

}  // namespace
}  // namespace velkan
