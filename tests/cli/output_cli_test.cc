// Where `velkan convert` puts its output when OUTPUT is no plain new file: an
// open descriptor, a pipe, the files of the store and the tables; what a
// failed write, a file size limit or a signal leaves; and the faults found
// before anything is converted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_runner.h"
#include "support/test_support.h"

namespace velkan::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string kJob = WordBytes({0x45A1, 0xD009, 0x45A2, 0xD009});
const std::string kJobOut = "<ZAN2 code=45a1>\r\n<ZAN2 code=45a2>\r\n";
// Writes a character of its own, then defines format 4.
const std::vector<uint16_t> kFormats = {0x45A5, 0xD009, 0xD003, 0xD02C, 0xC344, 0xD004, 0x45B4, 0xD004, 0xD004};

// Everything a descriptor gives until its end.
std::string ReadAll(int fd) {
  std::string all;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) all.append(buf, static_cast<size_t>(n));
  return all;
}

void Put(int fd, const std::string& text) {
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// The temporary output files left in `folder`.
std::vector<std::string> Temporaries(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().find(".velkan-") != std::string::npos) found.push_back(e.path());
  }
  return found;
}

// A folder with a table root (the pi-font file every job needs), a store of
// its own and a job.
class OutputCli : public ::testing::Test {
 protected:
  OutputCli() {
    dir_.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0'));
    fs::create_directory(Dir() / "store");
    job_ = Write("job.zan", kJob);
  }
  fs::path Dir() const { return dir_.path(); }
  fs::path Write(const std::string& name, const std::string& bytes) const { return dir_.Write(name, bytes); }
  fs::path Job() const { return job_; }
  std::vector<std::string> Args(std::vector<std::string> rest) const {
    std::vector<std::string> a = {"convert", "--root", (Dir() / "root").string(), "--store",
                                  (Dir() / "store").string()};
    a.insert(a.end(), rest.begin(), rest.end());
    return a;
  }

 private:
  TempDir dir_;
  fs::path job_;
};

TEST_F(OutputCli, AnOpenDescriptorIsWrittenWhereItStands) {
  fs::path out = Dir() / "out";
  // { echo h; velkan ... -o NAME; echo f; } > out, with NAME naming the
  // descriptor the output is on.
  struct Case {
    std::string name;
    int fd;
  };
  for (const Case& c : {Case{"/dev/stdout", 1}, Case{"/dev/fd/1", 1}, Case{"/proc/self/fd/1", 1}, Case{"/dev/fd/5", 5},
                        Case{"/proc/self/fd/5", 5}, Case{"//dev/./fd/5", 5}}) {
    SCOPED_TRACE(c.name);
    int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    Put(fd, "h\n");
    CliRun r = RunVelkan(Args({Job().string(), "-o", c.name}), {}, {}, [&] { ::dup2(fd, c.fd); });
    Put(fd, "f\n");
    ::close(fd);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(out), "h\n" + kJobOut + "f\n");
  }

  // ... >> log: appended, what the log held stays.
  fs::path log = Write("log", "earlier lines\n");
  fs::path link = Dir() / "to-stdout";
  fs::create_symlink("/dev/stdout", link);
  for (const std::string& name : {std::string("/dev/stdout"), link.string()}) {
    int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    CliRun r = RunVelkan(Args({Job().string(), "-o", name}), {}, {}, [&] { ::dup2(fd, 1); });
    ::close(fd);
    EXPECT_EQ(r.status, 0) << r.err;
  }
  EXPECT_EQ(Slurp(log), "earlier lines\n" + kJobOut + kJobOut);
  EXPECT_TRUE(Temporaries(Dir()).empty());
}

TEST_F(OutputCli, ADescriptorThatIsClosedOrOnlyReadIsNoOutput) {
  const fs::path folder = Dir() / "folder";
  fs::create_directory(folder);
  struct Case {
    std::string name;
    int fd;
    int opened;  // what the descriptor is: -1 closed, else open(2) flags of the folder or /dev/null
    std::string says;
  };
  const std::vector<Case> cases = {
      // Closed; 3 and 1 are the numbers the program's own first files would
      // take.
      {"/dev/fd/7", 7, -1, "descriptor 7 is not open"},
      {"/proc/self/fd/7", 7, -1, "descriptor 7 is not open"},
      {"/dev/fd/3", 3, -1, "descriptor 3 is not open"},
      {"/dev/stdout", 1, -1, "descriptor 1 is not open"},
      {"-", 1, -1, "descriptor 1 is not open"},
      // Open for reading only, or a folder.
      {"/dev/stdin", 0, O_RDONLY, "descriptor 0 is open for reading only"},
      {"/dev/fd/0", 0, O_RDONLY, "descriptor 0 is open for reading only"},
      {"-", 1, O_RDONLY, "descriptor 1 is open for reading only"},
      {"-", 1, O_RDONLY | O_DIRECTORY, "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.opened));
    CliRun r = RunVelkan(Args({Job().string(), "-o", c.name}), {}, {}, [&] {
      if (c.opened < 0) {
        ::close(c.fd);
      } else {
        ::dup2(::open((c.opened & O_DIRECTORY) != 0 ? folder.c_str() : "/dev/null", c.opened), c.fd);
      }
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "「" + c.name + "」ファイルが作成できません。")) << r.err;
    EXPECT_TRUE(Contains(r.err, c.says)) << r.err;
    EXPECT_FALSE(fs::exists(Dir() / "store" / "QDXFILES"));  // nothing was converted
  }
}

TEST_F(OutputCli, TheFirstPassOfAFormatFileWritesNowhere) {
  fs::path udf = Write("formats.zan", WordBytes(kFormats));
  // Into a pipe: only the conversion of the input comes through.
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  {
    RunningVelkan run(Args({"--udf", udf.string(), Job().string(), "-o", "/dev/stdout"}), {}, {},
                      [&] { ::dup2(p[1], 1); });
    ::close(p[1]);
    std::string piped = ReadAll(p[0]);
    ::close(p[0]);
    CliRun r = run.Wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(piped, kJobOut);
  }
  // Into a named pipe read by a reader that reads it once to its end.
  fs::path fifo = Dir() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    int fd = ::open(fifo.c_str(), O_RDONLY);
    if (fd < 0) return;
    received = ReadAll(fd);
    ::close(fd);
  });
  // Stopped by an alarm rather than waiting forever for a second reader.
  CliRun r = RunVelkan(Args({"--udf", udf.string(), Job().string(), "-o", fifo.string()}), {}, {}, [] { ::alarm(20); });
  // A reader still waiting for a writer is let go.
  int unblock = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (unblock >= 0) ::close(unblock);
  reader.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(received, kJobOut);
}

TEST_F(OutputCli, TheFilesOfTheStoreAndOfTheTablesAreNoOutput) {
  fs::path udf = Write("formats.zan", WordBytes(kFormats));
  fs::path out = Dir() / "out.txt";
  ASSERT_EQ(RunVelkan(Args({"--udf", udf.string(), Job().string(), "-o", out.string()})).status, 0);
  const fs::path store = Dir() / "store" / "QDXFILES";
  const std::string table = Slurp(store / "udf2.tbl"), records = Slurp(store / "udf2.fle");
  ASSERT_EQ(records.size(), 409600u);
  const fs::path tables = Dir() / "root" / "qdxfiles";
  fs::create_symlink(store / "udf2.fle", Dir() / "store-link");
  fs::create_symlink(tables, Dir() / "tables-link");
  fs::create_symlink(store / "udf2.tbl", tables / "dangling-to-the-store");

  for (const fs::path& name :
       {store / "udf2.fle", store / "udf2.tbl", store / "UDF2.FLE", Dir() / "store-link", tables / "pifont.fil",
        tables / "new.tbl", Dir() / "tables-link" / "conv00.tbl", Dir() / "root" / "." / "qdxfiles" / "x"}) {
    SCOPED_TRACE(name);
    CliRun r = RunVelkan(Args({"--udf", udf.string(), Job().string(), "-o", name.string()}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "「" + name.string() + "」ファイルが作成できません。")) << r.err;
  }
  // Also when the table root keeps the store.
  CliRun own = RunVelkan({"convert", "--root", (Dir() / "root").string(), "--store", (Dir() / "root").string(),
                          Job().string(), "-o", (Dir() / "root" / "QDXFILES" / "udf2.fle").string()});
  EXPECT_EQ(own.status, 1);
  EXPECT_EQ(Slurp(store / "udf2.tbl"), table);
  EXPECT_EQ(Slurp(store / "udf2.fle"), records);
  EXPECT_EQ(Slurp(tables / "pifont.fil"), std::string(1000, '\0'));
  EXPECT_FALSE(fs::exists(tables / "new.tbl"));
  EXPECT_FALSE(fs::exists(tables / "conv00.tbl"));
  EXPECT_FALSE(fs::exists(tables / "x"));
  EXPECT_TRUE(Temporaries(store).empty());
  EXPECT_TRUE(Temporaries(tables).empty());
}

TEST_F(OutputCli, AFileSizeLimitLeavesTheEarlierOutputAsItWas) {
  std::vector<uint16_t> words;
  for (int i = 0; i < 500; ++i) words.insert(words.end(), {0x45A1, 0x45A2, 0xD009});
  fs::path in = Write("long.zan", WordBytes(words));
  fs::path out = Dir() / "out.txt";
  ASSERT_EQ(RunVelkan(Args({in.string(), "-o", out.string()})).status, 0);  // the store, made before the limit
  Write("out.txt", "finished by hand");
  fs::path fresh = Dir() / "fresh.txt";
  // As under "ulimit -f 4": the signal of the limit left as it comes.
  auto limit = [] {
    struct rlimit lim {
      4096, 4096
    };
    ::setrlimit(RLIMIT_FSIZE, &lim);
  };
  CliRun r = RunVelkan(Args({in.string(), "-o", out.string()}), {}, {}, limit);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(Contains(r.err, "File too large")) << r.err;
  EXPECT_TRUE(Contains(r.err, "only 4096 bytes could be written")) << r.err;
  EXPECT_TRUE(Contains(r.err, "the earlier " + out.string() + " is unchanged")) << r.err;
  EXPECT_EQ(Slurp(out), "finished by hand");

  CliRun n = RunVelkan(Args({in.string(), "-o", fresh.string()}), {}, {}, limit);
  EXPECT_EQ(n.status, 1) << n.err;
  EXPECT_TRUE(Contains(n.err, "only 4096 bytes could be written")) << n.err;
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_TRUE(Temporaries(Dir()).empty());
}

// Waits until `count` temporary files lie in `folder`; false if they never
// come.
bool AwaitTemporaries(const fs::path& folder, size_t count) {
  for (int i = 0; i < 2000; ++i) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
      size_t n = 0;
      for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (e.path().filename().string().find(".velkan-") != std::string::npos) ++n;
      }
      if (n >= count) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Sends `sig` to a conversion once its temporary file lies beside `out`:
// the program ends by the signal, the file is gone and `out` holds what it
// held ("earlier").
void EndMidway(RunningVelkan& run, int sig, const fs::path& out) {
  const fs::path folder = out.parent_path();
  ASSERT_TRUE(AwaitTemporaries(folder, 1));
  ASSERT_EQ(::kill(run.pid(), sig), 0);
  CliRun r = run.Wait();
  EXPECT_EQ(r.status, 128 + sig) << r.err;
  EXPECT_TRUE(Temporaries(folder).empty());
  EXPECT_EQ(Slurp(out), "earlier");
}

TEST_F(OutputCli, ASignalRemovesTheTemporaryFileAndEndsTheProgram) {
  fs::path out = Write("out.txt", "earlier");
  // The job waits for its input, with its output open.
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    HeldPipe input;
    RunningVelkan run(Args({"-", "-o", out.string()}), {}, {}, [&] { input.GiveAs(0); });
    EndMidway(run, sig, out);
  }
  // A signal ignored by whoever started the program (nohup) stays ignored.
  {
    HeldPipe input;
    RunningVelkan run(Args({"-", "-o", out.string()}), {}, {}, [&] {
      input.GiveAs(0);
      ::signal(SIGHUP, SIG_IGN);
    });
    ASSERT_TRUE(AwaitTemporaries(Dir(), 1));
    ASSERT_EQ(::kill(run.pid(), SIGHUP), 0);
    input.Release(kJob);
    CliRun r = run.Wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(out), kJobOut);
  }
}

TEST_F(OutputCli, WithoutAThreadForTheSignalsAHandlerRemovesTheTemporaryFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "runs the program as another user, under a limit of one process";
  fs::path out = Write("out.txt", "earlier");
  // The other user may go everywhere in the folder and write the store.
  for (const auto& e : fs::recursive_directory_iterator(Dir())) {
    fs::permissions(e.path(), fs::perms::all, fs::perm_options::add);
  }
  fs::permissions(Dir(), fs::perms::all, fs::perm_options::add);
  HeldPipe input;
  // (Under the sanitizers, the leak check at the end needs a thread of its
  // own, which the limit forbids.)
  RunningVelkan run(Args({"-", "-o", out.string()}), {"ASAN_OPTIONS=detect_leaks=0"}, {}, [&] {
    input.GiveAs(0);
    struct rlimit one {1, 1};
    if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::setrlimit(RLIMIT_NPROC, &one) != 0) ::_exit(120);
  });
  EndMidway(run, SIGTERM, out);
}

TEST_F(OutputCli, AnOutputThatCannotBeMadeFailsBeforeAnythingIsConverted) {
  fs::path udf = Write("formats.zan", WordBytes(kFormats));
  fs::path plain = Write("plain", "x");
  fs::create_symlink(std::string(300, 'l'), Dir() / "long-link");  // a name too long, behind a link
  const fs::path store = Dir() / "fresh-store";
  for (const std::string& name :
       {std::string(), (Dir() / std::string(300, 'n')).string(), (Dir() / "long-link").string(),
        (Dir() / "missing" / "out.txt").string(), (plain / "out.txt").string(), (Dir() / "root").string()}) {
    SCOPED_TRACE(name);
    CliRun r = RunVelkan({"convert", "--root", (Dir() / "root").string(), "--store", store.string(), "--udf",
                          udf.string(), Job().string(), "-o", name},
                         {}, Dir().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "「" + name + "」ファイルが作成できません。")) << r.err;
    // The format file was not converted: no store was made for it.
    EXPECT_FALSE(fs::exists(store)) << r.err;
    EXPECT_TRUE(Temporaries(Dir()).empty());
  }
}

TEST_F(OutputCli, BytesOfAPathThatAreNoUtf8AreShownEscaped) {
  const std::string missing = (Dir() / "bad\xff\xfe name.zan").string();
  const std::string shown = (Dir() / "bad\\xff\\xfe name.zan").string();
  CliRun r = RunVelkan(Args({missing, "-o", (Dir() / "out.txt").string()}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "「" + shown + "」ファイルが見つかりません。")) << r.err;
  EXPECT_FALSE(Contains(r.err, "\xff")) << r.err;
  // Valid UTF-8 is kept as it is.
  const std::string japanese = (Dir() / "原稿.zan").string();
  CliRun j = RunVelkan(Args({japanese, "-o", (Dir() / "out.txt").string()}));
  EXPECT_TRUE(Contains(j.err, "「" + japanese + "」ファイルが見つかりません。")) << j.err;

  // Whatever a person typed is shown so in a usage message: a Shift_JIS byte
  // pair and an escape sequence that would colour the terminal.
  const std::string typed = "j\x93\xfa\x1b[31m";
  const std::string escaped = "j\\x93\\xfa\\x1b[31m";
  const std::vector<std::vector<std::string>> commands = {
      {typed},
      {"convert", "--" + typed},
      {"convert", "--unit", typed, Job().string(), "-o", "out"},
      {"convert", "-j", typed, Job().string(), "--out-dir", "out"},
      {"dump", "--" + typed},
      {"tables", typed},
      {"tables", "dump", typed + ".tbl"},
      {"tables", "dump", "--format", typed, "table"},
      {"tables", "build", "--" + typed},
      {"tables", "check", "--" + typed},
  };
  for (const auto& args : commands) {
    CliRun u = RunVelkan(args);
    SCOPED_TRACE(u.err);
    EXPECT_EQ(u.status, 2);
    EXPECT_TRUE(Contains(u.err, escaped));
    EXPECT_FALSE(Contains(u.err, "\x1b") || Contains(u.err, "\x93"));
  }
}

TEST(CliStdout, AFailedWriteOfTheStandardOutputIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  fs::path job = dir.Write("job.zan", kJob);
  fs::path table = fs::path(VELKAN_SAMPLE_ROOT) / "qdxfiles" / "pifont.fil";
  const std::vector<std::vector<std::string>> commands = {
      {"dump", job.string()},
      {"tables", "dump", table.string()},
      {"tables", "check", "--store", dir.path().string(), VELKAN_SAMPLE_ROOT},
      {"--help"},
      {"convert", "--help"},
      {"tables", "--help"},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args.front() + " " + args.back());
    ASSERT_EQ(RunVelkan(args).status, 0);
    CliRun r = RunVelkan(args, {"VELKAN_ROOT=" VELKAN_SAMPLE_ROOT}, {}, [] {
      int full = ::open("/dev/full", O_WRONLY);
      ::dup2(full, 1);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "No space left on device")) << r.err;
    // A standard output that takes nothing and names no error counts as
    // full, instead of being written for ever.
    r = RunVelkan(args, {"VELKAN_ROOT=" VELKAN_SAMPLE_ROOT}, {}, [] {
      ::alarm(20);
      if (!MakeWritesTakeNothing(1)) ::_exit(99);
    });
    if (r.status == 99) GTEST_SKIP() << "no seccomp filter here";
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "No space left on device")) << r.err;
  }
}

}  // namespace
}  // namespace velkan::test
