// velkan in a pipeline: "-" as INPUT reads standard input, a code-word job or
// (with --text) a text job; "-o -" writes standard output.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli/cli_runner.h"
#include "support/test_support.h"

namespace velkan::test {
namespace {

namespace fs = std::filesystem;

// A pipe holding `bytes`, its writing end closed: what a shell's pipe gives
// a program once the writer is done. The bytes must fit in the pipe.
class FilledPipe {
 public:
  explicit FilledPipe(const std::string& bytes) {
    EXPECT_EQ(::pipe(fds_), 0);
    EXPECT_EQ(::write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fds_[1]);
  }
  ~FilledPipe() { ::close(fds_[0]); }
  // Makes the pipe the standard input (in the child).
  void BecomeStandardInput() const { ::dup2(fds_[0], 0); }

 private:
  int fds_[2] = {-1, -1};
};

class PipelineCli : public ::testing::Test {
 protected:
  PipelineCli() { dir_.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0')); }
  std::string Root() const { return (dir_.path() / "root").string(); }
  std::string Out() const { return (dir_.path() / "out.txt").string(); }
  TempDir dir_;
};

const std::string kJob = WordBytes({0x45A1, 0x45A2, 0xD009});
const std::string kJobOut = "<ZAN2 code=45a1><ZAN2 code=45a2>\r\n";

TEST_F(PipelineCli, StandardInputIsTheJob) {
  // A pipe, read to its end.
  FilledPipe pipe(kJob);
  CliRun piped = RunVelkan({"convert", "--root", Root(), "-", "-o", Out()}, {}, {},
                           [&] { pipe.BecomeStandardInput(); });
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(Slurp(Out()), kJobOut);

  // A file, read from where the descriptor stands (the first word skipped).
  fs::path job = dir_.Write("job.zan", kJob);
  CliRun redirected = RunVelkan({"convert", "--root", Root(), "-", "-o", Out()}, {}, {}, [&] {
    int fd = ::open(job.c_str(), O_RDONLY);
    ::lseek(fd, 2, SEEK_SET);
    ::dup2(fd, 0);
  });
  EXPECT_EQ(redirected.status, 0) << redirected.err;
  EXPECT_EQ(Slurp(Out()), "<ZAN2 code=45a2>\r\n");

  // The file standard input is cannot be the output.
  CliRun onto = RunVelkan({"convert", "--root", Root(), "-", "-o", job.string()}, {}, {},
                          [&] { ::dup2(::open(job.c_str(), O_RDONLY), 0); });
  EXPECT_EQ(onto.status, 1);
  EXPECT_NE(onto.err.find("is the input file - itself"), std::string::npos) << onto.err;
  EXPECT_EQ(Slurp(job), kJob);

  // A folder is nothing to read.
  CliRun folder = RunVelkan({"convert", "--root", Root(), "-", "-o", Out()}, {}, {},
                            [&] { ::dup2(::open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY), 0); });
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.err.find("「-」ファイルが見つかりません。"), std::string::npos) << folder.err;
}

TEST_F(PipelineCli, TheFormatFileIsReadBeforeStandardInput) {
  // The format file defines format 3; the job from standard input plays it.
  fs::path udf = dir_.Write("formats.zan", WordBytes({0xD003, 0xD02C, 0xC343, 0xD004, 0x45A1, 0x45A2, 0xD004,
                                                      0xD004, 0x45B0, 0xD009}));
  FilledPipe pipe(WordBytes({0xD003, 0xD03F, 0xC343, 0xD004, 0xD009}));
  CliRun r = RunVelkan({"convert", "--root", Root(), "--store", (dir_.path() / "store").string(), "--udf",
                        udf.string(), "-", "-o", Out()},
                       {}, {}, [&] { pipe.BecomeStandardInput(); });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(Out()), kJobOut);
}

TEST_F(PipelineCli, TextOptionReadsStandardInputAsATextJob) {
  // The sample text job, through a pipe, gives what its file gives.
  const fs::path source = VELKAN_SOURCE_DIR;
  const std::string text = Slurp(source / "examples" / "sample.txt");
  ASSERT_LT(text.size(), 60000u) << "the sample must fit in a pipe";
  const std::vector<std::string> common = {"convert", "--store", (dir_.path() / "store").string(), "--define",
                                           (fs::path(VELKAN_SAMPLE_ROOT) / "sample.def").string()};
  FilledPipe pipe(text);
  std::vector<std::string> args = common;
  args.insert(args.end(), {"--text", "-", "-o", Out()});
  CliRun r = RunVelkan(args, {}, {}, [&] { pipe.BecomeStandardInput(); });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(Out()), Slurp(source / "examples" / "sample.txt.out"));

  // Without --text the same bytes are code words.
  FilledPipe again(text);
  args = common;
  args.insert(args.end(), {"-", "-o", Out()});
  RunVelkan(args, {}, {}, [&] { again.BecomeStandardInput(); });
  EXPECT_NE(Slurp(Out()), Slurp(source / "examples" / "sample.txt.out"));
}

TEST_F(PipelineCli, StandardOutputIsWrittenWhereItStands) {
  // Standard output is a file here that already holds a line: the output
  // follows it; the file is neither truncated nor replaced.
  FilledPipe pipe(kJob);
  CliRun r = RunVelkan({"convert", "--root", Root(), "-", "-o", "-"}, {}, {}, [&] {
    pipe.BecomeStandardInput();
    if (::write(1, "before\n", 7) != 7) ::_exit(126);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "before\n" + kJobOut);

  // What the pass of the format file writes is thrown away, not sent there.
  fs::path udf = dir_.Write("formats.zan", WordBytes({0x45B0, 0xD009}));
  fs::path job = dir_.Write("job.zan", kJob);
  CliRun two = RunVelkan({"convert", "--root", Root(), "--store", (dir_.path() / "store").string(), "--udf",
                          udf.string(), job.string(), "-o", "-"});
  EXPECT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(two.out, kJobOut);

  // Standard output that is the input file itself is refused.
  CliRun onto = RunVelkan({"convert", "--root", Root(), job.string(), "-o", "-"}, {}, {},
                          [&] { ::dup2(::open(job.c_str(), O_WRONLY | O_APPEND), 1); });
  EXPECT_EQ(onto.status, 1);
  EXPECT_NE(onto.err.find("is the input file " + job.string() + " itself"), std::string::npos) << onto.err;
  EXPECT_EQ(Slurp(job), kJob);
}

TEST_F(PipelineCli, AnInputNamedByItsDescriptorIsReadWhereItStands) {
  // As a process substitution gives them: <(...) is /dev/fd/63, a pipe.
  for (const char* name : {"/dev/stdin", "/dev/fd/0", "/dev/fd/63", "/proc/self/fd/63"}) {
    SCOPED_TRACE(name);
    FilledPipe pipe(kJob);
    const int fd = std::string(name).find("63") != std::string::npos ? 63 : 0;
    CliRun r = RunVelkan({"convert", "--root", Root(), name, "-o", Out()}, {}, {}, [&] {
      pipe.BecomeStandardInput();
      ::dup2(0, fd);
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(Out()), kJobOut);
  }
  // The format file too, and a file from where the descriptor stands.
  fs::path formats = dir_.Write("formats.zan", WordBytes({0xD003, 0xD02C, 0xC344, 0xD004, 0x45B4, 0xD004, 0xD004}));
  fs::path job = dir_.Write("job.zan", WordBytes({0x45B0, 0xD003, 0xD03F, 0xC344, 0xD004, 0xD009}));
  CliRun r = RunVelkan({"convert", "--root", Root(), "--store", (dir_.path() / "store").string(), "--udf",
                        "/dev/fd/5", "/dev/fd/6", "-o", Out()},
                       {}, {}, [&] {
                         ::dup2(::open(formats.c_str(), O_RDONLY), 5);
                         int in = ::open(job.c_str(), O_RDONLY);
                         ::lseek(in, 2, SEEK_SET);
                         ::dup2(in, 6);
                       });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(Out()), "<ZAN2 code=45b4>\r\n");
  // A descriptor that is not open is not found; a named FIFO still counts as
  // missing, without waiting for a writer.
  fs::path fifo = dir_.path() / "fifo.zan";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {std::string("/dev/fd/9"), fifo.string()}) {
    CliRun missing = RunVelkan({"convert", "--root", Root(), name, "-o", Out()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("「" + name + "」ファイルが見つかりません。"), std::string::npos) << missing.err;
  }
  // In a batch every job would read the format file from where another left it.
  CliRun batch = RunVelkan({"convert", "--root", Root(), "--udf", "/dev/stdin", job.string(), "--out-dir",
                            (dir_.path() / "out").string()});
  EXPECT_EQ(batch.status, 2);
  EXPECT_NE(batch.err.find("is a descriptor already open"), std::string::npos) << batch.err;
}

TEST_F(PipelineCli, StandardInputCannotBeOneOfABatch) {
  fs::path job = dir_.Write("job.zan", kJob);
  CliRun r = RunVelkan({"convert", "--root", Root(), job.string(), "-", "--out-dir", (dir_.path() / "out").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("standard input (-) cannot be converted with --out-dir"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_.path() / "out"));
}

}  // namespace
}  // namespace velkan::test
