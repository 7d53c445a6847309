// The `velkan` command as a user runs it: exit status, messages on stderr and
// the output file.
#include <signal.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "engine/version.h"
#include "support/test_support.h"


namespace velkan::test {
namespace {

namespace fs = std::filesystem;

using CliResult = CliRun;

// Runs the built binary with `args` (see RunVelkan).
CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 const std::function<void()>& inChild = {}) {
  return RunVelkan(args, env, {}, inChild);
}

// A table root with the pi-font file every job needs.
struct Root {
  Root() { dir.Write("root/qdxfiles/pifont.fil", std::string(1000, '\0')); }
  fs::path root() const { return dir.path() / "root"; }
  TempDir dir;
};

const std::string kJob = WordBytes({0x45A1, 0xD009, 0x1234, 0x45A2, 0xD009});
const std::string kJobOut = "<ZAN2 code=45a1>\r\n" + Sjis("<WAR \"不正文字，1234\">") + "<ZAN2 code=45a2>\r\n";

TEST(Cli, HelpExitsZeroAndDescribesTheOptions) {
  CliResult top = RunCli({"--help"});
  EXPECT_EQ(top.status, 0);
  EXPECT_NE(top.out.find("convert"), std::string::npos);

  CliResult conv = RunCli({"convert", "--help"});
  EXPECT_EQ(conv.status, 0);
  for (const char* opt : {"--root", "--udf", "--define", "--vertical", "--unit pt|Q", "--no-warnings", "-o OUTPUT"}) {
    EXPECT_NE(conv.out.find(opt), std::string::npos) << opt;
  }
  CliResult dump = RunCli({"dump", "--help"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_NE(dump.out.find("velkan dump"), std::string::npos) << dump.out;
}

TEST(Cli, AValueMayBeAttachedToItsOption) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path def = r.dir.Write("job.def", "<PI>\r\n");
  const std::string root = r.root().string(), store = (r.dir.path() / "store").string();
  fs::path separate = r.dir.path() / "separate.txt", attached = r.dir.path() / "attached.txt";
  ASSERT_EQ(RunCli({"convert", "--root", root, "--store", store, "--udf", in.string(), "--define", def.string(),
                    "--unit", "Q", in.string(), "-o", separate.string()})
                .status,
            0);
  CliResult res = RunCli({"convert", "--root=" + root, "--store=" + store, "--udf=" + in.string(),
                          "--define=" + def.string(), "--unit=Q", in.string(), "-o" + attached.string()});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(attached), Slurp(separate));
  res = RunCli({"convert", "--root=" + root, "--store=" + store, in.string(), "--output=" + attached.string()});
  EXPECT_EQ(res.status, 0) << res.err;
  // A batch: the folder and the number of jobs.
  for (const std::vector<std::string>& jobs : {std::vector<std::string>{"-j2"}, {"--jobs=2"}}) {
    fs::path folder = r.dir.path() / ("batch" + jobs.front());
    res = RunCli({"convert", "--root=" + root, "--store=" + store, in.string(), jobs.front(),
                  "--out-dir=" + folder.string()});
    EXPECT_EQ(res.status, 0) << res.err;
    EXPECT_TRUE(fs::exists(folder / "job.txt")) << jobs.front();
  }
  // What the other commands take.
  fs::path listed = r.dir.Write("table.txt", "format zan\n8140 0001\n");
  for (const std::string& built : {"-o" + (r.dir.path() / "a.tbl").string(), "--output=" + (r.dir.path() / "b.tbl").string()}) {
    EXPECT_EQ(RunCli({"tables", "build", listed.string(), built}).status, 0) << built;
  }
  EXPECT_EQ(Slurp(r.dir.path() / "a.tbl"), Slurp(r.dir.path() / "b.tbl"));
  const std::string table = (r.dir.path() / "a.tbl").string();
  auto same = [](const std::vector<std::string>& one, const std::vector<std::string>& other) {
    CliResult a = RunCli(one), b = RunCli(other);
    EXPECT_EQ(a.status, b.status) << one.back();
    EXPECT_FALSE(a.out.empty()) << one.back();
    EXPECT_EQ(a.out, b.out);
  };
  same({"tables", "dump", "--format=zan", table}, {"tables", "dump", "--format", "zan", table});
  same({"tables", "check", "--store=" + store, root}, {"tables", "check", "--store", store, root});
  same({"dump", "--root=" + root, in.string()}, {"dump", "--root", root, in.string()});
}

TEST(Cli, BadUsageExitsTwo) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  std::string out = (r.dir.path() / "out.txt").string();
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"convert"},
      {"convert", in.string()},
      {"convert", "-o", out},
      {"convert", in.string(), "-o"},
      {"convert", in.string(), in.string(), "-o", out},
      {"convert", "--unit", "mm", in.string(), "-o", out},
      {"convert", "--unit"},
      {"convert", "--root"},
      {"convert", "--bogus", in.string(), "-o", out},
  };
  for (const auto& args : bad) {
    CliResult res = RunCli(args, {"VELKAN_ROOT=" + r.root().string()});
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_EQ(res.status, 2) << line;
    EXPECT_FALSE(res.err.empty()) << line;
  }
  // "-" alone is an input, not an option: standard input, which a batch
  // cannot convert.
  CliResult dash = RunCli({"convert", in.string(), "-", "--out-dir", out}, {"VELKAN_ROOT=" + r.root().string()});
  EXPECT_EQ(dash.status, 2);
  EXPECT_NE(dash.err.find("standard input (-) cannot be converted with --out-dir"), std::string::npos) << dash.err;
  EXPECT_FALSE(fs::exists(out));
}

TEST(Cli, ConvertsAJob) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path out = r.dir.path() / "out.txt";
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", out.string()});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(out), kJobOut);
}

// After "--" every argument is an input, also one that starts with "-"
// ("-" alone is still standard input).
TEST(Cli, ArgumentsAfterADoubleDashAreInputs) {
  Root r;
  r.dir.Write("-job.zan", kJob);
  const std::string root = r.root().string(), here = r.dir.path().string();
  CliResult res = RunVelkan({"convert", "--root", root, "-o", "out.txt", "--", "-job.zan"}, {}, here);
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(r.dir.path() / "out.txt"), kJobOut);
  res = RunVelkan({"convert", "--root", root, "--out-dir", "batch", "--", "-job.zan", "-"}, {}, here);
  EXPECT_EQ(res.status, 2);
  EXPECT_NE(res.err.find("standard input (-) cannot be converted with --out-dir"), std::string::npos) << res.err;
  res = RunVelkan({"convert", "--root", root, "--out-dir", "batch", "--", "-job.zan"}, {}, here);
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(r.dir.path() / "batch" / "-job.txt"), kJobOut);
  // Without it the name is an option: -j with the value "ob.zan".
  res = RunVelkan({"convert", "--root", root, "-job.zan", "-o", "other.txt"}, {}, here);
  EXPECT_EQ(res.status, 2);
  EXPECT_NE(res.err.find("-j takes a number from 1 to 1024, not 'ob.zan'"), std::string::npos) << res.err;
}

TEST(Cli, TableRootFromTheEnvironment) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path out = r.dir.path() / "out.txt";
  CliResult res = RunCli({"convert", "-o", out.string(), in.string()}, {"VELKAN_ROOT=" + r.root().string()});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(out), kJobOut);
  // --root wins over the environment.
  TempDir empty;
  CliResult wrong = RunCli({"convert", "-o", out.string(), in.string()}, {"VELKAN_ROOT=" + empty.path().string()});
  EXPECT_EQ(wrong.status, 1);
  CliResult right = RunCli({"convert", "--root", r.root().string(), "-o", out.string(), in.string()},
                           {"VELKAN_ROOT=" + empty.path().string()});
  EXPECT_EQ(right.status, 0) << right.err;
}

TEST(Cli, NoWarningsOption) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path out = r.dir.path() / "out.txt";
  CliResult res =
      RunCli({"convert", "--no-warnings", "--unit", "Q", "--vertical", "--root", r.root().string(), in.string(), "-o",
              out.string()});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(out), "<ZAN2 code=45a1>\r\n<ZAN2 code=45a2>\r\n");
}

TEST(Cli, MissingInputExitsOneWithTheNotFoundMessage) {
  Root r;
  std::string in = (r.dir.path() / "nowhere.zan").string();
  fs::path out = r.dir.path() / "out.txt";
  CliResult res = RunCli({"convert", "--root", r.root().string(), in, "-o", out.string()});
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("「" + in + "」ファイルが見つかりません。"), std::string::npos) << res.err;
  EXPECT_FALSE(fs::exists(out));  // the output is opened only after the input
}

TEST(Cli, MissingFormatFileNamesItAndConvertsNothing) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  std::string udf = (r.dir.path() / "formats.zan").string();
  fs::path out = r.dir.path() / "out.txt";
  CliResult res = RunCli({"convert", "--root", r.root().string(), "--udf", udf, in.string(), "-o", out.string()});
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("「" + udf + "」ファイルが見つかりません。"), std::string::npos) << res.err;
  EXPECT_FALSE(fs::exists(out));
}

TEST(Cli, OutputThatCannotBeCreatedExitsOne) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  std::string out = (r.dir.path() / "no-such-dir" / "out.txt").string();
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", out});
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("「" + out + "」ファイルが作成できません。"), std::string::npos) << res.err;
}

TEST(Cli, WriteFailureExitsOne) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", "/dev/full"});
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("/dev/full"), std::string::npos) << res.err;
}

TEST(Cli, OutputOntoTheInputIsRefusedAndTheInputKept) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", in.string()});
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("ファイルが作成できません。"), std::string::npos) << res.err;
  EXPECT_EQ(Slurp(in), kJob);
}

TEST(Cli, MissingPiFontFileExitsOneAndLeavesAnEarlierOutputAsItWas) {
  Root r;
  fs::remove(r.root() / "qdxfiles" / "pifont.fil");
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path udf = r.dir.Write("udf.zan", kJob);
  fs::path out = r.dir.Write("keep.txt", "PRECIOUS\n");
  fs::path fresh = r.dir.path() / "fresh.txt";
  const std::vector<std::string> root = {"convert", "--root", r.root().string()};
  auto run = [&root](std::vector<std::string> rest) {
    rest.insert(rest.begin(), root.begin(), root.end());
    return RunCli(rest);
  };
  for (bool twoPasses : {false, true}) {
    SCOPED_TRACE(twoPasses ? "--udf" : "one pass");
    std::vector<std::string> udfArgs = twoPasses ? std::vector<std::string>{"--udf", udf.string()}
                                                 : std::vector<std::string>{};
    auto with = [&udfArgs](std::vector<std::string> a) {
      a.insert(a.begin(), udfArgs.begin(), udfArgs.end());
      return a;
    };
    // An input that is not found is said first, and nothing is touched.
    const std::string missing = (r.dir.path() / "missing.zan").string();
    for (const fs::path& o : {out, fresh}) {
      CliResult res = run(with({missing, "-o", o.string()}));
      EXPECT_EQ(res.status, 1);
      EXPECT_NE(res.err.find("「" + missing + "」ファイルが見つかりません。"), std::string::npos) << res.err;
    }
    EXPECT_FALSE(fs::exists(fresh));
    // An earlier output stays as it was; a new one is made, empty.
    CliResult res = run(with({in.string(), "-o", out.string()}));
    EXPECT_EQ(res.status, 1);
    EXPECT_NE(res.err.find("pifont.fil"), std::string::npos) << res.err;
    EXPECT_EQ(Slurp(out), "PRECIOUS\n");
    res = run(with({in.string(), "-o", fresh.string()}));
    EXPECT_EQ(res.status, 1);
    ASSERT_TRUE(fs::exists(fresh));
    EXPECT_EQ(fs::file_size(fresh), 0u);
    fs::remove(fresh);
  }
}

TEST(Cli, PiFontFileFoundWithoutRegardToCase) {
  Root r;
  fs::remove_all(r.root() / "qdxfiles");
  r.dir.Write("root/QdxFiles/PIFONT.FIL", std::string(1000, '\0'));
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path out = r.dir.path() / "out.txt";
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", out.string()});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(out), kJobOut);
}

TEST(Cli, ReadOnlyPiFontFileIsEnough) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  Root r;
  fs::path pi = r.root() / "qdxfiles" / "pifont.fil";
  fs::permissions(pi, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path out = r.dir.path() / "out.txt";
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", out.string()});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_EQ(Slurp(out), kJobOut);
}

TEST(Cli, AClosedPipeIsAWriteFailure) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);  // nobody reads
  // Even a caller that leaves SIGPIPE at its default gets a report.
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", "/dev/stdout"}, {},
                         [&] {
                           ::signal(SIGPIPE, SIG_DFL);
                           ::dup2(fds[1], 1);
                         });
  ::close(fds[1]);
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("Broken pipe"), std::string::npos) << res.err;
}

TEST(Cli, OutputThroughALinkToTheInputIsRefused) {
  Root r;
  fs::path in = r.dir.Write("job.zan", kJob);
  fs::path link = r.dir.path() / "out.txt";
  fs::create_symlink(in, link);
  CliResult res = RunCli({"convert", "--root", r.root().string(), in.string(), "-o", link.string()});
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.err.find("is the input file"), std::string::npos) << res.err;
  EXPECT_EQ(Slurp(in), kJob);
  EXPECT_TRUE(fs::is_symlink(link));
}

TEST(Cli, HelpDescribesTheOutputFile) {
  CliResult conv = RunCli({"convert", "--help"});
  EXPECT_NE(conv.out.find("renamed into place"), std::string::npos);
  EXPECT_NE(conv.out.find("the earlier OUTPUT is unchanged"), std::string::npos) << conv.out;
  EXPECT_NE(conv.out.find("OUTPUT may not be INPUT"), std::string::npos) << conv.out;
}

// --version prints the line of the library it was linked with: the release,
// and the git revision when the sources are a checkout.
TEST(Cli, VersionPrintsTheReleaseAndTheRevision) {
  CliResult v = RunCli({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, VersionLine() + "\n");
  EXPECT_TRUE(std::regex_match(ReleaseVersion(), std::regex("[0-9]+\\.[0-9]+\\.[0-9]+"))) << ReleaseVersion();
  const std::string revision = SourceRevision();
  EXPECT_TRUE(revision.empty() || std::regex_match(revision, std::regex("git [0-9a-zA-Z._-]+( modified)?")))
      << revision;
  if (!revision.empty()) {
    EXPECT_EQ(v.out, "velkan " + std::string(ReleaseVersion()) + " (" + revision + ")\n");
  }
}

}  // namespace
}  // namespace velkan::test
