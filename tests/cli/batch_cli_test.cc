// `velkan convert` with several inputs: the output folder, parallel jobs, the
// refusals before anything runs, the failure summary and the progress line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/test_support.h"

namespace velkan::test {
namespace {

namespace fs = std::filesystem;

using ::velkan::test::Slurp;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A folder with a table root (just the pi-font file every job needs) and a
// store of its own.
class BatchCli : public ::testing::Test {
 protected:
  BatchCli() {
    dir_.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    fs::create_directory(dir_.path() / "store");
  }
  fs::path Dir() const { return dir_.path(); }
  fs::path Write(const std::string& name, const std::string& bytes) const { return dir_.Write(name, bytes); }
  // The options naming the root and the store, then `rest`.
  std::vector<std::string> Args(std::vector<std::string> rest) const {
    std::vector<std::string> a = {"convert", "--root", (Dir() / "root").string(), "--store", (Dir() / "store").string()};
    a.insert(a.end(), rest.begin(), rest.end());
    return a;
  }
  // The output of one input converted alone by a program of its own.
  std::string Alone(const fs::path& input) const {
    fs::path out = Dir() / "alone.out";
    CliRun r = RunVelkan(Args({input.string(), "-o", out.string()}));
    EXPECT_EQ(r.status, 0) << r.err;
    return Slurp(out);
  }

 private:
  TempDir dir_;
};

// A line end at the very start of a program's output is dropped; a later one
// is written. A job converted after another in the same Session would
// therefore start with a line end.
const std::vector<uint16_t> kLineStartJob = {0xD009, 0x45A1, 0xD009, 0xD009};

TEST_F(BatchCli, EachInputIsConvertedAsIfByAProgramOfItsOwn) {
  fs::path a = Write("in/a.zan", WordBytes(kLineStartJob));
  fs::path b = Write("in/b.job.zan", WordBytes(kLineStartJob));
  fs::path c = Write("in/c", WordBytes({0x45A2, 0x1234, 0xD009}));
  std::string alone = Alone(a);
  ASSERT_EQ(alone.substr(0, 1), "<");  // the line end at the start was dropped
  std::string aloneC = Alone(c);
  for (const char* jobs : {"1", "2", "3"}) {
    SCOPED_TRACE(jobs);
    fs::path out = Dir() / (std::string("out") + jobs);
    CliRun r = RunVelkan(Args({a.string(), b.string(), c.string(), "--out-dir", out.string(), "-j", jobs}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(out / "a.txt"), alone);
    EXPECT_EQ(Slurp(out / "b.job.txt"), alone);
    EXPECT_EQ(Slurp(out / "c.txt"), aloneC);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(out)) ++files;
    EXPECT_EQ(files, 3u);
  }
}

TEST_F(BatchCli, ManyInputsWithTheDefaultNumberOfJobs) {
  std::vector<std::string> args;
  std::vector<std::string> expected;
  for (int i = 0; i < 24; ++i) {
    std::vector<uint16_t> words = kLineStartJob;
    words.push_back(static_cast<uint16_t>(0x45A1 + i % 9));
    fs::path in = Write("many/j" + std::to_string(i) + ".zan", WordBytes(words));
    args.push_back(in.string());
    expected.push_back(Alone(in));
  }
  fs::path out = Dir() / "out";
  args.insert(args.end(), {"--out-dir", out.string()});
  CliRun r = RunVelkan(Args(args));
  EXPECT_EQ(r.status, 0) << r.err;
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(Slurp(out / ("j" + std::to_string(i) + ".txt")), expected[static_cast<size_t>(i)]) << i;
  }
}

TEST_F(BatchCli, JobsRunningAtOnceShareTheFormatStore) {
  // The format file defines format 4; every input plays it between two
  // characters of its own.
  fs::path udf = Write("formats.zan", WordBytes({0xD003, 0xD02C, 0xC344, 0xD004, 0x45B4, 0x45B5, 0xD004, 0xD004}));
  std::vector<std::string> args = {"--udf", udf.string()};
  for (int i = 0; i < 8; ++i) {
    uint16_t own = static_cast<uint16_t>(0x45A1 + i);
    args.push_back(Write("p" + std::to_string(i) + ".zan", WordBytes({own, 0xD003, 0xD03F, 0xC344, 0xD004, own}))
                       .string());
  }
  fs::path out = Dir() / "out";
  args.insert(args.end(), {"--out-dir", out.string(), "-j", "4"});
  CliRun r = RunVelkan(Args(args));
  EXPECT_EQ(r.status, 0) << r.err;
  for (int i = 0; i < 8; ++i) {
    std::string own = "<ZAN2 code=45a" + std::to_string(1 + i) + ">";
    EXPECT_EQ(Slurp(out / ("p" + std::to_string(i) + ".txt")), own + "<ZAN2 code=45b4><ZAN2 code=45b5>" + own) << i;
  }
}

TEST_F(BatchCli, OneFailedInputIsListedAndTheOthersStillConverted) {
  fs::path a = Write("a.zan", WordBytes(kLineStartJob));
  std::string missing = (Dir() / "missing.zan").string();
  fs::path b = Write("b.zan", WordBytes(kLineStartJob));
  fs::path out = Dir() / "out";
  CliRun r = RunVelkan(Args({a.string(), missing, b.string(), "--out-dir", out.string(), "-j", "2"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "2 of 3 files converted")) << r.err;
  EXPECT_TRUE(Contains(r.err, "failed:\n  " + missing + ": 「" + missing + "」ファイルが見つかりません。")) << r.err;
  EXPECT_EQ(Slurp(out / "a.txt"), Alone(a));
  EXPECT_TRUE(fs::exists(out / "b.txt"));
  EXPECT_FALSE(fs::exists(out / "missing.txt"));
}

TEST_F(BatchCli, ConflictingOutputsAreRefusedBeforeAnythingRuns) {
  fs::path a = Write("a.zan", WordBytes(kLineStartJob));
  fs::path textJob = Write("t.txt", "some text");
  fs::path otherA = Write("sub/a.ZAN", WordBytes(kLineStartJob));
  fs::path define = Write("names.txt", "x");
  fs::path out = Dir() / "out";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"an output onto its own input", {a.string(), textJob.string(), "--out-dir", Dir().string()}, "would replace"},
      {"two inputs, one output", {a.string(), otherA.string(), "--out-dir", out.string()}, "would both be converted"},
      {"an input named twice", {a.string(), a.string(), "--out-dir", out.string()}, "would both be converted"},
      {"an output onto the definition file",
       {"--define", define.string(), a.string(), Write("x/names.zan", "").string(), "--out-dir", Dir().string()},
       "would replace"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CliRun r = RunVelkan(Args(c.args));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, c.says)) << r.err;
    EXPECT_TRUE(Contains(r.err, "nothing was converted")) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(Dir() / "a.txt"));
    EXPECT_FALSE(fs::exists(Dir() / "store" / "QDXFILES"));  // not even the store was opened
    EXPECT_EQ(Slurp(textJob), "some text");
    EXPECT_EQ(Slurp(define), "x");
  }
}

TEST_F(BatchCli, AnOutputThatIsNoFileOrLeadsToAnotherOutputIsRefused) {
  fs::path out = Dir() / "out";
  fs::create_directory(out);
  ASSERT_EQ(::mkfifo((out / "fifo.txt").c_str(), 0600), 0);
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string sockPath = (out / "socket.txt").string();
  ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
  sockPath.copy(addr.sun_path, sockPath.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  fs::create_symlink("/dev/null", out / "device.txt");
  fs::create_directory(out / "folder.txt");
  // a.txt leads to b.txt, which does not exist yet.
  fs::create_symlink("b.txt", out / "a.txt");
  fs::create_symlink(Dir() / "store" / "QDXFILES" / "udf2.fle", out / "store.txt");
  fs::create_symlink(Dir() / "root" / "qdxfiles" / "new.tbl", out / "table.txt");
  struct Case {
    std::vector<std::string> inputs;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"fifo.zan"}, "fifo.txt"},
      {{"socket.zan"}, "socket.txt"},
      {{"device.zan"}, "device.txt"},
      {{"folder.zan"}, "folder.txt"},
      {{"a.zan", "b.zan"}, "would both be converted"},
      {{"store.zan"}, "format store"},
      {{"table.zan"}, "table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    std::vector<std::string> args;
    for (const std::string& name : c.inputs) args.push_back(Write("in/" + name, WordBytes(kLineStartJob)).string());
    args.insert(args.end(), {"--out-dir", out.string()});
    // Stopped by an alarm rather than waiting forever on the FIFO.
    CliRun r = RunVelkan(Args(args), {}, {}, [] { ::alarm(20); });
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Contains(r.err, c.says)) << r.err;
    EXPECT_TRUE(Contains(r.err, "nothing was converted")) << r.err;
  }
  ::close(sock);
  EXPECT_FALSE(fs::exists(out / "b.txt"));
  EXPECT_FALSE(fs::exists(Dir() / "root" / "qdxfiles" / "new.tbl"));
  EXPECT_FALSE(fs::exists(Dir() / "store" / "QDXFILES"));
  // The same names elsewhere are converted.
  std::vector<std::string> all;
  for (const auto& e : fs::directory_iterator(Dir() / "in")) all.push_back(e.path().string());
  CliRun r = RunVelkan(Args([&] {
    std::vector<std::string> a = all;
    a.insert(a.end(), {"--out-dir", (Dir() / "elsewhere").string()});
    return a;
  }()));
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(BatchCli, AFileSizeLimitFailsTheOutputsItBindsAndNoOthers) {
  std::vector<uint16_t> words;
  for (int i = 0; i < 500; ++i) words.insert(words.end(), {0x45A1, 0x45A2, 0xD009});
  fs::path big = Write("big.zan", WordBytes(words));
  fs::path small = Write("small.zan", WordBytes(kLineStartJob));
  const std::string expected = Alone(small);  // which makes the store before the limit binds
  fs::path out = Dir() / "out";
  CliRun r = RunVelkan(Args({big.string(), small.string(), "--out-dir", out.string(), "-j", "2"}), {}, {}, [] {
    struct rlimit lim {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &lim);
  });
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(Contains(r.err, "1 of 2 files converted")) << r.err;
  EXPECT_TRUE(Contains(r.err, "File too large")) << r.err;
  EXPECT_FALSE(fs::exists(out / "big.txt"));
  EXPECT_EQ(Slurp(out / "small.txt"), expected);
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(out)) ++files;
  EXPECT_EQ(files, 1u);
}

TEST_F(BatchCli, ASignalRemovesTheTemporaryFilesOfEveryJob) {
  // Two inputs that are pipes, as process substitutions give them: each job
  // waits for its input with its output open.
  HeldPipe a, b;
  fs::path out = Dir() / "out";
  RunningVelkan run(Args({"/dev/fd/5", "/dev/fd/6", "--out-dir", out.string(), "-j", "2"}), {}, {}, [&] {
    a.GiveAs(5);
    b.GiveAs(6);
  });
  size_t open = 0;
  for (int i = 0; i < 2000 && open < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::error_code ec;
    open = 0;
    for (const auto& e : fs::directory_iterator(out, ec)) open += Contains(e.path().string(), ".velkan-");
  }
  ASSERT_EQ(open, 2u);
  ASSERT_EQ(::kill(run.pid(), SIGTERM), 0);
  CliRun r = run.Wait();
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
  EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(BatchCli, ABatchThatGetsNoThreadRunsItsJobsOneAfterTheOther) {
  if (::geteuid() != 0) GTEST_SKIP() << "runs the batch as another user, under a limit of one process";
  fs::path a = Write("a.zan", WordBytes(kLineStartJob));
  fs::path b = Write("b.zan", WordBytes({0x45A2, 0xD009}));
  const std::string aloneA = Alone(a), aloneB = Alone(b);
  fs::path out = Dir() / "out";
  fs::create_directory(out);
  // The other user may go everywhere in the folder and write the store.
  for (const auto& e : fs::recursive_directory_iterator(Dir())) {
    fs::permissions(e.path(), fs::perms::all, fs::perm_options::add);
  }
  fs::permissions(Dir(), fs::perms::all, fs::perm_options::add);
  // (Under the sanitizers, the leak check at the end needs a thread of its
  // own, which the limit forbids.)
  CliRun r = RunVelkan(Args({a.string(), b.string(), "--out-dir", out.string(), "-j", "4"}),
                       {"ASAN_OPTIONS=detect_leaks=0"}, {}, [] {
    struct rlimit one {1, 1};
    if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::setrlimit(RLIMIT_NPROC, &one) != 0) ::_exit(120);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(out / "a.txt"), aloneA);
  EXPECT_EQ(Slurp(out / "b.txt"), aloneB);
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(out)) ++files;
  EXPECT_EQ(files, 2u);
}

TEST_F(BatchCli, OutputFolderIsCreated) {
  fs::path a = Write("a.zan", WordBytes(kLineStartJob));
  fs::path out = Dir() / "deep" / "er" / "out";
  CliRun r = RunVelkan(Args({a.string(), "--out-dir", out.string()}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(out / "a.txt"), Alone(a));

  // A file in the place of the folder.
  fs::path plain = Write("plain", "");
  CliRun blocked = RunVelkan(Args({a.string(), "--out-dir", plain.string()}));
  EXPECT_EQ(blocked.status, 1);
  EXPECT_TRUE(Contains(blocked.err, "output folder")) << blocked.err;
}

TEST_F(BatchCli, RelativeNamesAreTakenFromTheWorkingFolder) {
  Write("w/a.zan", WordBytes(kLineStartJob));
  CliRun r = RunVelkan(Args({"a.zan", "--out-dir", "."}), {}, (Dir() / "w").string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(Dir() / "w" / "a.txt"), Alone(Dir() / "w" / "a.zan"));
}

TEST_F(BatchCli, BadBatchUsageExitsTwo) {
  fs::path a = Write("a.zan", WordBytes(kLineStartJob));
  fs::path b = Write("b.zan", WordBytes(kLineStartJob));
  std::string out = (Dir() / "out").string();
  const std::vector<std::vector<std::string>> bad = {
      {a.string(), b.string(), "-o", (Dir() / "o.txt").string()},
      {a.string(), b.string()},
      {a.string(), "-o", (Dir() / "o.txt").string(), "--out-dir", out},
      {a.string(), "--out-dir"},
      {a.string(), "--out-dir", ""},
      {a.string(), "--out-dir", out, "-j"},
      {a.string(), "--out-dir", out, "-j", "0"},
      {a.string(), "--out-dir", out, "-j", "two"},
      {a.string(), "--out-dir", out, "--jobs", "-1"},
      {"--out-dir", out},
  };
  for (const auto& args : bad) {
    std::string line;
    for (const auto& x : args) line += x + " ";
    CliRun r = RunVelkan(Args(args));
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_TRUE(Contains(r.err, "velkan convert: ")) << line;
  }
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(Dir() / "o.txt"));
}

TEST_F(BatchCli, HelpNamesTheBatchOptions) {
  CliRun r = RunVelkan({"convert", "--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* opt : {"INPUT... --out-dir DIR", "-j, --jobs N", "\".txt\""}) {
    EXPECT_TRUE(Contains(r.out, opt)) << opt;
  }
}

// On a terminal the batch shows a progress line that it clears at the end,
// then the count of files converted.
TEST_F(BatchCli, ProgressLineOnATerminal) {
  fs::path a = Write("a.zan", WordBytes(kLineStartJob));
  fs::path b = Write("b.zan", WordBytes(kLineStartJob));
  CliRun r = RunVelkanOnTerminal(Args({a.string(), b.string(), "--out-dir", (Dir() / "out").string()}));
  const std::string& seen = r.out;
  EXPECT_EQ(0, r.status) << seen;
  EXPECT_TRUE(Contains(seen, "velkan: 2/2 files, ")) << seen;
  EXPECT_TRUE(Contains(seen, " MiB/s")) << seen;
  EXPECT_TRUE(Contains(seen, "\r\033[Kvelkan: 2 of 2 files converted in ")) << seen;
}

}  // namespace
}  // namespace velkan::test
